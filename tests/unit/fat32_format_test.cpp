// Format runs that write FAT32 with our own formatter: when the system's formatter refuses the
// volume as too big, and above 32 GiB without asking it; cancelled while the FATs are zeroed; and
// with a write failing at each of its steps.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <mutex>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "disk/drive_list.h"
#include "platform/disk_device.h"
#include "platform/files.h"
#include "platform/sim/sim_volume_sync.h"
#include "platform/sim/sim_volumes.h"
#include "prepare/file_system.h"
#include "prepare/format_drive.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

constexpr int64_t Start = 2048;

using test::ReadBytes;

class OwnFat32 : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        SetSettingsStartValues();
        OperationBusy = 0, FormatFailed = 0, AbortRequested = 0;
        RegisterOperations();
        ReadProgramIdentity();
        BuildMainWindow();
        statuses_.clear();
        sim::OnCanvas([this](int gadget, const std::vector<plat::DrawOp>& picture) {
            for (const auto& op : picture)
                if (gadget == StatusBarGadget && op.kind == plat::DrawOp::Text && !op.text.empty()) {
                    {
                        std::lock_guard<std::mutex> l(lock_);
                        statuses_.push_back(op.text);
                    }
                    if (onStatus_) onStatus_(op.text);
                }
        });
        Boot_records = "Clover";
        FileSystem = "FAT32-LBA";
        StartLBASector = std::to_string(Start);
        MultiPartitions = 0;
        InstallDataSet = "Not_Install";
    }
    void TearDown() override { sim::Reset(); }

    void LoadStick(int64_t mebibytes, const std::string& extra = "") {
        image_ = test::BlankImage(folder_, "stick.img", mebibytes);
        test::LoadPcText(folder_, test::SystemDiskLines(folder_) + "[disk 1]\nimage = " + image_ +
                                      "\nbus = 7\ndrive-type = 2\n" + extra);
    }

    void Run() {
        FillDriveList();
        plat::SetGadgetState(DriveListGadget, 0);
        FormatDrive(FormatInstallArgument(), CopySettings());
        std::string reason;
        EXPECT_TRUE(sim::SyncVolumes(&reason)) << reason;
        EXPECT_EQ(OperationBusy, 0);
        EXPECT_EQ(FormatFailed, 0);
        EXPECT_EQ(sim::OpenDeviceCount(), 0);
    }

    bool Shown(const std::string& text) {
        std::lock_guard<std::mutex> l(lock_);
        return std::find(statuses_.begin(), statuses_.end(), text) != statuses_.end();
    }
    std::vector<uint8_t> BootSector() { return ReadBytes(image_, Start * 512, 512); }
    bool ClaimsNoFileSystem() {
        std::string fileSystem;
        return BootSector() == std::vector<uint8_t>(512, 0) && !plat::VolumeInformation("D:\\", nullptr, &fileSystem);
    }
    int64_t HostBytes() {
        struct stat st;
        return stat(image_.c_str(), &st) == 0 ? int64_t(st.st_blocks) * 512 : -1;
    }

    test::ScratchFolder folder_;
    std::string image_;
    std::mutex lock_;
    std::vector<std::string> statuses_;
    std::function<void(const std::string&)> onStatus_;
};

TEST_F(OwnFat32, TheSystemFormattersRefusalHandsTheVolumeToOurs) {
    for (uint32_t sectorBytes : {512u, 4096u}) {
        SCOPED_TRACE(std::to_string(sectorBytes) + "-byte sectors");
        SetUp();
        // 4 KiB sectors need 256 MiB for the fewest clusters FAT32 allows.
        LoadStick(sectorBytes == 512 ? 64 : 320, "geometry = 40 255 63 " + std::to_string(sectorBytes) + "\n");
        sim::ScriptFormatterReports({{19, 0}});
        Run();
        EXPECT_TRUE(Shown("Volume is too big"));
        EXPECT_TRUE(Shown("Creating file system completed"));
        EXPECT_TRUE(Shown("All done"));
        std::vector<uint8_t> boot = ReadBytes(image_, Start * sectorBytes, 512);
        EXPECT_EQ(std::string(boot.begin() + 3, boot.begin() + 11), "MSWIN4.1") << "our parameters, merged";
        EXPECT_EQ(boot[11] | boot[12] << 8, int(sectorBytes));
        EXPECT_EQ(ReadBytes(image_, 0x1C2, 1)[0], 0x0C);
        std::string label, fileSystem;
        ASSERT_TRUE(plat::VolumeInformation("D:\\", &label, &fileSystem));
        EXPECT_EQ(fileSystem + " " + label, "FAT32 CLOVER");
        std::string part = folder_.File("part.img");
        ASSERT_EQ(test::Shell("dd if='" + image_ + "' of='" + part + "' bs=" + std::to_string(sectorBytes) +
                              " skip=2048 conv=sparse"),
                  0);
        EXPECT_EQ(test::Shell("fsck.fat -n '" + part + "'"), 0);
    }
}

TEST_F(OwnFat32, AboveThirtyTwoGibibytesTheSystemFormatterIsNotAsked) {
    LoadStick(40 << 10);
    Run();
    EXPECT_TRUE(sim::FormatterCalls().empty());
    EXPECT_TRUE(Shown("All done"));
    EXPECT_EQ(BootSector()[13], 64) << "32 KiB clusters";
    EXPECT_LT(HostBytes(), 16 << 20) << "the zeroed FATs made the sparse image solid";
}

TEST_F(OwnFat32, CancelWhileTheFatsAreZeroedLeavesNoFileSystem) {
    LoadStick(40 << 10);
    onStatus_ = [](const std::string& text) {
        int percent = -1;
        if (std::sscanf(text.c_str(), "Formatting: %d %%", &percent) == 1 && percent > 0 && percent < 100 &&
            !FormatFailed)
            DispatchEvent(plat::EventGadget, MainWindow, FormatButton, 0);  // "Format Cancel"
    };
    Run();
    EXPECT_FALSE(Shown("Creating file system completed"));
    EXPECT_FALSE(Shown("All done"));
    EXPECT_TRUE(ClaimsNoFileSystem());
}

TEST_F(OwnFat32, AWriteFailingAtAnyStepStopsTheRun) {
    // A clean run first, to find our formatter's writes among all of the run's.
    LoadStick(64);
    sim::ScriptFormatterReports({{19, 0}});
    Run();
    int before = 0, ours = 0, opens = 0;
    bool inside = false;
    for (const auto& line : sim::DeviceLog()) {
        if (line == "open \\\\.\\D: rw") inside = ++opens == 2;
        if (line == "dismount \\\\.\\D:") inside = false;
        if (line.rfind("write ", 0) != 0) continue;
        if (inside) ++ours;
        else if (ours == 0) ++before;
    }
    ASSERT_GE(ours, 10);  // reserved area, two FATs, root, two FAT heads, FSInfo, two backups, boot sector

    for (int step = 1; step <= ours; ++step) {
        SCOPED_TRACE("write " + std::to_string(step) + " of ours fails");
        SetUp();
        LoadStick(64, "fail-write = " + std::to_string(before + step) + "\n");
        sim::ScriptFormatterReports({{19, 0}});
        Run();
        EXPECT_TRUE(Shown("Error writing to the volume D:"));
        EXPECT_FALSE(Shown("All done"));
        EXPECT_TRUE(ClaimsNoFileSystem());
    }
}

// The simulated formatter, as the runs above rely on it: like Windows it refuses FAT32 above
// 32 GiB, writing nothing; it formats in place, never outside the partition, and keeps a sparse
// image sparse.
TEST_F(OwnFat32, TheSimulatedFormatterRefusesLargeFat32AndFormatsInPlace) {
    LoadStick(40 << 10, "letters = E:1\n");
    test::Partition(image_, "start=2048, type=c\n");
    EXPECT_EQ(FormatVolume("E:", "FAT32", "BIG", 1, 0), 0);
    EXPECT_TRUE(FormatterFoundVolumeTooBig());
    EXPECT_TRUE(Shown("Volume is too big"));
    EXPECT_EQ(BootSector(), std::vector<uint8_t>(512, 0));
    FormatFailed = 0;
    EXPECT_EQ(FormatVolume("E:", "exFAT", "BIG", 1, 0), 1);
    // The volume's files reach it in place too (exfat-fuse on a loop device over the partition).
    int64_t formatted = HostBytes();
    ASSERT_TRUE(plat::WriteWholeFile("E:\\boot", std::string(1 << 20, 'b')));
    std::string reason;
    EXPECT_TRUE(sim::SyncVolumes(&reason)) << reason;
    EXPECT_GE(HostBytes(), formatted + (1 << 20)) << "the file did not reach the volume";
    EXPECT_LT(HostBytes(), 16 << 20);

    LoadStick(300, "letters = E:1\n");
    test::Partition(image_, "start=2048, size=409600, type=c\nstart=411648, type=7\n");
    const std::vector<uint8_t> marker(512, 0xA5);
    for (int64_t sector : {Start - 1, Start + 409600}) {
        std::fstream out(image_, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(sector * 512);
        out.write(reinterpret_cast<const char*>(marker.data()), 512);
    }
    for (const char* fileSystem : {"FAT32", "exFAT", "NTFS"}) {
        SCOPED_TRACE(fileSystem);
        EXPECT_EQ(FormatVolume("E:", fileSystem, "SMALL", 1, 0), 1);
        EXPECT_EQ(ReadBytes(image_, (Start - 1) * 512, 512), marker);
        EXPECT_EQ(ReadBytes(image_, (Start + 409600) * 512, 512), marker);
    }
}

}  // namespace
}  // namespace vu
