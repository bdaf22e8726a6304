// The partition table and boot-record plan of a format run, byte for byte.
#include <gtest/gtest.h>

#include <vector>

#include "boot_images.h"
#include "prepare/boot_record_plan.h"
#include "prepare/partition_table.h"

namespace vu {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) { return {values.begin(), values.end()}; }

std::vector<uint8_t> Entry(const std::array<uint8_t, PartitionTableBytes>& table, int index) {
    return {table.begin() + index * 16, table.begin() + index * 16 + 16};
}

// An 8 GB stick: 15728640 sectors of 512 bytes, 979 cylinders of 255 tracks of 63 sectors.
PartitionTableInput EightGigabyteStick() {
    PartitionTableInput input;
    input.diskSize = 8053063680;
    input.bytesPerSector = 512;
    input.sectorsPerTrack = 63;
    input.chsSectors = 979LL * 255 * 63;
    input.requestedStart = 2048;
    input.bootPartitionMiB = 200;
    return input;
}

TEST(PartitionTable, WorkedExampleWithTwoPartitions) {
    auto input = EightGigabyteStick();
    input.multiPartitions = true;
    auto table = BuildPartitionTable(input);
    EXPECT_EQ(Entry(table, 0), Bytes({0x80, 0x20, 0x21, 0x00, 0x06, 0x9F, 0x06, 0x19, 0x00, 0x08, 0x00, 0x00, 0x00,
                                      0x40, 0x06, 0x00}));
    EXPECT_EQ(Entry(table, 1), Bytes({0x00, 0x9F, 0x07, 0x19, 0x06, 0xFE, 0xFF, 0xD2, 0x00, 0x48, 0x06, 0x00, 0x00,
                                      0xB8, 0xE9, 0x00}));
    EXPECT_EQ(Entry(table, 2), std::vector<uint8_t>(16, 0));
    EXPECT_EQ(Entry(table, 3), std::vector<uint8_t>(16, 0));
    EXPECT_EQ(table[64], 0x55);
    EXPECT_EQ(table[65], 0xAA);

    auto plan = PlanPartitions(input);
    EXPECT_EQ(plan.first.count, 409600);
    EXPECT_EQ(plan.second.start, 411648);
    EXPECT_EQ(plan.second.count, 15316992);
    EXPECT_TRUE(PlanFitsDisk(input, plan));
}

TEST(PartitionTable, WorkedExampleWithOnePartition) {
    auto table = BuildPartitionTable(EightGigabyteStick());
    EXPECT_EQ(Entry(table, 0), Bytes({0x80, 0x20, 0x21, 0x00, 0x06, 0xFE, 0xFF, 0xD2, 0x00, 0x08, 0x00, 0x00, 0x00,
                                      0xF8, 0xEF, 0x00}));
    EXPECT_EQ(Entry(table, 1), std::vector<uint8_t>(16, 0));
}

TEST(PartitionTable, ChsEncodingAndItsLimit) {
    // Exact values with 255 heads below the limit, cylinder bits 8 and 9 in the sector byte.
    ChsAddress a = ChsOf(16450559, 63);  // the last sector CHS can address: C 1023 H 254 S 63
    EXPECT_EQ(a.head, 0xFE);
    EXPECT_EQ(a.word, 0xFFFF);
    ChsAddress b = ChsOf(300 * 16065 + 2 * 63 + 4, 63);  // C 300 (0x12C) H 2 S 5
    EXPECT_EQ(b.head, 2);
    EXPECT_EQ(b.word, 5 | 0x40 | 0x2C << 8);
    // Start values keep the masked cylinder beyond the limit; they are never replaced by FE/FFFF.
    ChsAddress c = ChsOf(1024LL * 16065, 63);  // C 1024 masks to 0
    EXPECT_EQ(c.head, 0);
    EXPECT_EQ(c.word, 1);

    // A partition ending just below the limit gets its exact end; one ending on it gets FE/FFFF.
    PartitionTableInput input;
    input.diskSize = 20000000LL * 512;
    input.chsSectors = 1244LL * 16065;
    input.requestedStart = 63;
    input.multiPartitions = true;
    input.bootPartitionMiB = (16450560 - 63 - 1) * 512 / (1 << 20);  // ends a little below the limit
    auto below = BuildPartitionTable(input);
    auto plan = PlanPartitions(input);
    ASSERT_LT(plan.firstEnd, ChsLimitSectors);
    ChsAddress end = ChsOf(plan.firstEnd - 1, 63);
    EXPECT_EQ(below[5], end.head);
    EXPECT_EQ(below[6] | below[7] << 8, end.word);
    EXPECT_NE(below[5] << 16 | below[6] << 8 | below[7], 0xFEFFFF);
    // The second partition ends at chsSectors, beyond the limit.
    EXPECT_EQ(below[16 + 5], 0xFE);
    EXPECT_EQ(below[16 + 6], 0xFF);
    EXPECT_EQ(below[16 + 7], 0xFF);
}

TEST(PartitionTable, StartNotBelowChsSectorsFallsBackTo63) {
    PartitionTableInput input;
    input.diskSize = 64LL << 20;
    input.chsSectors = 8 * 16065;  // 128520 sectors
    for (int64_t requested : {128520LL, 200000LL}) {
        input.requestedStart = requested;
        auto table = BuildPartitionTable(input);
        EXPECT_EQ(table[8] | table[9] << 8, 63) << requested;
        EXPECT_EQ(table[1], 1);  // C 0 H 1 S 1
        EXPECT_EQ(table[2], 1);
    }
    input.requestedStart = 128519;
    EXPECT_EQ(PlanPartitions(input).first.start, 128519);
}

TEST(PartitionTable, PlansThatDoNotFitAreRecognized) {
    PartitionTableInput input;
    input.diskSize = 64LL << 20;  // 131072 sectors
    input.chsSectors = 8 * 16065;
    input.requestedStart = 2048;
    input.multiPartitions = true;
    input.bootPartitionMiB = 200;  // larger than the stick
    EXPECT_FALSE(PlanFitsDisk(input, PlanPartitions(input)));
    input.bootPartitionMiB = 63;  // leaves nothing for the second partition
    EXPECT_FALSE(PlanFitsDisk(input, PlanPartitions(input)));
    input.bootPartitionMiB = 32;
    EXPECT_TRUE(PlanFitsDisk(input, PlanPartitions(input)));

    input.multiPartitions = false;
    input.diskSize = 3LL << 40;  // 3 TiB: beyond the 32-bit sector count of an MBR entry
    input.chsSectors = 16450560;
    EXPECT_FALSE(PlanFitsDisk(input, PlanPartitions(input)));
    input.diskSize = 0;
    EXPECT_FALSE(PlanFitsDisk(input, PlanPartitions(input)));
    input.diskSize = 64LL << 20;
    input.bytesPerSector = 0;
    EXPECT_FALSE(PlanFitsDisk(input, PlanPartitions(input)));
}

TEST(BootRecordPlan, ImagesPerChoice) {
    auto windows = PlanBootRecords("Windows", "NTFS");
    ASSERT_TRUE(windows);
    EXPECT_EQ(windows->MbrImage, kUsbHddPlusImage);
    EXPECT_EQ(windows->PbrSectors, 0u);
    auto freedos = PlanBootRecords("FreeDos", "FAT32-LBA");
    EXPECT_EQ(freedos->MbrImage, kUsbHddPlusImage);
    EXPECT_EQ(freedos->PbrImage, kFat32LbaFreeDosImage);
    EXPECT_EQ(freedos->PbrSectors, 1u);
    for (const char* fat : {"FAT32-LBA", "FAT32"}) {
        auto clover = PlanBootRecords("Clover", fat);
        EXPECT_EQ(clover->MbrImage, kBoot0Image);
        EXPECT_EQ(clover->PbrImage, kBoot1f32AltImage);
        EXPECT_EQ(clover->PbrSectors, 1u);
    }
    auto exfat = PlanBootRecords("Clover", "exFAT");
    EXPECT_EQ(exfat->PbrImage, kBoot1xAltImage);
    EXPECT_EQ(exfat->PbrSectors, 2u);
    EXPECT_FALSE(PlanBootRecords("Clover", "NTFS"));
    EXPECT_FALSE(PlanBootRecords("Clover", "UDF"));
    auto none = PlanBootRecords("Not_Format", "FAT32");
    EXPECT_EQ(none->MbrImage, nullptr);
    EXPECT_EQ(none->PbrImage, nullptr);
}

TEST(BootRecordPlan, TaskSummaries) {
    TaskSummaryInput local{true, "Clover", "FAT32-LBA", "2048", "Local", "0", "5151", "CloverISO-5151.zip"};
    EXPECT_EQ(TaskSummary(local),
              "Task:\tInstall Full Data\r\nMBR:\tboot0 (Clover)\r\nPBR:\tboot1f32alt (Clover)\r\n"
              "Align:\tto flash block (2048 sects)\r\nFS:\tFAT32-LBA\r\nClover:\tLocal r5151 from\r\n"
              "\tCloverISO-5151.zip\r\n");
    TaskSummaryInput latest{true, "Clover", "exFAT", "63", "DL", "0", "", ""};
    EXPECT_EQ(TaskSummary(latest),
              "Task:\tInstall Full Data\r\nMBR:\tboot0 (Clover)\r\nPBR:\tboot1xalt (Clover)\r\n"
              "Align:\tto cylinder (63 sects)\r\nFS:\texFAT\r\nClover:\tDL Latest Rev.\r\n");
    latest.installRevision = "4920";
    latest.installDataSet = false;
    latest.installDataSetSource = "Not_Install";
    EXPECT_EQ(TaskSummary(latest),
              "Task:\tClover format only\r\nMBR:\tboot0 (Clover)\r\nPBR:\tboot1xalt (Clover)\r\n"
              "Align:\tto cylinder (63 sects)\r\nFS:\texFAT\r\nClover:\tNot_Install\r\n");
    latest.installDataSetSource = "DL";
    EXPECT_NE(TaskSummary(latest).find("Clover:\tDL r4920\r\n"), std::string::npos);

    TaskSummaryInput windows{false, "Windows", "NTFS", "8192", "DL", "0", "", ""};
    EXPECT_EQ(TaskSummary(windows),
              "Task:\tWindows format only \r\nMBR:\tUSB-HDD+ (UltraISO)\r\nPBR:\tStandart (Windows)\r\n"
              "Align:\tto 8192 (sects)\r\nFS:\tNTFS\r\n");
    TaskSummaryInput freedos{true, "FreeDos", "FAT32-LBA", "1000", "DL", "0", "", ""};
    EXPECT_EQ(TaskSummary(freedos),
              "Task:\tInstall Full Data\r\nMBR:\tUSB-HDD+ (UltraISO)\r\nPBR:\tFat32LBA(FreeDos)\r\nFS:\tFAT32-LBA\r\n");
    TaskSummaryInput none{false, "Not_Format", "FAT32", "63", "Not_Install", "0", "", ""};
    EXPECT_EQ(TaskSummary(none), "Task:\tNot Format\r\n");
}

TEST(BootRecordPlan, MergeKeepsTheFileSystemFields) {
    std::vector<uint8_t> formatted(1024), merged(1024);
    for (size_t i = 0; i < formatted.size(); ++i) formatted[i] = uint8_t(i * 7 + 1), merged[i] = 0xEE;
    auto fat = merged;
    MergeBootRecord(formatted.data(), fat.data(), "FAT32-LBA");
    for (size_t i = 0; i < fat.size(); ++i)
        ASSERT_EQ(fat[i], i >= 3 && i <= 89 ? formatted[i] : 0xEE) << i;
    auto exfat = merged;
    MergeBootRecord(formatted.data(), exfat.data(), "exFAT");
    for (size_t i = 0; i < exfat.size(); ++i)
        ASSERT_EQ(exfat[i], i <= 119 ? formatted[i] : 0xEE) << i;
}

}  // namespace
}  // namespace vu
