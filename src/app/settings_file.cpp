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
const std::string kSuCatalogExample =
    "SUCatalogURL_User_Added=https://swscan.apple.com/content/catalogs/others/index-10.14seed.merged-1.sucatalog";

bool OneOf(const std::string& value, std::initializer_list<const char*> allowed) {
    for (const char* a : allowed)
        if (value == a) return true;
    return false;
}

// A repository folder as held in memory: an existing folder ending with "\", else the
// program's folder.
std::string ReadFolder(const std::optional<std::string>& value) {
    if (!value || *value == ".\\" || value->empty() || !plat::FolderExists(*value)) return ProgramFolder;
    std::string folder = *value;
    // The file names of the repository are appended to it.
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

std::string WrittenFolder(const std::string& folder) { return EqualsNoCase(folder, ProgramFolder) ? ".\\" : folder; }

int32_t ReadFlag(const IniData& ini, const char* key, int32_t fallback) {
    auto value = ini.Value("Data Settings", key);
    if (!value) return fallback;
    int32_t n = LeadingNumber(*value);
    return n == 0 || n == 1 ? n : fallback;
}

std::string ReadChoice(const IniData& ini, const char* key, const char* fallback,
                       std::initializer_list<const char*> allowed) {
    auto value = ini.Value("Data Settings", key);
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

void ReadDataSettings(const IniData& ini) {
    InstallDataSet = ReadChoice(ini, "InstallDataSet", "DL", {"Local", "DL", "Not_Install"});

    CloverLastRev = ini.Value("Data Settings", "CloverLastRev").value_or("Check It!");
    int32_t revision = LeadingNumber(CloverLastRev);
    if (revision < 906 || revision > 99999) {
        CloverLastRev = "Check It!";
        CloverLastRevCheckDate = kNoCheckDate;
    } else {
        CloverLastRevCheckDate = NormalizeCheckDate(ini.Value("Data Settings", "CloverLastRevCheckDate").value_or(""));
        if (CloverLastRevCheckDate == kNoCheckDate) CloverLastRev = "Check It!";
    }

    CheckLatestCloverAtStartup = ReadFlag(ini, "CheckLatestCloverAtStartup", 0);
    SaveLatestCloverAfterDL = ReadFlag(ini, "SaveLatestCloverAfterDL", 0);
    CloverLocalRepository = ReadFolder(ini.Value("Data Settings", "CloverLocalRepository"));
    ZarnImageLocalRepo = ReadFolder(ini.Value("Data Settings", "ZarnImageLocalRepo"));
    VolumeLabel = ini.Value("Data Settings", "VolumeLabel").value_or("CLOVER");
    Boot_records = ReadChoice(ini, "Boot_records", "Clover", {"Windows", "Clover", "FreeDos", "Not_Format"});
    FileSystem = ReadChoice(ini, "FileSystem", "FAT32-LBA", {"FAT32", "FAT32-LBA", "NTFS", "exFAT", "UDF"});
    ClusterSize = ReadChoice(ini, "ClusterSize", "0", {"0"});
    StartLBASector = ReadChoice(ini, "StartLBASector", "63", {"63", "2048", "4096", "8192"});
    QuickFormat = ReadFlag(ini, "QuickFormat", 1);
    MultiPartitions = ReadFlag(ini, "MultiPartitions", 1);

    BootPartitionSize = 200;
    if (auto size = ini.Value("Data Settings", "BootPartitionSize")) {
        int32_t n = LeadingNumber(*size);
        if (n >= 32 && n <= 2000000) BootPartitionSize = n;
    }
    EnableFixedDisks = ReadFlag(ini, "EnableFixedDisks", 0);
}

void ReadDownloadSettings(const IniData& ini) {
    ResumeMaxAttemptsNumber = 9999;
    if (auto attempts = ini.Value("Download Settings", "ResumeMaxAttemptsNumber")) {
        int32_t n = LeadingNumber(*attempts);
        if (n >= 0 && n <= 9999) ResumeMaxAttemptsNumber = n;
    }
    SUCatalogURL_User_Added = ini.Value("Download Settings", "SUCatalogURL_User_Added").value_or("");
    if (SUCatalogURL_User_Added.compare(0, 4, "http") != 0) SUCatalogURL_User_Added.clear();

    std::vector<RecoveryEntry> entries;
    if (const IniSection* section = ini.Section("Download Data Settings"))
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
    WinX = ini.Value("Window Settings", "WinX") ? LeadingNumber(*ini.Value("Window Settings", "WinX")) : 400;
    WinY = ini.Value("Window Settings", "WinY") ? LeadingNumber(*ini.Value("Window Settings", "WinY")) : 400;
    ReadDataSettings(ini);
    ReadDownloadSettings(ini);
    FixDsdtMask = NormalizeFixDsdtMask(ini.Value("Tools Data Settings", "FixDsdtMask").value_or("0x87E7FBF1"));
}

void WriteSettings() {
    if (plat::WindowExists(MainWindow)) {
        plat::Rect frame = plat::WindowFrame(MainWindow);
        WinX = frame.x;
        WinY = frame.y;
    }
    std::string lastRev, lastRevCheckDate;
    {
        std::lock_guard<std::mutex> l(RevisionSettingsLock);
        lastRev = CloverLastRev;
        lastRevCheckDate = CloverLastRevCheckDate;
    }
    IniWriter ini;
    ini.Section("Application Info");
    ini.Key("ApplicationName", "Velloran Utility");
    ini.Key("Version", VersionText);
    ini.Comment(kSeparator);

    ini.Section("Window Settings");
    ini.Key("WinX", WinX);
    ini.Key("WinY", WinY);
    ini.Comment(kSeparator);

    ini.Section("Data Settings");
    ini.Comment("InstallDataSet: Local|DL|Not_Install");
    ini.Key("InstallDataSet", InstallDataSet);
    ini.Comment(kSeparator);
    ini.Comment("CloverLastRev: Last Clover Revision");
    ini.Key("CloverLastRev", lastRev);
    ini.Comment("CloverLastRevCheckDate: Last Check Clover Revision Date");
    ini.Key("CloverLastRevCheckDate", lastRevCheckDate);
    ini.Comment("CheckLatestCloverAtStartup: 0 - #False|1 - #True");
    ini.Key("CheckLatestCloverAtStartup", CheckLatestCloverAtStartup);
    ini.Comment("SaveLatestCloverAfterDL: 0 - #False|1 - #True");
    ini.Key("SaveLatestCloverAfterDL", SaveLatestCloverAfterDL);
    ini.Comment("Clover Local Repository Path");
    ini.Key("CloverLocalRepository", WrittenFolder(CloverLocalRepository));
    ini.Comment("Partition Backup Zarn-Image Files Local Repository Path");
    ini.Key("ZarnImageLocalRepo", WrittenFolder(ZarnImageLocalRepo));
    ini.Comment(kSeparator);
    ini.Comment("VolumeLabel: 11 letters max");
    ini.Key("VolumeLabel", VolumeLabel);
    ini.Comment("Boot_records: Windows|Clover|FreeDos|Not_Format");
    ini.Key("Boot_records", Boot_records);
    ini.Comment("FileSystem: FAT32|FAT32-LBA|NTFS|exFAT|UDF");
    ini.Key("FileSystem", FileSystem);
    ini.Comment("ClusterSize: 0 - Default");
    ini.Key("ClusterSize", ClusterSize);
    ini.Comment("StartLBASector: 63|2048|4096| 63 - Default");
    ini.Key("StartLBASector", StartLBASector);
    ini.Comment("QuickFormat: 0 - #False|1 - #True");
    ini.Key("QuickFormat", QuickFormat);
    ini.Comment("MultiPartitions: 0 - #False|1 - #True");
    ini.Key("MultiPartitions", MultiPartitions);
    ini.Comment("BootPartitionSize: 32 - 2000000 MB | 64 - Default");
    ini.Key("BootPartitionSize", BootPartitionSize);
    ini.Comment("EnableFixedDisks: 0 - #False|1 - #True");
    ini.Key("EnableFixedDisks", EnableFixedDisks);
    ini.Comment(kSeparator);

    ini.Section("Download Settings");
    ini.Comment("The maximum number of attempts to resume downloading files: 9999 - max value");
    ini.Key("ResumeMaxAttemptsNumber", ResumeMaxAttemptsNumber);
    ini.Comment("Additional URL for Download Apple SUCatalog:");
    ini.Comment(kSuCatalogExample);
    if (!SUCatalogURL_User_Added.empty()) ini.Key("SUCatalogURL_User_Added", SUCatalogURL_User_Added);
    ini.Comment(kSeparator);

    ini.Section("Download Data Settings");
    ini.Comment("Name of HD recovery = URL for Download");
    for (auto& entry : RecoveryList.Entries()) ini.Key(entry.Title, entry.Url);
    ini.Comment(kSeparator);

    ini.Section("Tools Data Settings");
    ini.Comment("FixDsdtMask: range 0x00000000-0xFFFFFFFF, default 0x87E7FBF1");
    ini.Key("FixDsdtMask", "0x" + FixDsdtMask);
    ini.Comment(kSeparator);

    ini.Save(SettingsFilePath());
}

}  // namespace vu
