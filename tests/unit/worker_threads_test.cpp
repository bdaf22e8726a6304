// A format run the way the program runs it: started by the Format button on a worker thread of
// its own, beside the start-up scan of the repository, while the main thread serves the loop and
// a device change arrives. The ThreadSanitizer build (scripts/build.sh tsan) runs this with the
// other tests that start workers.
#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "disk/drive_list.h"
#include "images/partition_images.h"
#include "platform/callbacks.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_volume_sync.h"
#include "prepare/local_repository.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

class WorkerThreads : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        SetSettingsStartValues();
        OperationBusy = AbortRequested = FormatFailed = QuitRequested = 0;
        RegisterOperations();
        ReadProgramIdentity();
        BuildMainWindow();
    }
    void TearDown() override {
        WaitForRepositoryScans();
        sim::Reset();
    }

    // Serves the loop as RunEventLoop does until the operation the last event started has ended.
    // The simulated wait returns at once, so an idle turn sleeps a little to leave the worker room.
    static void ServeUntilIdle() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (sim::PendingEvents() || OperationBusy) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the run did not end";
            plat::Event e = plat::WaitEvent(10);
            if (e.type != plat::EventNone) DispatchEvent(e.type, e.window, e.number, e.kind);
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    bool Shown(const std::string& text) {
        std::lock_guard<std::mutex> l(lock_);
        return std::find(statuses_.begin(), statuses_.end(), text) != statuses_.end();
    }

    test::ScratchFolder folder_;
    std::mutex lock_;
    std::vector<std::string> statuses_;
};

TEST_F(WorkerThreads, FormatRunBesideTheRepositoryScanWhileADeviceArrives) {
    std::string system = test::BlankImage(folder_, "system.img", 1);
    std::string stick = test::BlankImage(folder_, "stick.img", 64);
    test::LoadPcText(folder_, "system-drive = C\n[disk 0]\nimage = " + system +
                                  "\nbus = 11\ndrive-type = 3\nletters = C:0\n[disk 1]\nimage = " + stick +
                                  "\nbus = 7\ndrive-type = 2\nvendor = Acme\nproduct = Stick\n");
    ASSERT_TRUE(plat::CreateFolder("C:\\Repo"));
    static const std::string boot = "Clover revision: 5151\n";
    int error = 0;
    zip_t* archive = zip_open(plat::LibraryPath("C:\\Repo\\CloverISO-5151.zip").c_str(), ZIP_CREATE, &error);
    ASSERT_NE(archive, nullptr);
    zip_file_add(archive, "boot", zip_source_buffer(archive, boot.data(), boot.size(), 0), 0);
    zip_dir_add(archive, "EFI/CLOVER", 0);
    ASSERT_EQ(zip_close(archive), 0);
    SetCloverLocalRepository("C:\\Repo\\");
    Boot_records = "Clover", FileSystem = "FAT32-LBA", InstallDataSet = "Local";
    StartLBASector = "2048", MultiPartitions = 0;

    FillDriveList();
    plat::SetGadgetState(DriveListGadget, 0);
    Ops.startRepositoryScan();  // as start-up does
    // A device change just before the click armed the refresh timer, which fires while the run
    // rewrites the disk: here its event arrives at every step of the run, so that the threads
    // surely overlap.
    sim::OnCanvas([this](int gadget, const std::vector<plat::DrawOp>& picture) {
        for (const auto& op : picture)
            if (gadget == StatusBarGadget && op.kind == plat::DrawOp::Text && !op.text.empty()) {
                {
                    std::lock_guard<std::mutex> l(lock_);
                    statuses_.push_back(op.text);
                }
                if (OperationBusy) plat::PostEvent({plat::EventRefresh, MainWindow, 0, 0});
            }
    });
    sim::Click(FormatButton);
    ServeUntilIdle();

    EXPECT_TRUE(Shown("Clover Data set files Installed"));
    EXPECT_TRUE(Shown("All done"));
    EXPECT_EQ(sim::Gadget(FormatButton)->text, "Format Disk");
    EXPECT_EQ(sim::OpenDeviceCount(), 0);
    // The run's own refresh at its end shows the new partition.
    EXPECT_EQ(sim::Gadget(DriveListGadget)->items.size(), 2u);
    std::string reason;
    EXPECT_TRUE(sim::SyncVolumes(&reason)) << reason;
}

// The backup rebuilds the list before it clears OperationBusy, as restore and format do: once the
// flag is clear the loop may rebuild it too, and two rebuilds of DiskList at once race. Here the
// loop is asked for a refresh at every turn; the run's own last word stays on the status bar.
TEST_F(WorkerThreads, BackupRebuildsTheListBeforeTheLoopMay) {
    std::string stick = test::BlankImage(folder_, "stick.img", 8);
    test::Partition(stick, "start=2048, type=c\n");
    test::LoadPcText(folder_, test::SystemDiskLines(folder_) + "[disk 1]\nimage = " + stick +
                                  "\nbus = 7\ndrive-type = 2\nvendor = Acme\nletters = E:1\n");
    std::filesystem::create_directories(sim::HostPath("C:\\Images"));
    sim::AnswerNextRequesters({"C:\\Images\\b.bin"});
    FillDriveList();
    plat::SetGadgetState(DriveListGadget, 1);
    std::thread::id loop = std::this_thread::get_id();
    std::string workerLast;
    sim::OnCanvas([&](int gadget, const std::vector<plat::DrawOp>& picture) {
        for (const auto& op : picture)
            if (gadget == StatusBarGadget && op.kind == plat::DrawOp::Text && std::this_thread::get_id() != loop) {
                std::lock_guard<std::mutex> l(lock_);
                workerLast = op.text;
            }
    });
    sim::Click(BackupButton);
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::minutes(1), settled = deadline;
    bool started = false;
    while (Clock::now() < settled) {  // until half a second after the run let go of the flag
        ASSERT_LT(Clock::now(), deadline) << "the run did not end";
        if (!sim::PendingEvents()) plat::PostEvent({plat::EventRefresh, MainWindow, 0, 0});
        plat::Event e = plat::WaitEvent(10);
        if (e.type != plat::EventNone) DispatchEvent(e.type, e.window, e.number, e.kind);
        started |= OperationBusy != 0;
        if (started && !OperationBusy && settled == deadline) settled = Clock::now() + std::chrono::milliseconds(500);
    }
    sim::OnCanvas(nullptr);
    std::lock_guard<std::mutex> l(lock_);
    EXPECT_NE(workerLast.find(" Done"), std::string::npos) << workerLast;
}

// Windows ends the session while a backup copies: the end asks the run to stop and waits until it
// has, so that the process is not ended in the middle of a chunk.
TEST_F(WorkerThreads, TheSessionsEndStopsARunningCopyBetweenChunks) {
    std::string stick = test::BlankImage(folder_, "stick.img", 72);
    test::Partition(stick, "start=2048, type=c\n");
    test::LoadPcText(folder_, test::SystemDiskLines(folder_) + "[disk 1]\nimage = " + stick +
                                  "\nbus = 7\ndrive-type = 2\nvendor = Acme\nletters = E:1\n");
    std::filesystem::create_directories(sim::HostPath("C:\\Images"));
    sim::AnswerNextRequesters({"C:\\Images\\b.bin"});
    FillDriveList();
    plat::SetGadgetState(DriveListGadget, 1);
    // The first progress line comes after the first chunk; the run waits there for the end.
    std::atomic<bool> copying{false};
    sim::OnCanvas([&](int gadget, const std::vector<plat::DrawOp>&) {
        if (gadget != StatusBarGadget || copying.exchange(true)) return;
        for (int i = 0; i < 5000 && !AbortRequested; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    OperationBusy = 1;
    std::thread run(BackupPartition, 1, CopySettings());
    for (int i = 0; i < 5000 && !copying; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    OnEndSession(MainWindow);
    bool stoppedFirst = OperationBusy == 0;
    run.join();
    sim::OnCanvas(nullptr);
    EXPECT_TRUE(stoppedFirst);
    EXPECT_EQ(std::filesystem::file_size(sim::HostPath("C:\\Images\\b.bin")), 16u << 20);
}

}  // namespace
}  // namespace vu
