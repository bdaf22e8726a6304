// The disk inventory on simulated PCs: what ScanDisks finds, from the partition tables and file
// systems actually in the image files.
#include <gtest/gtest.h>

#include "core/globals.h"
#include "disk/inventory.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

class Inventory : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    const DiskRecord* Disk(int number) {
        for (const auto& disk : DiskList)
            if (disk.DiskNumber == number) return &disk;
        return nullptr;
    }
    test::ScratchFolder folder;
};

TEST_F(Inventory, OfficePcDisksInNumberOrderWithGapsAndLimits) {
    test::BuildOfficePc(folder);
    EXPECT_EQ(ScanDisks(), 5);
    std::vector<int> numbers;
    for (const auto& disk : DiskList) numbers.push_back(disk.DiskNumber);
    // 2 and 6..48 do not exist, 5 has no length, 50 is beyond the probed numbers.
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 3, 4, 49}));
    EXPECT_EQ(DiskCount, 5);
    EXPECT_EQ(LogicalDriveCount, 5);  // C: E: F: G: Z:
    EXPECT_EQ(sim::OpenDeviceCount(), 0);
    for (const auto& disk : DiskList) EXPECT_EQ(disk.ListItem, -1);
}

TEST_F(Inventory, UsbStickWithTwoLetteredPartitions) {
    test::BuildOfficePc(folder);
    ScanDisks();
    const DiskRecord* stick = Disk(1);
    ASSERT_NE(stick, nullptr);
    EXPECT_EQ(stick->BusTypeName, "USB");
    EXPECT_EQ(stick->VendorId, "Acme");
    EXPECT_EQ(stick->ProductId, "Stick");
    EXPECT_EQ(stick->DriveTypeCode, 2);
    EXPECT_EQ(stick->DriveTypeName, "Removable");
    EXPECT_EQ(stick->DiskLength, 64 << 20);
    EXPECT_EQ(stick->Geometry.BytesPerSector, 512u);
    EXPECT_EQ(stick->Geometry.DiskSize, 64 << 20);
    EXPECT_EQ(stick->TotalSectors, 131072);
    EXPECT_EQ(stick->ChsSectors, 8 * 255 * 63);
    EXPECT_EQ(stick->PartitionCount, 4);
    EXPECT_EQ(stick->Signature, 0x12345678u);
    EXPECT_EQ(stick->Letters, "E: F:");
    EXPECT_EQ(stick->ActiveMark, "Act");

    const PartitionSlot& first = stick->Partitions[0];
    EXPECT_EQ(first.Info.StartingOffset, 2048 * 512);
    EXPECT_EQ(first.Info.PartitionLength, 61440 * 512);
    EXPECT_EQ(first.Info.PartitionNumber, 1u);
    EXPECT_EQ(first.Info.PartitionType, 0x0C);
    EXPECT_NE(first.Info.BootIndicator, 0);
    EXPECT_EQ(first.Letter, "E:");
    EXPECT_EQ(first.Label, "CLOVER");
    EXPECT_EQ(first.FsName, "FAT32");

    const PartitionSlot& second = stick->Partitions[1];
    EXPECT_EQ(second.Info.PartitionNumber, 2u);
    EXPECT_EQ(second.Info.BootIndicator, 0);
    EXPECT_EQ(second.Letter, "F:");
    EXPECT_EQ(second.Label, "DATA");
    EXPECT_EQ(second.FsName, "exFAT");

    // Empty table entries are counted but stay empty; their name is the type name of 0.
    EXPECT_EQ(stick->Partitions[2].Info.PartitionLength, 0);
    EXPECT_EQ(stick->Partitions[2].FsName, "RAW");
    EXPECT_EQ(stick->Partitions[2].Letter, "");
}

TEST_F(Inventory, SystemDiskAndDisksWithoutLettersOrDescriptor) {
    test::BuildOfficePc(folder);
    ScanDisks();
    const DiskRecord* system = Disk(0);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->BusTypeName, "SATA");
    EXPECT_EQ(system->VendorId, "");
    EXPECT_EQ(system->ProductId, "Samsung SSD");
    EXPECT_EQ(system->DriveTypeName, "Fixed");
    EXPECT_EQ(system->Letters, "C:");
    EXPECT_EQ(system->Partitions[0].Label, "System");
    EXPECT_EQ(system->Partitions[0].FsName, "NTFS");
    EXPECT_EQ(system->ActiveMark, "");

    // The descriptor query failed: bus, vendor and product stay empty, the rest is read.
    const DiskRecord* lost = Disk(3);
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->BusTypeName, "");
    EXPECT_EQ(lost->VendorId, "");
    EXPECT_EQ(lost->ProductId, "");
    EXPECT_EQ(lost->Letters, "G:");
    EXPECT_EQ(lost->Partitions[0].Label, "LOST");

    const DiskRecord* bare = Disk(4);
    ASSERT_NE(bare, nullptr);
    // A disk without a partition table reports no entries; the four slots are read all the same.
    EXPECT_EQ(bare->PartitionCount, 0);
    EXPECT_EQ(bare->Partitions[0].Info.PartitionLength, 0);
    EXPECT_EQ(bare->Partitions[0].FsName, "RAW");

    // Without a letter the file system name is the name of the partition type.
    const DiskRecord* kingmax = Disk(49);
    ASSERT_NE(kingmax, nullptr);
    EXPECT_EQ(kingmax->Letters, "");
    EXPECT_EQ(kingmax->Partitions[0].FsName, "FAT16");
    EXPECT_EQ(kingmax->Partitions[0].Label, "");
    EXPECT_EQ(kingmax->ChsSectors, 4 * 255 * 63);  // the described geometry, not the image size
    EXPECT_EQ(kingmax->TotalSectors, 65536);
}

TEST_F(Inventory, FailedQueriesLeaveTheirFieldsEmpty) {
    std::string image = test::BlankImage(folder, "stick.img", 8);
    test::Partition(image, "start=2048, type=c, bootable\n");
    test::FormatFat(image, 12, 2048, 14336, "STICK");
    test::LoadPcText(folder, "[disk 2]\nimage = " + image + "\nbus = 7\nfail = geometry layout\nletters = K:1\n");
    EXPECT_EQ(ScanDisks(), 1);
    const DiskRecord& disk = DiskList.at(0);
    EXPECT_EQ(disk.BusTypeName, "USB");
    EXPECT_EQ(disk.Geometry.BytesPerSector, 0u);
    EXPECT_EQ(disk.TotalSectors, 0);
    EXPECT_EQ(disk.ChsSectors, 0);
    EXPECT_EQ(disk.PartitionCount, 0);
    EXPECT_FALSE(disk.LayoutRead);
    EXPECT_EQ(disk.ActiveMark, "");
    // No slot to attach it to: the volume gives no letter.
    EXPECT_EQ(disk.Letters, "");
    EXPECT_EQ(sim::OpenDeviceCount(), 0);
}

TEST_F(Inventory, LogicalPartitionsFillTheSlotsPastFourAndGetTheirLetters) {
    std::string image = test::BlankImage(folder, "many.img", 64);
    test::Partition(image,
                    "start=2048, size=20480, type=c\n"
                    "start=22528, type=5\n"
                    "start=24576, size=20480, type=83\n"
                    "start=47104, size=20480, type=7\n"
                    "start=69632, size=20480, type=b\n");
    test::LoadPcText(folder, "[disk 1]\nimage = " + image + "\nbus = 7\nletters = M:2\n");
    ScanDisks();
    const DiskRecord& disk = DiskList.at(0);
    EXPECT_EQ(disk.PartitionCount, 16);  // four primary entries and four for each of three logicals
    EXPECT_EQ(disk.PartitionStyle, uint32_t(PartitionStyleMbr));
    EXPECT_EQ(disk.Partitions[0].FsName, "FAT32 LBA");
    EXPECT_EQ(disk.Partitions[1].FsName, "Extended");
    EXPECT_EQ(disk.Partitions[1].Info.PartitionNumber, 0u);
    EXPECT_EQ(disk.Partitions[2].Info.PartitionLength, 0);
    // The first logical partition (number 2) lies in slot 4, and its letter reaches the disk.
    EXPECT_EQ(disk.Partitions[4].Info.PartitionNumber, 2u);
    EXPECT_EQ(disk.Partitions[4].Letter, "M:");
    EXPECT_EQ(disk.Letters, "M:");
    EXPECT_EQ(disk.Partitions[12].Info.PartitionNumber, 4u);
    EXPECT_EQ(disk.Partitions[16].FsName, "");  // past the table
}

// More entries than a fixed buffer holds: the request is asked again with room for all of them.
TEST_F(Inventory, AGptOfSixtyPartitionsIsReadWhole) {
    std::string image = test::BlankImage(folder, "sixty.img", 80);
    std::string partitions;
    for (int i = 0; i < 60; ++i) partitions += std::string(i ? "; " : "") + "size=2048, type=L";
    test::LoadPcText(folder, "[disk 1]\nimage = " + image + "\nbus = 7\ngpt = " + partitions + "\n");
    ScanDisks();
    const DiskRecord& disk = DiskList.at(0);
    EXPECT_TRUE(disk.LayoutRead);
    EXPECT_EQ(disk.PartitionStyle, uint32_t(PartitionStyleGpt));
    EXPECT_EQ(disk.PartitionCount, 60);
    EXPECT_EQ(disk.Signature, 0u);
    EXPECT_EQ(disk.Partitions[49].Info.PartitionNumber, 50u);
    EXPECT_EQ(disk.Partitions[49].Info.PartitionLength, 2048 * 512);
    EXPECT_EQ(disk.Partitions[0].FsName, "Linux");
}

TEST_F(Inventory, PartitionUnderTwoLettersKeepsTheLaterOneAndBothInLetters) {
    std::string image = test::BlankImage(folder, "stick.img", 64);
    test::Partition(image, "start=2048, size=61440, type=c\nstart=63488, type=7\n");
    test::FormatFat(image, 32, 2048, 61440, "FIRST");
    test::FormatExFat(image, 63488, 67584, "SECOND");
    test::LoadPcText(folder, "[disk 1]\nimage = " + image + "\nbus = 7\nletters = H:2 E:1 J:1\n");
    ScanDisks();
    const DiskRecord& disk = DiskList.at(0);
    EXPECT_EQ(disk.Letters, "E: H: J:");
    EXPECT_EQ(disk.Partitions[0].Letter, "J:");
    EXPECT_EQ(disk.Partitions[0].Label, "FIRST");
    EXPECT_EQ(disk.Partitions[1].Letter, "H:");
}

TEST_F(Inventory, LetteredVolumeWithUnreadableFileSystemHasNoFileSystemName) {
    std::string image = test::BlankImage(folder, "raw.img", 16);
    test::Partition(image, "start=2048, size=14336, type=c\nstart=16384, type=83\n");
    test::LoadPcText(folder, "[disk 1]\nimage = " + image + "\nbus = 7\nletters = E:1\n");
    ScanDisks();
    const DiskRecord& disk = DiskList.at(0);
    EXPECT_EQ(disk.Partitions[0].Letter, "E:");
    EXPECT_EQ(disk.Partitions[0].FsName, "");
    EXPECT_EQ(disk.Partitions[0].Label, "");
    EXPECT_EQ(disk.Partitions[1].FsName, "Linux");
}

TEST_F(Inventory, FailedDriveStringsReturnZeroButKeepTheDisks) {
    std::string image = test::BlankImage(folder, "stick.img", 8);
    test::LoadPcText(folder, "drive-strings = fail\n[disk 7]\nimage = " + image + "\nbus = 7\n");
    EXPECT_EQ(ScanDisks(), 0);
    ASSERT_EQ(DiskList.size(), 1u);
    EXPECT_EQ(DiskList[0].DiskNumber, 7);
    EXPECT_EQ(LogicalDriveCount, 0);
}

TEST_F(Inventory, InventoryFollowsWhatWasWrittenToTheDisk) {
    std::string image = test::BlankImage(folder, "stick.img", 32);
    test::Partition(image, "start=2048, type=c\n");
    test::FormatFat(image, 32, 2048, 63488, "OLD");
    test::LoadPcText(folder, "[disk 1]\nimage = " + image + "\nbus = 7\nletters = E:1\n");
    ScanDisks();
    EXPECT_EQ(DiskList.at(0).Partitions[0].Label, "OLD");
    // A new table with an exFAT partition, written behind the inventory's back.
    test::Partition(image, "start=4096, type=7, bootable\n");
    test::FormatExFat(image, 4096, 61440, "NEW");
    ScanDisks();
    const PartitionSlot& slot = DiskList.at(0).Partitions[0];
    EXPECT_EQ(slot.Info.StartingOffset, 4096 * 512);
    EXPECT_EQ(slot.FsName, "exFAT");
    EXPECT_EQ(slot.Label, "NEW");
    EXPECT_EQ(DiskList.at(0).ActiveMark, "Act");
}

TEST_F(Inventory, VolumeLabelAndFileSystemNameTakeRootsWithOrWithoutBackslash) {
    test::BuildOfficePc(folder);
    EXPECT_EQ(GetVolumeLabel("E:"), "CLOVER");
    EXPECT_EQ(GetVolumeLabel("E:\\"), "CLOVER");
    EXPECT_EQ(GetFileSystemName("F:"), "exFAT");
    EXPECT_EQ(GetFileSystemName(""), "");
    EXPECT_EQ(GetVolumeLabel("Z:"), "");  // the CD drive holds nothing readable
    EXPECT_EQ(GetFileSystemName("Q:"), "");
}

}  // namespace
}  // namespace vu
