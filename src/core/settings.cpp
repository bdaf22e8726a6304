// The settings variables and their start values; see settings.h.
#include "core/settings.h"

#include <cctype>

namespace vu {

int32_t WinX, WinY;
std::string InstallDataSet, CloverLastRev, CloverLastRevCheckDate;
int32_t CheckLatestCloverAtStartup, SaveLatestCloverAfterDL;
std::string CloverLocalRepository, ZarnImageLocalRepo, VolumeLabel, Boot_records, FileSystem;
std::string ClusterSize, StartLBASector;
int32_t QuickFormat, MultiPartitions, BootPartitionSize, EnableFixedDisks, ResumeMaxAttemptsNumber;
std::string SUCatalogURL_User_Added, SUCatalogURL_Default, FixDsdtMask, InstallRevision;
std::mutex RevisionSettingsLock;

void SetSettingsStartValues() {
    WinX = 400, WinY = 400;
    InstallDataSet = "DL";
    CloverLastRev = "0";
    CloverLastRevCheckDate.clear();
    CheckLatestCloverAtStartup = 0;
    SaveLatestCloverAfterDL = 0;
    CloverLocalRepository.clear();
    ZarnImageLocalRepo.clear();
    VolumeLabel = "CLOVER";
    Boot_records = "Clover";
    FileSystem = "FAT32-LBA";
    ClusterSize = "0";
    StartLBASector = "63";
    QuickFormat = 1;
    MultiPartitions = 1;
    BootPartitionSize = 200;
    EnableFixedDisks = 0;
    ResumeMaxAttemptsNumber = 9999;
    SUCatalogURL_User_Added.clear();
    SUCatalogURL_Default = "https://swscan.apple.com/content/catalogs/others/index-10.13seed.merged-1.sucatalog";
    FixDsdtMask = "87E7FBF1";
    InstallRevision = "0";
}

SettingsRecord CopySettings() {
    SettingsRecord s;
    {
        std::lock_guard<std::mutex> l(RevisionSettingsLock);
        s.InstallRevision = InstallRevision;
    }
    s.InstallDataSet = InstallDataSet;
    s.CloverLocalRepository = CloverLocalRepository;
    s.ZarnImageLocalRepo = ZarnImageLocalRepo;
    s.VolumeLabel = VolumeLabel;
    s.Boot_records = Boot_records;
    s.FileSystem = FileSystem;
    s.ClusterSize = ClusterSize;
    s.StartLBASector = StartLBASector;
    s.SUCatalogURL_User_Added = SUCatalogURL_User_Added;
    s.SaveLatestCloverAfterDL = SaveLatestCloverAfterDL;
    s.QuickFormat = QuickFormat;
    s.MultiPartitions = MultiPartitions;
    s.BootPartitionSize = BootPartitionSize;
    s.ResumeMaxAttemptsNumber = ResumeMaxAttemptsNumber;
    return s;
}

int32_t LeadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') i++;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t n = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); i++) {
        n = n * 10 + (text[i] - '0');
        if (n > int64_t(INT32_MAX) + 1) n = int64_t(INT32_MAX) + 1;
    }
    if (negative) return int32_t(-n);
    return n > INT32_MAX ? INT32_MAX : int32_t(n);
}

}  // namespace vu
