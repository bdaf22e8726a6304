// The working folder, its temporary file names and folder trees, on the simulated PC.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "app/register_operations.h"
#include "core/work_folder.h"
#include "platform/files.h"
#include "platform/sim/sim.h"

namespace vu {
namespace {

const std::string kTemp = "C:\\Users\\User\\AppData\\Local\\Temp\\";

class WorkFolder : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        ZarnTempPath.clear();
    }
    void TearDown() override { ZarnTempPath.clear(); }
};

TEST_F(WorkFolder, SecondCreationLeavesOnlyTheSecondFolder) {
    plat::CreateFolder(kTemp + "ZarnTemp0042");  // a left-over of an earlier run
    plat::WriteWholeFile(kTemp + "ZarnTemp0042\\TEMP1234", "old");
    plat::WriteWholeFile(kTemp + "ZarnTempNotes.txt", "a file, not a working folder");
    plat::CreateFolder(kTemp + "Other");

    ASSERT_TRUE(CreateWorkFolder());
    std::string first = ZarnTempPath;
    EXPECT_TRUE(std::regex_match(first, std::regex(R"(C:\\Users\\User\\AppData\\Local\\Temp\\ZarnTemp[1-9]\d{3}\\)")))
        << first;
    EXPECT_TRUE(plat::IsHidden(first));
    plat::WriteWholeFile(first + "TEMP5555", "unpacked");

    ASSERT_TRUE(CreateWorkFolder());
    EXPECT_TRUE(plat::FolderExists(ZarnTempPath));
    auto folders = plat::ListFolder(kTemp, "ZarnTemp*");
    ASSERT_EQ(folders.size(), 2u);  // the new folder and the plain file
    for (const auto& entry : folders) {
        if (entry.isFolder) EXPECT_EQ(kTemp + entry.name + "\\", ZarnTempPath);
        else EXPECT_EQ(entry.name, "ZarnTempNotes.txt");
    }
    EXPECT_TRUE(plat::FolderExists(kTemp + "Other"));
}

TEST_F(WorkFolder, TempDirectoryWithoutBackslashOrMissing) {
    sim::SetTempDirectory("D:\\Tmp");
    plat::CreateFolder("D:\\Tmp");
    ASSERT_TRUE(CreateWorkFolder());
    EXPECT_EQ(ZarnTempPath.rfind("D:\\Tmp\\ZarnTemp", 0), 0u) << ZarnTempPath;

    sim::SetTempDirectory("");
    EXPECT_FALSE(CreateWorkFolder());
    EXPECT_EQ(ZarnTempPath, "");

    // A temporary folder that does not exist: nothing can be created in it.
    sim::SetTempDirectory("E:\\Gone");
    EXPECT_FALSE(CreateWorkFolder());
    EXPECT_EQ(ZarnTempPath, "");
}

TEST_F(WorkFolder, NewTempFileNameRemovesEarlierTempFiles) {
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

TEST_F(WorkFolder, CreateDirectoryTreeMakesEveryMissingParent) {
    EXPECT_TRUE(CreateDirectoryTree("D:\\a/b\\c/"));
    EXPECT_TRUE(plat::FolderExists("D:\\a"));
    EXPECT_TRUE(plat::FolderExists("D:\\a\\b\\c"));
    EXPECT_TRUE(CreateDirectoryTree("D:\\a\\b\\c"));  // already there
    EXPECT_FALSE(CreateDirectoryTree(""));
    // A file in the way is not a folder.
    plat::WriteWholeFile("D:\\a\\file", "x");
    EXPECT_FALSE(CreateDirectoryTree("D:\\a\\file\\below"));
}

TEST_F(WorkFolder, ShutdownOperationDeletesTheFolderWithItsContents) {
    RegisterOperations();
    ASSERT_NE(Ops.deleteWorkFolder, nullptr);
    ASSERT_TRUE(CreateWorkFolder());
    std::string folder = ZarnTempPath;
    ASSERT_TRUE(CreateDirectoryTree(folder + "x\\y"));
    plat::WriteWholeFile(folder + "x\\y\\z.txt", "z");
    Ops.deleteWorkFolder();
    EXPECT_FALSE(plat::FolderExists(folder));
    EXPECT_EQ(ZarnTempPath, "");
    Ops.deleteWorkFolder();  // nothing left to delete
}

}  // namespace
}  // namespace vu
