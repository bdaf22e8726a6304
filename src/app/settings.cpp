// The settings variables and their start values; see settings.h.
#include "app/settings.h"

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

}  // namespace vu
