// The working folder, its temporary file names and folder trees, on the simulated PC.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "core/work_folder.h"
#include "platform/files.h"
#include "platform/sim/sim.h"

namespace vu {
namespace {

const std::string kTemp = "C:\\Users\\User\\AppData\\Local\\Temp\\";

class WorkFolders : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
};

TEST_F(WorkFolders, EachJobHasItsOwnFolderAndDeletesOnlyThat) {
    WorkFolder first, second;
    ASSERT_TRUE(first.Create());
    EXPECT_TRUE(std::regex_match(first.Path(), std::regex(R"(C:\\Users\\User\\AppData\\Local\\Temp\\ZarnTemp[1-9]\d{3}\\)")))
        << first.Path();
    EXPECT_TRUE(plat::IsHidden(first.Path()));
    plat::WriteWholeFile(first.Path() + "TEMP5555", "unpacked");
    // A second job (an update during a format run) leaves the first one's files alone.
    ASSERT_TRUE(second.Create());
    EXPECT_NE(second.Path(), first.Path());
    EXPECT_TRUE(plat::FileExists(first.Path() + "TEMP5555"));
    std::string gone = second.Path();
    second.Delete();
    EXPECT_FALSE(plat::FolderExists(gone));
    EXPECT_TRUE(plat::FileExists(first.Path() + "TEMP5555"));
}

// What the start-up clean-up removes: folders nobody holds (left by a copy that ended, with or
// without their lock) and locks left without a folder; never a folder a running copy holds.
TEST_F(WorkFolders, StartUpRemovesOnlyFoldersNoRunningCopyHolds) {
    WorkFolder running;  // stands for a running copy's job: its lock is held open
    ASSERT_TRUE(running.Create());
    plat::WriteWholeFile(running.Path() + "CloverISO-5151.tar.lzma", "partial");
    plat::CreateFolder(kTemp + "ZarnTemp1042");  // without a lock, as an older copy left it
    plat::WriteWholeFile(kTemp + "ZarnTemp1042\\TEMP1234", "old");
    plat::CreateFolder(kTemp + "ZarnTemp1043");
    plat::WriteWholeFile(kTemp + "ZarnTemp1043.lock", "");  // its copy ended without deleting it
    plat::WriteWholeFile(kTemp + "ZarnTemp1044.lock", "");
    plat::WriteWholeFile(kTemp + "ZarnTempNotes.txt", "a file, not a working folder");

    RemoveStaleWorkFolders();
    std::vector<std::string> left;
    for (const auto& entry : plat::ListFolder(kTemp, "ZarnTemp*")) left.push_back(kTemp + entry.name);
    std::string held = running.Path().substr(0, running.Path().size() - 1);
    EXPECT_EQ(left, (std::vector<std::string>{held, held + ".lock", kTemp + "ZarnTempNotes.txt"}));
    EXPECT_TRUE(plat::FileExists(running.Path() + "CloverISO-5151.tar.lzma"));
    running.Delete();
    EXPECT_EQ(plat::ListFolder(kTemp, "ZarnTemp*").size(), 1u);
}

TEST_F(WorkFolders, TempDirectoryWithoutBackslashOrMissing) {
    WorkFolder folder;
    sim::SetTempDirectory("D:\\Tmp");
    plat::CreateFolder("D:\\Tmp");
    ASSERT_TRUE(folder.Create());
    EXPECT_EQ(folder.Path().rfind("D:\\Tmp\\ZarnTemp", 0), 0u) << folder.Path();

    sim::SetTempDirectory("");
    EXPECT_FALSE(folder.Create());
    EXPECT_EQ(folder.Path(), "");

    // A temporary folder that does not exist: nothing can be created in it.
    sim::SetTempDirectory("E:\\Gone");
    EXPECT_FALSE(folder.Create());
    EXPECT_EQ(folder.Path(), "");
}

TEST_F(WorkFolders, NewTempFileNameRemovesEarlierTempFiles) {
    plat::CreateFolder("D:\\Work");
    plat::WriteWholeFile("D:\\Work\\TEMP1001", "a");
    plat::WriteWholeFile("D:\\Work\\temp9999", "b");  // names match case-insensitively
    plat::WriteWholeFile("D:\\Work\\keep.zip", "c");
    plat::CreateFolder("D:\\Work\\TEMPFOLDER");

    std::string name = NewTempFileName("D:\\Work");
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(D:\\Work\\TEMP[1-9]\d{3})"))) << name;
    EXPECT_FALSE(plat::FileExists(name));
    EXPECT_FALSE(plat::FileExists("D:\\Work\\TEMP1001"));
    EXPECT_FALSE(plat::FileExists("D:\\Work\\temp9999"));
    EXPECT_TRUE(plat::FileExists("D:\\Work\\keep.zip"));
    EXPECT_TRUE(plat::FolderExists("D:\\Work\\TEMPFOLDER"));
}

TEST_F(WorkFolders, CreateDirectoryTreeMakesEveryMissingParent) {
    EXPECT_TRUE(CreateDirectoryTree("D:\\a/b\\c/"));
    EXPECT_TRUE(plat::FolderExists("D:\\a"));
    EXPECT_TRUE(plat::FolderExists("D:\\a\\b\\c"));
    EXPECT_TRUE(CreateDirectoryTree("D:\\a\\b\\c"));  // already there
    EXPECT_FALSE(CreateDirectoryTree(""));
    // A file in the way is not a folder.
    plat::WriteWholeFile("D:\\a\\file", "x");
    EXPECT_FALSE(CreateDirectoryTree("D:\\a\\file\\below"));
}

}  // namespace
}  // namespace vu
