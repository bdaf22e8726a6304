// Format runs on a faulty stick, for every boot-record choice: each read, write and lock of a clean
// run failing in turn, each read coming back short, the stick pulled out after each request it
// answered, a read-only stick, a lock never granted, 4096-byte sectors; and the Format Cancel
// button pressed at each step, through the event loop. A run tells the truth: "All done" only for
// a stick as good as the clean run's, otherwise the error of the step that failed. The window and
// the flags come back, no handle stays open, and no other disk is touched.
#include <gtest/gtest.h>
#include <zip.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "app/event_loop.h"
#include "app/register_operations.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "disk/drive_list.h"
#include "embedded.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_volumes.h"
#include "prepare/format_drive.h"
#include "prepare/local_repository.h"
#include "unit/fault_scenario.h"

namespace vu {
namespace {

struct Choice {
    const char* name;
    const char* bootRecords;
    const char* fileSystem;
    const char* installDataSet;
    int64_t stickMiB;
};

// Test names show the choice's name rather than its bytes.
void PrintTo(const Choice& choice, std::ostream* out) { *out << choice.name; }

// Not_Format installs onto the stick's FAT32 volume E:; the last choice is above what the system's
// formatter takes as FAT32, so our own formatter writes it.
const Choice kChoices[] = {
    {"Windows", "Windows", "FAT32", "Not_Install", 40},
    {"CloverFat32Lba", "Clover", "FAT32-LBA", "Local", 40},
    {"CloverFat32", "Clover", "FAT32", "Not_Install", 40},
    {"CloverExFat", "Clover", "exFAT", "Local", 40},
    {"FreeDos", "FreeDos", "FAT32-LBA", "Not_Install", 40},
    {"NotFormat", "Not_Format", "FAT32-LBA", "Local", 40},
    {"OwnFat32", "Clover", "FAT32-LBA", "Not_Install", 33 << 10},
};

constexpr int WipeWrites = 256;

std::string Bytes(const std::string& file, int64_t offset, size_t length) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(offset);
    std::string bytes(length, '\0');
    in.read(bytes.data(), std::streamsize(length));
    return bytes;
}

class FormatFaults : public ::testing::TestWithParam<Choice> {
protected:
    void SetUp() override {
        pc_ = std::make_unique<test::FaultPc>(folder_);
        MakeDataSet();
        if (IsNotFormat()) MakeFormattedStick();
    }
    void TearDown() override {
        sim::Reset();
        OperationBusy = FormatFailed = AbortRequested = QuitRequested = QuitWhenStopped = 0;
        SupplyFreeDosPackage({});
    }

    bool IsNotFormat() const { return std::string(GetParam().bootRecords) == "Not_Format"; }
    std::string Volume() const { return IsNotFormat() ? "E:" : "D:"; }

    // A repository with a data set of three files.
    void MakeDataSet() {
        std::string repository = folder_.File("repo");
        std::filesystem::create_directories(repository);
        static const std::string boot = "Clover revision: 5151\n", plist = "<plist/>\n";
        int error = 0;
        zip_t* archive = zip_open((repository + "/CloverISO-5151.zip").c_str(), ZIP_CREATE, &error);
        ASSERT_NE(archive, nullptr);
        zip_file_add(archive, "boot", zip_source_buffer(archive, boot.data(), boot.size(), 0), 0);
        zip_file_add(archive, "EFI/CLOVER/config.plist", zip_source_buffer(archive, plist.data(), plist.size(), 0), 0);
        ASSERT_EQ(zip_close(archive), 0);
    }

    // The stick a Not_Format run installs onto: FAT32 from sector 2048, kept as its non-zero blocks.
    void MakeFormattedStick() {
        std::string image = test::BlankImage(folder_, "formatted.img", GetParam().stickMiB);
        test::Partition(image, "start=2048, type=c, bootable\n");
        test::FormatFat(image, 32, 2048, GetParam().stickMiB * 2048 - 2048, "CLOVER");
        std::string bytes = test::FileBytes(image);
        static const std::string zeros(65536, '\0');
        for (size_t at = 0; at < bytes.size(); at += zeros.size())
            if (bytes.compare(at, zeros.size(), zeros) != 0) formattedBlocks_.emplace_back(at, bytes.substr(at, zeros.size()));
    }

    std::string FreshStick() {
        std::string image = test::BlankImage(folder_, "stick.img", stickMiB_ ? stickMiB_ : GetParam().stickMiB);
        std::fstream out(image, std::ios::binary | std::ios::in | std::ios::out);
        for (const auto& [at, block] : formattedBlocks_) {
            out.seekp(std::streamoff(at));
            out.write(block.data(), std::streamsize(block.size()));
        }
        return image;
    }

    // A new PC whose stick has `faults`, the main window, the choice's settings and the stick
    // selected in a freshly filled drive list.
    void Fresh(const std::string& faults) {
        sim::Reset();
        SetSettingsStartValues();
        OperationBusy = FormatFailed = AbortRequested = QuitRequested = QuitWhenStopped = 0;
        RegisterOperations();
        ReadProgramIdentity();
        BuildMainWindow();
        texts_.onText = nullptr;
        const Choice& c = GetParam();
        Boot_records = c.bootRecords, FileSystem = c.fileSystem, InstallDataSet = c.installDataSet;
        StartLBASector = "2048", MultiPartitions = 0;
        sim::SetDriveRoot('R', folder_.File("repo"));
        SetCloverLocalRepository("R:\\");
        ASSERT_TRUE(ScanLocalRepository());
        if (std::string(c.bootRecords) == "FreeDos") test::SupplyFreeDosStandIn();
        image_ = FreshStick();
        pc_->Load(image_, (IsNotFormat() ? "letters = E:1\n" : "") + faults);
        FillDriveList();
        plat::SetGadgetState(DriveListGadget, test::FaultPc::StickLine());
        texts_.Listen();
    }

    // A run of the pipeline on the test's thread.
    void Run(const std::string& faults) {
        Fresh(faults);
        FormatDrive(FormatInstallArgument(), CopySettings());
    }

    // The clean run every fault is measured against.
    void RunClean() {
        Fresh("");
        clean_ = test::CleanRun::Of(texts_, [] { FormatDrive(FormatInstallArgument(), CopySettings()); });
        ASSERT_EQ(clean_.texts.back(), "All done");
        cleanStick_ = StickState();
    }

    // The stick's boot code and partition table, and its first partition's boot sector, less what
    // changes with the time of the run: the disk signature and the volume's serial number.
    std::string StickState() {
        std::string mbr = Bytes(image_, 0, 512);
        mbr.replace(0x1B8, 4, 4, '\0');
        uint32_t start;
        std::memcpy(&start, mbr.data() + 0x1C6, 4);
        std::string boot = Bytes(image_, int64_t(start) * 512, 512);
        if (boot.compare(3, 5, "EXFAT") == 0) boot.replace(100, 4, 4, '\0');
        else boot.replace(67, 4, 4, '\0');
        return mbr + boot;
    }

    // The run ended as the clean one did, with a stick as good.
    ::testing::AssertionResult Completed() {
        if (texts_.All() != clean_.texts) {
            std::string all;
            for (const auto& t : texts_.All()) all += t + " | ";
            return ::testing::AssertionFailure() << "texts differ from the clean run's: " << all;
        }
        if (StickState() != cleanStick_) return ::testing::AssertionFailure() << "the stick differs from the clean run's";
        return ::testing::AssertionSuccess();
    }

    // The run stopped without claiming success and said why: `text`, or any failure text or box.
    ::testing::AssertionResult Stopped(const std::string& text) {
        if (texts_.Shown("All done")) return ::testing::AssertionFailure() << "\"All done\" after a failure";
        if (!text.empty() && !texts_.Shown(text)) return ::testing::AssertionFailure() << "no \"" << text << "\"";
        for (const char* failure : {"Error", "Not Installed", "No media", "write protected"})
            if (texts_.ShownWith(failure)) return ::testing::AssertionSuccess();
        for (const auto& box : sim::Messages())
            if (box.title == "Error") return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no failure said";
    }

    // What every run leaves, however it ended.
    void ExpectClean(const std::string& row) {
        EXPECT_TRUE(test::WindowBack(FormatButton, "Format Disk")) << row;
        EXPECT_TRUE(pc_->OthersUntouched()) << row;
    }

    // The text a run must stop with when the clean run's log entry `at` fails; "" when the run
    // rightly goes on (a write of the wipe, whose failure is of no consequence; a volume lock,
    // which is asked for again).
    std::string ErrorFor(size_t at, size_t writeNumber, size_t driveLockNumber) const {
        const std::string& entry = clean_.log[at];
        bool drive = entry.find("PHYSICALDRIVE1") != std::string::npos;
        if (entry.rfind("write ", 0) == 0) {
            if (drive) return writeNumber <= WipeWrites ? "" : "Error writing to the Disk1";
            // Our FAT32 formatter reports its progress as the system's formatter does.
            std::string phase = clean_.TextBefore(at);
            bool ours = phase.rfind("Formatting: ", 0) == 0 || phase == "Creating file system";
            return ours ? "Error writing to the volume D:" : "Error writing to the Disk1";
        }
        if (entry.rfind("read ", 0) == 0) return drive ? "Error reading the Disk1" : "Error reading the volume D:";
        if (!drive) return "";
        return driveLockNumber == 1 ? "Error opening the Disk1 for write&lock" : "Error opening the Disk1";
    }

    test::ScratchFolder folder_{test::MemoryFolder()};
    std::unique_ptr<test::FaultPc> pc_;
    std::vector<std::pair<size_t, std::string>> formattedBlocks_;
    test::StatusTexts texts_;
    std::string image_;
    test::CleanRun clean_;
    std::string cleanStick_;
    int64_t stickMiB_ = 0;  // when not the choice's
};

TEST_P(FormatFaults, EveryRequestOfTheStickFailingInTurn) {
    RunClean();
    int rows = 0;
    auto row = [&](const std::string& faults, const std::string& expected, bool mayComplete = false) {
        SCOPED_TRACE(faults);
        Run(faults);
        ++rows;
        if (expected.empty() || (mayComplete && texts_.Shown("All done"))) {
            EXPECT_TRUE(Completed());
        } else {
            EXPECT_TRUE(Stopped(mayComplete ? "" : expected));
        }
        ExpectClean(faults);
    };
    size_t driveLocks = 0;
    for (size_t n = 1; n <= clean_.writes.size(); ++n)
        row("fail-write = " + std::to_string(n), ErrorFor(clean_.writes[n - 1], n, 0));
    for (size_t n = 1; n <= clean_.reads.size(); ++n) {
        row("fail-read = " + std::to_string(n), ErrorFor(clean_.reads[n - 1], 0, 0));
        row("short-read = " + std::to_string(n), ErrorFor(clean_.reads[n - 1], 0, 0));
    }
    for (size_t n = 1; n <= clean_.locks.size(); ++n) {
        if (clean_.log[clean_.locks[n - 1]].find("PHYSICALDRIVE1") != std::string::npos) ++driveLocks;
        row("refuse-lock = " + std::to_string(n), ErrorFor(clean_.locks[n - 1], 0, driveLocks));
    }
    // Pulled out after the nth request: "All done" only when everything that mattered was done
    // before, the stick as good as the clean run's.
    for (int n = clean_.requestsBefore + 1; n < clean_.requests; ++n)
        row("vanish-after = " + std::to_string(n), "?", true);
    bool writes = !clean_.writes.empty();
    row("read-only = yes", writes ? "Error writing to the Disk1" : "Clover Data set files Not Installed");
    row("lock-refusals = -1", clean_.locks.empty() ? "" : "Error opening the Disk1 for write&lock");
    RecordProperty("rows", rows);
}

// The Format Cancel button pressed through the loop at each step of a clean run in turn: the run
// stops without "All done" and claims nothing done after the press.
TEST_P(FormatFaults, CancelAtEveryStep) {
    RunClean();
    for (size_t step = 0; step + 1 < clean_.texts.size(); ++step) {
        std::string row = "cancel at " + std::to_string(step) + " \"" + clean_.texts[step] + "\"";
        Fresh("");
        texts_.PressAt(step, FormatButton);
        sim::Click(FormatButton);
        ASSERT_TRUE(test::ServeUntilIdle()) << row;
        auto texts = texts_.All();
        for (size_t i = step + 1; i < texts.size(); ++i)
            EXPECT_TRUE(texts[i].find(" Installed") == std::string::npos || texts[i].find("Not Installed") != std::string::npos)
                << row << ": " << texts[i];
        EXPECT_FALSE(texts_.Shown("All done")) << row;
        ExpectClean(row);
    }
    RecordProperty("rows", int(clean_.texts.size() - 1));
}

// A stick of 4096-byte sectors: the run either ends with "All done" and a file system that its
// checker passes, or stops without claiming it.
TEST_P(FormatFaults, FourKibibyteSectors) {
    if (IsNotFormat()) GTEST_SKIP() << "a Not_Format run reads and writes no sector";
    stickMiB_ = std::max<int64_t>(GetParam().stickMiB, 320);  // FAT32's fewest clusters at 4 KiB
    Run("geometry = 40 255 63 4096\n");
    ExpectClean("4096-byte sectors");
    if (!texts_.Shown("All done")) {
        EXPECT_TRUE(Stopped(""));
        return;
    }
    uint32_t start, count;
    std::memcpy(&start, Bytes(image_, 0x1C6, 4).data(), 4);
    std::memcpy(&count, Bytes(image_, 0x1CA, 4).data(), 4);
    // The partition in place, through a loop device: a copy of a sparse 33 GiB one takes seconds.
    std::string device = test::Capture("losetup -f --show -b 4096 -o " + std::to_string(int64_t(start) * 4096) +
                                       " --sizelimit " + std::to_string(int64_t(count) * 4096) + " '" + image_ + "'");
    device.resize(device.find_last_not_of(" \n") + 1);
    ASSERT_EQ(device.rfind("/dev/loop", 0), 0u) << device;
    std::string checker = std::string(FileSystem) == "exFAT" ? "fsck.exfat -n " : "fsck.fat -n ";
    std::string report = test::Capture(checker + device + "; echo exit=$?");
    test::Shell("losetup -d " + device);
    EXPECT_NE(report.find("exit=0"), std::string::npos) << report;
}

INSTANTIATE_TEST_SUITE_P(BootRecords, FormatFaults, ::testing::ValuesIn(kChoices),
                         [](const ::testing::TestParamInfo<Choice>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vu
