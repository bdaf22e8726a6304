// What a format run writes besides the file system: the boot sectors chosen by the Boot_records
// and FileSystem settings, the task summary the confirmation shows, and the merge of an embedded
// partition boot sector with the parameters of the freshly made file system.
// Pure computation over the settings' values; any thread.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace vu {

struct BootRecordPlan {
    const unsigned char* MbrImage = nullptr;  // written to LBA 0; none for "Not_Format"
    uint32_t MbrSectors = 0;
    const unsigned char* PbrImage = nullptr;  // merged into partition 1; none leaves the formatter's
    uint32_t PbrSectors = 0;
};

// The plan of `bootRecords` with `fileSystem`; nullopt for "Clover" with a file system it cannot
// boot from (anything but "FAT32-LBA", "FAT32" and "exFAT").
std::optional<BootRecordPlan> PlanBootRecords(const std::string& bootRecords, const std::string& fileSystem);

// True for the file-system names whose boot sector is merged as FAT32.
bool IsFat32Name(const std::string& fileSystem);

struct TaskSummaryInput {
    bool installDataSet = false;
    std::string bootRecords, fileSystem, startLbaSector, installDataSetSource;
    std::string installRevision;        // for "DL"
    std::string localDataSetRevision;   // for "Local"
    std::string localDataSetFileName;   // for "Local", without folder
};
// The "Task:" lines of the confirmation.
std::string TaskSummary(const TaskSummaryInput& input);

// Copies the file-system fields of the formatter's boot sector `formatted` over the embedded image
// in `merged`: bytes 3-89 for FAT32, bytes 0-119 for exFAT.
void MergeBootRecord(const uint8_t* formatted, uint8_t* merged, const std::string& fileSystem);

// The sector of a FAT32 volume's backup boot sector, named in the formatter's boot sector (6 as
// Windows and mkfs.fat write it); 0 for other file systems or a field outside the reserved sectors.
uint32_t Fat32BackupBootSector(const uint8_t* formatted, const std::string& fileSystem);

}  // namespace vu
