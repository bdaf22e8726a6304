// Backup and restore of a partition on a faulty stick: each read, write and lock of a clean run
// failing in turn, each read coming back short, the stick pulled out after each request it
// answered, a read-only stick, a lock never granted, 4096-byte sectors; and the button pressed
// through the event loop at each step. A run says " Done" only for a copy as good as the clean
// run's, otherwise the error of the step that failed; the window and the flags come back, no handle
// stays open, a backup writes to no disk, and a restore writes into its partition and sector 0 only.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/register_operations.h"
#include "core/operations.h"
#include "disk/drive_list.h"
#include "images/partition_images.h"
#include "platform/sim/sim_files.h"
#include "unit/fault_scenario.h"

namespace vu {
namespace {

constexpr int64_t MiB = 1 << 20;
// Partition 1 (the one copied, E:) and partition 2 (a neighbour), in bytes from the disk's start.
constexpr int64_t FirstStart = MiB, FirstBytes = 20 * MiB, SecondStart = 22 * MiB, SecondBytes = 8 * MiB;
constexpr int64_t ImageBytes = 17 * MiB;  // a restore of two chunks, the second one not whole

std::string Noise(int64_t length, uint64_t seed) {
    std::string bytes(size_t(length), '\0');
    for (char& c : bytes) seed = seed * 6364136223846793005ULL + 1442695040888963407ULL, c = char(seed >> 56);
    return bytes;
}

class ImageFaults : public ::testing::Test {
protected:
    void SetUp() override {
        pc_ = std::make_unique<test::FaultPc>(folder_);
        image_ = Noise(ImageBytes, 7);
    }
    void TearDown() override {
        sim::Reset();
        OperationBusy = AbortRequested = FormatFailed = 0;
    }

    // A sparse stick of 32 MiB with both partitions in its MBR, each filled with noise.
    void MakeStick() {
        stick_ = folder_.File("stick.img");
        std::filesystem::remove(stick_);
        std::ofstream(stick_).close();
        std::filesystem::resize_file(stick_, 32 * MiB);
        std::string mbr(size_t(sectorBytes_), '\0');
        mbr[510] = 0x55, mbr[511] = char(0xAA);
        const int64_t parts[2][2] = {{FirstStart, FirstBytes}, {SecondStart, SecondBytes}};
        for (int i = 0; i < 2; ++i) {
            for (int b = 0; b < 4; ++b) {
                mbr[0x1C6 + 16 * i + b] = char((parts[i][0] / sectorBytes_) >> (8 * b));
                mbr[0x1CA + 16 * i + b] = char((parts[i][1] / sectorBytes_) >> (8 * b));
            }
            mbr[0x1C2 + 16 * i] = 0x07;
            std::fstream out(stick_, std::ios::binary | std::ios::in | std::ios::out);
            out.seekp(parts[i][0]);
            std::string noise = Noise(parts[i][1], uint64_t(i) + 1);
            out.write(noise.data(), std::streamsize(noise.size()));
        }
        std::fstream(stick_, std::ios::binary | std::ios::in | std::ios::out).write(mbr.data(), std::streamsize(mbr.size()));
        stick0_ = test::FileBytes(stick_);
    }

    // A new PC whose stick has `faults`, its partition 1 selected, the file dialog answered.
    void Fresh(const std::string& faults) {
        sim::Reset();
        SetSettingsStartValues();
        OperationBusy = AbortRequested = FormatFailed = QuitRequested = QuitWhenStopped = 0;
        RegisterOperations();
        ReadProgramIdentity();
        BuildMainWindow();
        MakeStick();
        std::string geometry = sectorBytes_ == 512 ? "" : "geometry = 8 255 63 " + std::to_string(sectorBytes_) + "\n";
        pc_->Load(stick_, "letters = E:1\n" + geometry + faults);
        std::filesystem::create_directories(sim::HostPath("C:\\Images"));
        ZarnImageLocalRepo = "C:\\Images\\";
        std::ofstream(sim::HostPath("C:\\Images\\r.bin"), std::ios::binary) << image_;
        std::filesystem::remove(sim::HostPath("C:\\Images\\b.bin"));
        FillDriveList();
        plat::SetGadgetState(DriveListGadget, test::FaultPc::StickLine(1));
        sim::AnswerNextRequesters({restore_ ? "C:\\Images\\r.bin" : "C:\\Images\\b.bin"});
        texts_.Listen();
    }

    Job Operation() const { return restore_ ? RestorePartition : BackupPartition; }
    int Button() const { return restore_ ? RestoreButton : BackupButton; }
    std::string Caption() const { return restore_ ? "Restore Partition" : "Backup Partition"; }

    void RunClean() {
        Fresh("");
        clean_ = test::CleanRun::Of(texts_, [this] { Operation()(1, CopySettings()); });
        cleanStick_ = test::FileBytes(stick_);
        ASSERT_TRUE(Copied()) << clean_.texts.back();
    }

    std::string Stick(int64_t offset, int64_t length) const { return cleanStick_.substr(size_t(offset), size_t(length)); }

    // The copy is whole: a backup's file holds the partition, a restored partition the image (its
    // last sector padded with zeros) and sector 0 the clean run's entry.
    ::testing::AssertionResult Copied() {
        std::string now = test::FileBytes(stick_);
        if (!restore_) {
            if (test::FileBytes(sim::HostPath("C:\\Images\\b.bin")) != stick0_.substr(size_t(FirstStart), size_t(FirstBytes)))
                return ::testing::AssertionFailure() << "the image file is not the partition";
        } else {
            int64_t padded = (ImageBytes + sectorBytes_ - 1) / sectorBytes_ * sectorBytes_;
            if (now.compare(size_t(FirstStart), size_t(ImageBytes), image_) != 0 ||
                now.find_first_not_of('\0', size_t(FirstStart + ImageBytes)) < size_t(FirstStart + padded))
                return ::testing::AssertionFailure() << "the partition does not hold the image";
            if (!cleanStick_.empty() && now.compare(0, 512, cleanStick_, 0, 512) != 0)
                return ::testing::AssertionFailure() << "sector 0 differs from the clean run's";
        }
        return ::testing::AssertionSuccess();
    }

    // What every run leaves, however it ended: nothing written outside partition 1 but sector 0,
    // and sector 0 rewritten only by a restore that says " Done".
    void ExpectClean(const std::string& row) {
        EXPECT_TRUE(test::WindowBack(Button(), Caption())) << row;
        EXPECT_TRUE(pc_->OthersUntouched()) << row;
        std::string now = test::FileBytes(stick_);
        EXPECT_TRUE(now.compare(512, size_t(FirstStart - 512), stick0_, 512, size_t(FirstStart - 512)) == 0 &&
                    now.compare(size_t(FirstStart + FirstBytes), std::string::npos, stick0_, size_t(FirstStart + FirstBytes)) == 0)
            << row << ": written outside the partition";
        if (!restore_ || !texts_.ShownWith(" Done")) {
            EXPECT_EQ(now.compare(0, 512, stick0_, 0, 512), 0) << row << ": sector 0 changed";
        }
        if (!restore_) {
            for (const auto& line : sim::DeviceLog()) EXPECT_NE(line.rfind("write ", 0), 0u) << row << ": a backup wrote " << line;
        }
    }

    // The text a run must stop with when the clean run's log entry `at` fails; "" when it rightly
    // goes on (a volume lock is asked for again). The restore reads and writes sector 0 through the
    // drive, everything else through E:.
    std::string ErrorFor(size_t at, int readError) const {
        const std::string& entry = clean_.log[at];
        bool drive = entry.find("PHYSICALDRIVE1") != std::string::npos;
        if (entry.rfind("lock ", 0) == 0 && !drive) return "";
        if (entry.rfind("lock ", 0) == 0) return "Error opening the Disk1";
        std::string mbr = drive ? "Error updating the MBR: " : "";
        if (entry.rfind("write ", 0) == 0) return mbr + "WriteFile Error=1117";
        return mbr + "ReadFile Error=" + std::to_string(readError);
    }

    // One table over the clean run's requests; returns the number of rows.
    int FailEveryRequestInTurn() {
        RunClean();
        int rows = 0;
        auto row = [&](const std::string& faults, const std::string& expected) {
            SCOPED_TRACE(faults + " on sectors of " + std::to_string(sectorBytes_));
            Fresh(faults);
            Operation()(1, CopySettings());
            ++rows;
            bool done = texts_.ShownWith(" Done");
            if (expected.empty()) {
                EXPECT_TRUE(done && Copied());
            } else if (expected == "?") {  // pulled out: done with a whole copy, or an error said
                if (done) EXPECT_TRUE(Copied());
                else EXPECT_TRUE(texts_.ShownWith("Error")) << texts_.All().back();
            } else {
                EXPECT_FALSE(done);
                EXPECT_TRUE(texts_.Shown(expected)) << "expected \"" << expected << "\", last " << texts_.All().back();
            }
            ExpectClean(faults);
        };
        for (size_t n = 1; n <= clean_.writes.size(); ++n) row("fail-write = " + std::to_string(n), ErrorFor(clean_.writes[n - 1], 0));
        for (size_t n = 1; n <= clean_.reads.size(); ++n) {
            row("fail-read = " + std::to_string(n), ErrorFor(clean_.reads[n - 1], 23));
            row("short-read = " + std::to_string(n), ErrorFor(clean_.reads[n - 1], 38));
        }
        for (size_t n = 1; n <= clean_.locks.size(); ++n) row("refuse-lock = " + std::to_string(n), ErrorFor(clean_.locks[n - 1], 0));
        for (int n = clean_.requestsBefore + 1; n < clean_.requests; ++n) row("vanish-after = " + std::to_string(n), "?");
        row("read-only = yes", restore_ ? "WriteFile Error=19" : "");
        row("lock-refusals = -1", restore_ ? "Error opening the Disk1" : "BackUp: Error open Disk1Part1");
        sectorBytes_ = 4096;
        cleanStick_.clear();
        row("", "");
        RecordProperty("rows", rows);
        return rows;
    }

    // The operation's button pressed through the loop at each step of a clean run in turn: the
    // run says `cancelled` after the press, and a restore leaves sector 0 as it was.
    void CancelAtEveryStep(const std::string& cancelled) {
        RunClean();
        for (size_t step = 0; step + 1 < clean_.texts.size(); ++step) {
            std::string row = "cancel at " + std::to_string(step) + " \"" + clean_.texts[step] + "\"";
            Fresh("");
            texts_.PressAt(step, Button());
            sim::Click(Button());
            ASSERT_TRUE(test::ServeUntilIdle()) << row;
            auto texts = texts_.All();
            EXPECT_GT(std::find(texts.begin(), texts.end(), cancelled) - texts.begin(), std::ptrdiff_t(step)) << row;
            EXPECT_EQ(test::FileBytes(stick_).compare(0, 512, stick0_, 0, 512), 0) << row << ": sector 0 changed";
            ExpectClean(row);
        }
        RecordProperty("rows", int(clean_.texts.size() - 1));
    }

    test::ScratchFolder folder_{test::MemoryFolder()};
    std::unique_ptr<test::FaultPc> pc_;
    test::StatusTexts texts_;
    test::CleanRun clean_;
    std::string stick_, stick0_, cleanStick_, image_;
    int64_t sectorBytes_ = 512;
    bool restore_ = false;
};

TEST_F(ImageFaults, BackupOnEveryFault) { EXPECT_GT(FailEveryRequestInTurn(), 10); }

TEST_F(ImageFaults, RestoreOnEveryFault) {
    restore_ = true;
    EXPECT_GT(FailEveryRequestInTurn(), 10);
}

TEST_F(ImageFaults, BackupCancelAtEveryStep) { CancelAtEveryStep("Backup Cancelled"); }

TEST_F(ImageFaults, RestoreCancelAtEveryStep) {
    restore_ = true;
    CancelAtEveryStep("Restore Cancelled");
}

}  // namespace
}  // namespace vu
