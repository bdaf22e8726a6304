// LZVN blocks of an LZFSE stream; see lzfse_blocks.h.
//
// Each opcode's first byte tells its kind; L literal bytes follow the opcode, then M bytes are
// copied from D bytes back (M carries +3 in the forms that hold a distance):
//   LLMMMDDD DDDDDDDD            small distance (11 bits)
//   LLMMM111 DDDDDDDD DDDDDDDD   large distance (16 bits, little-endian)
//   101LLMMM DDDDDDMM DDDDDDDD   medium distance (14 bits), M 5 bits
//   LLMMM110                     the previous distance (L > 0)
//   1110LLLL / 11100000 (L-16)   literals only;  1111MMMM / 11110000 (M-16)  match only
//   00000110 + 7 zero bytes      end of stream;  00001110, 00010110  no operation
// 0111xxxx, 1101xxxx and the L = 0 "previous distance" forms other than those are invalid.
#include "tools/byte_io.h"
#include "tools/lzfse_blocks.h"

namespace vu::lzfse {

bool DecodeLzvnBlock(const uint8_t* p, size_t length, Output& out, std::string& why) {
    const uint8_t* end = p + length;
    uint8_t* limit = out.data + out.size;
    size_t distance = 0;
    for (;;) {
        if (p == end) return why = "its LZVN data has no end-of-stream opcode", false;
        uint8_t op = *p;
        size_t size = 1, literals = 0, match = 0;
        if (op >= 0xE0) {
            size_t n = op & 0x0F;
            if (n == 0) {
                if (end - p < 2) return why = "its LZVN data ends inside an opcode", false;
                n = p[1] + 16u, size = 2;
            }
            (op & 0x10 ? match : literals) = n;
        } else if ((op & 0xF0) == 0x70 || (op & 0xF0) == 0xD0) {
            return why = "its LZVN data holds the invalid opcode " + Hex32(op), false;
        } else if ((op & 0xE0) == 0xA0) {
            if (end - p < 3) return why = "its LZVN data ends inside an opcode", false;
            uint16_t w = Le16(p + 1);
            literals = (op >> 3) & 3, match = ((op & 7u) << 2 | (w & 3u)) + 3, distance = w >> 2, size = 3;
        } else {
            literals = op >> 6, match = ((op >> 3) & 7u) + 3;
            if ((op & 7) == 6) {
                if (op == 0x06) {
                    if (end - p != 8) return why = "its LZVN data does not end with its end-of-stream opcode", false;
                    if (Le32(p + 1) != 0 || Le16(p + 5) != 0 || p[7] != 0)
                        return why = "its LZVN end-of-stream opcode is damaged", false;
                    return true;
                }
                if (literals == 0 && (op == 0x0E || op == 0x16)) match = 0;
                else if (literals == 0) return why = "its LZVN data holds the invalid opcode " + Hex32(op), false;
            } else if ((op & 7) == 7) {
                if (end - p < 3) return why = "its LZVN data ends inside an opcode", false;
                distance = Le16(p + 1), size = 3;
            } else {
                if (end - p < 2) return why = "its LZVN data ends inside an opcode", false;
                distance = size_t(op & 7) << 8 | p[1], size = 2;
            }
        }
        p += size;
        if (literals > size_t(end - p)) return why = "its LZVN data ends inside a literal", false;
        if (literals + match > out.end - out.at) return why = "it decodes to more bytes than it claims", false;
        uint8_t* to = out.data + out.at;
        if (size_t(end - p) >= 16 && size_t(limit - to) >= 16 && literals <= 16) std::memcpy(to, p, 16);
        else if (literals) std::memcpy(to, p, literals);
        p += literals, out.at += literals;
        if (match) {
            if (distance == 0 || distance > out.at)
                return why = "a match reaches before the start of the output", false;
            CopyMatch(out.data + out.at, distance, match, limit);
            out.at += match;
        }
    }
}

}  // namespace vu::lzfse
