// Jobs side by side, each on a thread of its own, as the program runs them: a catalog update
// beside the Configuration window, list updates during a format run, and a backup cancelled
// during a catalog update. The ThreadSanitizer build runs these too (scripts/build.sh tsan, with
// --gtest_repeat to catch more interleavings).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/configuration_window.h"
#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "app/settings_file.h"
#include "core/globals.h"
#include "core/ini_file.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "disk/drive_list.h"
#include "embedded.h"
#include "fault_server.h"
#include "net/download_jobs.h"
#include "net/download_lists.h"
#include "net/recovery_list.h"
#include "net/recovery_update.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "prepare/local_repository.h"
#include "unit/fault_scenario.h"

namespace vu {
namespace {

namespace fs = std::filesystem;

const std::string kPackage = "/content/downloads/04/04/031-40004/dd/RecoveryHDUpdate.pkg";

class JobOwnership : public test::ServedSuite<JobOwnership> {
public:
    // One catalog of the series with one Recovery HD package, and the published download list.
    static void Seed() {
        auto put = [](const std::string& path, const std::string& body) {
            fs::create_directories(fs::path(root_ + path).parent_path());
            std::ofstream(root_ + path, std::ios::binary) << body;
        };
        put(CatalogSeries()[0].path,
            "<plist><dict><key>Products</key><dict><key>031-40004</key><dict><key>Packages</key><array><dict>"
            "<key>Digest</key><string>D4</string><key>Size</key><integer>7</integer><key>URL</key><string>" +
                server_->Url(kPackage) +
                "</string></dict></array><key>PostDate</key><date>2016-01-02T03:04:05Z</date></dict></dict></dict></plist>");
        put("/content/downloads/04/04/031-40004/dd/RecoveryHDUpdate.pkm",
            "<pkg-info identifier=\"com.apple.pkg.RecoveryHDUpdate.15G31\"/>");
        put(PublishedListPath, "[Pack]\r\nURL=" + server_->Url("/pack.bin") + "\r\n");
    }

protected:
    void SetUp() override {
        ASSERT_TRUE(server_->Running());
        setenv("VU_CATALOG_HOST", server_->Origin().c_str(), 1);
        setenv("VU_LIST_HOST", server_->Origin().c_str(), 1);
        sim::Reset();
        SetSettingsStartValues();
        OperationBusy = AbortRequested = FormatFailed = QuitRequested = 0;
        DownloadBusy = 0;
        RecoveryList.Clear();
        RegisterOperations();
        ReadProgramIdentity();
        BuildMainWindow();
    }
    void TearDown() override {
        unsetenv("VU_CATALOG_HOST");
        unsetenv("VU_LIST_HOST");
        sim::Reset();
    }

    // Serves the loop as RunEventLoop does until every job has ended; `turn` (the user) runs
    // whenever no event is waiting.
    static void ServeUntilStopped(const std::function<void(int)>& turn = nullptr) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        for (int i = 0; sim::PendingEvents() || OperationBusy || DownloadBusy; ++i) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the jobs did not end";
            if (turn && !sim::PendingEvents()) turn(i);
            plat::Event e = plat::WaitEvent(10);
            if (e.type != plat::EventNone) DispatchEvent(e.type, e.window, e.number, e.kind);
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    static bool Listed(const std::string& title) {
        for (const RecoveryEntry& entry : RecoveryList.Entries())
            if (entry.Title.starts_with(title)) return true;
        return false;
    }

    test::ScratchFolder folder_;
};

// The update writes its list into the settings file through the main thread, which is where
// every text field of the Configuration window changes the settings meanwhile.
TEST_F(JobOwnership, ACatalogUpdateEndsWhileTheConfigurationWindowIsEdited) {
    plat::CreateFolder("C:\\Repo");
    Call(Ops.openConfigurationWindow);
    ASSERT_TRUE(StartDownloadJob(Ops.updateRecoveryCatalog, 0));
    ServeUntilStopped([](int i) {
        if (!DownloadBusy) return;
        std::string n = std::to_string(i % 10);
        sim::TypeText(VolumeLabelField, "LABEL" + n);
        sim::TypeText(BootPartitionSizeField, "10" + n);
        sim::SelectItem(AlignCombo, 1 + i % 3);
        sim::SelectItem(FileSystemCombo, 1 + i % 4);
        sim::AnswerNextRequesters({"C:\\Repo\\"});
        sim::Click(CloverRepoButton);
    });
    sim::Click(ConfigOkButton);
    ServeUntilStopped();
    IniData written = IniData::Load(SettingsFilePath());
    EXPECT_EQ(written.Value("Data Settings", "VolumeLabel"), VolumeLabel);
    EXPECT_EQ(written.Value("Data Settings", "StartLBASector"), StartLBASector);
    EXPECT_TRUE(Listed("(15G31)"));
    ASSERT_NE(written.Section("Download Data Settings"), nullptr);
    EXPECT_EQ(written.Section("Download Data Settings")->keys.size(), RecoveryList.Entries().size());
    WaitForRepositoryScans();
}

// A FreeDOS format run unpacks its data set into a working folder of its own while list updates
// make and delete theirs.
TEST_F(JobOwnership, ListUpdatesDuringAFormatRun) {
    test::SupplyFreeDosStandIn();
    std::string stick = test::BlankImage(folder_, "stick.img", 64);
    test::LoadPcText(folder_, test::SystemDiskLines(folder_) + "[disk 1]\nimage = " + stick +
                                  "\nbus = 7\ndrive-type = 2\nvendor = Acme\nproduct = Stick\n");
    Boot_records = "FreeDos", StartLBASector = "2048", MultiPartitions = 0;
    FillDriveList();
    plat::SetGadgetState(DriveListGadget, 0);
    test::StatusTexts texts;
    texts.Listen();
    sim::Click(FormatButton);
    ServeUntilStopped([](int) {
        if (OperationBusy) StartDownloadJob(Ops.updateDownloadLists, 0);
    });
    EXPECT_TRUE(texts.Shown("FreeDos Data set files Installed"));
    EXPECT_TRUE(texts.Shown("All done"));
    EXPECT_EQ(AdditionalList.Entries().size(), 2u);
    EXPECT_TRUE(plat::ListFolder(plat::TempDirectory(), "ZarnTemp*").empty());
    SupplyFreeDosPackage({});
}

// The Backup button pressed while a catalog update fetches: the backup stops, the update goes on
// and offers what it found.
TEST_F(JobOwnership, ACancelOfBackupDuringACatalogUpdate) {
    std::string stick = test::BlankImage(folder_, "stick.img", 64);
    test::Partition(stick, "start=2048, size=20480, type=c\n");
    test::LoadPcText(folder_, test::SystemDiskLines(folder_) + "[disk 1]\nimage = " + stick +
                                  "\nbus = 7\ndrive-type = 2\nletters = E:1\n");
    plat::CreateFolder("C:\\Images");
    FillDriveList();
    plat::SetGadgetState(DriveListGadget, DiskList.at(0).Partitions[0].ListItem);
    sim::AnswerNextRequesters({"C:\\Images\\p.bin"});
    std::atomic<bool> fetching{false};
    test::StatusTexts texts;
    texts.onText = [&](size_t, const std::string& text) {
        // The update's first progress line: it waits there until the cancel has landed.
        if (text.find("% Download REGULAR") == std::string::npos || fetching.exchange(true)) return;
        for (int i = 0; i < 10000 && !AbortRequested; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    texts.Listen();
    sim::OnMessage([&](const sim::MessageRecord&) {  // the backup's question, on its thread
        for (int i = 0; i < 10000 && !fetching; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sim::Click(BackupButton);
        for (int i = 0; i < 10000 && !AbortRequested; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    ASSERT_TRUE(StartDownloadJob(Ops.updateRecoveryCatalog, 0));
    sim::Click(BackupButton);
    ServeUntilStopped();
    EXPECT_TRUE(fetching);
    EXPECT_TRUE(texts.Shown("Backup Cancelled"));
    EXPECT_FALSE(plat::FileExists("C:\\Images\\p.bin"));
    EXPECT_TRUE(Listed("(15G31)"));
}

}  // namespace
}  // namespace vu
