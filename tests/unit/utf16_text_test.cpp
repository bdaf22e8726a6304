// File-system names in UTF-16 become UTF-8, damaged ones included.
#include <gtest/gtest.h>

#include "platform/common/utf16_text.h"

namespace vu {
namespace {

TEST(Utf16Text, EveryLengthAndEveryDamagedSurrogateGivesUtf8) {
    struct Case {
        std::vector<uint16_t> units;
        std::string utf8;
    } cases[] = {
        {{'E', 'F', 'I'}, "EFI"},
        {{0x00E9}, "\xC3\xA9"},
        {{0x20AC}, "\xE2\x82\xAC"},
        {{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},       // a pair is one code point
        {{'a', 0xD83D}, "a\xEF\xBF\xBD"},             // a high surrogate at the end
        {{0xDE00, 'b'}, "\xEF\xBF\xBD" "b"},          // a low surrogate alone
        {{0xD83D, 'c'}, "\xEF\xBF\xBD" "c"},          // a high surrogate without its partner
        {{}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf16ToUtf8(c.units), c.utf8);
}

}  // namespace
}  // namespace vu
