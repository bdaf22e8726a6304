// The Configuration window on the simulated PC: what opening shows for the settings, the
// enabling rules, the combo boxes' caption lines, the folder dialogs and the settings write.
#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <vector>

#include "app/configuration_window.h"
#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "app/settings_file.h"
#include "app/web_links.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/taskbar_progress.h"
#include "net/found_revisions.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_text_limit.h"
#include "prepare/local_repository.h"

namespace vu {
namespace {

int driveListFills = 0;

void MakeDataSet(const std::string& path, int revision) {
    static std::string boot;
    boot = "\x7f" "ELF?\nClover revision: " + std::to_string(revision) + "\n";
    int error = 0;
    zip_t* archive = zip_open(plat::LibraryPath(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    zip_file_add(archive, "boot", zip_source_buffer(archive, boot.data(), boot.size(), 0), 0);
    ASSERT_EQ(zip_close(archive), 0);
}

class ConfigurationWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        RegisterOperations();
        driveListFills = 0;
        Ops.fillDriveList = [] { ++driveListFills; };
        OperationBusy = FormatFailed = QuitRequested = 0;
        DownloadBusy = 0;
        ReadProgramIdentity();
        SetSettingsStartValues();
        ReadSettings();
        FoundRevisions.Clear();
        ASSERT_TRUE(plat::CreateFolder("C:\\Repo"));
        CloverLocalRepository = "C:\\Repo\\";
        BuildMainWindow();
    }
    void TearDown() override {
        WaitForRepositoryScans();
        if (TaskbarProgress) TaskbarProgress->Free();
        TaskbarProgress = nullptr;
    }

    // Hands the events a test pushed to the loop's dispatch, as the running loop would.
    static void Pump() {
        while (sim::PendingEvents()) {
            plat::Event e = plat::WaitEvent(0);
            DispatchEvent(e.type, e.window, e.number, e.kind);
        }
    }
    static void Open() {
        sim::ChooseMenu(MenuConfiguration);
        Pump();
        ASSERT_TRUE(plat::WindowExists(ConfigurationWindow));
    }
    static bool Enabled(int gadget) { return plat::GadgetExists(gadget) && !plat::IsGadgetDisabled(gadget); }
    static int State(int gadget) { return plat::GetGadgetState(gadget); }
    static std::string Text(int gadget) { return plat::GetGadgetText(gadget); }
};

const std::vector<int> kFormatGadgets = {VolumeLabelField, FileSystemCombo, ClusterSizeCombo, AlignCombo,
                                         BootPartitionBox};

TEST_F(ConfigurationWindowTest, OpensOverTheDisabledMainWindowWithEveryGadget) {
    Open();
    EXPECT_TRUE(plat::IsWindowDisabled(MainWindow));
    auto window = sim::Window(ConfigurationWindow);
    EXPECT_EQ(window->title, "Configuration");
    EXPECT_EQ(window->frame.w, 275);
    EXPECT_EQ(window->frame.h, 465);
    EXPECT_EQ(window->parent, MainWindow);
    std::vector<int> expected = {79, 105, 104, 106, 61, 120, 62, 121, 122, 80, 56, 57, 10, 17, 83, 84, 108,
                                 107, 109, 110, 123, 119, 65, 64, 63, 89, 58, 117, 91, 70, 18, 11};
    EXPECT_EQ(sim::GadgetsOf(ConfigurationWindow), expected);
    EXPECT_EQ(sim::Gadget(117)->rect, (plat::Rect{180, 345, 65, 20}));
    EXPECT_EQ(sim::Gadget(117)->toolTip, "32 - 200000 MB");
    EXPECT_TRUE(sim::Gadget(117)->flags & plat::GadgetNumeric);
    EXPECT_EQ(sim::Gadget(104)->toolTip, "Download from sourceforge.net");
    EXPECT_EQ(sim::Gadget(10)->toolTip, "Check the Latest Rev. on sourceforge.net");
    EXPECT_EQ(sim::Gadget(122)->text, "Upd. News");
    EXPECT_EQ(sim::GadgetTextLimit(VolumeLabelField), 11);
    EXPECT_EQ(sim::Gadget(65)->items,
              (std::vector<std::string>{"File System:", "FAT32", "FAT32-LBA", "NTFS", "exFAT", "UDF"}));
    EXPECT_EQ(sim::Gadget(64)->items, (std::vector<std::string>{"Cluster Size:", "Default"}));
    EXPECT_EQ(sim::Gadget(63)->items, (std::vector<std::string>{"Align to sectors:", "63", "2048", "4096", "8192"}));
    // The defaults of a missing settings file.
    EXPECT_EQ(State(CloverOption), 1);
    EXPECT_EQ(State(DlOption), 1);
    EXPECT_EQ(Text(VolumeLabelField), "CLOVER");
    EXPECT_EQ(State(FileSystemCombo), 2);
    EXPECT_EQ(State(ClusterSizeCombo), 1);
    EXPECT_EQ(State(AlignCombo), 1);
    EXPECT_EQ(State(BootPartitionBox), 1);
    EXPECT_EQ(Text(BootPartitionSizeField), "200");
    EXPECT_EQ(Text(CheckDateText), "Check It!");
    EXPECT_FALSE(Enabled(RevisionsCombo));  // DL with no revisions offered
}

TEST_F(ConfigurationWindowTest, OpeningFollowsEachBootRecordsValue) {
    struct Case {
        const char* bootRecords;
        int option;
        int multi;
    };
    for (Case c : {Case{"Windows", WindowsOption, 1}, Case{"Clover", CloverOption, 0},
                   Case{"FreeDos", FreeDosOption, 1}, Case{"Not_Format", NotFormatOption, 1}}) {
        SCOPED_TRACE(c.bootRecords);
        Boot_records = c.bootRecords;
        MultiPartitions = c.multi;
        Open();
        bool format = Boot_records != "Not_Format";
        for (int option : {WindowsOption, CloverOption, FreeDosOption, NotFormatOption})
            EXPECT_EQ(State(option), option == c.option ? 1 : 0);
        for (int g : kFormatGadgets) EXPECT_EQ(Enabled(g), format) << g;
        EXPECT_EQ(State(BootPartitionBox), c.multi);
        EXPECT_EQ(Enabled(BootPartitionSizeField), format && c.multi == 1);
        DispatchEvent(plat::EventCloseWindow, ConfigurationWindow, 0, 0);
    }
}

TEST_F(ConfigurationWindowTest, OpeningFollowsEachInstallDataSetValue) {
    MakeDataSet("C:\\Repo\\CloverISO-4297.zip", 4297);
    FoundRevisions.Replace({4297, 999});
    struct Case {
        const char* installDataSet;
        int option;
        bool local, revisions;
    };
    for (Case c : {Case{"Local", LocalOption, true, false}, Case{"DL", DlOption, false, true},
                   Case{"Not_Install", NotInstallOption, false, false}}) {
        SCOPED_TRACE(c.installDataSet);
        InstallDataSet = c.installDataSet;
        Open();
        for (int option : {LocalOption, DlOption, NotInstallOption})
            EXPECT_EQ(State(option), option == c.option ? 1 : 0);
        EXPECT_EQ(Enabled(FoundDataSetsCombo), c.local);
        EXPECT_EQ(Enabled(DataSetInfoText), c.local);
        EXPECT_EQ(Enabled(RevisionsCombo), c.revisions);
        EXPECT_EQ(sim::Gadget(RevisionsCombo)->items, (std::vector<std::string>{"4297", "999"}));
        EXPECT_EQ(State(RevisionsCombo), 0);
        EXPECT_EQ(Text(FoundDataSetsCombo), "CloverISO-4297.zip");
        EXPECT_EQ(Text(DataSetInfoText), "Rev: 4297");
        DispatchEvent(plat::EventCloseWindow, ConfigurationWindow, 0, 0);
    }
}

TEST_F(ConfigurationWindowTest, DataSetSourceOptionsFollowTheLists) {
    MakeDataSet("C:\\Repo\\CloverISO-4297.zip", 4297);
    MakeDataSet("C:\\Repo\\CloverISO-999.zip", 999);
    Open();
    sim::Click(LocalOption);
    Pump();
    EXPECT_EQ(InstallDataSet, "Local");
    EXPECT_TRUE(Enabled(FoundDataSetsCombo));
    EXPECT_FALSE(Enabled(RevisionsCombo));
    sim::SelectItem(FoundDataSetsCombo, 1);
    Pump();
    EXPECT_EQ(Text(DataSetInfoText), "Rev: 999");
    EXPECT_EQ(LocalDataSetPath(), "C:\\Repo\\CloverISO-999.zip");
    EXPECT_EQ(LocalDataSetRevision(), "999");

    sim::Click(DlOption);
    Pump();
    EXPECT_EQ(InstallDataSet, "DL");
    EXPECT_FALSE(Enabled(FoundDataSetsCombo));
    EXPECT_FALSE(Enabled(DataSetInfoText));
    EXPECT_FALSE(Enabled(RevisionsCombo));  // nothing offered

    sim::Click(NotInstallOption);
    Pump();
    EXPECT_EQ(InstallDataSet, "Not_Install");
    EXPECT_FALSE(Enabled(RevisionsCombo));
}

TEST_F(ConfigurationWindowTest, RevisionChoiceBecomesTheRevisionToInstall) {
    FoundRevisions.Replace({4297, 999});
    Open();
    EXPECT_TRUE(Enabled(RevisionsCombo));
    sim::SelectItem(RevisionsCombo, 1);
    Pump();
    EXPECT_EQ(InstallRevision, "999");
}

TEST_F(ConfigurationWindowTest, CloverAfterNotFormatReenablesTheFormatGadgets) {
    Boot_records = "Not_Format";
    MultiPartitions = 0;
    Open();
    sim::Click(CloverOption);
    Pump();
    EXPECT_EQ(Boot_records, "Clover");
    for (int g : kFormatGadgets) EXPECT_TRUE(Enabled(g)) << g;
    EXPECT_FALSE(Enabled(BootPartitionSizeField));  // its check box is not set
    sim::Click(BootPartitionBox);
    Pump();
    EXPECT_EQ(MultiPartitions, 1);
    EXPECT_TRUE(Enabled(BootPartitionSizeField));
    sim::Click(NotFormatOption);
    Pump();
    for (int g : kFormatGadgets) EXPECT_FALSE(Enabled(g)) << g;
    EXPECT_FALSE(Enabled(BootPartitionSizeField));
    sim::Click(FreeDosOption);
    Pump();
    EXPECT_EQ(Boot_records, "FreeDos");
    EXPECT_TRUE(Enabled(BootPartitionSizeField));
}

TEST_F(ConfigurationWindowTest, CaptionLinesSelectTheDefaultLine) {
    FileSystem = "UDF";
    StartLBASector = "8192";
    Open();
    EXPECT_EQ(State(FileSystemCombo), 5);
    EXPECT_EQ(State(AlignCombo), 4);
    sim::SelectItem(FileSystemCombo, 0);
    sim::SelectItem(AlignCombo, 0);
    sim::SelectItem(ClusterSizeCombo, 0);
    Pump();
    EXPECT_EQ(State(FileSystemCombo), 2);
    EXPECT_EQ(FileSystem, "FAT32-LBA");
    EXPECT_EQ(State(AlignCombo), 1);
    EXPECT_EQ(StartLBASector, "63");
    EXPECT_EQ(State(ClusterSizeCombo), 1);
    sim::SelectItem(FileSystemCombo, 4);
    sim::SelectItem(AlignCombo, 3);
    Pump();
    EXPECT_EQ(FileSystem, "exFAT");
    EXPECT_EQ(StartLBASector, "4096");
}

TEST_F(ConfigurationWindowTest, BootPartitionSizeOutsideItsRangeIsStoredAs64) {
    Open();
    for (auto [typed, stored] : std::vector<std::pair<std::string, int>>{
             {"31", 64}, {"32", 32}, {"2000000", 2000000}, {"2000001", 64}, {"", 64}, {"700", 700}}) {
        sim::TypeText(BootPartitionSizeField, typed);
        Pump();
        EXPECT_EQ(BootPartitionSize, stored) << typed;
        EXPECT_EQ(Text(BootPartitionSizeField), typed);
    }
}

TEST_F(ConfigurationWindowTest, CheckBoxesAndLabelGoStraightIntoTheSettings) {
    Open();
    sim::Click(CheckAtStartupBox);
    sim::Click(SaveAfterDlBox);
    sim::TypeText(VolumeLabelField, "BOOTSTICK");
    sim::Click(FixedDisksBox);
    Pump();
    EXPECT_EQ(CheckLatestCloverAtStartup, 1);
    EXPECT_EQ(SaveLatestCloverAfterDL, 1);
    EXPECT_EQ(VolumeLabel, "BOOTSTICK");
    EXPECT_EQ(EnableFixedDisks, 1);
    EXPECT_EQ(driveListFills, 1);
    sim::Click(FixedDisksBox);
    Pump();
    EXPECT_EQ(EnableFixedDisks, 0);
    EXPECT_EQ(driveListFills, 2);
}

TEST_F(ConfigurationWindowTest, CloverRepositoryDialogTakesOnlyExistingFolders) {
    ASSERT_TRUE(plat::CreateFolder("D:\\Sets"));
    MakeDataSet("D:\\Sets\\CloverISO-5000.zip", 5000);
    Open();
    EXPECT_EQ(Text(DataSetInfoText), "Not Found");
    EXPECT_FALSE(Enabled(FoundDataSetsCombo));
    sim::AnswerNextRequesters({"", "D:\\NoSuchFolder", "D:\\Sets"});
    for (int i = 0; i < 3; i++) sim::Click(CloverRepoButton);
    Pump();
    auto asked = sim::Requesters();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].kind, "path");
    EXPECT_EQ(asked[0].title, "Select Clover Local Repository Path:");
    EXPECT_EQ(asked[0].initial, "C:\\Repo\\");
    EXPECT_EQ(asked[1].initial, "C:\\Repo\\");
    WaitForRepositoryScans();
    EXPECT_EQ(CloverLocalRepository, "D:\\Sets\\");
    EXPECT_EQ(Text(FoundDataSetsCombo), "CloverISO-5000.zip");
    EXPECT_EQ(Text(DataSetInfoText), "Rev: 5000");
    EXPECT_FALSE(Enabled(FoundDataSetsCombo));  // "Local" is not the chosen source
    EXPECT_EQ(LocalDataSetPath(), "D:\\Sets\\CloverISO-5000.zip");
}

TEST_F(ConfigurationWindowTest, ZarnImageDialogTakesOnlyExistingFolders) {
    ASSERT_TRUE(plat::CreateFolder("E:\\Images"));
    Open();
    sim::AnswerNextRequesters({"E:\\Gone", "E:\\Images"});
    sim::Click(ZarnImageRepoButton);
    Pump();
    EXPECT_EQ(ZarnImageLocalRepo, ProgramFolder);
    sim::Click(ZarnImageRepoButton);
    Pump();
    EXPECT_EQ(ZarnImageLocalRepo, "E:\\Images\\");
    EXPECT_EQ(sim::Requesters()[0].title, "Select ZarnImage files Local Repository Path:");
    EXPECT_EQ(CloverLocalRepository, "C:\\Repo\\");
}

TEST_F(ConfigurationWindowTest, MissingRepositoryShowsNotFoundAndDisablesTheCombo) {
    InstallDataSet = "Local";
    CloverLocalRepository = "C:\\Nowhere\\";
    Open();
    EXPECT_EQ(Text(DataSetInfoText), "Not Found");
    EXPECT_FALSE(Enabled(FoundDataSetsCombo));
    EXPECT_FALSE(Enabled(DataSetInfoText));
    EXPECT_EQ(plat::CountGadgetItems(FoundDataSetsCombo), 0);
}

TEST_F(ConfigurationWindowTest, UpdateNewsLinkOpensTheChangeLog) {
    Open();
    plat::Rect link = plat::GadgetScreenRect(UpdateNewsLink);
    sim::LeftClickAt(ConfigurationWindow, {link.x + 3, link.y + 3});
    Pump();
    EXPECT_EQ(sim::ShellOpened(), std::vector<std::string>{links::CloverChangeLog});
}

TEST_F(ConfigurationWindowTest, OkAndCloseBoxWriteTheSettingsFile) {
    Open();
    sim::Click(WindowsOption);
    sim::Click(ConfigOkButton);
    Pump();
    EXPECT_FALSE(plat::WindowExists(ConfigurationWindow));
    EXPECT_FALSE(plat::IsWindowDisabled(MainWindow));
    std::string bytes;
    ASSERT_TRUE(plat::ReadWholeFile(SettingsFilePath(), bytes));
    EXPECT_NE(bytes.find("\r\nBoot_records = Windows\r\n"), std::string::npos);

    Open();
    sim::Click(NotFormatOption);
    sim::CloseBox(ConfigurationWindow);
    Pump();
    EXPECT_FALSE(plat::WindowExists(ConfigurationWindow));
    ASSERT_TRUE(plat::ReadWholeFile(SettingsFilePath(), bytes));
    EXPECT_NE(bytes.find("\r\nBoot_records = Not_Format\r\n"), std::string::npos);
}

TEST_F(ConfigurationWindowTest, NotOpenedWhileAnOperationRuns) {
    OperationBusy = 1;
    sim::ChooseMenu(MenuConfiguration);
    Pump();
    EXPECT_FALSE(plat::WindowExists(ConfigurationWindow));
    OperationBusy = 0;
}

}  // namespace
}  // namespace vu
