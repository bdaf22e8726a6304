// UTF-16 to UTF-8; see utf16_text.h.
#include "platform/common/utf16_text.h"

namespace vu {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6), out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12), out += char(0x80 | (c >> 6 & 0x3F)), out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18), out += char(0x80 | (c >> 12 & 0x3F)), out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

namespace {

bool High(uint32_t c) { return c >= 0xD800 && c < 0xDC00; }
bool Low(uint32_t c) { return c >= 0xDC00 && c < 0xE000; }

}  // namespace

std::string Utf16ToUtf8(const std::vector<uint16_t>& units) {
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t c = units[i];
        if (High(c) && i + 1 < units.size() && Low(units[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        else if (High(c) || Low(c))
            c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

}  // namespace vu
