// Backup and restore runs on simulated PCs whose stick is a sparse image with a hand-made MBR:
// the bytes that reach the image file and the stick, the MBR entry, the dialogs, the faults a
// stick can have, cancelling, 4096-byte sectors and a partition beyond 4 GiB.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>

#include "app/main_window.h"
#include "core/globals.h"
#include "core/operations.h"
#include "core/status_bar.h"
#include "core/transfer_progress.h"
#include "disk/drive_list.h"
#include "images/partition_images.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/sim/sim_files.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

namespace fs = std::filesystem;
constexpr int64_t MiB = 1 << 20;

std::string Bytes(const std::string& file, int64_t offset, int64_t length) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(offset);
    std::string bytes(size_t(length), '\0');
    in.read(bytes.data(), std::streamsize(length));
    bytes.resize(size_t(in.gcount()));
    return bytes;
}

void Put(const std::string& file, int64_t offset, const std::string& bytes) {
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(offset);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string Noise(int64_t length, uint64_t seed) {
    std::string bytes(size_t(length), '\0');
    for (char& c : bytes) seed = seed * 6364136223846793005ULL + 1442695040888963407ULL, c = char(seed >> 56);
    return bytes;
}

class PartitionImages : public ::testing::Test {
protected:
    struct Part {
        int64_t start, count;
        uint8_t type;
    };

    void TearDown() override {
        sim::Reset();
        OperationBusy = AbortRequested = 0;
    }

    // A PC without disks, its main window built, every status text recorded.
    void Fresh() {
        sim::Reset();
        SetSettingsStartValues();
        ReadProgramIdentity();
        BuildMainWindow();
        OperationBusy = AbortRequested = 0;
        fs::create_directories(sim::HostPath("C:\\Images"));
        ZarnImageLocalRepo = "C:\\Images\\";
        sim::OnCanvas([this](int gadget, const std::vector<plat::DrawOp>& picture) {
            for (const auto& op : picture)
                if (gadget == StatusBarGadget && op.kind == plat::DrawOp::Text && !op.text.empty()) {
                    std::lock_guard<std::mutex> l(lock_);
                    statuses_.push_back(op.text);
                    // The first progress line of the phase named by cancelOn_ ("" for the copy).
                    if (cancelOn_ && op.text.rfind(*cancelOn_, 0) == 0 && op.text.find("% ") != std::string::npos)
                        AbortRequested = 1;
                }
        });
        statuses_.clear();
    }

    // A sparse stick of `bytes` whose MBR (in sectors of `sectorBytes`) holds `parts`, each of its
    // first 24 MiB filled with noise; the PC gets it as disk 1 with `lines` (letters, faults).
    void LoadStick(const std::string& lines, std::vector<Part> parts = {{2048, 81921, 0x0C}, {86016, 16384, 0x07}},
                   int64_t bytes = 64 * MiB, uint32_t sectorBytes = 512) {
        Fresh();
        stick_ = folder_.File("stick.img");
        fs::remove(stick_);
        std::ofstream(stick_).close();
        fs::resize_file(stick_, uintmax_t(bytes));
        std::string mbr(sectorBytes, '\0');
        mbr[510] = 0x55, mbr[511] = char(0xAA);
        for (size_t i = 0; i < parts.size(); ++i) {
            for (int b = 0; b < 4; ++b) {
                mbr[0x1BE + 16 * i + 8 + b] = char(parts[i].start >> (8 * b));
                mbr[0x1BE + 16 * i + 12 + b] = char(parts[i].count >> (8 * b));
            }
            mbr[0x1BE + 16 * i + 4] = char(parts[i].type);
            Put(stick_, parts[i].start * sectorBytes, Noise(std::min(parts[i].count * sectorBytes, 24 * MiB), i + 1));
        }
        Put(stick_, 0, mbr);
        std::string geometry = sectorBytes == 512 ? "" : "geometry = 8 255 63 " + std::to_string(sectorBytes) + "\n";
        test::LoadPcText(folder_, test::SystemDiskLines(folder_) + "[disk 1]\nimage = " + stick_ + "\nbus = 7\ndrive-type = 2\n" + geometry + lines);
    }

    // Selects Part<part> (0: the disk) and runs the operation with the file dialog answered.
    void Run(Job operation, int part, const std::string& path, std::vector<int> answers = {}) {
        FillDriveList();
        plat::SetGadgetState(DriveListGadget, part == 0 ? 0 : DiskList.at(0).Partitions[part - 1].ListItem);
        sim::AnswerNextRequesters({path});
        sim::AnswerNextMessages(answers);
        sim::ClearDeviceLog();
        operation(1, CopySettings());
    }

    std::string Host(const std::string& name) { return sim::HostPath("C:\\Images\\" + name); }
    std::string Image(const std::string& name, const std::string& bytes) {  // its Windows path
        std::ofstream(Host(name), std::ios::binary) << bytes;
        return "C:\\Images\\" + name;
    }
    std::string PartitionBytes(int64_t startSector, int64_t length, int64_t sectorBytes = 512) {
        return Bytes(stick_, startSector * sectorBytes, length);
    }

    std::vector<std::string> Statuses() {
        std::lock_guard<std::mutex> l(lock_);
        return statuses_;
    }
    // Where a status text containing `text` (a device log entry starting with it) came first; -1 if never.
    static int Find(const std::vector<std::string>& lines, const std::string& text, bool prefix = false) {
        for (size_t i = 0; i < lines.size(); ++i)
            if (prefix ? lines[i].rfind(text, 0) == 0 : lines[i].find(text) != std::string::npos) return int(i);
        return -1;
    }
    int Index(const std::string& text) { return Find(Statuses(), text); }
    bool Saw(const std::string& text) { return Index(text) >= 0; }
    bool SawDone() { return Saw(" Done"); }
    int LogIndex(const std::string& prefix) { return Find(sim::DeviceLog(), prefix, true); }

    void ExpectWindowBack(const std::string& caption, int button, const std::string& context = "") {
        EXPECT_EQ(sim::Gadget(button)->text, caption) << context;
        EXPECT_FALSE(sim::Gadget(DriveListGadget)->disabled) << context;
        EXPECT_EQ(OperationBusy, 0) << context;
        EXPECT_EQ(AbortRequested, 0) << context;
        EXPECT_EQ(sim::OpenDeviceCount(), 0) << context;
    }

    test::ScratchFolder folder_;
    std::string stick_;
    std::optional<std::string> cancelOn_;
    std::mutex lock_;
    std::vector<std::string> statuses_;
};

// Three chunks (the last one not whole) and one chunk below 16 MiB, through the volume and
// through the physical drive: the image holds the partition's bytes either way.
TEST_F(PartitionImages, BackupCopiesThePartitionThroughItsVolumeOrTheDrive) {
    for (const std::string letters : {"letters = E:1 F:2\n", ""}) {
        for (auto [part, start, length] : {std::tuple{1, 2048, int64_t(81921) * 512}, std::tuple{2, 86016, 8 * MiB}}) {
            std::string context = letters + "Part" + std::to_string(part);
            LoadStick(letters);
            Run(BackupPartition, part, "C:\\Images\\p.bin");
            EXPECT_EQ(Bytes(Host("p.bin"), 0, 64 * MiB), PartitionBytes(start, length)) << context;
            EXPECT_LT(Index("Write buffered Data to the Disk"), Index(" Done")) << context;
            EXPECT_EQ(LogIndex("lock ") >= 0, !letters.empty()) << context;
            EXPECT_FALSE(Saw("Backup Cancelled")) << context;
            ExpectWindowBack("Backup Partition", BackupButton, context);
        }
    }
    auto dialog = sim::Requesters().back();
    EXPECT_EQ(dialog.kind + "|" + dialog.title + "|" + dialog.initial, "save|Save to ZarnImage file:|C:\\Images\\PartSave.bin");
    EXPECT_EQ(dialog.pattern, ImageFilePattern);
    EXPECT_EQ(dialog.patternIndex, 2);
    EXPECT_EQ(sim::Messages().back().text, "You have selected following file:\nC:\\Images\\p.bin");

    // Now the file exists: overwriting it is asked, and No keeps it.
    Run(BackupPartition, 1, "C:\\Images\\p.bin", {plat::IdNo});
    EXPECT_EQ(sim::Messages().back().text, "The selected file:\nC:\\Images\\p.bin\nalready exists. Overwrite it?");
    EXPECT_EQ(sim::Messages().back().flags, 0x34u);
    EXPECT_EQ(fs::file_size(Host("p.bin")), uintmax_t(8 * MiB));
}

TEST_F(PartitionImages, BackupEndsWithoutDoneOnEveryFailure) {
    struct Case {
        const char* name;
        std::string lines;
        int part;
        std::string path;
        std::vector<int> answers;
        std::string status;
        int64_t fileBytes;  // -1: no file
    } cases[] = {
        {"whole disk", "", 0, "C:\\Images\\a.bin", {}, "For BackUp select Partition only", -1},
        {"volume never locks", "letters = E:1\nlock-refusals = -1\n", 1, "C:\\Images\\a.bin", {}, "BackUp: Error open Disk1Part1", -1},
        {"geometry unreadable", "fail = geometry\n", 1, "C:\\Images\\a.bin", {}, "BackUp: Error open Disk1Part1", -1},
        {"answered No", "", 1, "C:\\Images\\a.bin", {plat::IdNo}, "", -1},
        {"file in a missing folder", "", 1, "C:\\Missing\\a.bin", {}, "Unable to create file C:\\Missing\\a.bin", -1},
        {"read fails at chunk 2", "fail-read = 2\n", 1, "C:\\Images\\a.bin", {}, "ReadFile Error=23", 16 * MiB},
        {"short read", "short-reads = yes\n", 1, "C:\\Images\\a.bin", {}, "ReadFile Error=38", 0},
        {"disk full", "", 1, "D:\\full", {}, "WriteFile Error=112", -1},
    };
    for (const Case& c : cases) {
        LoadStick(c.lines);
        sim::SetDriveRoot('D', "/dev");
        Run(BackupPartition, c.part, c.path, c.answers);
        EXPECT_FALSE(SawDone()) << c.name;
        if (!c.status.empty()) {
            EXPECT_TRUE(Saw(c.status)) << c.name;
        }
        EXPECT_EQ(fs::exists(Host("a.bin")) ? int64_t(fs::file_size(Host("a.bin"))) : -1, c.fileBytes) << c.name;
        ExpectWindowBack("Backup Partition", BackupButton, c.name);
    }
}

TEST_F(PartitionImages, BackupCancelledAfterTheFirstChunkKeepsItAndSaysDone) {
    LoadStick("");
    cancelOn_ = "";
    Run(BackupPartition, 1, "C:\\Images\\p.bin");
    EXPECT_EQ(Bytes(Host("p.bin"), 0, 64 * MiB), PartitionBytes(2048, 16 * MiB));
    EXPECT_GE(Index(" Done"), 0);
    EXPECT_LT(Index(" Done"), Index("Backup Cancelled"));
    ExpectWindowBack("Backup Partition", BackupButton);
}

// An image as large as the partition, and a smaller one whose last sector is not whole, through
// the volume and through the drive: written from the first sector, the rest of the partition kept,
// read back, and the MBR entry made HFS+ of the image's (rounded up) sector count.
TEST_F(PartitionImages, RestoreWritesChecksAndRecordsTheImage) {
    for (const std::string letters : {"letters = E:1 F:2\n", ""}) {
        for (int64_t size : {int64_t(81921) * 512, 20 * MiB + 100}) {
            std::string context = letters + std::to_string(size);
            LoadStick(letters);
            std::string mbr = PartitionBytes(0, 512), old = PartitionBytes(2048, 81921 * 512);
            std::string image = Noise(size, 99);
            Run(RestorePartition, 1, Image("r.bin", image));
            int64_t padded = (size + 511) / 512 * 512;
            EXPECT_EQ(PartitionBytes(2048, 81921 * 512), image + std::string(size_t(padded - size), '\0') + old.substr(size_t(padded)))
                << context;
            uint32_t count = uint32_t(padded / 512);
            mbr[0x1C2] = char(0xAF);
            mbr.replace(0x1CA, 4, std::string{char(count), char(count >> 8), char(count >> 16), char(count >> 24)});
            EXPECT_EQ(PartitionBytes(0, 512), mbr) << context;
            EXPECT_LT(Index("Verifying ..."), Index(" Done")) << context;
            EXPECT_EQ(Statuses().back().substr(Statuses().back().size() - 5), " Done") << context;
            if (!letters.empty()) {
                // The volume stays locked and dismounted from before the first write until the
                // partition table has been reread.
                std::vector<int> order = {LogIndex("lock \\\\.\\E:"), LogIndex("dismount \\\\.\\E:"),
                                          LogIndex("write \\\\.\\E: at 0 "), LogIndex("update properties"),
                                          LogIndex("unlock \\\\.\\E:")};
                EXPECT_TRUE(std::is_sorted(order.begin(), order.end()) && order[0] >= 0) << context;
            } else {
                EXPECT_GE(LogIndex("write \\\\.\\PHYSICALDRIVE1 at 1048576 "), 0) << context;
            }
            ExpectWindowBack("Restore Partition", RestoreButton, context);
        }
    }
    auto dialog = sim::Requesters().back();
    EXPECT_EQ(dialog.kind + "|" + dialog.title + "|" + dialog.pattern, std::string("open|Select ZarnImage file to Restore|") + ImageFilePattern);
    EXPECT_EQ(dialog.patternIndex, 2);
    EXPECT_EQ(sim::Messages().back().text, "You have selected following file:\nC:\\Images\\r.bin\n" + SizeText(20 * MiB + 100, 0));
}

TEST_F(PartitionImages, RestoreEndsWithoutDoneAndLeavesTheMbrOnEveryFailure) {
    struct Case {
        const char* name;
        std::string lines;
        int part;
        int64_t imageBytes;  // -1: no file
        std::vector<int> answers;
        std::string status, box;
        bool writes;
    } cases[] = {
        {"whole disk", "", 0, MiB, {}, "For Restore select Partition only", "", false},
        {"volume never locks", "letters = E:1\nlock-refusals = -1\n", 1, MiB, {}, "Error opening the Disk1", "", false},
        {"geometry unreadable", "fail = geometry\n", 1, MiB, {}, "Error opening the Disk1", "", false},
        {"one sector too big", "", 1, int64_t(81922) * 512, {}, "", "File too big:\nC:\\Images\\r.bin\n40.0 MB", false},
        {"missing image", "", 1, -1, {}, "", "The selected file:\nC:\\Images\\r.bin\nnot found.", false},
        {"empty image", "", 1, 0, {}, "", "", false},
        {"answered No", "", 1, MiB, {plat::IdNo}, "", "", false},
        {"write fails at chunk 2", "fail-write = 2\n", 1, 17 * MiB, {}, "WriteFile Error=1117", "", true},
        {"read-only stick", "read-only = yes\n", 1, 17 * MiB, {}, "WriteFile Error=19", "", false},
        {"read back fails at chunk 2", "fail-read = 2\n", 1, 17 * MiB, {}, "ReadFile Error=23", "", true},
        {"short read back", "short-reads = yes\n", 1, 17 * MiB, {}, "ReadFile Error=38", "", true},
        {"MBR unreadable", "fail-read = 3\n", 1, 17 * MiB, {}, "Error updating the MBR: ReadFile Error=23", "", true},
        {"MBR not writable", "fail-write = 3\n", 1, 17 * MiB, {}, "Error updating the MBR: WriteFile Error=1117", "", true},
        {"a write silently dropped", "drop-write = 2\n", 1, 17 * MiB, {}, "Verify Error: Disk and image differ at offset 16777216", "", true},
    };
    for (const Case& c : cases) {
        LoadStick(c.lines);
        if (c.imageBytes >= 0) Image("r.bin", Noise(c.imageBytes, 7));
        std::string mbr = PartitionBytes(0, 512);
        Run(RestorePartition, c.part, "C:\\Images\\r.bin", c.answers);
        EXPECT_FALSE(SawDone()) << c.name;
        if (!c.status.empty()) {
            EXPECT_TRUE(Saw(c.status)) << c.name;
        }
        if (!c.box.empty()) {
            EXPECT_EQ(sim::Messages().back().text, c.box) << c.name;
        }
        EXPECT_EQ(LogIndex("write ") >= 0, c.writes) << c.name;
        EXPECT_EQ(PartitionBytes(0, 512), mbr) << c.name;
        ExpectWindowBack("Restore Partition", RestoreButton, c.name);
    }
}

// A cancel during the copy or during the check leaves the MBR as it was; the final line and
// "Restore Cancelled" still come.
TEST_F(PartitionImages, CancelledRestoreLeavesTheMbr) {
    for (std::string phase : {"", "Verifying "}) {
        LoadStick("");
        std::string mbr = PartitionBytes(0, 512), old = PartitionBytes(2048, 20 * MiB);
        std::string image = Noise(20 * MiB, 5);
        cancelOn_ = phase;
        Run(RestorePartition, 1, Image("r.bin", image));
        EXPECT_EQ(PartitionBytes(0, 512), mbr) << phase;
        int64_t written = phase.empty() ? 16 * MiB : 20 * MiB;
        EXPECT_EQ(PartitionBytes(2048, 20 * MiB), image.substr(0, size_t(written)) + old.substr(size_t(written))) << phase;
        EXPECT_GE(Index(" Done"), 0) << phase;
        EXPECT_EQ(Statuses().back(), "Restore Cancelled") << phase;
        ExpectWindowBack("Restore Partition", RestoreButton, phase);
    }
}

// A protective MBR is no table of partitions to rewrite: the data goes in, sector 0 stays.
TEST_F(PartitionImages, RestoreOnAGptDiskLeavesTheTable) {
    LoadStick("", {});
    std::ofstream(folder_.File("gpt.sfdisk")) << "label: gpt\nstart=2048, size=40960\n";
    ASSERT_EQ(test::Shell("sfdisk -q '" + stick_ + "' < '" + folder_.File("gpt.sfdisk") + "'"), 0);
    std::string mbr = PartitionBytes(0, 512), image = Noise(MiB, 3);
    Run(RestorePartition, 1, Image("r.bin", image));
    const PartitionSlot& slot = SelectedDisk.Partitions[0];
    EXPECT_EQ(Bytes(stick_, slot.Info.StartingOffset, MiB), image);
    EXPECT_EQ(PartitionBytes(0, 512), mbr);
    EXPECT_LT(Index("MBR not changed: the Disk has a GPT partition table"), Index(" Done"));
}

// 4096-byte sectors: the image's partial last sector is padded to 4096 bytes and counted, and a
// backup of the restored partition gives the image back with that padding.
TEST_F(PartitionImages, FourKibibyteSectorsAreTakenFromTheGeometry) {
    LoadStick("", {{256, 5120, 0x0C}}, 64 * MiB, 4096);
    std::string image = Noise(16 * MiB + 1000, 11), padded = image + std::string(3096, '\0');
    Run(RestorePartition, 1, Image("r.bin", image));
    EXPECT_TRUE(SawDone());
    EXPECT_EQ(PartitionBytes(256, int64_t(padded.size()), 4096), padded);
    EXPECT_EQ(Bytes(stick_, 0x1CA, 4), (std::string{char(0x01), char(0x10), 0, 0}));  // 4097 sectors
    Run(BackupPartition, 1, "C:\\Images\\b.bin");
    EXPECT_EQ(Bytes(Host("b.bin"), 0, 64 * MiB), padded);
}

// A 6 GiB partition that starts beyond 4 GiB on a sparse 11 GiB stick: only what the checks need
// is copied (a cancelled backup, a small restore, size checks answered No).
TEST_F(PartitionImages, PartitionsBeyondFourGibibytesUse64BitOffsets) {
    int64_t start = (4096 + 1) * 2048, count = 6 * 1024 * 2048;
    LoadStick("", {{start, count, 0x07}}, 11LL << 30);
    cancelOn_ = "";
    Run(BackupPartition, 1, "C:\\Images\\p.bin");
    EXPECT_EQ(Bytes(Host("p.bin"), 0, 32 * MiB), PartitionBytes(start, 16 * MiB));
    EXPECT_TRUE(Saw("16 MB/6.00 GB"));
    cancelOn_.reset();

    for (auto [extra, box] : {std::pair{0, "Information"}, std::pair{512, "Error"}}) {
        std::ofstream(Host("six.bin")).close();
        fs::resize_file(Host("six.bin"), uintmax_t(count * 512 + extra));
        Run(RestorePartition, 1, "C:\\Images\\six.bin", {plat::IdNo});
        EXPECT_EQ(sim::Messages().back().title, box);
        EXPECT_LT(LogIndex("write "), 0);
    }
    std::string image = Noise(MiB + 512, 13);
    Run(RestorePartition, 1, Image("r.bin", image));
    EXPECT_TRUE(SawDone());
    EXPECT_EQ(PartitionBytes(start, MiB + 512), image);
    EXPECT_EQ(Bytes(stick_, 0x1CA, 4), (std::string{char(0x01), char(0x08), 0, 0}));  // 2049 sectors
}

// A press of the button between the click that started the run and its thread (or during its
// dialog) cancels it before anything is written: no image file is created, no sector restored.
// The dialogs are the main window's: a click there meanwhile does not reach the loop.
TEST_F(PartitionImages, ACancelBeforeTheCopyWritesNothingAndTheDialogsAreTheMainWindows) {
    for (Job operation : {Job(BackupPartition), Job(RestorePartition)}) {
        bool restore = operation == Job(RestorePartition);
        LoadStick("letters = E:1\n");
        std::vector<sim::RequesterRecord> asked;
        sim::OnRequester([&](const sim::RequesterRecord& r) {
            asked.push_back(r);
            sim::Click(restore ? RestoreButton : BackupButton);
        });
        AbortRequested = 1;  // set by the loop, which cleared it when it started the run
        Run(operation, 1, restore ? Image("r.bin", Noise(MiB, 5)) : "C:\\Images\\p.bin");
        EXPECT_TRUE(Saw(restore ? "Restore Cancelled" : "Backup Cancelled")) << restore;
        EXPECT_LT(LogIndex("write "), 0) << restore;
        EXPECT_EQ(plat::FileExists("C:\\Images\\p.bin"), false);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].owner, MainWindow);
        EXPECT_EQ(sim::PendingEvents(), 0u) << "a click reached the main window under its dialog";
        sim::OnRequester(nullptr);
        ExpectWindowBack(restore ? "Restore Partition" : "Backup Partition", restore ? RestoreButton : BackupButton);
    }
}

}  // namespace
}  // namespace vu
