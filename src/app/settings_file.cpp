// The settings file; see settings_file.h.
#include "app/settings_file.h"

#include <cctype>
#include <cstdio>

#include "app/main_window.h"
#include "core/globals.h"
#include "core/ini_file.h"
#include "core/settings.h"
#include "net/recovery_list.h"
#include "platform/files.h"
#include "platform/gui.h"

namespace vu {

namespace {

const std::string kSeparator = std::string(78, '-');
const std::string kNoCheckDate = "00.00.00 00:00";

using Value = std::optional<std::string>;

bool OneOf(const std::string& value, std::initializer_list<const char*> allowed) {
    for (const char* a : allowed)
        if (value == a) return true;
    return false;
}

// A repository folder as held in memory: an existing folder ending with "\", else the
// program's folder.
std::string ReadFolder(const Value& value) {
    if (!value || *value == ".\\" || value->empty() || !plat::FolderExists(*value)) return ProgramFolder;
    std::string folder = *value;
    // The file names of the repository are appended to it.
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

std::string WrittenFolder(const std::string& folder) { return EqualsNoCase(folder, ProgramFolder) ? ".\\" : folder; }

int32_t ReadFlag(const Value& value, int32_t fallback) {
    if (!value) return fallback;
    int32_t n = LeadingNumber(*value);
    return n == 0 || n == 1 ? n : fallback;
}

int32_t ReadRange(const Value& value, int32_t lowest, int32_t highest, int32_t fallback) {
    if (!value) return fallback;
    int32_t n = LeadingNumber(*value);
    return n >= lowest && n <= highest ? n : fallback;
}

std::string ReadChoice(const Value& value, const char* fallback, std::initializer_list<const char*> allowed) {
    return value && OneOf(*value, allowed) ? *value : fallback;
}

bool Digits(const std::string& s, size_t at, size_t count, int& out) {
    out = 0;
    for (size_t i = at; i < at + count; i++) {
        if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

bool KnownRevision() {
    int32_t revision = LeadingNumber(CloverLastRev);
    return revision >= 906 && revision <= 99999;
}

std::string Decimal(int32_t value) { return std::to_string(value); }

// One line of the file, in the order in which it is written and read: a section, a separator, a
// comment, a key, or the Recovery HD list. A key's `read` applies its default and rule to the
// value found (nullopt when missing; no `read`: never read); `write` gives the value written.
// KeyIfSet is written only when its value is not empty.
struct Line {
    enum Kind { Section, Separator, Comment, Key, KeyIfSet, RecoveryEntries } kind;
    const char* text = "";  // the section, the comment or the key's name
    void (*read)(const Value& value) = nullptr;
    std::string (*write)() = nullptr;
};

const Line kLines[] = {
    {Line::Section, "Application Info"},
    {Line::Key, "ApplicationName", nullptr, [] { return std::string("Velloran Utility"); }},
    {Line::Key, "Version", nullptr, [] { return VersionText; }},
    {Line::Separator},

    {Line::Section, "Window Settings"},
    {Line::Key, "WinX", [](const Value& v) { WinX = v ? LeadingNumber(*v) : 400; }, [] { return Decimal(WinX); }},
    {Line::Key, "WinY", [](const Value& v) { WinY = v ? LeadingNumber(*v) : 400; }, [] { return Decimal(WinY); }},
    {Line::Separator},

    {Line::Section, "Data Settings"},
    {Line::Comment, "InstallDataSet: Local|DL|Not_Install"},
    {Line::Key, "InstallDataSet",
     [](const Value& v) { InstallDataSet = ReadChoice(v, "DL", {"Local", "DL", "Not_Install"}); },
     [] { return InstallDataSet; }},
    {Line::Separator},
    {Line::Comment, "CloverLastRev: Last Clover Revision"},
    {Line::Key, "CloverLastRev",
     [](const Value& v) {
         CloverLastRev = v.value_or("Check It!");
         if (!KnownRevision()) CloverLastRev = "Check It!";
     },
     [] { return CloverLastRev; }},
    {Line::Comment, "CloverLastRevCheckDate: Last Check Clover Revision Date"},
    // Read only for a revision that passed its check; a revision without a date needs a check.
    {Line::Key, "CloverLastRevCheckDate",
     [](const Value& v) {
         CloverLastRevCheckDate = KnownRevision() ? NormalizeCheckDate(v.value_or("")) : kNoCheckDate;
         if (CloverLastRevCheckDate == kNoCheckDate) CloverLastRev = "Check It!";
     },
     [] { return CloverLastRevCheckDate; }},
    {Line::Comment, "CheckLatestCloverAtStartup: 0 - #False|1 - #True"},
    {Line::Key, "CheckLatestCloverAtStartup", [](const Value& v) { CheckLatestCloverAtStartup = ReadFlag(v, 0); },
     [] { return Decimal(CheckLatestCloverAtStartup); }},
    {Line::Comment, "SaveLatestCloverAfterDL: 0 - #False|1 - #True"},
    {Line::Key, "SaveLatestCloverAfterDL", [](const Value& v) { SaveLatestCloverAfterDL = ReadFlag(v, 0); },
     [] { return Decimal(SaveLatestCloverAfterDL); }},
    {Line::Comment, "Clover Local Repository Path"},
    {Line::Key, "CloverLocalRepository", [](const Value& v) { CloverLocalRepository = ReadFolder(v); },
     [] { return WrittenFolder(CloverLocalRepository); }},
    {Line::Comment, "Partition Backup Zarn-Image Files Local Repository Path"},
    {Line::Key, "ZarnImageLocalRepo", [](const Value& v) { ZarnImageLocalRepo = ReadFolder(v); },
     [] { return WrittenFolder(ZarnImageLocalRepo); }},
    {Line::Separator},
    {Line::Comment, "VolumeLabel: 11 letters max"},
    {Line::Key, "VolumeLabel", [](const Value& v) { VolumeLabel = v.value_or("CLOVER"); }, [] { return VolumeLabel; }},
    {Line::Comment, "Boot_records: Windows|Clover|FreeDos|Not_Format"},
    {Line::Key, "Boot_records",
     [](const Value& v) { Boot_records = ReadChoice(v, "Clover", {"Windows", "Clover", "FreeDos", "Not_Format"}); },
     [] { return Boot_records; }},
    {Line::Comment, "FileSystem: FAT32|FAT32-LBA|NTFS|exFAT|UDF"},
    {Line::Key, "FileSystem",
     [](const Value& v) { FileSystem = ReadChoice(v, "FAT32-LBA", {"FAT32", "FAT32-LBA", "NTFS", "exFAT", "UDF"}); },
     [] { return FileSystem; }},
    {Line::Comment, "ClusterSize: 0 - Default"},
    {Line::Key, "ClusterSize", [](const Value& v) { ClusterSize = ReadChoice(v, "0", {"0"}); },
     [] { return ClusterSize; }},
    // 8192 is accepted although the comment does not list it.
    {Line::Comment, "StartLBASector: 63|2048|4096| 63 - Default"},
    {Line::Key, "StartLBASector",
     [](const Value& v) { StartLBASector = ReadChoice(v, "63", {"63", "2048", "4096", "8192"}); },
     [] { return StartLBASector; }},
    {Line::Comment, "QuickFormat: 0 - #False|1 - #True"},
    {Line::Key, "QuickFormat", [](const Value& v) { QuickFormat = ReadFlag(v, 1); }, [] { return Decimal(QuickFormat); }},
    {Line::Comment, "MultiPartitions: 0 - #False|1 - #True"},
    {Line::Key, "MultiPartitions", [](const Value& v) { MultiPartitions = ReadFlag(v, 1); },
     [] { return Decimal(MultiPartitions); }},
    // An out-of-range size reads as 200, not the 64 the comment names (which is what the
    // Configuration window puts in place of a size typed out of range).
    {Line::Comment, "BootPartitionSize: 32 - 2000000 MB | 64 - Default"},
    {Line::Key, "BootPartitionSize", [](const Value& v) { BootPartitionSize = ReadRange(v, 32, 2000000, 200); },
     [] { return Decimal(BootPartitionSize); }},
    {Line::Comment, "EnableFixedDisks: 0 - #False|1 - #True"},
    {Line::Key, "EnableFixedDisks", [](const Value& v) { EnableFixedDisks = ReadFlag(v, 0); },
     [] { return Decimal(EnableFixedDisks); }},
    {Line::Separator},

    {Line::Section, "Download Settings"},
    {Line::Comment, "The maximum number of attempts to resume downloading files: 9999 - max value"},
    {Line::Key, "ResumeMaxAttemptsNumber", [](const Value& v) { ResumeMaxAttemptsNumber = ReadRange(v, 0, 9999, 9999); },
     [] { return Decimal(ResumeMaxAttemptsNumber); }},
    {Line::Comment, "Additional URL for Download Apple SUCatalog:"},
    {Line::Comment,
     "SUCatalogURL_User_Added=https://swscan.apple.com/content/catalogs/others/index-10.14seed.merged-1.sucatalog"},
    {Line::KeyIfSet, "SUCatalogURL_User_Added",
     [](const Value& v) {
         SUCatalogURL_User_Added = v.value_or("");
         if (SUCatalogURL_User_Added.compare(0, 4, "http") != 0) SUCatalogURL_User_Added.clear();
     },
     [] { return SUCatalogURL_User_Added; }},
    {Line::Separator},

    {Line::Section, "Download Data Settings"},
    {Line::Comment, "Name of HD recovery = URL for Download"},
    {Line::RecoveryEntries},
    {Line::Separator},

    {Line::Section, "Tools Data Settings"},
    {Line::Comment, "FixDsdtMask: range 0x00000000-0xFFFFFFFF, default 0x87E7FBF1"},
    {Line::Key, "FixDsdtMask", [](const Value& v) { FixDsdtMask = NormalizeFixDsdtMask(v.value_or("0x87E7FBF1")); },
     [] { return "0x" + FixDsdtMask; }},
    {Line::Separator},
};

// The section's keys, in file order, become the list (title = key, URL = value), unchecked.
void ReadRecoveryEntries(const IniSection* section) {
    std::vector<RecoveryEntry> entries;
    if (section)
        for (auto& key : section->keys) entries.push_back({key.name, key.value});
    RecoveryList.Replace(std::move(entries));
}

}  // namespace

std::string NormalizeFixDsdtMask(const std::string& text) {
    std::string tail = text.size() > 8 ? text.substr(text.size() - 8) : text;
    size_t i = 0;
    while (i < tail.size() && tail[i] == ' ') i++;
    uint32_t mask = 0;
    for (; i < tail.size() && std::isxdigit(static_cast<unsigned char>(tail[i])); i++) {
        char c = char(std::toupper(static_cast<unsigned char>(tail[i])));
        mask = mask << 4 | uint32_t(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", mask);
    return hex;
}

std::string NormalizeCheckDate(const std::string& text) {
    // "dd.mm.yy hh:ii", exactly as the revision check writes it.
    int day, month, year, hour, minute;
    if (text.size() != 14 || text[2] != '.' || text[5] != '.' || text[8] != ' ' || text[11] != ':' ||
        !Digits(text, 0, 2, day) || !Digits(text, 3, 2, month) || !Digits(text, 6, 2, year) ||
        !Digits(text, 9, 2, hour) || !Digits(text, 12, 2, minute))
        return kNoCheckDate;
    if (day < 1 || day > 31 || month < 1 || month > 12 || hour > 23 || minute > 59) return kNoCheckDate;
    char date[32];
    std::snprintf(date, sizeof date, "%02d.%02d.%02d %02d:%02d", day, month, year, hour, minute);
    return date;
}

std::string SettingsFilePath() { return ProgramFolder + ProgramBaseName + ".ini"; }

void ReadSettings() {
    IniData ini = IniData::Load(SettingsFilePath());
    std::string section;
    for (const Line& line : kLines) {
        if (line.kind == Line::Section) section = line.text;
        if ((line.kind == Line::Key || line.kind == Line::KeyIfSet) && line.read) line.read(ini.Value(section, line.text));
        if (line.kind == Line::RecoveryEntries) ReadRecoveryEntries(ini.Section(section));
    }
}

void WriteSettings() {
    if (plat::WindowExists(MainWindow)) {
        plat::Rect frame = plat::WindowFrame(MainWindow);
        WinX = frame.x;
        WinY = frame.y;
    }
    IniWriter ini;
    {
        // The revision check changes CloverLastRev and its date from its own thread.
        std::lock_guard<std::mutex> l(RevisionSettingsLock);
        for (const Line& line : kLines) {
            switch (line.kind) {
                case Line::Section: ini.Section(line.text); break;
                case Line::Separator: ini.Comment(kSeparator); break;
                case Line::Comment: ini.Comment(line.text); break;
                case Line::Key: ini.Key(line.text, line.write()); break;
                case Line::KeyIfSet:
                    if (std::string value = line.write(); !value.empty()) ini.Key(line.text, value);
                    break;
                case Line::RecoveryEntries:
                    for (auto& entry : RecoveryList.Entries()) ini.Key(entry.Title, entry.Url);
                    break;
            }
        }
    }
    ini.Save(SettingsFilePath());
}

}  // namespace vu
