// Helpers of the fault tables: a simulated PC with a stick under test beside disks that no run may
// touch, the status texts a run draws, where each fault can strike (learnt from a clean run), and
// the checks every run must pass however it ended.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "core/globals.h"
#include "core/status_bar.h"
#include "disk/inventory.h"
#include "embedded.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "unit/disk_scenario.h"

namespace vu::test {

constexpr int StickDisk = 1;

// Serves the loop as RunEventLoop does until the operation a click started has ended. The
// simulated wait returns at once, so an idle turn sleeps a little to leave the worker room.
inline ::testing::AssertionResult ServeUntilIdle() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (sim::PendingEvents() || OperationBusy) {
        if (std::chrono::steady_clock::now() > deadline) return ::testing::AssertionFailure() << "the run did not end";
        plat::Event e = plat::WaitEvent(10);
        if (e.type != plat::EventNone) DispatchEvent(e.type, e.window, e.number, e.kind);
        else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ::testing::AssertionSuccess();
}

// Where the fault tables keep their images: in memory where the host has it, as the formatter's
// tools sync what they write and the tables run hundreds of formats.
inline std::string MemoryFolder() {
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path().string();
}

// Every status-bar text in order, from whichever thread draws it. `onText`, when set, runs on the
// drawing thread after each text is recorded, with the text's index.
class StatusTexts {
public:
    void Listen() {
        {
            std::lock_guard<std::mutex> l(lock_);
            texts_.clear();
        }
        sim::OnCanvas([this](int gadget, const std::vector<plat::DrawOp>& picture) {
            if (gadget != StatusBarGadget) return;
            for (const auto& op : picture) {
                if (op.kind != plat::DrawOp::Text || op.text.empty()) continue;
                size_t index;
                {
                    std::lock_guard<std::mutex> l(lock_);
                    texts_.push_back(op.text);
                    index = texts_.size() - 1;
                }
                if (onText) onText(index, op.text);
            }
        });
    }
    std::vector<std::string> All() {
        std::lock_guard<std::mutex> l(lock_);
        return texts_;
    }
    bool Shown(const std::string& text) {
        auto all = All();
        return std::find(all.begin(), all.end(), text) != all.end();
    }
    // Whether a text containing `part` was shown.
    bool ShownWith(const std::string& part) {
        for (const auto& text : All())
            if (text.find(part) != std::string::npos) return true;
        return false;
    }

    std::function<void(size_t index, const std::string& text)> onText;

    // Presses `button` through the loop when the run draws its text number `step`, and holds the
    // run until the loop has taken the press, so that the cancel lands at that step. Call on the
    // thread that serves the loop.
    void PressAt(size_t step, int button) {
        std::thread::id loop = std::this_thread::get_id();
        onText = [loop, step, button](size_t index, const std::string&) {
            if (index != step || std::this_thread::get_id() == loop || !OperationBusy) return;
            sim::Click(button);
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!AbortRequested && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
    }

private:
    std::mutex lock_;
    std::vector<std::string> texts_;
};

inline std::string FileBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    std::string bytes(in ? size_t(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    return bytes;
}

// A FreeDOS set for a build that carries none: the package fixture has its files' shape.
inline void SupplyFreeDosStandIn() {
    static const std::string package = FileBytes(std::string(VU_TEST_PACKAGE_DIR) + "/nested.pkg");
    if (!HasFreeDosPackage())
        SupplyFreeDosPackage({reinterpret_cast<const unsigned char*>(package.data()), package.size()});
}

// Disk 0 is the system disk (C:), disk 1 the stick under test, disk 2 a bystander stick with a FAT
// volume as F:; both are small, so that comparing them after every run costs little. Nothing a run does to the stick may reach disk 0 or disk 2.
class FaultPc {
public:
    explicit FaultPc(const ScratchFolder& folder) : folder_(folder) {
        system_ = folder.File("system.img");
        std::ofstream(system_) << std::string(64 << 10, '\0');
        bystander_ = BlankImage(folder, "bystander.img", 1);
        Partition(bystander_, "start=63, type=1\n");
        FormatFat(bystander_, 12, 63, 2048 - 63, "OTHER");
        system0_ = FileBytes(system_);
        bystander0_ = FileBytes(bystander_);
    }

    void Load(const std::string& stickImage, const std::string& stickLines) const {
        LoadPcText(folder_, "system-drive = C\n[disk 0]\nimage = " + system_ +
                                "\nbus = 11\ndrive-type = 3\nletters = C:0\n[disk 1]\nimage = " + stickImage +
                                "\nbus = 7\ndrive-type = 2\nvendor = Acme\nproduct = Stick\n" + stickLines +
                                "\n[disk 2]\nimage = " + bystander_ +
                                "\nbus = 7\ndrive-type = 2\nvendor = Other\nletters = F:1\n");
    }

    // The drive-list line of the stick (partition > 0: of its partition), from the last fill.
    static int StickLine(int partition = 0) {
        for (const DiskRecord& disk : DiskList)
            if (disk.DiskNumber == StickDisk) return partition ? disk.Partitions[partition - 1].ListItem : disk.ListItem;
        return -1;
    }

    // Neither the system disk nor the bystander changed, no file reached F:, and the device log
    // shows raw writes to the stick only.
    ::testing::AssertionResult OthersUntouched() const {
        if (FileBytes(system_) != system0_ || FileBytes(bystander_) != bystander0_)
            return ::testing::AssertionFailure() << "another disk's image changed";
        if (!plat::ListFolder("F:\\", "*").empty()) return ::testing::AssertionFailure() << "files appeared on F:";
        for (const auto& line : sim::DeviceLog())
            if (line.rfind("write ", 0) == 0 && line.find("\\\\.\\PHYSICALDRIVE1 ") == std::string::npos &&
                line.find("\\\\.\\D: ") == std::string::npos && line.find("\\\\.\\E: ") == std::string::npos)
                return ::testing::AssertionFailure() << line;
        return ::testing::AssertionSuccess();
    }

private:
    const ScratchFolder& folder_;
    std::string system_, bystander_, system0_, bystander0_;
};

// The main window back as an idle run leaves it: the button's caption, the drive list enabled,
// the shared flags clear and no device handle open.
inline ::testing::AssertionResult WindowBack(int button, const std::string& caption) {
    auto failure = [] { return ::testing::AssertionFailure(); };
    if (sim::Gadget(button)->text != caption) return failure() << "caption " << sim::Gadget(button)->text;
    if (sim::Gadget(DriveListGadget)->disabled) return failure() << "drive list disabled";
    if (OperationBusy || AbortRequested || FormatFailed)
        return failure() << "flags " << OperationBusy << AbortRequested << FormatFailed;
    if (sim::OpenDeviceCount() != 0) return failure() << sim::OpenDeviceCount() << " device handles open";
    return ::testing::AssertionSuccess();
}

// Where faults can strike in a run, from a clean run: the stick's requests, its reads, writes and
// locks in the device log, and the texts the run showed between them. Counts start with the
// loading of the PC.
struct CleanRun {
    int requestsBefore = 0;  // answered before the operation started (the drive list's fill)
    int requests = 0;
    std::vector<std::string> log;
    std::vector<size_t> reads, writes, locks;  // where in the log
    std::vector<std::string> texts;
    std::vector<size_t> logAtText;  // log entries made before each text appeared

    // Runs the operation once without faults and records its requests and texts.
    static CleanRun Of(StatusTexts& statusTexts, const std::function<void()>& run) {
        CleanRun clean;
        clean.requestsBefore = sim::RequestCounts(StickDisk).requests;
        statusTexts.onText = [&clean](size_t, const std::string& text) {
            clean.texts.push_back(text);
            clean.logAtText.push_back(sim::DeviceLog().size());
        };
        run();
        statusTexts.onText = nullptr;
        clean.Record(sim::DeviceLog());
        return clean;
    }

    void Record(const std::vector<std::string>& deviceLog) {
        log = deviceLog;
        requests = sim::RequestCounts(StickDisk).requests;
        for (size_t i = 0; i < log.size(); ++i) {
            if (log[i].rfind("read ", 0) == 0) reads.push_back(i);
            if (log[i].rfind("write ", 0) == 0) writes.push_back(i);
            if (log[i].rfind("lock ", 0) == 0) locks.push_back(i);
        }
    }
    // The last text shown before log entry `at` was made; "" when none.
    std::string TextBefore(size_t at) const {
        std::string text;
        for (size_t i = 0; i < texts.size() && logAtText[i] <= at; ++i) text = texts[i];
        return text;
    }
};

}  // namespace vu::test
