// Raw sector access and the system-drive guard on simulated PCs.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "app/main_window.h"
#include "core/globals.h"
#include "core/status_bar.h"
#include "disk/inventory.h"
#include "disk/raw_access.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

class RawAccess : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        BuildMainWindow();
        SelectedDisk = DiskRecord{};
        // Disk 0 holds the system (C:) and D:; disk 1 is a stick with E:.
        system = test::BlankImage(folder, "system.img", 16);
        test::Partition(system, "start=2048, size=8192, type=7\nstart=10240, type=7\n");
        stick = test::BlankImage(folder, "stick.img", 8);
        test::Partition(stick, "start=2048, type=c\n");
    }
    void LoadPc(const std::string& stickOptions = "") {
        test::LoadPcText(folder, "system-drive = C\n[disk 0]\nimage = " + system +
                                     "\nbus = 11\ndrive-type = 3\nletters = C:1 D:2\n[disk 1]\nimage = " + stick +
                                     "\nbus = 7\nletters = E:1\n" + stickOptions);
        ReadProgramIdentity();
    }
    void SelectSystemDisk() {
        ScanDisks();
        SelectedDisk = DiskList.at(0);
        ASSERT_EQ(SelectedDisk.Letters, "C: D:");
    }
    std::string StatusText() {
        auto picture = sim::Gadget(StatusBarGadget)->picture;
        for (const auto& op : picture)
            if (op.kind == plat::DrawOp::Text) return op.text;
        return "";
    }
    int Opens() {
        auto log = sim::DeviceLog();
        return int(std::count_if(log.begin(), log.end(), [](const std::string& e) { return e.rfind("open ", 0) == 0; }));
    }
    std::string ImageBytes(const std::string& image, int64_t offset, size_t size) {
        std::ifstream in(image, std::ios::binary);
        in.seekg(offset);
        std::string bytes(size, '\0');
        in.read(bytes.data(), std::streamsize(size));
        return bytes;
    }

    test::ScratchFolder folder;
    std::string system, stick;
};

TEST_F(RawAccess, SystemDiskIsNeverOpenedForWritingNorItsVolumeAtAll) {
    LoadPc();
    ASSERT_EQ(SystemDriveLetter, "C");
    SelectSystemDisk();
    sim::ClearDeviceLog();

    // Every open for writing is refused while the selection holds the system drive, whatever
    // disk or volume is named.
    for (auto [disk, volume] : std::vector<std::pair<int, std::string>>{{0, ""}, {1, ""}, {0, "D"}, {0, "E:"}}) {
        EXPECT_EQ(OpenDisk(disk, volume, true, false), plat::NoDevice) << disk << volume;
        EXPECT_EQ(StatusText(), "WARNING - write access to System Drive disabled!");
    }
    ASSERT_EQ(sim::Messages().size(), 4u);
    for (const auto& box : sim::Messages()) {
        EXPECT_EQ(box.title, "Error");
        EXPECT_EQ(box.text, "Sorry, operation not permitted!\r\nYou selected a System Drive.");
        EXPECT_EQ(box.flags, 0x30u);
    }
    EXPECT_EQ(Opens(), 0);

    // Reading: D's volume and the physical disk may be opened, C's volume may not.
    plat::DeviceHandle d = OpenDisk(0, "D", false, false);
    EXPECT_NE(d, plat::NoDevice);
    plat::CloseDevice(d);
    plat::DeviceHandle physical = OpenDisk(0, "", false, false);
    EXPECT_NE(physical, plat::NoDevice);
    plat::CloseDevice(physical);
    EXPECT_EQ(OpenDisk(0, "C:", false, false), plat::NoDevice);
    EXPECT_EQ(StatusText(), "WARNING - access to Disk C: disabled!");
    EXPECT_EQ(sim::Messages().size(), 5u);
    EXPECT_EQ(sim::DeviceLog(), (std::vector<std::string>{"open \\\\.\\D: r", "close \\\\.\\D:",
                                                         "open \\\\.\\PHYSICALDRIVE0 r", "close \\\\.\\PHYSICALDRIVE0"}));
}

TEST_F(RawAccess, SystemVolumeIsRefusedEvenWithAnotherDiskSelected) {
    LoadPc();
    EXPECT_EQ(OpenDisk(1, "c", false, false), plat::NoDevice);
    EXPECT_EQ(StatusText(), "WARNING - access to Disk C: disabled!");
    plat::DeviceHandle e = OpenDisk(1, "", true, false);  // nothing selected: writing the stick is allowed
    EXPECT_NE(e, plat::NoDevice);
    plat::CloseDevice(e);
}

TEST_F(RawAccess, GuardMatchesASystemDirectoryReportedInLowerCase) {
    LoadPc();
    sim::SetSystemDirectory("c:\\windows\\system32");
    ReadProgramIdentity();
    SelectSystemDisk();
    sim::ClearDeviceLog();
    EXPECT_EQ(OpenDisk(0, "", true, false), plat::NoDevice);
    EXPECT_EQ(OpenDisk(0, "C", false, false), plat::NoDevice);
    EXPECT_EQ(Opens(), 0);
}

// An unknown system drive matches no letter, but where Windows lives cannot be told then: no
// volume or disk is opened for writing, reading stays possible.
TEST_F(RawAccess, UnknownSystemDriveMatchesNoLetterAndAllowsNoWrite) {
    LoadPc();
    sim::SetSystemDirectory("");
    ReadProgramIdentity();
    plat::DeviceHandle c = OpenDisk(0, "C", false, false);
    EXPECT_NE(c, plat::NoDevice);
    plat::CloseDevice(c);
    EXPECT_EQ(OpenDisk(0, "E", true, false), plat::NoDevice);
    EXPECT_EQ(OpenDisk(1, "", true, false), plat::NoDevice);
    EXPECT_EQ(StatusText(), "WARNING - write access disabled: the disks of Windows can't be told!");
    EXPECT_EQ(sim::Messages().size(), 2u);
}

TEST_F(RawAccess, VolumeLetterIsUpperCasedAndMustBeALetter) {
    LoadPc();
    plat::DeviceHandle e = OpenDisk(7, "e:", false, false);
    EXPECT_NE(e, plat::NoDevice);
    plat::CloseDevice(e);
    EXPECT_EQ(sim::DeviceLog().at(0), "open \\\\.\\E: r");

    EXPECT_EQ(OpenDisk(0, "1", false, false), plat::NoDevice);
    EXPECT_EQ(StatusText(), "WARNING - access to Disk 1: disabled!");
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Error");
    EXPECT_EQ(Opens(), 1);
}

TEST_F(RawAccess, VolumeLockIsTriedTwentyTimesHalfASecondApart) {
    LoadPc("lock-refusals = -1\n");
    int64_t start = sim::Now();
    EXPECT_EQ(OpenDisk(1, "E", true, true), plat::NoDevice);
    EXPECT_EQ(sim::Now() - start, 10000);
    // Then a dismount, which closes the other handles of the volume, and one attempt more.
    auto log = sim::DeviceLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "lock \\\\.\\E: refused"), 21);
    EXPECT_EQ(log[log.size() - 3], "dismount \\\\.\\E:");
    EXPECT_EQ(log.back(), "close \\\\.\\E:");
    EXPECT_EQ(sim::OpenDeviceCount(), 0);
    EXPECT_TRUE(sim::Messages().empty());
}

// A lock refused now may be granted later: both the volume's and the drive's are asked again.
TEST_F(RawAccess, LocksSucceedingLate) {
    LoadPc("lock-refusals = 3\n");
    int64_t start = sim::Now();
    plat::DeviceHandle e = OpenDisk(1, "E", true, true);
    ASSERT_NE(e, plat::NoDevice);
    EXPECT_EQ(sim::Now() - start, 1500);
    EXPECT_TRUE(DismountVolume(e));
    EXPECT_TRUE(UnlockVolume(e));
    EXPECT_FALSE(UnlockVolume(e));  // no longer locked
    plat::CloseDevice(e);

    LoadPc("lock-refusals = 1\n");
    start = sim::Now();
    plat::DeviceHandle drive = OpenDisk(1, "", true, true);
    EXPECT_NE(drive, plat::NoDevice);
    EXPECT_EQ(sim::Now() - start, 500);
    plat::CloseDevice(drive);
    auto log = sim::DeviceLog();
    EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()),
              (std::vector<std::string>{"open \\\\.\\PHYSICALDRIVE1 rw", "lock \\\\.\\PHYSICALDRIVE1 refused",
                                        "lock \\\\.\\PHYSICALDRIVE1", "close \\\\.\\PHYSICALDRIVE1"}));
}

TEST_F(RawAccess, OpenFailuresGiveNoHandleAndNoMessage) {
    LoadPc("fail = open\n");
    EXPECT_EQ(OpenDisk(1, "", false, false), plat::NoDevice);
    EXPECT_EQ(OpenDisk(3, "", false, false), plat::NoDevice);
    EXPECT_EQ(OpenDisk(0, "Q", false, false), plat::NoDevice);
    EXPECT_TRUE(sim::Messages().empty());
}

TEST_F(RawAccess, SectorsAreReadAndWrittenWhereTheyBelong) {
    LoadPc();
    plat::DeviceHandle disk = OpenDisk(1, "", true, false);
    ASSERT_NE(disk, plat::NoDevice);
    std::string pattern(1024, '\0');
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = char(i * 7);
    EXPECT_EQ(WriteSectors(disk, 512, 100, 2, pattern.data()), 1024);
    EXPECT_EQ(ImageBytes(stick, 100 * 512, 1024), pattern);
    std::string back(1024, '\0');
    EXPECT_EQ(ReadSectors(disk, 512, 100, 2, back.data()), 1024);
    EXPECT_EQ(back, pattern);
    // The MBR's boot signature, as sfdisk wrote it.
    std::string mbr(512, '\0');
    EXPECT_EQ(ReadSectors(disk, 512, 0, 1, mbr.data()), 512);
    EXPECT_EQ(mbr.substr(510), "\x55\xAA");
    plat::CloseDevice(disk);

    // A volume's sector 0 is its partition's first sector.
    plat::DeviceHandle volume = OpenDisk(0, "E", true, false);
    ASSERT_NE(volume, plat::NoDevice);
    EXPECT_EQ(WriteSectors(volume, 512, 1, 1, pattern.data()), 512);
    EXPECT_EQ(ImageBytes(stick, (2048 + 1) * 512, 512), pattern.substr(0, 512));
    plat::CloseDevice(volume);
}

TEST_F(RawAccess, ShortReadsAndFailedWritesReturnZero) {
    LoadPc("short-reads = yes\nfail-write = 2\n");
    plat::DeviceHandle disk = OpenDisk(1, "", true, false);
    ASSERT_NE(disk, plat::NoDevice);
    std::string buffer(4096, 'x');
    EXPECT_EQ(ReadSectors(disk, 512, 0, 8, buffer.data()), 0);
    EXPECT_EQ(WriteSectors(disk, 512, 10, 1, buffer.data()), 512);
    EXPECT_EQ(WriteSectors(disk, 512, 11, 1, buffer.data()), 0);  // the second write fails
    EXPECT_EQ(WriteSectors(disk, 512, 12, 1, buffer.data()), 512);
    plat::CloseDevice(disk);
}

TEST_F(RawAccess, ReadsPastTheEndAndWritesWithoutWriteAccessFail) {
    LoadPc("read-only = yes\n");
    plat::DeviceHandle disk = OpenDisk(1, "", false, false);
    std::string buffer(1024, 'x');
    EXPECT_EQ(ReadSectors(disk, 512, 16383, 2, buffer.data()), 0);  // one sector left on 8 MiB
    EXPECT_EQ(ReadSectors(disk, 512, 16383, 1, buffer.data()), 512);
    EXPECT_EQ(WriteSectors(disk, 512, 5, 1, buffer.data()), 0);     // opened for reading
    plat::CloseDevice(disk);
    disk = OpenDisk(1, "", true, false);
    EXPECT_EQ(WriteSectors(disk, 512, 5, 1, buffer.data()), 0);     // write-protected
    plat::CloseDevice(disk);
    EXPECT_EQ(ImageBytes(stick, 5 * 512, 512), std::string(512, '\0'));
}

}  // namespace
}  // namespace vu
