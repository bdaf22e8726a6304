// The local repository scan on real ZIP archives made here with libzip.
#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/globals.h"
#include "core/settings.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "prepare/local_repository.h"

namespace vu {
namespace {

// Writes a ZIP archive with the given entries to a Windows path of the simulated PC.
void MakeZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* archive = zip_open(plat::LibraryPath(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        ASSERT_NE(source, nullptr);
        ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
    }
    ASSERT_EQ(zip_close(archive), 0);
}

// A legacy boot file: binary bytes around the marker line.
std::string BootFile(const std::string& markerLine) {
    std::string bytes(3000, '\x90');
    bytes[100] = '\0';
    bytes += "\n" + markerLine + "\n";
    bytes += std::string(2000, '\xEB');
    return bytes;
}

class LocalRepository : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        FormatFailed = 0;
        ASSERT_TRUE(plat::CreateFolder("C:\\Repo"));
        CloverLocalRepository = "C:\\Repo\\";
    }
};

TEST_F(LocalRepository, RevisionsSortNumericallyAndTheHighestIsChosen) {
    MakeZip("C:\\Repo\\CloverISO-999.zip", {{"boot", BootFile("Clover revision: 999")}, {"EFI/BOOT/x", "x"}});
    MakeZip("C:\\Repo\\CloverISO-4297.zip", {{"EFI/", ""}, {"boot", BootFile("Clover revision: 4297")}});
    EXPECT_TRUE(ScanLocalRepository());
    std::vector<FoundDataSet> expected = {{"CloverISO-4297.zip", 4297}, {"CloverISO-999.zip", 999}};
    EXPECT_EQ(FoundDataSets(), expected);
    EXPECT_EQ(LocalDataSetPath(), "C:\\Repo\\CloverISO-4297.zip");
    EXPECT_EQ(LocalDataSetRevision(), "4297");
    int32_t revision = 0;
    EXPECT_TRUE(ChooseFoundDataSet("CloverISO-999.zip", revision));
    EXPECT_EQ(revision, 999);
    EXPECT_EQ(LocalDataSetPath(), "C:\\Repo\\CloverISO-999.zip");
    EXPECT_FALSE(ChooseFoundDataSet("nothing.zip", revision));
    EXPECT_EQ(LocalDataSetRevision(), "999");
}

TEST_F(LocalRepository, ArchivesWithoutBootOrMarkerAreNotListed) {
    MakeZip("C:\\Repo\\FreeDOS.zip", {{"KERNEL.SYS", "k"}, {"COMMAND.COM", "c"}});
    MakeZip("C:\\Repo\\Nested.zip", {{"EFI/boot", BootFile("Clover revision: 5000")}});
    MakeZip("C:\\Repo\\NoMarker.zip", {{"boot", BootFile("Clover rev 5001")}});
    ASSERT_TRUE(plat::WriteWholeFile("C:\\Repo\\Broken.zip", "PK\x03\x04 not really"));
    MakeZip("C:\\Repo\\Good.zip", {{"boot", BootFile("Clover revision: 4100")}});
    EXPECT_EQ(ReadDataSetRevision("C:\\Repo\\FreeDOS.zip"), 0);
    EXPECT_EQ(ReadDataSetRevision("C:\\Repo\\Nested.zip"), 0);
    EXPECT_EQ(ReadDataSetRevision("C:\\Repo\\Broken.zip"), 0);
    EXPECT_EQ(ReadDataSetRevision("C:\\Repo\\Missing.zip"), 0);
    EXPECT_EQ(ReadDataSetRevision(""), 0);
    EXPECT_TRUE(ScanLocalRepository());
    std::vector<FoundDataSet> expected = {{"Good.zip", 4100}};
    EXPECT_EQ(FoundDataSets(), expected);
}

TEST_F(LocalRepository, MarkerFollowedByTextYieldsTheNumber) {
    MakeZip("C:\\Repo\\a.zip", {{"boot", BootFile("Clover revision: 4297 (master, commit 1a2b3c)")}});
    EXPECT_EQ(ReadDataSetRevision("C:\\Repo\\a.zip"), 4297);
    // The first marker counts.
    MakeZip("C:\\Repo\\b.zip", {{"boot", BootFile("Clover revision: 12x") + "Clover revision: 99\n"}});
    EXPECT_EQ(ReadDataSetRevision("C:\\Repo\\b.zip"), 12);
}

TEST_F(LocalRepository, StopFlagEndsTheReading) {
    MakeZip("C:\\Repo\\a.zip", {{"boot", BootFile("Clover revision: 4297")}});
    FormatFailed = 1;
    EXPECT_EQ(ReadDataSetRevision("C:\\Repo\\a.zip"), 0);
    FormatFailed = 0;
}

TEST_F(LocalRepository, ReadingLeavesNoFileBehind) {
    MakeZip("C:\\Repo\\a.zip", {{"boot", BootFile("Clover revision: 4297")}});
    ASSERT_EQ(ReadDataSetRevision("C:\\Repo\\a.zip"), 4297);
    EXPECT_TRUE(plat::ListFolder("C:\\Users\\User\\AppData\\Local\\Temp").empty());
    EXPECT_EQ(plat::ListFolder("C:\\Repo").size(), 1u);
}

TEST_F(LocalRepository, EmptyOrMissingFolderKeepsTheChoice) {
    MakeZip("C:\\Repo\\CloverISO-4297.zip", {{"boot", BootFile("Clover revision: 4297")}});
    ASSERT_TRUE(ScanLocalRepository());
    CloverLocalRepository = "C:\\Nowhere\\";
    EXPECT_FALSE(ScanLocalRepository());
    EXPECT_TRUE(FoundDataSets().empty());
    EXPECT_EQ(LocalDataSetPath(), "C:\\Repo\\CloverISO-4297.zip");
}

TEST_F(LocalRepository, ConcurrentScansAgree) {
    for (int r : {1000, 2000, 3000})
        MakeZip("C:\\Repo\\CloverISO-" + std::to_string(r) + ".zip",
                {{"boot", BootFile("Clover revision: " + std::to_string(r))}});
    // Waiting right after the starts: each scan counts from before its thread runs.
    for (int i = 0; i < 4; i++) StartRepositoryScan();
    WaitForRepositoryScans();
    ASSERT_EQ(FoundDataSets().size(), 3u);
    EXPECT_EQ(LocalDataSetRevision(), "3000");
}

}  // namespace
}  // namespace vu
