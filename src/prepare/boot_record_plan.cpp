// Boot-record plan, task summary and boot-sector merge; see boot_record_plan.h.
#include "prepare/boot_record_plan.h"

#include <cstring>

#include "boot_images.h"

namespace vu {

namespace {

BootRecordPlan Plan(const char* mbr, const char* pbr, uint32_t pbrSectors) {
    BootRecordPlan plan;
    plan.MbrImage = FindBootImage(mbr)->data;
    plan.MbrSectors = 1;
    if (pbr) {
        plan.PbrImage = FindBootImage(pbr)->data;
        plan.PbrSectors = pbrSectors;
    }
    return plan;
}

}  // namespace

bool IsFat32Name(const std::string& fileSystem) { return fileSystem == "FAT32-LBA" || fileSystem == "FAT32"; }

std::optional<BootRecordPlan> PlanBootRecords(const std::string& bootRecords, const std::string& fileSystem) {
    if (bootRecords == "Windows") return Plan("USB-HDD+", nullptr, 0);
    if (bootRecords == "FreeDos") return Plan("USB-HDD+", "Fat32LBA(FreeDos)", 1);
    if (bootRecords == "Clover") {
        if (IsFat32Name(fileSystem)) return Plan("boot0", "boot1f32alt", 1);
        if (fileSystem == "exFAT") return Plan("boot0", "boot1xalt", 2);
        return std::nullopt;
    }
    return BootRecordPlan{};
}

std::string TaskSummary(const TaskSummaryInput& in) {
    std::string t = "Task:\t";
    if (in.installDataSet) t += "Install Full Data";
    else if (in.bootRecords == "Windows") t += "Windows format only ";
    else if (in.bootRecords == "Clover") t += "Clover format only";
    else if (in.bootRecords == "Not_Format") t += "Not Format";
    t += "\r\n";

    if (in.bootRecords == "Windows") t += "MBR:\tUSB-HDD+ (UltraISO)\r\nPBR:\tStandart (Windows)\r\n";
    else if (in.bootRecords == "FreeDos") t += "MBR:\tUSB-HDD+ (UltraISO)\r\nPBR:\tFat32LBA(FreeDos)\r\n";
    else if (in.bootRecords == "Clover") {
        t += "MBR:\tboot0 (Clover)\r\n";
        if (IsFat32Name(in.fileSystem)) t += "PBR:\tboot1f32alt (Clover)\r\n";
        else if (in.fileSystem == "exFAT") t += "PBR:\tboot1xalt (Clover)\r\n";
    }

    if (in.bootRecords != "Not_Format") {
        const std::string& lba = in.startLbaSector;
        if (lba == "63") t += "Align:\tto cylinder (63 sects)\r\n";
        else if (lba == "2048") t += "Align:\tto flash block (2048 sects)\r\n";
        else if (lba == "4096" || lba == "8192") t += "Align:\tto " + lba + " (sects)\r\n";
        t += "FS:\t" + in.fileSystem + "\r\n";
    }

    if (in.bootRecords == "Clover") {
        t += "Clover:\t" + in.installDataSetSource;
        if (in.installDataSetSource == "DL")
            t += in.installRevision == "0" ? " Latest Rev." : " r" + in.installRevision;
        else if (in.installDataSetSource == "Local")
            t += " r" + in.localDataSetRevision + " from\r\n\t" + in.localDataSetFileName;
        t += "\r\n";
    }
    return t;
}

void MergeBootRecord(const uint8_t* formatted, uint8_t* merged, const std::string& fileSystem) {
    if (IsFat32Name(fileSystem)) std::memcpy(merged + 3, formatted + 3, 87);
    else if (fileSystem == "exFAT") std::memcpy(merged, formatted, 120);
}

uint32_t Fat32BackupBootSector(const uint8_t* formatted, const std::string& fileSystem) {
    if (!IsFat32Name(fileSystem)) return 0;
    uint32_t reserved = formatted[14] | formatted[15] << 8, backup = formatted[50] | formatted[51] << 8;
    return backup != 0 && backup < reserved ? backup : 0;
}

}  // namespace vu
