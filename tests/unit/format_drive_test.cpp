// Whole format runs on simulated PCs, each checked afterwards on the image file with the Linux
// tools (sfdisk, fsck.fat, fsck.exfat, mtools): the layouts, boot sectors and file systems of
// every boot-record choice, the failure paths, cancelling, and the state every run leaves behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "boot_images.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "disk/drive_list.h"
#include "embedded.h"
#include "platform/common/exfat_boot.h"
#include "platform/gui.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_volume_sync.h"
#include "platform/sim/sim_volumes.h"
#include "prepare/format_drive.h"
#include "prepare/local_repository.h"
#include "unit/fault_scenario.h"

namespace vu {
namespace {

using test::Capture;
using test::ReadBytes;

void WriteBytes(const std::string& file, int64_t offset, const std::vector<uint8_t>& bytes) {
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(offset);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool SameBytes(const std::vector<uint8_t>& a, size_t from, const unsigned char* b, size_t to) {
    return std::memcmp(a.data() + from, b + from, to - from) == 0;
}

// A partition copied out of the image, for the file-system checkers.
std::string PartitionCopy(const std::string& image, int64_t start, int64_t sectors) {
    std::string copy = image + ".part";
    std::string command = "dd if='" + image + "' of='" + copy + "' bs=512 skip=" + std::to_string(start) +
                          " count=" + std::to_string(sectors) + " status=none";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return copy;
}

class FormatRun : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        statuses_.clear();
        SetSettingsStartValues();
        ResetFlags();
        RegisterOperations();
        ReadProgramIdentity();
        BuildMainWindow();
        sim::OnCanvas([this](int gadget, const std::vector<plat::DrawOp>& picture) {
            if (gadget != StatusBarGadget) return;
            for (const auto& op : picture)
                if (op.kind == plat::DrawOp::Text && !op.text.empty()) {
                    std::lock_guard<std::mutex> l(lock_);
                    statuses_.push_back(op.text);
                }
        });
        MultiPartitions = 0;
        StartLBASector = "2048";
        InstallDataSet = "Not_Install";
    }
    void TearDown() override {
        sim::Reset();
        ResetFlags();
        SupplyFreeDosPackage({});
    }
    static void ResetFlags() {
        OperationBusy = 0, FormatFailed = 0, AbortRequested = 0, QuitRequested = 0, QuitWhenStopped = 0;
    }

    // A PC with a system disk as C: and a blank USB stick of `mebibytes` MiB.
    std::string LoadStick(int64_t mebibytes, const std::string& stickLines = "bus = 7\ndrive-type = 2\n") {
        image_ = test::BlankImage(folder_, "stick.img", mebibytes);
        std::string system = test::BlankImage(folder_, "system.img", 1);
        test::LoadPcText(folder_, "system-drive = C\n[disk 0]\nimage = " + system +
                                      "\nbus = 11\ndrive-type = 3\nletters = C:0\n[disk 1]\nimage = " + image_ +
                                      "\nvendor = Acme\nproduct = Stick\n" + stickLines);
        return image_;
    }

    // A run on disk 1, the stick of every PC here (line 0 unless fixed disks are listed first).
    void Run() {
        FillDriveList();
        ASSERT_FALSE(sim::Gadget(DriveListGadget)->items.empty());
        int line = 0;
        for (const DiskRecord& disk : DiskList)
            if (disk.DiskNumber == 1 && disk.ListItem >= 0) line = disk.ListItem;
        plat::SetGadgetState(DriveListGadget, line);
        FormatDrive(FormatInstallArgument(), CopySettings());
        std::string reason;
        ASSERT_TRUE(sim::SyncVolumes(&reason)) << reason;
    }

    std::vector<std::string> Statuses() {
        std::lock_guard<std::mutex> l(lock_);
        return statuses_;
    }
    bool Shown(const std::string& text) {
        auto all = Statuses();
        return std::find(all.begin(), all.end(), text) != all.end();
    }

    // What every run leaves behind, however it ended.
    void ExpectRestored() {
        EXPECT_EQ(sim::Gadget(FormatButton)->text, "Format Disk");
        EXPECT_FALSE(sim::Gadget(DriveListGadget)->disabled);
        EXPECT_EQ(OperationBusy, 0);
        EXPECT_EQ(FormatFailed, 0);
        EXPECT_EQ(AbortRequested, 0);
        EXPECT_EQ(sim::OpenDeviceCount(), 0);
    }

    bool NothingWritten() {
        for (const auto& line : sim::DeviceLog())
            if (line.rfind("write ", 0) == 0) return false;
        return true;
    }

    std::string Dump() { return Capture("sfdisk --dump '" + image_ + "'"); }

    // fsck.fat's exit code for the FAT32 volume at `start`: the merged parameters must describe
    // the file system, and the backup boot sector must be the same as the primary.
    int FsckFat32(int64_t start, int64_t sectors) {
        std::string copy = PartitionCopy(image_, start, sectors);
        std::string command = "fsck.fat -n '" + copy + "' >/dev/null 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    test::ScratchFolder folder_;
    std::string image_;
    std::mutex lock_;
    std::vector<std::string> statuses_;
};

TEST_F(FormatRun, CloverFat32LbaWritesBoot0Boot1f32altAndPatchesTheType) {
    LoadStick(96);
    Boot_records = "Clover";
    FileSystem = "FAT32-LBA";
    Run();
    ExpectRestored();
    EXPECT_TRUE(Shown("Clover boot records installed"));
    EXPECT_EQ(Statuses().back(), "All done");

    std::string dump = Dump();
    EXPECT_NE(dump.find("start=        2048, size=      194560, type=c, bootable"), std::string::npos) << dump;
    auto mbr = ReadBytes(image_, 0, 512);
    EXPECT_TRUE(SameBytes(mbr, 0, kBoot0Image, 0x1B8)) << "boot0 code";
    EXPECT_EQ(mbr[510], 0x55);
    auto pbr = ReadBytes(image_, 2048 * 512, 512);
    EXPECT_TRUE(SameBytes(pbr, 0, kBoot1f32AltImage, 3)) << "jump";
    EXPECT_TRUE(SameBytes(pbr, 90, kBoot1f32AltImage, 512)) << "boot code";
    EXPECT_EQ(std::string(pbr.begin() + 82, pbr.begin() + 90), "FAT32   ");
    EXPECT_EQ(FsckFat32(2048, 194560), 0);

    // Wiping went first: 128 sectors at each end of the disk, before the new table.
    auto log = sim::DeviceLog();
    int head = 0, tail = 0;
    int64_t total = 96 * 2048;
    for (const auto& line : log) {
        int64_t at = -1;
        if (std::sscanf(line.c_str(), "write \\\\.\\PHYSICALDRIVE1 at %ld length 512", &at) != 1) continue;
        if (at / 512 < 128) head++;
        if (at / 512 >= total - 128) tail++;
    }
    EXPECT_GE(head, 128);
    EXPECT_EQ(tail, 128);

    // The boot sectors went in through the locked volume (the backup at sector 6 too), which was
    // dismounted before its lock went, so that it is mounted again from them.
    std::vector<std::string> volume;
    for (const auto& line : log)
        if (line.find("\\\\.\\D:") != std::string::npos && line.rfind("open", 0) != 0 && line.rfind("close", 0) != 0)
            volume.push_back(line);
    ASSERT_GE(volume.size(), 4u);
    std::vector<std::string> tail4(volume.end() - 4, volume.end());
    EXPECT_EQ(tail4, (std::vector<std::string>{"write \\\\.\\D: at 0 length 512", "write \\\\.\\D: at 3072 length 512",
                                               "dismount \\\\.\\D:", "unlock \\\\.\\D:"}));
}

TEST_F(FormatRun, CloverExFatWritesBothBootRegionsWithValidChecksums) {
    LoadStick(64);
    Boot_records = "Clover";
    FileSystem = "exFAT";
    StartLBASector = "63";
    Run();
    ExpectRestored();
    EXPECT_EQ(Statuses().back(), "All done");
    int64_t sectors = 64 * 2048 - 63;
    EXPECT_NE(Dump().find("start=          63, size=      131009, type=6, bootable"), std::string::npos) << Dump();

    auto region = ReadBytes(image_, 63 * 512, 24 * 512);
    for (int base : {0, 12}) {
        const uint8_t* boot = region.data() + base * 512;
        EXPECT_EQ(std::string(boot + 3, boot + 11), "EXFAT   ") << base;
        EXPECT_EQ(std::memcmp(boot + 120, kBoot1xAltImage + 120, 1024 - 120), 0) << "boot1xalt at " << base;
        uint32_t sum = ExFatBootChecksum(boot, 512);
        for (int i = 0; i < 128; ++i) {
            uint32_t stored;
            std::memcpy(&stored, boot + 11 * 512 + i * 4, 4);
            ASSERT_EQ(stored, sum) << "checksum sector of region " << base;
        }
    }
    std::string fsck = Capture("fsck.exfat -n '" + PartitionCopy(image_, 63, sectors) + "'");
    EXPECT_NE(fsck.find("clean"), std::string::npos) << fsck;
}

TEST_F(FormatRun, FreeDosFormatsFat32LbaWhateverFileSystemWasChosen) {
    LoadStick(64);
    test::SupplyFreeDosStandIn();
    Boot_records = "FreeDos";
    FileSystem = "exFAT";
    Run();
    ExpectRestored();
    EXPECT_EQ(FileSystem, "exFAT");  // the run's copy changed, not the setting of the user's choice
    EXPECT_EQ(sim::FormatterCalls().back(), "format D: FAT32 label CLOVER quick 1 cluster 0");
    EXPECT_NE(Dump().find("type=c, bootable"), std::string::npos) << Dump();
    auto mbr = ReadBytes(image_, 0, 512);
    EXPECT_TRUE(SameBytes(mbr, 0, kUsbHddPlusImage, 0x1B8));
    auto pbr = ReadBytes(image_, 2048 * 512, 512);
    EXPECT_TRUE(SameBytes(pbr, 90, kFat32LbaFreeDosImage, 512));
    EXPECT_TRUE(Shown("FreeDos Data set files Installed"));
    EXPECT_EQ(Statuses().back(), "All done");
    EXPECT_EQ(Capture("mcopy -n -i '" + image_ + "@@" + std::to_string(2048 * 512) + "' ::/kernel.sys -"),
              "test kernel image\r\n");
}

// Without the FreeDOS files the stick could not boot: nothing is written for it.
TEST_F(FormatRun, FreeDosInABuildWithoutItsFilesIsRefused) {
    if (HasFreeDosPackage()) GTEST_SKIP() << "this build carries the FreeDOS files";
    LoadStick(64);
    Boot_records = "FreeDos";
    Run();
    ExpectRestored();
    EXPECT_TRUE(NothingWritten());
    EXPECT_FALSE(Shown("All done"));
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Error");
    EXPECT_EQ(sim::Messages()[0].text, "Sorry, FreeDos is not available:\r\nthis build of the program carries no FreeDOS files.");
}

TEST_F(FormatRun, WindowsWritesOnlyItsMbrAndKeepsTheFormattersBootSector) {
    LoadStick(64);
    Boot_records = "Windows";
    FileSystem = "FAT32";
    InstallDataSet = "Local";  // not used for "Windows"
    Run();
    ExpectRestored();
    EXPECT_TRUE(Shown("Windows boot records installed"));
    EXPECT_NE(Dump().find("type=6, bootable"), std::string::npos) << Dump();
    EXPECT_TRUE(SameBytes(ReadBytes(image_, 0, 512), 0, kUsbHddPlusImage, 0x1B8));
    auto pbr = ReadBytes(image_, 2048 * 512, 512);
    std::string code(pbr.begin() + 90, pbr.end());
    EXPECT_NE(code.find("This is not a bootable disk"), std::string::npos) << "mkfs.fat's own boot code";
}

TEST_F(FormatRun, TwoPartitionsTheSecondTypedSixInactiveZeroedAndNotFormatted) {
    LoadStick(300);
    // Old data where partition 2 will start: the run must zero that sector.
    WriteBytes(image_, (2048 + 409600) * 512LL, std::vector<uint8_t>(512, 0xA5));
    Boot_records = "Clover";
    FileSystem = "FAT32";
    MultiPartitions = 1;
    BootPartitionSize = 200;
    Run();
    ExpectRestored();
    std::string dump = Dump();
    EXPECT_NE(dump.find("start=        2048, size=      409600, type=6, bootable"), std::string::npos) << dump;
    EXPECT_NE(dump.find("start=      411648, size=      202752, type=6\n"), std::string::npos) << dump;
    EXPECT_EQ(ReadBytes(image_, 411648 * 512LL, 512), std::vector<uint8_t>(512, 0));
    EXPECT_EQ(sim::FormatterCalls().size(), 1u);
}

TEST_F(FormatRun, StartNotBelowTheChsSectorsGives63) {
    LoadStick(64, "bus = 7\ndrive-type = 2\ngeometry = 1 16 63 512\n");  // 1008 CHS sectors
    Boot_records = "Clover";
    FileSystem = "FAT32-LBA";
    StartLBASector = "2048";
    Run();
    EXPECT_NE(Dump().find("start=          63,"), std::string::npos) << Dump();
}

TEST_F(FormatRun, RefusalsBeforeTheConfirmationWriteNothing) {
    struct Case {
        const char* name;
        std::string stick;
        std::function<void()> settings;
        std::string status, boxTitle;
    };
    std::vector<Case> cases = {
        {"system drive", "bus = 7\ndrive-type = 2\nletters = C:1\n", [] {}, "", "Error"},
        {"Clover on NTFS", "bus = 7\ndrive-type = 2\n", [] { FileSystem = "NTFS"; },
         "Error : Select FileSystem : FAT32-LBA Or exFAT only!", ""},
        {"no local data set", "bus = 7\ndrive-type = 2\n",
         [] {
             InstallDataSet = "Local";
             SetCloverLocalRepository("C:\\Empty\\");
         },
         "Can't Read Local Data set", "Warning"},
        {"Not_Format without a letter", "bus = 7\ndrive-type = 2\n",
         [] { Boot_records = "Not_Format", InstallDataSet = "Local"; },
         "Error : Can't copy Boot Data Set Files - Dest Disk Don't Have a Letter!", ""},
        {"boot partition larger than the stick", "bus = 7\ndrive-type = 2\n",
         [] { MultiPartitions = 1, BootPartitionSize = 200; }, "Error : The Partitions don't fit on the Disk!", ""},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        LoadStick(64, c.stick);
        test::Partition(image_, "start=2048, type=c\n");
        auto before = ReadBytes(image_, 0, 64 << 20);
        Boot_records = "Clover";
        FileSystem = "FAT32-LBA";
        c.settings();
        if (c.name == std::string("system drive")) {
            // The stick holds the system's letter: it must never be touched.
            test::LoadPcText(folder_, "system-drive = C\n[disk 1]\nimage = " + image_ +
                                          "\nbus = 7\ndrive-type = 2\nletters = C:1\n");
        }
        Run();
        ExpectRestored();
        EXPECT_TRUE(NothingWritten());
        EXPECT_EQ(ReadBytes(image_, 0, 64 << 20), before);
        EXPECT_FALSE(Shown("All done"));
        if (!c.status.empty()) {
            EXPECT_TRUE(Shown(c.status));
        }
        auto boxes = sim::Messages();
        if (c.boxTitle.empty()) {
            EXPECT_TRUE(boxes.empty());
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].title, c.boxTitle);
        }
    }
}

TEST_F(FormatRun, ConfirmationTextAndItsCancel) {
    LoadStick(64, "bus = 7\ndrive-type = 2\nletters = E:1\n");
    test::Partition(image_, "start=2048, type=c\n");
    test::FormatFat(image_, 32, 2048, 129024, "OLD");
    Boot_records = "Clover";
    FileSystem = "exFAT";
    sim::AnswerNextMessages({plat::IdCancel});
    Run();
    ExpectRestored();
    EXPECT_TRUE(NothingWritten());
    EXPECT_FALSE(Shown("All done"));
    auto boxes = sim::Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "WARNING");
    EXPECT_EQ(boxes[0].flags, unsigned(plat::MbOkCancel | plat::MbIconWarning));
    EXPECT_EQ(boxes[0].text,
              "ALL DATA ON DEVICE:\r\nStick Acme 64 MB (E:)\r\nWILL BE DESTROYED.\r\n\r\n"
              "Task:\tClover format only\r\nMBR:\tboot0 (Clover)\r\nPBR:\tboot1xalt (Clover)\r\n"
              "Align:\tto flash block (2048 sects)\r\nFS:\texFAT\r\nClover:\tNot_Install\r\n"
              "\r\nTo Continue with this operation, click OK.\r\nTo quit click CANCEL.");
}

TEST_F(FormatRun, ADiskNotOnUsbAsksFirst) {
    EnableFixedDisks = 1;
    LoadStick(64, "bus = 11\ndrive-type = 3\n");
    Boot_records = "Clover";
    FileSystem = "FAT32-LBA";
    sim::AnswerNextMessages({plat::IdCancel});
    Run();
    ExpectRestored();
    EXPECT_TRUE(NothingWritten());
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Warning");
    EXPECT_EQ(sim::Messages()[0].text.rfind("Are You sure?\r\nTarget Drive is Not USB Disk!", 0), 0u);

    sim::AnswerNextMessages({plat::IdOk, plat::IdOk});
    Run();
    EXPECT_EQ(sim::Messages().size(), 3u);
    EXPECT_TRUE(Shown("All done"));
}

TEST_F(FormatRun, AFormatterErrorEndsTheRunWithoutAllDone) {
    LoadStick(64);
    Boot_records = "Clover";
    FileSystem = "FAT32-LBA";
    sim::ScriptFormatterReports({{0, 10}, {7, 0}});
    Run();
    ExpectRestored();
    EXPECT_TRUE(Shown("Media is write protected"));
    EXPECT_FALSE(Shown("Clover boot records installed"));
    EXPECT_FALSE(Shown("All done"));
    // The table was written before formatting; the type stays 06 and no boot1f32alt is merged.
    EXPECT_NE(Dump().find("type=6, bootable"), std::string::npos) << Dump();
}

TEST_F(FormatRun, ADriveThatCannotBeLockedIsLeftAlone) {
    LoadStick(64, "bus = 7\ndrive-type = 2\nletters = E:1\nlock-refusals = -1\n");
    test::Partition(image_, "start=2048, type=c\n");
    Boot_records = "Clover";
    FileSystem = "FAT32-LBA";
    Run();
    ExpectRestored();
    EXPECT_TRUE(Shown("Error opening the Disk1 for write&lock"));
    EXPECT_FALSE(Shown("All done"));
    EXPECT_TRUE(NothingWritten());
}

// The stick's old volumes are mounted. Windows refuses raw writes into a mounted volume and mounts
// an unlocked one again at once, so the rewrite works only because each stays locked and
// dismounted until the system has read the new table.
TEST_F(FormatRun, OldVolumesStayLockedUntilTheNewTableIsRead) {
    LoadStick(64, "bus = 7\ndrive-type = 2\nletters = E:1 F:2\n");
    test::Partition(image_, "start=2048, size=61440, type=c\nstart=63488, type=7\n");
    test::FormatFat(image_, 32, 2048, 61440, "OLD");
    test::FormatExFat(image_, 63488, 67584, "DATA");
    Boot_records = "Clover";
    FileSystem = "FAT32-LBA";
    Run();
    ExpectRestored();
    EXPECT_EQ(Statuses().back(), "All done");
    EXPECT_EQ(FsckFat32(2048, 129024), 0);
    auto log = sim::DeviceLog();
    for (const auto& line : log) EXPECT_EQ(line.find(" denied"), std::string::npos) << line;
    auto from = [&](const std::string& entry, size_t start) {
        return size_t(std::find(log.begin() + long(start), log.end(), entry) - log.begin());
    };
    size_t update = from("update properties \\\\.\\PHYSICALDRIVE1", 0);
    for (std::string volume : {"\\\\.\\E:", "\\\\.\\F:"}) {
        size_t dismount = from("dismount " + volume, 0);
        EXPECT_LT(dismount, update) << volume;
        EXPECT_LT(update, from("close " + volume, dismount)) << volume << " was let go before the table was read";
    }
}

// A stick as a Mac leaves it: a GPT with an EFI System partition (FAT32, E:) and an HFS+ one.
TEST_F(FormatRun, AGptStickIsListedWithItsPartitionsAndBecomesAnMbrStick) {
    image_ = test::BlankImage(folder_, "stick.img", 300);
    std::string system = test::BlankImage(folder_, "system.img", 1);
    test::LoadPcText(folder_, "system-drive = C\n[disk 0]\nimage = " + system +
                                  "\nbus = 11\ndrive-type = 3\nletters = C:0\n[disk 1]\nimage = " + image_ +
                                  "\nbus = 7\ndrive-type = 2\nvendor = Acme\nproduct = Stick\nletters = E:1\n"
                                  "gpt = first-lba: 34; start=40, size=409600, "
                                  "type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B; "
                                  "start=409640, type=48465300-0000-11AA-AA11-00306543ECAC\n");
    test::FormatFat(image_, 32, 40, 409600, "EFI");
    FillDriveList();
    EXPECT_EQ(sim::Gadget(DriveListGadget)->items,
              (std::vector<std::string>{"USB: Acme Stick 300 MB (E:)", "Part1: 200 MB FAT32 <EFI> E:",
                                        "Part2: 99 MB HFS/HFS+ <NONAME> "}));
    Boot_records = "Clover";
    FileSystem = "FAT32-LBA";
    Run();
    ExpectRestored();
    EXPECT_EQ(Statuses().back(), "All done");
    std::string dump = Dump();
    EXPECT_NE(dump.find("label: dos"), std::string::npos) << dump;
    EXPECT_NE(dump.find("start=        2048, size=      612352, type=c, bootable"), std::string::npos) << dump;
    // Neither GPT header is left for a system that looks for one.
    for (int64_t sector : {int64_t(1), int64_t(614399)}) {
        auto head = ReadBytes(image_, sector * 512, 8);
        EXPECT_NE(std::string(head.begin(), head.end()), "EFI PART") << sector;
    }
    EXPECT_EQ(FsckFat32(2048, 612352), 0);
}

// The close box during a run asks first; Yes cancels the run, which ends cleanly, and the loop
// ends once it has stopped.
TEST_F(FormatRun, ClosingTheWindowDuringARunAsksAndYesCancelsIt) {
    LoadStick(64);
    Boot_records = "Clover";
    FileSystem = "FAT32-LBA";
    FillDriveList();
    plat::SetGadgetState(DriveListGadget, 0);
    // The user closes the window while the formatter works; the formatter goes on once the
    // answer is in.
    sim::OnFormatterReport([](uint32_t command, uint32_t argument) {
        if (command != 0 || argument != 20) return;
        sim::CloseBox(MainWindow);
        for (int i = 0; i < 10000 && !FormatFailed; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    sim::AnswerNextMessages({plat::IdOk, plat::IdYes});
    DispatchEvent(plat::EventGadget, MainWindow, FormatButton, 0);
    RunEventLoop();
    for (int i = 0; i < 1000 && AbortRequested; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(QuitRequested, 1);
    ExpectRestored();
    auto boxes = sim::Messages();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].title, "Warning");
    EXPECT_EQ(boxes[1].text, "An operation is still running.\r\n\r\nCancel it and quit when it has stopped?");
    EXPECT_EQ(boxes[1].flags, unsigned(plat::MbYesNo | plat::MbIconWarning));
    EXPECT_FALSE(Shown("Clover boot records installed"));
    EXPECT_FALSE(Shown("All done"));
}

class LocalDataSet : public FormatRun {
protected:
    // A data set of `files` entries below EFI/CLOVER (folders listed after their files, as some
    // archivers write them) and a root "boot" naming its revision.
    std::string MakeDataSet(int files) {
        std::string tree = folder_.File("tree");
        std::filesystem::create_directories(tree + "/EFI/CLOVER/drivers");
        std::ofstream(tree + "/boot") << "boot code\nClover revision: 5151\n";
        std::ofstream(tree + "/EFI/CLOVER/config.plist") << "<plist/>\n";
        for (int i = 0; i < files; ++i) std::ofstream(tree + "/EFI/CLOVER/drivers/d" + std::to_string(i) + ".efi") << i;
        std::string repository = folder_.File("repo");
        std::filesystem::create_directories(repository);
        std::string zip = repository + "/CloverISO-5151.zip";
        EXPECT_EQ(test::Shell("cd '" + tree + "' && zip -qr -D '" + zip + "' boot EFI"), 0);
        sim::SetDriveRoot('R', repository);
        SetCloverLocalRepository("R:\\");
        EXPECT_TRUE(ScanLocalRepository());
        InstallDataSet = "Local";
        Boot_records = "Clover";
        FileSystem = "FAT32-LBA";
        return zip;
    }
    std::string Offset() { return "@@" + std::to_string(2048 * 512); }
    std::string Mdir(const std::string& path) { return Capture("mdir -a -i '" + image_ + Offset() + "' '" + path + "'"); }
};

TEST_F(LocalDataSet, TheTreeAndTheHiddenMarkersReachTheVolume) {
    LoadStick(64);
    MakeDataSet(3);
    Run();
    ExpectRestored();
    EXPECT_TRUE(Shown("Success Read Local Data set"));
    EXPECT_TRUE(Shown("Clover Data set files Installed"));
    EXPECT_EQ(Statuses().back(), "All done");
    EXPECT_EQ(Capture("mtype -i '" + image_ + Offset() + "' ::/EFI/CLOVER/config.plist"), "<plist/>\n");
    EXPECT_NE(Mdir("::/EFI/CLOVER/drivers").find("d2       efi"), std::string::npos) << Mdir("::/EFI/CLOVER/drivers");
    std::string attributes = Capture("mattrib -i '" + image_ + Offset() + "' -/ ::/");
    std::set<std::string> hidden;
    std::istringstream lines(attributes);
    for (std::string line; std::getline(lines, line);)
        if (line.size() > 12 && line.substr(0, 12).find('H') != std::string::npos) hidden.insert(line.substr(13));
    EXPECT_EQ(hidden, (std::set<std::string>{"::/.metadata_never_index", "::/.fseventsd", "::/.fseventsd/no_log"}))
        << attributes;
    EXPECT_EQ(FsckFat32(2048, 129024), 0);
}

TEST_F(LocalDataSet, AFailedInstallationLeavesNoMarkers) {
    LoadStick(64);
    std::string zip = MakeDataSet(1);
    // Still a file of some size, but no archive any more.
    std::ofstream(zip, std::ios::trunc) << "not a zip";
    Run();
    ExpectRestored();
    EXPECT_TRUE(Shown("Clover Data set files Not Installed"));
    EXPECT_FALSE(Shown("All done"));
    std::string root = Mdir("::/");
    EXPECT_EQ(root.find("metadata"), std::string::npos) << root;
    EXPECT_EQ(root.find("fseventsd"), std::string::npos) << root;
}

TEST_F(LocalDataSet, FormatCancelDuringExtractionStopsBetweenEntries) {
    LoadStick(64);
    MakeDataSet(40);
    // The user presses the button (now "Format Cancel") while the fifth entry is reported.
    sim::OnCanvas([this](int gadget, const std::vector<plat::DrawOp>& picture) {
        for (const auto& op : picture)
            if (gadget == StatusBarGadget && op.kind == plat::DrawOp::Text && !op.text.empty()) {
                {
                    std::lock_guard<std::mutex> l(lock_);
                    statuses_.push_back(op.text);
                }
                if (op.text.rfind("Extracted (5/", 0) == 0) {
                    EXPECT_EQ(sim::Gadget(FormatButton)->text, "Format Cancel");
                    DispatchEvent(plat::EventGadget, MainWindow, FormatButton, 0);
                }
            }
    });
    Run();
    ExpectRestored();
    EXPECT_TRUE(Shown("Extracted (5/42) files to D:\\"));
    for (const auto& status : Statuses()) EXPECT_EQ(status.rfind("Extracted (6/", 0), std::string::npos);
    EXPECT_FALSE(Shown("All done"));
    std::string drivers = Mdir("::/EFI/CLOVER/drivers");
    EXPECT_EQ(drivers.find("d39"), std::string::npos) << drivers;
}

// The repository moved to a folder without data sets: the archive chosen in the old folder is
// not this repository's, and the run says so instead of installing it.
TEST_F(LocalDataSet, ARepositoryWithoutDataSetsDoesNotInstallTheOldFoldersChoice) {
    LoadStick(64);
    MakeDataSet(1);
    std::filesystem::create_directories(folder_.File("empty"));
    sim::SetDriveRoot('Q', folder_.File("empty"));
    SetCloverLocalRepository("Q:\\");
    EXPECT_FALSE(ScanLocalRepository());
    Run();
    ExpectRestored();
    EXPECT_TRUE(Shown("Can't Read Local Data set"));
    EXPECT_TRUE(NothingWritten());
    EXPECT_FALSE(Shown("All done"));
}

}  // namespace
}  // namespace vu
