// Packages made by the host tool at build time (resources/packages/pack_package.py), unpacked
// and extracted on the simulated PC.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/globals.h"
#include "core/work_folder.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "prepare/archive_extract.h"
#include "prepare/package_unpack.h"

namespace vu {
namespace {

namespace fs = std::filesystem;

std::string ReadHostFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le32(const std::string& bytes, size_t offset) {
    auto b = [&](size_t i) { return uint32_t(static_cast<unsigned char>(bytes[offset + i])); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

class Packages : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        FormatFailed = 0;
        package = ReadHostFile(fs::path(VU_TEST_PACKAGE_DIR) / "nested.pkg");
        ASSERT_GT(package.size(), 17u);
    }
    void TearDown() override {
        folder.Delete();
        FormatFailed = 0;
    }
    std::string package;
    WorkFolder folder;
    const fs::path fixture = fs::path(VU_TEST_FIXTURE_DIR) / "packages" / "nested";
};

TEST_F(Packages, BlockHasTheFixedLayout) {
    EXPECT_EQ(Le32(package, 4), package.size() - 12);
    EXPECT_EQ(static_cast<unsigned char>(package[12]), 0x5D);
    EXPECT_EQ(Le32(package, 13), 0x01000000u);
}

TEST_F(Packages, UnpacksIntoATempFileOfANewWorkFolder) {
    std::string name = UnpackInternalMemoryToTempFile(Bytes(package), package.size(), folder);
    ASSERT_NE(name, "");
    ASSERT_NE(folder.Path(), "");
    EXPECT_EQ(name.rfind(folder.Path() + "TEMP", 0), 0u) << name;
    std::string unpacked;
    ASSERT_TRUE(plat::ReadWholeFile(name, unpacked));
    EXPECT_EQ(unpacked.size(), Le32(package, 0));
    EXPECT_EQ(unpacked.substr(0, 4), std::string("PK\3\4"));
    EXPECT_TRUE(sim::Messages().empty());

    // A second package replaces the first temporary file in the same folder.
    std::string first = folder.Path();
    std::string second = UnpackInternalMemoryToTempFile(Bytes(package), package.size(), folder);
    EXPECT_EQ(folder.Path(), first);
    EXPECT_FALSE(plat::FileExists(name) && name != second);
}

TEST_F(Packages, ExtractedPackageHoldsTheSameBytesAsTheFolder) {
    ASSERT_TRUE(ExtractArchive(Bytes(package), package.size(), "E:\\", true, "", false, false));
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fixture)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        std::string relative = fs::relative(entry.path(), fixture).string();
        std::string windows = "E:\\" + relative;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        std::string extracted;
        ASSERT_TRUE(plat::ReadWholeFile(windows, extracted)) << windows;
        EXPECT_EQ(extracted, ReadHostFile(entry.path())) << windows;
    }
    EXPECT_EQ(files, 8u);
    EXPECT_TRUE(plat::FolderExists("E:\\VC\\cp\\deep"));
}

TEST_F(Packages, ChecksumMismatchWritesNothingAndSaysSo) {
    std::string corrupted = package;
    corrupted[8] = char(corrupted[8] ^ 0x01);
    EXPECT_EQ(UnpackInternalMemoryToTempFile(Bytes(corrupted), corrupted.size(), folder), "");
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Error");
    EXPECT_EQ(sim::Messages()[0].text, "Error UnpackInternalMemoryToTempFile: CRC32 Error");
    ASSERT_NE(folder.Path(), "");
    EXPECT_TRUE(plat::ListFolder(folder.Path()).empty());

    // Through the extraction, the destination stays untouched too, and its folder is gone.
    folder.Delete();
    EXPECT_FALSE(ExtractArchive(Bytes(corrupted), corrupted.size(), "E:\\out", true, "", true, true));
    EXPECT_FALSE(plat::FolderExists("E:\\out"));
    EXPECT_TRUE(plat::ListFolder(plat::TempDirectory(), "ZarnTemp*").empty());
}

TEST_F(Packages, DamagedBlocksFailQuietly) {
    std::string truncated = package.substr(0, package.size() / 2);
    EXPECT_EQ(UnpackInternalMemoryToTempFile(Bytes(truncated), truncated.size(), folder), "");

    std::string zeroSize = package;
    zeroSize[0] = zeroSize[1] = zeroSize[2] = zeroSize[3] = 0;
    EXPECT_EQ(UnpackInternalMemoryToTempFile(Bytes(zeroSize), zeroSize.size(), folder), "");

    std::string badProperties = package;
    badProperties[12] = char(0xFF);
    EXPECT_EQ(UnpackInternalMemoryToTempFile(Bytes(badProperties), badProperties.size(), folder), "");

    EXPECT_EQ(UnpackInternalMemoryToTempFile(nullptr, package.size(), folder), "");
    EXPECT_EQ(UnpackInternalMemoryToTempFile(Bytes(package), 0, folder), "");
    EXPECT_EQ(UnpackInternalMemoryToTempFile(Bytes(package), 16, folder), "");

    EXPECT_TRUE(sim::Messages().empty());
    EXPECT_TRUE(folder.Path().empty() || plat::ListFolder(folder.Path()).empty());
}

TEST_F(Packages, NoTemporaryFolderMeansNoPackage) {
    sim::SetTempDirectory("");
    EXPECT_EQ(UnpackInternalMemoryToTempFile(Bytes(package), package.size(), folder), "");
    EXPECT_EQ(folder.Path(), "");
}

}  // namespace
}  // namespace vu
