// The settings file: the bytes of a first write, the validation of what is read back, and the
// INI reading underneath.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/settings_file.h"
#include "core/globals.h"
#include "core/ini_file.h"
#include "core/settings.h"
#include "net/recovery_list.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_files.h"

namespace vu {
namespace {

std::string Fixture(const std::string& name) {
    auto path = std::filesystem::path(VU_TEST_FIXTURE_DIR) / "settings" / name;
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        ReadProgramIdentity();
        SetSettingsStartValues();
        RecoveryList.Clear();
    }
    // Reads a file made of `lines` (CR LF) under a BOM.
    void ReadLines(const std::string& lines) {
        ASSERT_TRUE(plat::WriteWholeFile(SettingsFilePath(), "\xEF\xBB\xBF\r\n" + lines));
        ReadSettings();
    }
    std::string Written() {
        WriteSettings();
        std::string bytes;
        EXPECT_TRUE(plat::ReadWholeFile(SettingsFilePath(), bytes));
        return bytes;
    }
};

TEST_F(SettingsFile, FileIsNamedAfterTheExecutableBesideIt) {
    sim::SetExecutablePath("D:\\Tools\\MyCopy.exe");
    ReadProgramIdentity();
    EXPECT_EQ(SettingsFilePath(), "D:\\Tools\\MyCopy.ini");
}

// A full disk cannot leave a truncated file behind: the settings are written beside the old file
// and replace it only when they are complete.
TEST_F(SettingsFile, AFullDiskKeepsTheOldFileWhole) {
    std::string old = Written();
    Boot_records = "Windows";
    sim::SetDriveFull('C', true);
    WriteSettings();
    sim::SetDriveFull('C', false);
    std::string now;
    ASSERT_TRUE(plat::ReadWholeFile(SettingsFilePath(), now));
    EXPECT_EQ(now, old);
    EXPECT_EQ(plat::ListFolder(ProgramFolder).size(), 1u) << "a half-written file was left beside it";
    EXPECT_NE(Written(), old);
}

TEST_F(SettingsFile, FirstWriteWithoutFileMatchesGoldenBytes) {
    ASSERT_FALSE(plat::FileExists(SettingsFilePath()));
    ReadSettings();
    EXPECT_EQ(InstallDataSet, "DL");
    EXPECT_EQ(Boot_records, "Clover");
    EXPECT_EQ(FileSystem, "FAT32-LBA");
    EXPECT_EQ(StartLBASector, "63");
    EXPECT_EQ(QuickFormat, 1);
    EXPECT_EQ(MultiPartitions, 1);
    EXPECT_EQ(BootPartitionSize, 200);
    EXPECT_EQ(ResumeMaxAttemptsNumber, 9999);
    EXPECT_EQ(FixDsdtMask, "87E7FBF1");
    EXPECT_EQ(CloverLocalRepository, ProgramFolder);
    std::string golden = Fixture("default.ini");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(Written(), golden);
}

TEST_F(SettingsFile, WrittenFileReadsBackUnchanged) {
    ReadLines("[Data Settings]\r\nBoot_records = FreeDos\r\nVolumeLabel = MY STICK\r\nBootPartitionSize = 512\r\n"
              "[Download Data Settings]\r\nRecovery 10.13 = https://example.com/a.pkg\r\n");
    std::string first = Written();
    SetSettingsStartValues();
    ReadSettings();
    EXPECT_EQ(Boot_records, "FreeDos");
    EXPECT_EQ(VolumeLabel, "MY STICK");
    EXPECT_EQ(BootPartitionSize, 512);
    EXPECT_EQ(Written(), first);
}

TEST_F(SettingsFile, RevisionBelow906IsCheckItAndDateIsCleared) {
    ReadLines("[Data Settings]\r\nCloverLastRev = 905\r\nCloverLastRevCheckDate = 01.02.17 10:20\r\n");
    EXPECT_EQ(CloverLastRev, "Check It!");
    EXPECT_EQ(CloverLastRevCheckDate, "00.00.00 00:00");
    ReadLines("[Data Settings]\r\nCloverLastRev = 906\r\nCloverLastRevCheckDate = 01.02.17 10:20\r\n");
    EXPECT_EQ(CloverLastRev, "906");
    EXPECT_EQ(CloverLastRevCheckDate, "01.02.17 10:20");
    ReadLines("[Data Settings]\r\nCloverLastRev = 100000\r\nCloverLastRevCheckDate = 01.02.17 10:20\r\n");
    EXPECT_EQ(CloverLastRev, "Check It!");
    ReadLines("[Data Settings]\r\nCloverLastRev = r4297\r\nCloverLastRevCheckDate = 01.02.17 10:20\r\n");
    EXPECT_EQ(CloverLastRev, "Check It!");
}

TEST_F(SettingsFile, RevisionWithoutACheckDateNeedsACheck) {
    ReadLines("[Data Settings]\r\nCloverLastRev = 4297\r\nCloverLastRevCheckDate = 00.00.00 00:00\r\n");
    EXPECT_EQ(CloverLastRev, "Check It!");
    ReadLines("[Data Settings]\r\nCloverLastRev = 4297\r\nCloverLastRevCheckDate = yesterday\r\n");
    EXPECT_EQ(CloverLastRev, "Check It!");
    EXPECT_EQ(CloverLastRevCheckDate, "00.00.00 00:00");
}

TEST_F(SettingsFile, ProgramFolderIsWrittenAsDotBackslash) {
    ASSERT_TRUE(plat::CreateFolder("C:\\Repo"));
    ReadLines("[Data Settings]\r\nCloverLocalRepository = .\\\r\nZarnImageLocalRepo = C:\\Repo\r\n");
    EXPECT_EQ(CloverLocalRepository, ProgramFolder);
    // An existing folder is kept, with the separator that file names are appended to.
    EXPECT_EQ(ZarnImageLocalRepo, "C:\\Repo\\");
    std::string bytes = Written();
    EXPECT_NE(bytes.find("\r\nCloverLocalRepository = .\\\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nZarnImageLocalRepo = C:\\Repo\\\r\n"), std::string::npos);

    ReadLines("[Data Settings]\r\nCloverLocalRepository = C:\\Missing\\\r\n");
    EXPECT_EQ(CloverLocalRepository, ProgramFolder);
}

TEST_F(SettingsFile, FixDsdtMaskKeepsItsLastEightHexDigits) {
    ReadLines("[Tools Data Settings]\r\nFixDsdtMask = 0x12345678AB\r\n");
    EXPECT_EQ(FixDsdtMask, "345678AB");
    ReadLines("[Tools Data Settings]\r\nFixDsdtMask = 0x1234\r\n");
    EXPECT_EQ(FixDsdtMask, "00000000");
    ReadLines("[Tools Data Settings]\r\nFixDsdtMask = 0x9fffffff\r\n");
    EXPECT_EQ(FixDsdtMask, "9FFFFFFF");
    EXPECT_NE(Written().find("\r\nFixDsdtMask = 0x9FFFFFFF\r\n"), std::string::npos);
}

TEST_F(SettingsFile, ValuesOutsideTheirSetsTakeTheDefault) {
    ReadLines("[Data Settings]\r\nStartLBASector = 8192\r\nInstallDataSet = Local\r\nQuickFormat = 0\r\n");
    EXPECT_EQ(StartLBASector, "8192");
    EXPECT_EQ(InstallDataSet, "Local");
    EXPECT_EQ(QuickFormat, 0);
    ReadLines("[data settings]\r\nstartlbasector = 1024\r\nInstallDataSet = local\r\nQuickFormat = 2\r\n"
              "BootPartitionSize = 31\r\nMultiPartitions = 7\r\nBoot_records = NTFS\r\nClusterSize = 4096\r\n");
    EXPECT_EQ(StartLBASector, "63");
    EXPECT_EQ(InstallDataSet, "DL");  // values are matched with their case
    EXPECT_EQ(QuickFormat, 1);
    EXPECT_EQ(BootPartitionSize, 200);
    EXPECT_EQ(MultiPartitions, 1);
    EXPECT_EQ(Boot_records, "Clover");
    EXPECT_EQ(ClusterSize, "0");
    ReadLines("[Download Settings]\r\nResumeMaxAttemptsNumber = -1\r\n");
    EXPECT_EQ(ResumeMaxAttemptsNumber, 9999);
    ReadLines("[Download Settings]\r\nResumeMaxAttemptsNumber = 0\r\n");
    EXPECT_EQ(ResumeMaxAttemptsNumber, 0);
}

TEST_F(SettingsFile, CatalogUrlMustBeHttpAndEmptyWritesNoLine) {
    ReadLines("[Download Settings]\r\nSUCatalogURL_User_Added = ftp://x\r\n");
    EXPECT_EQ(SUCatalogURL_User_Added, "");
    EXPECT_EQ(Written().find("\r\nSUCatalogURL_User_Added = "), std::string::npos);
    ReadLines("[Download Settings]\r\nSUCatalogURL_User_Added = https://example.com/x.sucatalog\r\n");
    EXPECT_EQ(SUCatalogURL_User_Added, "https://example.com/x.sucatalog");
    EXPECT_NE(Written().find("\r\nSUCatalogURL_User_Added = https://example.com/x.sucatalog\r\n; ---"),
              std::string::npos);
}

TEST_F(SettingsFile, RecoveryEntriesKeepFileOrder) {
    RecoveryList.Replace({{"stale", "http://old"}});
    ReadLines("[Download Data Settings]\r\n; Name of HD recovery = URL for Download\r\n"
              "Zeta 10.13 = http://z/a.pkg\r\nAlpha 10.12 = http://a/b.pkg\r\nMid = http://m/c.pkg\r\n");
    auto entries = RecoveryList.Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Title, "Zeta 10.13");
    EXPECT_EQ(entries[0].Url, "http://z/a.pkg");
    EXPECT_EQ(entries[1].Title, "Alpha 10.12");
    EXPECT_EQ(entries[2].Title, "Mid");
    EXPECT_NE(Written().find("; Name of HD recovery = URL for Download\r\nZeta 10.13 = http://z/a.pkg\r\n"
                             "Alpha 10.12 = http://a/b.pkg\r\nMid = http://m/c.pkg\r\n; ---"),
              std::string::npos);
}

TEST_F(SettingsFile, GarbageOrUnreadableFileGivesDefaults) {
    std::string garbage;
    for (int i = 0; i < 4096; i++) garbage += char((i * 131 + 7) % 256);
    garbage += "\n[Data Settings\n= =\n[]\nBoot_records\n=Windows\n[";
    ASSERT_TRUE(plat::WriteWholeFile(SettingsFilePath(), garbage));
    ReadSettings();
    EXPECT_EQ(Boot_records, "Clover");
    EXPECT_EQ(BootPartitionSize, 200);
    EXPECT_EQ(WinX, 400);
    // A folder where the file should be cannot be read.
    ASSERT_TRUE(plat::DeleteFile(SettingsFilePath()));
    ASSERT_TRUE(plat::CreateFolder(SettingsFilePath()));
    Boot_records = "Windows";
    ReadSettings();
    EXPECT_EQ(Boot_records, "Clover");
    EXPECT_TRUE(RecoveryList.Entries().empty());
}

TEST_F(SettingsFile, WindowPositionComesFromTheMainWindow) {
    plat::OpenWindow(0, 123, 45, 480, 265, "main", 0);
    std::string bytes = Written();
    EXPECT_NE(bytes.find("\r\nWinX = 123\r\nWinY = 45\r\n"), std::string::npos);
    ReadSettings();
    EXPECT_EQ(WinX, 123);
    EXPECT_EQ(WinY, 45);
}

TEST(IniData, ReadsSectionsAndKeysWithoutRegardToCase) {
    IniData ini = IniData::Parse("[One]\nKey = a = b \n  other=  x\n; note = no\n[two]\nk=1\r\n[ONE]\nlate = y\n");
    EXPECT_EQ(ini.Value("one", "KEY"), "a = b");
    EXPECT_EQ(ini.Value("ONE", "Other"), "x");
    EXPECT_EQ(ini.Value("one", "; note"), std::nullopt);
    EXPECT_EQ(ini.Value("Two", "K"), "1");
    EXPECT_EQ(ini.Value("three", "k"), std::nullopt);
    ASSERT_NE(ini.Section("one"), nullptr);
    ASSERT_EQ(ini.Section("one")->keys.size(), 3u);
    EXPECT_EQ(ini.Section("one")->keys[2].name, "late");
    // Without a byte-order mark, and settings before any section are not part of one.
    IniData plain = IniData::Parse("loose = 1\n[S]\nk = v");
    EXPECT_EQ(plain.Sections().size(), 1u);
    EXPECT_EQ(plain.Value("s", "k"), "v");
}

TEST(IniData, WriterProducesTheProgramsLayout) {
    IniWriter w;
    w.Section("S");
    w.Comment("about k");
    w.Key("k", "v");
    w.Key("n", 42);
    EXPECT_EQ(w.Bytes(), "\xEF\xBB\xBF\r\n[S]\r\n; about k\r\nk = v\r\nn = 42\r\n");
    IniData back = IniData::Parse(w.Bytes());
    EXPECT_EQ(back.Value("s", "N"), "42");
}

TEST(SettingsNumbers, LeadingNumberReadsLikeTheFileExpects) {
    EXPECT_EQ(LeadingNumber("  42abc"), 42);
    EXPECT_EQ(LeadingNumber("-7"), -7);
    EXPECT_EQ(LeadingNumber("+8"), 8);
    EXPECT_EQ(LeadingNumber("x1"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(LeadingNumber("-99999999999999999999"), INT32_MIN);
}

}  // namespace
}  // namespace vu
