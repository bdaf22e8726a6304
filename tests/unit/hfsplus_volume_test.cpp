// The HFS+ reader on files stored compressed (decmpfs), read by path as a whole small file is: each
// compressed file of the fixture volume expands to its plain copy beside it, and what the reader
// cannot expand fails with a text that says why. The volume's catalog and extents are checked
// file by file in tests/apple/extract_test.py.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tools/hfsplus_volume.h"

namespace vu {
namespace {

TEST(HfsPlusVolume, CompressedFilesExpandToTheirPlainCopies) {
    std::ifstream file(std::string(VU_TEST_APPLE_DIR) + "/compressed.hfs", std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(file), {}};
    MemorySource source(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    HfsVolume volume(source);
    std::string error;
    ASSERT_TRUE(volume.Open(error)) << error;

    struct Case {
        const char* path;
        const char* plain;  // the copy it must equal, or null when it must fail
        const char* error;
        uint64_t limit = 1 << 20;
    };
    const Case cases[] = {
        {"/System/Library/CoreServices/SystemVersion.plist", "/plain/SystemVersion.plist", ""},  // zlib, inline
        {"/packed/noise-inline", "/plain/noise-inline", ""},  // stored as it is after 0xFF, inline
        {"/packed/text", "/plain/text", ""},                  // zlib blocks in the resource fork
        {"/packed/noise", "/plain/noise", ""},                // blocks stored as they are
        {"packed/MIXED", "/plain/mixed", ""},  // both, in a resource fork of ten extents; any case
        {"/packed/lzfse", nullptr, "lzfse is stored LZFSE-compressed, which this reader cannot expand"},
        {"/packed/damaged", nullptr, "damaged: block 1: the zlib data is damaged"},
        {"/packed/gone", nullptr, "\"/packed/gone\" is not on the volume"},
        {"/plain/text", nullptr, "text is larger than 1000 bytes", 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string content, expected;
        error.clear();
        bool read = volume.ReadSmallFile(c.path, c.limit, content, error);
        if (!c.plain) {
            EXPECT_FALSE(read);
            EXPECT_EQ(error, c.error);
            continue;
        }
        ASSERT_TRUE(read) << error;
        ASSERT_TRUE(volume.ReadSmallFile(c.plain, c.limit, expected, error)) << error;
        EXPECT_EQ(content, expected);
    }
    std::string plist;
    ASSERT_TRUE(volume.ReadSmallFile("/System/Library/CoreServices/SystemVersion.plist", 4096, plist, error));
    EXPECT_NE(plist.find("<string>19H2</string>"), std::string::npos);
}

}  // namespace
}  // namespace vu
