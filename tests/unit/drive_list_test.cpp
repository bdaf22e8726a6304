// The drive list of the main window on simulated PCs: which disks are offered, the texts of their
// lines, the selection, and the refreshes of the main loop.
#include <gtest/gtest.h>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "disk/drive_list.h"
#include "platform/callbacks.h"
#include "platform/clock.h"
#include "platform/gui.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

class DriveList : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        SetSettingsStartValues();
        OperationBusy = 0;
        RegisterOperations();
        BuildMainWindow();
    }
    void TearDown() override { OperationBusy = 0; }

    std::vector<std::string> Lines() { return sim::Gadget(DriveListGadget)->items; }
    int Selected() { return sim::Gadget(DriveListGadget)->state; }
    std::string StatusText() {
        auto picture = sim::Gadget(StatusBarGadget)->picture;
        for (const auto& op : picture)
            if (op.kind == plat::DrawOp::Text) return op.text;
        return "";
    }
    void Select(int line) { plat::SetGadgetState(DriveListGadget, line); }

    test::ScratchFolder folder;
};

TEST_F(DriveList, OfficePcOffersUsbDisksWithTheirPartitions) {
    test::BuildOfficePc(folder);
    EXPECT_EQ(FillDriveList(), 5);
    std::vector<std::string> expected = {
        "USB: Acme Stick 64 MB (E: F:)",
        "Part1: 30 MB FAT32 Act <CLOVER> E:",
        "Part2: 33 MB exFAT <DATA> F:",
        "USB: Kingmax 32 MB ()",
        "Part1: 31 MB FAT16 <NONAME> ",
    };
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(sim::Gadget(DriveListGadget)->itemDepths, (std::vector<int>{0, 1, 1, 0, 1}));
    EXPECT_EQ(sim::Gadget(DriveListGadget)->itemImages, (std::vector<int>{6, 7, 7, 6, 7}));
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(StatusText(), "Select the USB Flash Drive, please");

    // Line numbers are written back into the records; disks not shown keep -1.
    EXPECT_EQ(DiskList[0].ListItem, -1);  // the system disk
    EXPECT_EQ(DiskList[1].ListItem, 0);
    EXPECT_EQ(DiskList[1].Partitions[0].ListItem, 1);
    EXPECT_EQ(DiskList[1].Partitions[1].ListItem, 2);
    EXPECT_EQ(DiskList[1].Partitions[2].ListItem, 0);
    EXPECT_EQ(DiskList[2].ListItem, -1);  // USB, but its descriptor query failed
    EXPECT_EQ(DiskList[4].ListItem, 3);
}

TEST_F(DriveList, FixedDisksOnlyWhenEnabledAndOnlyWithDriveTypeFixed) {
    test::BuildOfficePc(folder);
    EnableFixedDisks = 1;
    FillDriveList();
    std::vector<std::string> expected = {
        "SATA: Samsung SSD 64 MB (C:)",
        "Part1: 63 MB NTFS <System> C:",
        "USB: Acme Stick 64 MB (E: F:)",
        "Part1: 30 MB FAT32 Act <CLOVER> E:",
        "Part2: 33 MB exFAT <DATA> F:",
        ": 16 MB ()",  // fixed, without descriptor or partition table
        "USB: Kingmax 32 MB ()",
        "Part1: 31 MB FAT16 <NONAME> ",
    };
    EXPECT_EQ(Lines(), expected);
    // The removable disk whose descriptor query failed is still left out.
    EXPECT_EQ(DiskList[2].DiskNumber, 3);
    EXPECT_EQ(DiskList[2].ListItem, -1);
}

TEST_F(DriveList, EmptyListAsksForADrive) {
    test::LoadPcText(folder, "foreign-letters = Z:\n");
    EXPECT_EQ(FillDriveList(), 0);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Selected(), -1);
    EXPECT_EQ(StatusText(), "Insert a USB Flash Drive ...");
    EXPECT_EQ(GetSelectedDrive(), 0);
}

TEST_F(DriveList, StatusBarIsLeftAloneWhileAnOperationRuns) {
    test::BuildOfficePc(folder);
    DrawProgressBar(StatusBarGadget, "Formatting ...", 40);
    OperationBusy = 1;
    FillDriveList();
    EXPECT_EQ(StatusText(), "Formatting ...");
    EXPECT_EQ(Lines().size(), 5u);
}

TEST_F(DriveList, SelectedDiskLinesPartitionLinesAndNothing) {
    test::BuildOfficePc(folder);
    FillDriveList();

    // Line 0 is the disk, although the empty slot 2 of that disk also has ListItem 0.
    Select(0);
    EXPECT_EQ(GetSelectedDrive(), 1);
    EXPECT_EQ(SelectedDisk.DiskNumber, 1);
    EXPECT_EQ(SelectedDisk.SelectedPartition, 0);
    EXPECT_EQ(SelectedDisk.Letters, "E: F:");

    Select(2);
    EXPECT_EQ(GetSelectedDrive(), 1);
    EXPECT_EQ(SelectedDisk.DiskNumber, 1);
    EXPECT_EQ(SelectedDisk.SelectedPartition, 2);
    EXPECT_EQ(SelectedDisk.Partitions[1].Label, "DATA");

    Select(4);
    EXPECT_EQ(GetSelectedDrive(), 1);
    EXPECT_EQ(SelectedDisk.DiskNumber, 49);
    EXPECT_EQ(SelectedDisk.SelectedPartition, 1);

    Select(-1);
    EXPECT_EQ(GetSelectedDrive(), 0);
    EXPECT_EQ(SelectedDisk.DiskNumber, 0);
    EXPECT_EQ(SelectedDisk.Letters, "");
    EXPECT_EQ(SelectedDisk.PartitionCount, 0);
}

TEST_F(DriveList, SelectionIsACopyThatOutlivesTheNextScan) {
    test::BuildOfficePc(folder);
    FillDriveList();
    Select(1);
    ASSERT_EQ(GetSelectedDrive(), 1);
    ScanDisks();
    EXPECT_EQ(SelectedDisk.Partitions[0].Label, "CLOVER");
    EXPECT_EQ(SelectedDisk.SelectedPartition, 1);
    // After a scan without a new list no line matches a record any more.
    EXPECT_EQ(GetSelectedDrive(), 0);
}

// The office PC after the Acme stick was pulled out.
void PullStick(const test::ScratchFolder& folder) {
    test::LoadPcText(folder, "[disk 49]\nimage = " + test::OfficeImage("kingmax.img") + "\nbus = 7\nvendor = Kingmax\n");
}

TEST_F(DriveList, DeviceChangeEventRebuildsTheList) {
    test::BuildOfficePc(folder);
    DispatchEvent(plat::EventRefresh, MainWindow, 0, 0);
    EXPECT_EQ(Lines().size(), 5u);
    PullStick(folder);
    DispatchEvent(plat::EventRefresh, MainWindow, 0, 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"USB: Kingmax 32 MB ()", "Part1: 31 MB FAT16 <NONAME> "}));
}

// A PC whose stick (disk 2, two partitions as E: F:) has a USB backup drive beside it that is not
// plugged in yet: Windows gives it the free number 1, so its lines come above the stick's.
void BuildHotPlugPc(const test::ScratchFolder& folder) {
    test::LoadPcText(folder, "system-drive = C\n[disk 0]\nimage = " + test::OfficeImage("system.img") +
                                 "\nbus = 11\ndrive-type = 3\nletters = C:1\n[disk 2]\nimage = " +
                                 test::OfficeImage("stick.img") +
                                 "\nbus = 7\nvendor = Acme\nproduct = Stick\nserial = A1\nletters = E:1 F:2\n"
                                 "[disk 1]\nimage = " + test::OfficeImage("kingmax.img") +
                                 "\nbus = 7\nvendor = Kingmax\nletters = G:1\npresent = no\n");
}

// Serves the loop, as RunEventLoop does, for `ms` of simulated time.
void ServeLoop(int64_t ms) {
    for (int64_t end = plat::TickCount() + ms; plat::TickCount() < end;) {
        plat::Event e = plat::WaitEvent(100);
        if (e.type != plat::EventNone) DispatchEvent(e.type, e.window, e.number, e.kind);
    }
}

TEST_F(DriveList, TheChosenDiskStaysChosenWhenADiskArrivesAboveIt) {
    for (bool refreshButton : {false, true}) {
        SCOPED_TRACE(refreshButton ? "Refresh button" : "device change");
        BuildHotPlugPc(folder);
        FillDriveList();
        Select(1);  // the stick's first partition
        ASSERT_TRUE(sim::PlugDisk(1));
        if (refreshButton) {
            DispatchEvent(plat::EventGadget, MainWindow, RefreshButton, 0);
        } else {
            OnDeviceNodesChanged();
            ServeLoop(2000);
        }
        ASSERT_EQ(Lines().size(), 5u);
        EXPECT_EQ(Lines()[0], "USB: Kingmax 32 MB (G:)");
        ASSERT_EQ(GetSelectedDrive(), 1);
        EXPECT_EQ(SelectedDisk.DiskNumber, 2);
        EXPECT_EQ(SelectedDisk.SelectedPartition, 1);
    }
}

// Nothing is chosen for the user: once the chosen disk is gone, no line is selected, also after
// another disk arrives, until the user picks one; the disk coming back is chosen again.
TEST_F(DriveList, NoOtherDiskIsChosenWhenTheChosenOneLeaves) {
    BuildHotPlugPc(folder);
    FillDriveList();
    Select(0);
    ASSERT_TRUE(sim::UnplugDisk(2));
    DispatchEvent(plat::EventRefresh, MainWindow, 0, 0);
    EXPECT_EQ(Selected(), -1);
    ASSERT_TRUE(sim::PlugDisk(1));
    DispatchEvent(plat::EventRefresh, MainWindow, 0, 0);
    EXPECT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Selected(), -1);
    EXPECT_EQ(GetSelectedDrive(), 0);
    ASSERT_TRUE(sim::PlugDisk(2));
    DispatchEvent(plat::EventRefresh, MainWindow, 0, 0);
    EXPECT_EQ(Selected(), 2);
}

TEST_F(DriveList, EjectRefreshesWhateverItsResultAndNothingWhileBusy) {
    test::BuildOfficePc(folder);
    FillDriveList();
    Ops.ejectSelectedDrive = [] { return false; };
    PullStick(folder);
    OperationBusy = 1;
    DispatchEvent(plat::EventGadget, MainWindow, EjectButton, 0);
    EXPECT_EQ(Lines().size(), 5u);
    OperationBusy = 0;
    DispatchEvent(plat::EventGadget, MainWindow, EjectButton, 0);
    EXPECT_EQ(Lines().size(), 2u);
}

}  // namespace
}  // namespace vu
