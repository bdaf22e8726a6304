// The items the executable carries besides the boot sectors: icons, the how-to text, packages.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "app/register_operations.h"
#include "embedded.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "prepare/archive_extract.h"

namespace vu {
namespace {

uint32_t Le(const unsigned char* p, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

TEST(EmbeddedIcons, EachIsAnIcoWith16x16ImagesIn24And32Bits) {
    for (int index = 0; index < IconCount; ++index) {
        SCOPED_TRACE("icon " + std::to_string(index));
        EmbeddedSpan icon = IconData(index);
        ASSERT_GE(icon.size, 6u);
        const unsigned char* d = icon.data;
        EXPECT_EQ(Le(d, 2), 0u);  // reserved
        EXPECT_EQ(Le(d + 2, 2), 1u);  // type: icon
        uint32_t count = Le(d + 4, 2);
        ASSERT_GE(count, 1u);
        ASSERT_GE(icon.size, 6 + 16 * count);
        std::set<uint32_t> depths;
        for (uint32_t i = 0; i < count; ++i) {
            const unsigned char* entry = d + 6 + 16 * i;
            EXPECT_EQ(entry[0], 16);  // width
            EXPECT_EQ(entry[1], 16);  // height
            uint32_t bits = Le(entry + 6, 2);
            uint32_t size = Le(entry + 8, 4);
            uint32_t offset = Le(entry + 12, 4);
            ASSERT_LE(uint64_t(offset) + size, icon.size);
            // The image itself: BITMAPINFOHEADER of a 16 x (2 x 16) bitmap, colours plus AND mask.
            const unsigned char* image = d + offset;
            ASSERT_GE(size, 40u);
            EXPECT_EQ(Le(image, 4), 40u);
            EXPECT_EQ(Le(image + 4, 4), 16u);
            EXPECT_EQ(Le(image + 8, 4), 32u);
            EXPECT_EQ(Le(image + 14, 2), bits);
            EXPECT_EQ(size, 40 + 16 * 16 * bits / 8 + 16 * 4);
            depths.insert(bits);
        }
        EXPECT_EQ(depths, (std::set<uint32_t>{24, 32}));
    }
    EXPECT_TRUE(IconData(-1).empty());
    EXPECT_TRUE(IconData(IconCount).empty());
}

TEST(EmbeddedIcons, StartUpLoadsThemAsImagesZeroToSeven) {
    sim::Reset();
    RegisterOperations();
    ASSERT_NE(Ops.loadIcons, nullptr);
    Ops.loadIcons();
    for (int image = 0; image < IconCount; ++image) EXPECT_TRUE(plat::ImageExists(image)) << image;
    EXPECT_FALSE(plat::ImageExists(IconCount));
}

TEST(EmbeddedText, HowToBeginsWithItsTitleLine) {
    std::string_view text = HowToText();
    EXPECT_TRUE(text.starts_with("\tHOW-TO create a Clover Bootable Flash drive\r\n\t\twith MAC OS X HD Recovery:\r\n"));
    EXPECT_TRUE(text.ends_with("\r\n6. Enjoy :-)"));
}

// Only builds pointed at the third-party folders carry these packages.
TEST(EmbeddedPackages, CarriedFreeDosPackageExtracts) {
    if (!HasFreeDosPackage()) GTEST_SKIP() << "this build carries no FreeDOS package";
    sim::Reset();
    EmbeddedSpan package = FreeDosPackage();
    ASSERT_TRUE(ExtractArchive(package.data, package.size, "E:\\", true, "", false, false));
    EXPECT_TRUE(plat::FileExists("E:\\kernel.sys"));
    EXPECT_TRUE(plat::FileExists("E:\\command.com"));
}

TEST(EmbeddedPackages, CarriedHfsDriverPackagesExtract) {
    if (!HasHfsDriversPackages()) GTEST_SKIP() << "this build carries no HFS+ driver packages";
    for (EmbeddedSpan package : {HfsDriversX86Package(), HfsDriversX64Package()}) {
        sim::Reset();
        ASSERT_TRUE(ExtractArchive(package.data, package.size, "E:\\", true, "", false, false));
        EXPECT_TRUE(plat::FileExists("E:\\AppleHFS.sys"));
        EXPECT_TRUE(plat::FileExists("E:\\AppleMNT.sys"));
    }
}

}  // namespace
}  // namespace vu
