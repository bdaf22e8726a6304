// ZIP extraction into a folder on the simulated PC: folder creation, empty archives, the stop
// flag, hostile entry names and write failures.
#include <gtest/gtest.h>

#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/globals.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_files.h"
#include "prepare/archive_extract.h"

namespace vu {
namespace {

namespace fs = std::filesystem;

using Entries = std::vector<std::pair<std::string, std::string>>;

// Writes a ZIP with the given entries (names taken as they stand) at a Windows path.
void MakeZip(const std::string& windowsPath, const Entries& entries) {
    int error = 0;
    zip_t* archive = zip_open(sim::HostPath(windowsPath).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (const auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        ASSERT_NE(source, nullptr);
        ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0) << name;
    }
    ASSERT_EQ(zip_close(archive), 0);
}

std::vector<std::string> HostFilesBelow(const std::string& hostFolder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(hostFolder)) {
        files.push_back(fs::relative(entry.path(), hostFolder).generic_string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class Extraction : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        FormatFailed = 0;
    }
    void TearDown() override { FormatFailed = 0; }
};

TEST_F(Extraction, FilesInDeepFoldersGetTheirFoldersFirst) {
    // Only file entries, no folder entries: every folder must come from the file's own path.
    MakeZip("D:\\set.zip", {{"kernel.sys", "k"},
                            {"VC/cp/deep/table.tbl", "t"},
                            {"driver\\himem.exe", "h"},
                            {"freedos/fdauto.bat", "f"},
                            {"EFI/CLOVER/", ""}});
    ASSERT_TRUE(ExtractArchive(nullptr, 0, "E:\\boot", false, "D:\\set.zip", false, false));
    std::string bytes;
    EXPECT_TRUE(plat::ReadWholeFile("E:\\boot\\VC\\cp\\deep\\table.tbl", bytes));
    EXPECT_EQ(bytes, "t");
    EXPECT_TRUE(plat::ReadWholeFile("E:\\boot\\driver\\himem.exe", bytes));
    EXPECT_EQ(bytes, "h");
    EXPECT_TRUE(plat::FolderExists("E:\\boot\\EFI\\CLOVER"));
    EXPECT_EQ(HostFilesBelow(sim::HostPath("E:\\boot")),
              (std::vector<std::string>{"EFI", "EFI/CLOVER", "VC", "VC/cp", "VC/cp/deep", "VC/cp/deep/table.tbl",
                                        "driver", "driver/himem.exe", "freedos", "freedos/fdauto.bat",
                                        "kernel.sys"}));
    EXPECT_TRUE(plat::FileExists("D:\\set.zip"));
}

TEST_F(Extraction, ArchiveWithoutEntriesExtractsNothing) {
    // The end-of-central-directory record alone.
    plat::WriteWholeFile("D:\\empty.zip", std::string("PK\5\6", 4) + std::string(18, '\0'));
    plat::CreateFolder("E:\\dest");
    EXPECT_TRUE(ExtractArchive(nullptr, 0, "E:\\dest", false, "D:\\empty.zip", true, false));
    EXPECT_TRUE(plat::ListFolder("E:\\dest").empty());
}

TEST_F(Extraction, StopFlagAlreadySetTouchesNothing) {
    MakeZip("D:\\set.zip", {{"a/b.txt", "b"}});
    FormatFailed = 1;
    EXPECT_FALSE(ExtractArchive(nullptr, 0, "E:\\dest", false, "D:\\set.zip", true, true));
    EXPECT_FALSE(plat::FolderExists("E:\\dest"));
    EXPECT_TRUE(plat::FileExists("D:\\set.zip"));  // not deleted either
    EXPECT_TRUE(plat::ListFolder(plat::TempDirectory(), "ZarnTemp*").empty());  // and no package unpacked
}

TEST_F(Extraction, UnusableArchivesAndArgumentsFail) {
    plat::WriteWholeFile("D:\\not.zip", "this is no archive");
    EXPECT_FALSE(ExtractArchive(nullptr, 0, "E:\\dest", false, "D:\\not.zip", false, false));
    EXPECT_FALSE(ExtractArchive(nullptr, 0, "E:\\dest", false, "D:\\missing.zip", false, false));
    EXPECT_FALSE(ExtractArchive(nullptr, 0, "", false, "D:\\not.zip", false, false));
    EXPECT_FALSE(ExtractArchive(nullptr, 10, "E:\\dest", true, "", false, false));
    EXPECT_FALSE(plat::FolderExists("E:\\dest"));
}

TEST_F(Extraction, HostileNamesAreRefusedTheRestExtracted) {
    MakeZip("D:\\evil.zip", {{"../up.txt", "1"},
                             {"..\\up2.txt", "2"},
                             {"ok/../../up3.txt", "3"},
                             {"/rooted.txt", "4"},
                             {"\\rooted2.txt", "5"},
                             {"C:\\drive.txt", "6"},
                             {"C:drive2.txt", "7"},
                             {"\\\\server\\share\\unc.txt", "8"},
                             {"ok/... /dots.txt", "9"},
                             {"ok/good.txt", "good"},
                             {"plain.txt", "plain"}});
    ASSERT_TRUE(ExtractArchive(nullptr, 0, "E:\\dest\\inner", false, "D:\\evil.zip", false, false));
    EXPECT_EQ(HostFilesBelow(sim::DriveRoot('E')),
              (std::vector<std::string>{"dest", "dest/inner", "dest/inner/ok", "dest/inner/ok/good.txt",
                                        "dest/inner/plain.txt"}));
    EXPECT_EQ(HostFilesBelow(sim::DriveRoot('D')), std::vector<std::string>{"evil.zip"});
    for (char drive : {'C', 'D', 'E'}) {
        for (const auto& name : HostFilesBelow(sim::DriveRoot(drive))) {
            EXPECT_EQ(name.find("up"), std::string::npos) << drive << ": " << name;
            EXPECT_EQ(name.find("drive"), std::string::npos) << drive << ": " << name;
        }
    }
}

TEST_F(Extraction, SafeEntryPathKeepsOnlyNamesBelowTheDestination) {
    EXPECT_EQ(SafeEntryPath("a/b/c.txt"), "a\\b\\c.txt");
    EXPECT_EQ(SafeEntryPath("a\\b\\"), "a\\b\\");
    EXPECT_EQ(SafeEntryPath("a/./b"), "");
    EXPECT_EQ(SafeEntryPath("a..b/c..txt"), "a..b\\c..txt");
    EXPECT_EQ(SafeEntryPath(".hidden"), ".hidden");
    for (const char* bad : {"", "..", "../x", "a/..", "a/../b", "/x", "\\x", "C:x", "c:\\x", "a/b:stream", "a/ ./b",
                            "a/..../b"}) {
        EXPECT_EQ(SafeEntryPath(bad), "") << bad;
    }
}

TEST_F(Extraction, AnEntryThatCannotBeWrittenFailsTheExtraction) {
    MakeZip("D:\\set.zip", {{"first.txt", "1"}, {"blocked.txt", "2"}, {"later.txt", "3"}});
    plat::CreateFolder("E:\\dest");
    plat::CreateFolder("E:\\dest\\blocked.txt");  // a folder where the file should go
    EXPECT_FALSE(ExtractArchive(nullptr, 0, "E:\\dest", false, "D:\\set.zip", false, false));
    EXPECT_TRUE(plat::FileExists("E:\\dest\\first.txt"));
    EXPECT_FALSE(plat::FileExists("E:\\dest\\later.txt"));

    // A name longer than the file system takes is a failure like any other, not a crash.
    MakeZip("D:\\long.zip", {{std::string(300, 'n') + "/x.txt", "x"}});
    EXPECT_FALSE(ExtractArchive(nullptr, 0, "E:\\dest", false, "D:\\long.zip", false, false));
}

TEST_F(Extraction, ArchiveIsDeletedAfterwardsWhenAsked) {
    MakeZip("D:\\set.zip", {{"a.txt", "a"}});
    EXPECT_TRUE(ExtractArchive(nullptr, 0, "E:\\", false, "D:\\set.zip", false, true));
    EXPECT_TRUE(plat::FileExists("E:\\a.txt"));
    EXPECT_FALSE(plat::FileExists("D:\\set.zip"));
}

}  // namespace
}  // namespace vu
