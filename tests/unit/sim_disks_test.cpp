// The simulated PC's disks: descriptions, layouts read from the MBR in the image, and the file
// systems recognised in partitions as Windows reports them.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/device_layouts.h"
#include "platform/disk_device.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

class SimDisks : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    std::pair<std::string, std::string> Volume(const std::string& root) {
        std::string label = "?", name = "?";
        if (!plat::VolumeInformation(root, &label, &name)) return {"failed", "failed"};
        return {name, label};
    }
    test::ScratchFolder folder;
};

TEST_F(SimDisks, FileSystemsAreNamedAsWindowsNamesThem) {
    std::string image = test::BlankImage(folder, "disk.img", 160);
    test::Partition(image,
                    "start=2048, size=8192, type=1\n"      // 4 MiB FAT12
                    "start=10240, size=65536, type=6\n"    // 32 MiB FAT16
                    "start=75776, size=81920, type=c\n"    // 40 MiB FAT32
                    "start=157696, type=7\n");             // NTFS
    test::FormatFat(image, 12, 2048, 8192, "TWELVE");
    test::FormatFat(image, 16, 10240, 65536, "");
    test::FormatFat(image, 32, 75776, 81920, "Thirty Two");
    test::FormatNtfs(image, 157696, 327680 - 157696, "Windows Data");
    test::LoadPcText(folder, "[disk 0]\nimage = " + image + "\nletters = E:1 F:2 G:3 H:4\n");
    EXPECT_EQ(Volume("E:\\"), std::make_pair(std::string("FAT"), std::string("TWELVE")));
    EXPECT_EQ(Volume("F:\\"), std::make_pair(std::string("FAT"), std::string("")));
    EXPECT_EQ(Volume("G:\\"), std::make_pair(std::string("FAT32"), std::string("Thirty Two")));
    EXPECT_EQ(Volume("H:\\"), std::make_pair(std::string("NTFS"), std::string("Windows Data")));
}

TEST_F(SimDisks, ExFatLabelAndUnformattedVolumes) {
    std::string image = test::BlankImage(folder, "disk.img", 40);
    test::Partition(image, "start=2048, size=65536, type=7\nstart=67584, type=c\n");
    test::FormatExFat(image, 2048, 65536, "Ünïcode");
    test::LoadPcText(folder, "foreign-letters = Z:\n[disk 0]\nimage = " + image + "\nletters = E:1 F:2\n");
    EXPECT_EQ(Volume("E:\\"), std::make_pair(std::string("exFAT"), std::string("Ünïcode")));
    EXPECT_EQ(Volume("F:\\").first, "failed");
    EXPECT_EQ(Volume("Z:\\").first, "failed");
    EXPECT_EQ(Volume("Q:\\").first, "failed");
}

TEST_F(SimDisks, LogicalPartitionsAreNumberedAfterThePrimaryOnes) {
    std::string image = test::BlankImage(folder, "disk.img", 64);
    test::Partition(image,
                    "start=2048, size=20480, type=5\n"
                    "start=22528, size=20480, type=c\n"
                    "start=4096, size=8192, type=83\n"
                    "start=14336, size=8192, type=c\n");
    test::FormatFat(image, 12, 14336, 8192, "LOGICAL");
    test::LoadPcText(folder, "[disk 2]\nimage = " + image + "\nletters = K:3\n");
    plat::DeviceHandle disk = plat::OpenDevice("\\\\.\\PHYSICALDRIVE2", false);
    ASSERT_NE(disk, plat::NoDevice);
    std::vector<uint8_t> buffer(DriveLayoutBufferSize);
    ASSERT_TRUE(plat::DeviceControl(disk, IoctlDiskGetDriveLayout, nullptr, 0, buffer.data(), DriveLayoutBufferSize));
    plat::CloseDevice(disk);
    uint32_t count;
    std::memcpy(&count, buffer.data(), 4);
    ASSERT_EQ(count, 12u);
    auto entry = [&](int i) {
        PartitionInformation p;
        std::memcpy(&p, buffer.data() + 8 + 32 * i, 32);
        return p;
    };
    EXPECT_EQ(entry(0).PartitionType, 0x05);
    EXPECT_EQ(entry(0).PartitionNumber, 0u);
    EXPECT_EQ(entry(1).PartitionNumber, 1u);
    EXPECT_EQ(entry(4).PartitionType, 0x83);
    EXPECT_EQ(entry(4).PartitionNumber, 2u);
    EXPECT_EQ(entry(4).StartingOffset, 4096 * 512);
    EXPECT_EQ(entry(5).PartitionType, 0x05);  // the link to the next logical partition
    EXPECT_EQ(entry(8).PartitionNumber, 3u);
    EXPECT_EQ(entry(8).StartingOffset, 14336 * 512);
    EXPECT_EQ(Volume("K:\\"), std::make_pair(std::string("FAT"), std::string("LOGICAL")));
}

TEST_F(SimDisks, DescriptorCarriesBusVendorAndProduct) {
    std::string image = test::BlankImage(folder, "disk.img", 1);
    test::LoadPcText(folder, "[disk 0]\nimage = " + image + "\nbus = 12\nvendor = \" SD \"\nproduct = Card\n");
    plat::DeviceHandle disk = plat::OpenDevice("\\\\.\\physicaldrive0", false);
    ASSERT_NE(disk, plat::NoDevice);
    uint8_t query[StoragePropertyQuerySize] = {};
    uint8_t d[StorageDescriptorBufferSize] = {};
    ASSERT_TRUE(plat::DeviceControl(disk, IoctlStorageQueryProperty, query, sizeof query, d, sizeof d));
    EXPECT_EQ(d[DescriptorBusTypeAt], 12);
    EXPECT_STREQ(reinterpret_cast<char*>(d + d[DescriptorVendorIdOffsetAt]), " SD ");
    EXPECT_STREQ(reinterpret_cast<char*>(d + d[DescriptorProductIdOffsetAt]), "Card");
    EXPECT_EQ(plat::DriveTypeOf("\\\\.\\PHYSICALDRIVE0\\"), 2u);
    plat::CloseDevice(disk);
}

TEST_F(SimDisks, DescriptionErrorsNameTheLine) {
    std::string file = folder.File("bad.txt");
    std::ofstream(file) << "[disk 1]\nimage = /x\nspeed = fast\n";
    std::string error;
    EXPECT_FALSE(sim::LoadPc(file, &error));
    EXPECT_NE(error.find("bad.txt:3"), std::string::npos) << error;
    std::ofstream(file) << "[disk 1]\nbus = 7\n";
    EXPECT_FALSE(sim::LoadPc(file, &error));
    EXPECT_FALSE(sim::LoadPc(folder.File("missing.txt"), &error));
}

}  // namespace
}  // namespace vu
