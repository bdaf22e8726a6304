// The 32 bits of Clover's FixDsdtMask: each bit's check-box caption, the name the calculator shows
// for it and a short explanation. Constant data; any thread.
#pragma once

namespace vu {

struct DsdtMaskBit {
    const char* label;        // caption of the bit's check box
    const char* name;         // caption of the Info frame when the box is clicked
    const char* explanation;  // shown in the Info frame; lines separated by CR LF
};

constexpr int DsdtMaskBitCount = 32;
constexpr int NewWayBit = 31;
// Bits 29 and 30 mean nothing yet; their boxes are never enabled.
constexpr bool IsUnusedDsdtBit(int bit) { return bit == 29 || bit == 30; }

// The bit's row, for 0..31.
const DsdtMaskBit& DsdtBit(int bit);

}  // namespace vu
