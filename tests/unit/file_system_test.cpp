// File-system creation through the formatter, with its progress and failure reports.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "disk/inventory.h"
#include "platform/clock.h"
#include "platform/common/exfat_boot.h"
#include "platform/disk_device.h"
#include "platform/sim/sim_volumes.h"
#include "prepare/file_system.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

class FileSystem : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        SetSettingsStartValues();
        FormatFailed = 0;
        SelectedDisk = DiskRecord{};
        BuildMainWindow();
    }
    void TearDown() override { FormatFailed = 0; }

    static std::string Status() {
        auto picture = sim::Gadget(StatusBarGadget)->picture;
        for (const auto& op : picture)
            if (op.kind == plat::DrawOp::Text) return op.text;
        return "";
    }

    // A 64 MiB USB stick with one partition from sector 2048, lettered E:.
    std::string Stick(const std::string& type) {
        std::string image = test::BlankImage(folder, "stick.img", 64);
        test::Partition(image, "start=2048, type=" + type + "\n");
        test::LoadPcText(folder, "[disk 1]\nimage = " + image + "\nbus = 7\ndrive-type = 2\nletters = E:1\n");
        return image;
    }

    // The partition copied out of the image, for the Linux checkers.
    std::string PartitionFile(const std::string& image) {
        std::string part = folder.File("part.img");
        EXPECT_EQ(test::Shell("dd if='" + image + "' of='" + part + "' bs=512 skip=2048"), 0);
        return part;
    }

    test::ScratchFolder folder;
};

TEST_F(FileSystem, EveryFormatterReportGivesItsTextFlagAndAnswer) {
    struct Row {
        uint32_t command, argument;
        const char* text;  // nullptr: the bar is not drawn
        bool fails;
    } rows[] = {
        {0, 35, "Formatting: 35 %", false},
        {1, 0, nullptr, false},
        {3, 0, "Incompatible File System", true},
        {6, 0, "Access denied", true},
        {7, 0, "Media is write protected", true},
        {8, 0, "Volume is in use", true},
        {9, 0, "Cannot quick format this volume", true},
        {11, 0, "Error while formatting", true},
        {11, 1, "Creating file system completed", false},
        {12, 0, "Bad label", true},
        {14, 0, nullptr, false},
        {15, 0, "Creating file system", false},
        {16, 0, "Unsupported cluster size", true},
        {17, 0, nullptr, false},
        {18, 0, "Volume is too small", false},
        {19, 0, "Volume is too big", true},
        {20, 0, "No media in drive", true},
        {2, 0, nullptr, true},
        {99, 0, nullptr, true},
    };
    for (const auto& row : rows) {
        FormatFailed = 0;
        DrawProgressBar(StatusBarGadget, "before", 0);
        uint32_t argument = row.argument;
        int32_t answer = FormatProgress(row.command, 0, &argument);
        EXPECT_EQ(Status(), row.text ? row.text : "before") << row.command;
        EXPECT_EQ(FormatFailed.load(), row.fails ? 1 : 0) << row.command;
        EXPECT_EQ(answer, row.fails ? 0 : 1) << row.command;
    }
}

TEST_F(FileSystem, AnEarlierFailureOrCancelStopsTheFormatterAtOnce) {
    FormatFailed = 1;
    uint32_t percent = 50;
    DrawProgressBar(StatusBarGadget, "before", 0);
    EXPECT_EQ(FormatProgress(0, 0, &percent), 0);
    EXPECT_EQ(Status(), "before");
}

TEST_F(FileSystem, ResultIsReadFromTheFlagNotFromTheLibrary) {
    Stick("c");
    sim::ScriptFormatterReports({{0, 10}, {18, 0}, {11, 1}});
    EXPECT_EQ(FormatVolume("E:", "FAT32", "CLOVER", 1, 0), 1);
    EXPECT_EQ(Status(), "Creating file system completed");

    sim::ScriptFormatterReports({{0, 10}, {11, 0}});
    EXPECT_EQ(FormatVolume("E:", "FAT32", "CLOVER", 1, 0), 0);
    EXPECT_EQ(Status(), "Error while formatting");

    FormatFailed = 0;
    DrawProgressBar(StatusBarGadget, "before", 0);
    sim::ScriptFormatterReports({{42, 0}, {11, 1}});
    EXPECT_EQ(FormatVolume("E:", "FAT32", "CLOVER", 1, 0), 0);
    EXPECT_EQ(Status(), "before");
}

TEST_F(FileSystem, MissingLibraryOrEntryPointFailsWithItsStatusText) {
    Stick("c");
    sim::SetFormatterAvailability(sim::FormatterAvailability::NoLibrary);
    int64_t start = plat::TickCount();
    EXPECT_EQ(FormatVolume("E:", "FAT32", "CLOVER", 1, 0), 0);
    EXPECT_EQ(Status(), "Error OpenLibrary fmifs.dll");
    EXPECT_EQ(plat::TickCount() - start, 2000);
    sim::SetFormatterAvailability(sim::FormatterAvailability::NoEntryPoint);
    EXPECT_EQ(FormatVolume("E:", "FAT32", "CLOVER", 1, 0), 0);
    EXPECT_EQ(Status(), "Error GetFunction FormatEx in fmifs.dll");
}

TEST_F(FileSystem, CancelDuringFormattingStopsAtTheNextReport) {
    std::string image = Stick("c");
    std::vector<uint32_t> seen;
    static std::vector<uint32_t>* log;
    log = &seen;
    sim::OnFormatterReport([](uint32_t command, uint32_t argument) {
        log->push_back(command);
        if (command == 0 && argument == 40) FormatFailed = 1;  // the user pressed "Format Cancel"
    });
    EXPECT_EQ(FormatVolume("E:", "FAT32", "CLOVER", 1, 0), 0);
    EXPECT_EQ(seen, (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_EQ(Status(), "Formatting: 20 %");
    std::string fileSystem;
    EXPECT_FALSE(plat::VolumeInformation("E:\\", nullptr, &fileSystem));
}

TEST_F(FileSystem, Fat32MadeByTheSimulatedFormatterPassesFsckWithItsLabel) {
    std::string image = Stick("c");
    EXPECT_EQ(FormatVolume("E:", "FAT32", "CLOVER", 1, 0), 1);
    EXPECT_EQ(Status(), "Creating file system completed");
    std::string label, fileSystem;
    ASSERT_TRUE(plat::VolumeInformation("E:\\", &label, &fileSystem));
    EXPECT_EQ(label, "CLOVER");
    EXPECT_EQ(fileSystem, "FAT32");
    EXPECT_EQ(test::Shell("fsck.fat -n '" + PartitionFile(image) + "'"), 0);
    // No drive selected here: a fixed disk's media type.
    EXPECT_EQ(sim::FormatterCalls(), std::vector<std::string>{"format E: FAT32 label CLOVER quick 1 cluster 0 media 12"});
}

TEST_F(FileSystem, ExFatMadeByTheSimulatedFormatterPassesFsckAndKnowsItsPartitionStart) {
    std::string image = Stick("7");
    EXPECT_EQ(FormatVolume("E:", "exFAT", "BOOTSTICK", 1, 0), 1);
    std::string label, fileSystem;
    ASSERT_TRUE(plat::VolumeInformation("E:\\", &label, &fileSystem));
    EXPECT_EQ(label, "BOOTSTICK");
    EXPECT_EQ(fileSystem, "exFAT");
    std::string part = PartitionFile(image);
    EXPECT_EQ(test::Shell("fsck.exfat -n '" + part + "'"), 0);
    std::ifstream in(part, std::ios::binary);
    std::vector<uint8_t> region(12 * 512);
    in.read(reinterpret_cast<char*>(region.data()), std::streamsize(region.size()));
    uint64_t offset = 0;
    for (int i = 7; i >= 0; --i) offset = offset << 8 | region[64 + i];
    EXPECT_EQ(offset, 2048u);
    uint32_t stored = uint32_t(region[11 * 512]) | uint32_t(region[11 * 512 + 1]) << 8 |
                      uint32_t(region[11 * 512 + 2]) << 16 | uint32_t(region[11 * 512 + 3]) << 24;
    EXPECT_EQ(stored, ExFatBootChecksum(region.data(), 512));
}

TEST(ExFatChecksum, SkipsVolumeFlagsAndPercentInUse) {
    std::vector<uint8_t> region(12 * 512, 0);
    region[0] = 0xEB;
    uint32_t base = ExFatBootChecksum(region.data(), 512);
    for (int skipped : {106, 107, 112}) {
        region[skipped] = 0x55;
        EXPECT_EQ(ExFatBootChecksum(region.data(), 512), base) << skipped;
    }
    region[113] = 1;
    EXPECT_NE(ExFatBootChecksum(region.data(), 512), base);
    // A byte-wise rotate-right-and-add over 0xEB then zeros: 0xEB rotated once per following byte.
    std::vector<uint8_t> one(12 * 512, 0);
    one[11 * 512 - 1] = 7;
    EXPECT_EQ(ExFatBootChecksum(one.data(), 512), 7u);
}

}  // namespace
}  // namespace vu
