// The system-drive guard on simulated PCs whose system volume lies on a GPT disk, an MBR disk or
// spans two disks: no write path reaches a disk that holds it, nor one whose table cannot be read.
#include <gtest/gtest.h>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "disk/drive_list.h"
#include "disk/raw_access.h"
#include "prepare/format_drive.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

const std::string kSystemBox = "Sorry, operation not permitted!\r\nYou selected a System Drive.";
const std::string kLayoutBox =
    "Sorry, operation not permitted!\r\nThe partition table of the selected disk can't be read.";

class SystemDrive : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        SetSettingsStartValues();
        RegisterOperations();
        BuildMainWindow();
        OperationBusy = FormatFailed = AbortRequested = 0;
        EnableFixedDisks = 1;
        MultiPartitions = 0;
        InstallDataSet = "Not_Install";
        stick = test::BlankImage(folder, "stick.img", 16);
        test::Partition(stick, "start=2048, type=c\n");
    }
    void TearDown() override { sim::Reset(); }

    // Disk 0 and disk 2 are fixed disks with a partition each (unless disk 0's lines describe a
    // GPT), disk 1 a USB stick with E:; `pcLines` and `zeroLines` say where C: is.
    void LoadPc(const std::string& pcLines, const std::string& zeroLines, const std::string& stickLines = "") {
        std::string zero = test::BlankImage(folder, "zero.img", 64), two = test::BlankImage(folder, "two.img", 8);
        test::Partition(two, "start=2048, type=7\n");
        test::Partition(zero, "start=2048, type=7\n");
        test::LoadPcText(folder, "system-drive = C\n" + pcLines + "[disk 0]\nimage = " + zero +
                                     "\nbus = 11\ndrive-type = 3\n" + zeroLines + "[disk 1]\nimage = " + stick +
                                     "\nbus = 7\nletters = E:1\n" + stickLines + "[disk 2]\nimage = " + two +
                                     "\nbus = 11\ndrive-type = 3\n");
        ReadProgramIdentity();
        FillDriveList();
    }

    // The drive list line of a disk.
    int LineOf(int diskNumber) {
        for (const auto& disk : DiskList)
            if (disk.DiskNumber == diskNumber) return disk.ListItem;
        return -1;
    }
    bool NothingWritten() {
        for (const auto& line : sim::DeviceLog())
            if (line.rfind("write ", 0) == 0 || line.find(" rw") != std::string::npos) return false;
        return true;
    }
    // A format run of the disk's line; the boxes it showed.
    std::vector<sim::MessageRecord> Format(int diskNumber) {
        sim::ClearDeviceLog();
        int line = LineOf(diskNumber);
        EXPECT_GE(line, 0) << "disk " << diskNumber << " is not listed";
        plat::SetGadgetState(DriveListGadget, line);
        size_t before = sim::Messages().size();
        FormatDrive(0, CopySettings());
        auto boxes = sim::Messages();
        return {boxes.begin() + long(before), boxes.end()};
    }
    bool WritableRaw(int diskNumber) {
        plat::DeviceHandle h = OpenDisk(diskNumber, "", true, false);
        plat::CloseDevice(h);
        return h != plat::NoDevice;
    }

    test::ScratchFolder folder;
    std::string stick;
};

TEST_F(SystemDrive, NoWritePathReachesADiskThatHoldsTheSystemVolume) {
    const std::string gpt =
        "gpt = start=2048, size=32768, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B; start=34816, size=32768, "
        "type=E3C9E316-0B5C-4DB8-817D-F92DF00215AE; start=67584, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n"
        "letters = C:3 S:1\n";
    struct Case {
        const char* where;
        std::string pcLines, zeroLines;
        std::vector<int> systemDisks;
    } cases[] = {
        {"GPT disk (a UEFI installation)", "", gpt, {0}},
        {"MBR disk", "", "letters = C:1\n", {0}},
        {"spanned over two disks", "span = C: 0:1 2:1\n", "", {0, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        SetUp();
        LoadPc(c.pcLines, c.zeroLines);
        for (int disk : c.systemDisks) {
            // The raw open, whatever the selection says (the stick is selected here).
            plat::SetGadgetState(DriveListGadget, LineOf(1));
            GetSelectedDrive();
            sim::ClearDeviceLog();
            EXPECT_FALSE(WritableRaw(disk)) << "disk " << disk;
            // The format run, with the system disk selected.
            auto boxes = Format(disk);
            ASSERT_EQ(boxes.size(), 1u) << "disk " << disk;
            EXPECT_EQ(boxes[0].title, "Error");
            EXPECT_EQ(boxes[0].text, kSystemBox);
            EXPECT_TRUE(NothingWritten()) << "disk " << disk;
        }
        // Another volume of the system disk (the GPT disk's EFI partition) is not written either.
        if (c.zeroLines == gpt) {
            EXPECT_EQ(OpenDisk(0, "S:", true, false), plat::NoDevice);
        }
        // The stick and its volume stay writable once it is selected.
        plat::SetGadgetState(DriveListGadget, LineOf(1));
        GetSelectedDrive();
        EXPECT_TRUE(WritableRaw(1));
        plat::DeviceHandle e = OpenDisk(0, "E:", true, false);
        EXPECT_NE(e, plat::NoDevice);
        plat::CloseDevice(e);
    }
}

TEST_F(SystemDrive, ADiskWhosePartitionTableCannotBeReadIsNotWritten) {
    LoadPc("", "letters = C:1\n", "fail = layout\n");
    auto boxes = Format(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kLayoutBox);
    EXPECT_TRUE(NothingWritten());
    EXPECT_FALSE(WritableRaw(1));
    EXPECT_EQ(sim::Messages().back().text, kLayoutBox);
    plat::DeviceHandle read = OpenDisk(1, "", false, false);  // reading stays possible
    EXPECT_NE(read, plat::NoDevice);
    plat::CloseDevice(read);
}

// One letter rule for the format run and the raw guard: an unknown system drive matches nothing,
// and a system directory reported in lower case matches its upper-case letter.
TEST_F(SystemDrive, TheLetterRuleIgnoresCaseAndNeverMatchesAnUnknownDrive) {
    struct Case {
        const char* systemDirectory;
        int disk;
        bool refused;
    } cases[] = {
        {"c:\\windows\\system32", 0, true},
        {"", 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.systemDirectory);
        SetUp();
        LoadPc("", "letters = C:1\n");
        sim::SetSystemDirectory(c.systemDirectory);
        ReadProgramIdentity();
        sim::AnswerNextMessages({plat::IdCancel});  // the confirmation, when it comes
        auto boxes = Format(c.disk);
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back().text == kSystemBox, c.refused) << boxes.back().text;
        EXPECT_EQ(boxes.back().title, c.refused ? "Error" : "WARNING");
        EXPECT_TRUE(NothingWritten());
    }
}

}  // namespace
}  // namespace vu
