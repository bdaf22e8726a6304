// The compressed blocks of an LZFSE stream, for the stream decoder (lzfse_decode.cpp): LZVN
// blocks and LZFSE blocks with their finite-state entropy tables. Each decodes one block into
// the output after what the earlier blocks wrote, and must fill exactly the bytes its header
// declared. Callable from any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vu::lzfse {

// The stream's output: data[0, at) is decoded, the block writes data[at, end). Matches may
// reach back to data[0]. Copies may scribble up to `size` (the whole buffer) and are rewritten.
struct Output {
    uint8_t* data = nullptr;
    size_t at = 0, end = 0, size = 0;
};

// LZVN: opcodes up to the end-of-stream opcode, which must be the payload's last 8 bytes.
bool DecodeLzvnBlock(const uint8_t* payload, size_t length, Output& out, std::string& why);

constexpr unsigned LiteralStates = 1024, LengthStates = 64, DistanceStates = 256;
constexpr unsigned MaxLiterals = 40000, MaxMatches = 10000;

// One state of a decoding table: the symbol (or value base) it stands for, and how the next
// state follows: `delta` plus the next `bits` bits of the stream.
struct LiteralEntry {
    uint8_t bits, symbol;
    uint16_t delta;
};
struct ValueEntry {
    uint8_t bits, extraBits;  // bits: state bits + extra value bits, read together
    uint16_t delta;
    uint32_t base;
};

// What an LZFSE block needs besides its input, about 47 KB: kept off the stack, reused by
// every block of a stream.
struct FseWorkspace {
    LiteralEntry literalTable[LiteralStates];
    ValueEntry lengthTable[LengthStates], matchTable[LengthStates], distanceTable[DistanceStates];
    uint8_t literals[MaxLiterals + 64];  // the slack lets literals be copied 16 bytes at a time
};

// An LZFSE block from its magic on (`packed` for "bvx2"), with `available` bytes of input;
// `used` is set to the block's size.
bool DecodeFseBlock(const uint8_t* block, size_t available, bool packed, FseWorkspace& space, Output& out,
                    size_t& used, std::string& why);

// Copies n bytes to `to` from `distance` bytes back, as if byte by byte (a match longer than its
// distance repeats itself), in 8-byte steps when `limit` leaves room for the last step's slack.
// A distance below 8 is a repeating pattern: once its first bytes are written, the same bytes
// lie a multiple of the distance back that is 8 or more.
inline void CopyMatch(uint8_t* to, size_t distance, size_t n, const uint8_t* limit) {
    const uint8_t* from = to - distance;
    if (size_t(limit - to) < n + 8) {
        for (size_t i = 0; i < n; ++i) to[i] = from[i];
        return;
    }
    size_t i = 0, step = distance;
    if (distance < 8) {
        step = distance * ((7 + distance) / distance);
        for (; i < n && i < step - distance; ++i) to[i] = from[i];
    }
    for (; i < n; i += 8) std::memcpy(to + i, (to + i) - step, 8);
}

}  // namespace vu::lzfse
