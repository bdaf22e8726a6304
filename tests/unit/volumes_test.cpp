// Drive letters, mount points and eject on simulated PCs.
#include <gtest/gtest.h>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "disk/drive_list.h"
#include "disk/eject.h"
#include "disk/volume_letters.h"
#include "platform/clock.h"
#include "platform/disk_device.h"
#include "platform/sim/sim_volumes.h"
#include "platform/volumes.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

class Volumes : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        SetSettingsStartValues();
        OperationBusy = 0;
        RegisterOperations();
        BuildMainWindow();
        test::BuildOfficePc(folder);
        FillDriveList();
    }
    static bool HasLetter(char letter) { return plat::LogicalDrivesMask() & (1u << (letter - 'A')); }
    static int LineOf(const std::string& text) {
        auto lines = sim::Gadget(DriveListGadget)->items;
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == text) return int(i);
        return -1;
    }

    test::ScratchFolder folder;
};

TEST_F(Volumes, AssignDriveLetterMountsTheNewPartitionUnderTheFirstFreeLetter) {
    // The office PC uses C: E: F: G: and Z:; the Kingmax stick (disk 49) has no letter.
    EXPECT_EQ(AssignDriveLetter("\\device\\harddisk49\\partition1"), "D:");
    EXPECT_TRUE(HasLetter('D'));
    // The temporary raw definition is gone: D: is now the volume's own mount point.
    EXPECT_EQ(plat::QueryDosDeviceName("D:").value_or(""), "\\Device\\HarddiskVolume491");
    std::string fileSystem;
    EXPECT_TRUE(plat::VolumeInformation("D:\\", nullptr, &fileSystem));
    EXPECT_EQ(fileSystem, "FAT");
}

TEST_F(Volumes, AssignDriveLetterFailsWhenNoLetterIsFreeOrTheDeviceHasNoVolume) {
    EXPECT_EQ(AssignDriveLetter("\\device\\harddisk49\\partition7"), "");
    // The temporary definition of the failed try stays, and no volume is mounted under it.
    EXPECT_EQ(plat::QueryDosDeviceName("D:").value_or(""), "\\device\\harddisk49\\partition7");
    EXPECT_FALSE(plat::VolumeInformation("D:\\", nullptr, nullptr));

    std::string letters;
    for (char l = 'C'; l <= 'Z'; ++l) letters += std::string(1, l) + ": ";
    test::LoadPcText(folder, "foreign-letters = " + letters + "\n[disk 49]\nimage = " +
                                 test::OfficeImage("kingmax.img") + "\nbus = 7\n");
    EXPECT_EQ(AssignDriveLetter("\\device\\harddisk49\\partition1"), "");
}

TEST_F(Volumes, RemountOfAPathThatIsNoMountPointChangesNothing) {
    uint32_t before = plat::LogicalDrivesMask();
    int64_t start = plat::TickCount();
    EXPECT_TRUE(RemountVolume("Q:"));
    EXPECT_EQ(plat::LogicalDrivesMask(), before);
    EXPECT_EQ(plat::TickCount(), start);
}

TEST_F(Volumes, RemountDeletesAndSetsTheMountPointAgain) {
    int64_t start = plat::TickCount();
    EXPECT_TRUE(RemountVolume("E:"));
    EXPECT_EQ(plat::TickCount() - start, 200);
    EXPECT_TRUE(HasLetter('E'));
    EXPECT_EQ(plat::VolumeNameForMountPoint("E:\\").value_or(""), "\\\\?\\Volume{1-1}\\");
}

TEST_F(Volumes, EjectOfTheSecondPartitionEjectsTheDeviceOfTheDisksFirstLetter) {
    plat::SetGadgetState(DriveListGadget, LineOf("Part2: 33 MB exFAT <DATA> F:"));
    EXPECT_TRUE(EjectDrive());
    EXPECT_EQ(sim::EjectLog(), std::vector<std::string>{"eject disk 1"});
    EXPECT_FALSE(HasLetter('E'));
    EXPECT_FALSE(HasLetter('F'));
}

// The parent of a disk that is neither on USB nor removable is its storage controller: ejecting it
// would take the system disk with it. Such a disk is refused, plainly.
TEST_F(Volumes, EjectRefusesAFixedDiskWhoseParentIsTheController) {
    EnableFixedDisks = 1;
    FillDriveList();
    plat::SetGadgetState(DriveListGadget, LineOf("SATA: Samsung SSD 64 MB (C:)"));
    EXPECT_FALSE(EjectDrive());
    EXPECT_TRUE(sim::EjectLog().empty());
    EXPECT_TRUE(HasLetter('C'));
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].text, "Only USB and removable drives can be ejected.\r\n"
                                       "C: is on a fixed disk: ejecting it would stop its disk controller.");
}

TEST_F(Volumes, EjectGivesUpWithoutLettersSelectionOrSetupApi) {
    plat::SetGadgetState(DriveListGadget, LineOf("USB: Kingmax 32 MB ()"));
    EXPECT_FALSE(EjectDrive());
    plat::SetGadgetState(DriveListGadget, -1);
    EXPECT_FALSE(EjectDrive());
    sim::FailSetupApi(true);
    plat::SetGadgetState(DriveListGadget, LineOf("USB: Acme Stick 64 MB (E: F:)"));
    EXPECT_FALSE(EjectDrive());
    EXPECT_TRUE(sim::EjectLog().empty());
}

TEST_F(Volumes, EjectTriesFiveTimesHalfASecondApart) {
    plat::SetGadgetState(DriveListGadget, LineOf("USB: Acme Stick 64 MB (E: F:)"));
    sim::VetoEjects(1, 5);
    int64_t start = plat::TickCount();
    EXPECT_FALSE(EjectDrive());
    EXPECT_EQ(plat::TickCount() - start, 4 * 500);
    sim::VetoEjects(1, 4);
    EXPECT_TRUE(EjectDrive());
}

// The request carries a buffer for the reason: the system shows no box of its own at each refused
// attempt, and the program says once why the drive stays.
TEST_F(Volumes, ARefusedEjectSaysWhyOnce) {
    plat::SetGadgetState(DriveListGadget, LineOf("USB: Acme Stick 64 MB (E: F:)"));
    sim::VetoEjects(1, 5, 3, "explorer.exe");
    EXPECT_FALSE(EjectDrive());
    EXPECT_EQ(sim::SystemVetoBoxes(), 0);
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Warning");
    EXPECT_EQ(sim::Messages()[0].text,
              "The drive E: can't be ejected now:\r\na program refuses to let it go:\r\nexplorer.exe");
}

TEST_F(Volumes, EjectButtonRebuildsTheListWhateverTheResult) {
    plat::SetGadgetState(DriveListGadget, LineOf("Part1: 30 MB FAT32 Act <CLOVER> E:"));
    DispatchEvent(plat::EventGadget, MainWindow, EjectButton, 0);
    EXPECT_EQ(LineOf("USB: Acme Stick 64 MB ()"), 0);
    // Nothing ejectable: the list is rebuilt all the same.
    plat::SetGadgetState(DriveListGadget, 0);
    DispatchEvent(plat::EventGadget, MainWindow, EjectButton, 0);
    EXPECT_EQ(LineOf("USB: Acme Stick 64 MB ()"), 0);
    EXPECT_EQ(sim::EjectLog().size(), 1u);
}

}  // namespace
}  // namespace vu
