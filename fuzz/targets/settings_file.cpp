// The settings file beside the executable, read on top of the INI reader with every value checked
// against what it may hold. What one run reads and writes back at its end, the next run must read
// as the same settings.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/settings_file.h"
#include "core/settings.h"
#include "fuzz_support.h"
#include "net/recovery_list.h"
#include "platform/files.h"

namespace {

using namespace vu;

// Windows folder names are the same folder whatever their case: the program's own folder is written
// as ".\" and read back in the case the system gives it.
std::string Folder(std::string path) {
    for (char& c : path) c = char(std::tolower(static_cast<unsigned char>(c)));
    return path;
}

// Every settings variable by name, as text.
std::vector<std::pair<std::string, std::string>> Snapshot() {
    auto n = [](int32_t value) { return std::to_string(value); };
    std::vector<std::pair<std::string, std::string>> values = {
        {"WinX", n(WinX)}, {"WinY", n(WinY)}, {"InstallDataSet", InstallDataSet}, {"CloverLastRev", CloverLastRev},
        {"CloverLastRevCheckDate", CloverLastRevCheckDate},
        {"CheckLatestCloverAtStartup", n(CheckLatestCloverAtStartup)},
        {"SaveLatestCloverAfterDL", n(SaveLatestCloverAfterDL)},
        {"CloverLocalRepository", Folder(CloverLocalRepository)}, {"ZarnImageLocalRepo", Folder(ZarnImageLocalRepo)},
        {"VolumeLabel", VolumeLabel}, {"Boot_records", Boot_records},
        {"FileSystem", FileSystem}, {"ClusterSize", ClusterSize}, {"StartLBASector", StartLBASector},
        {"QuickFormat", n(QuickFormat)}, {"MultiPartitions", n(MultiPartitions)},
        {"BootPartitionSize", n(BootPartitionSize)}, {"EnableFixedDisks", n(EnableFixedDisks)},
        {"ResumeMaxAttemptsNumber", n(ResumeMaxAttemptsNumber)},
        {"SUCatalogURL_User_Added", SUCatalogURL_User_Added}, {"FixDsdtMask", FixDsdtMask}};
    for (const auto& entry : RecoveryList.Entries()) values.emplace_back("Recovery " + entry.Title, entry.Url);
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::StartSimulatedPc();
    SetSettingsStartValues();
    if (!plat::WriteWholeFile(SettingsFilePath(), std::string(reinterpret_cast<const char*>(data), size)))
        fuzz::Fail("cannot write the settings file");
    ReadSettings();
    auto first = Snapshot();
    WriteSettings();
    SetSettingsStartValues();
    ReadSettings();
    auto second = Snapshot();
    if (second.size() != first.size()) fuzz::Fail("the Recovery HD list changed on its way through the file");
    for (size_t i = 0; i < first.size(); ++i)
        if (second[i] != first[i])
            fuzz::Fail(first[i].first + " \"" + first[i].second + "\" read back as \"" + second[i].second + "\"");
    return 0;
}
