// The settings variables: one global per key of the settings file, under the key's name.
// Read at start-up and written by the settings file code on the main thread; changed by the main
// loop's handlers and by the revision check (under RevisionSettingsLock). A job works from a
// SettingsRecord copied when it was started. Other threads read only CloverLocalRepository, under
// the repository's lock (prepare/local_repository.h), and EnableFixedDisks, in the drive-list
// refresh at an operation's end, while the Configuration window cannot be open.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vu {

extern int32_t WinX, WinY;
extern std::string InstallDataSet;          // "Local", "DL", "Not_Install"
extern std::string CloverLastRev;           // a revision number or "Check It!"
extern std::string CloverLastRevCheckDate;  // "%dd.%mm.%yy %hh:%ii"
extern int32_t CheckLatestCloverAtStartup;
extern int32_t SaveLatestCloverAfterDL;
extern std::string CloverLocalRepository;   // an existing folder, ending with "\"
extern std::string ZarnImageLocalRepo;
extern std::string VolumeLabel;
extern std::string Boot_records;            // "Windows", "Clover", "FreeDos", "Not_Format"
extern std::string FileSystem;              // "FAT32", "FAT32-LBA", "NTFS", "exFAT", "UDF"
extern std::string ClusterSize;
extern std::string StartLBASector;          // "63", "2048", "4096", "8192"
extern int32_t QuickFormat;
extern int32_t MultiPartitions;
extern int32_t BootPartitionSize;           // megabytes
extern int32_t EnableFixedDisks;
extern int32_t ResumeMaxAttemptsNumber;
extern std::string SUCatalogURL_User_Added;
extern std::string SUCatalogURL_Default;
extern std::string FixDsdtMask;             // eight upper-case hexadecimal digits
extern std::string InstallRevision;         // the revision chosen for download, "0" for none

// The revision check changes CloverLastRev, CloverLastRevCheckDate and InstallRevision on a worker
// thread while the main thread may write the settings or show them: both sides hold this lock.
extern std::mutex RevisionSettingsLock;

// The settings a job works from, copied on the main thread when the job starts, so that the
// Configuration window may change the variables while the job runs. Same names as the variables.
struct SettingsRecord {
    std::string InstallDataSet, InstallRevision, CloverLocalRepository, ZarnImageLocalRepo, VolumeLabel;
    std::string Boot_records, FileSystem, ClusterSize, StartLBASector, SUCatalogURL_User_Added;
    int32_t SaveLatestCloverAfterDL = 0, QuickFormat = 1, MultiPartitions = 1, BootPartitionSize = 200;
    int32_t ResumeMaxAttemptsNumber = 9999;
};
// The variables as they are now. Main thread.
SettingsRecord CopySettings();

// Resets every settings variable to its start value (before the file is read).
void SetSettingsStartValues();

// The number at the start of a text: leading spaces, an optional sign, then digits up to the
// first other character; 0 when there are none. Saturates at the limits of int32_t.
int32_t LeadingNumber(const std::string& text);

}  // namespace vu
