// The LZFSE stream: its blocks one after the other; see lzfse_decode.h.
#include "tools/lzfse_decode.h"

#include <memory>
#include <new>

#include "tools/byte_io.h"
#include "tools/lzfse_blocks.h"

namespace vu {

namespace {

constexpr uint32_t EndMagic = 0x24787662;   // "bvx$"
constexpr uint32_t RawMagic = 0x2D787662;   // "bvx-": u32 bytes, the bytes
constexpr uint32_t LzvnMagic = 0x6E787662;  // "bvxn": u32 bytes, u32 payload bytes, the payload
constexpr uint32_t PlainMagic = 0x31787662; // "bvx1"
constexpr uint32_t PackedMagic = 0x32787662; // "bvx2"

}  // namespace

bool DecodeLzfse(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength, std::string& error) {
    lzfse::Output output;
    output.data = out;
    output.size = outLength;
    std::unique_ptr<lzfse::FseWorkspace> space;
    size_t at = 0;
    for (unsigned block = 1;; ++block) {
        std::string why;
        auto fail = [&] { return error = "LZFSE block " + std::to_string(block) + ": " + why, false; };
        if (inLength - at < 4) return error = "LZFSE data ends before its end-of-stream block", false;
        uint32_t magic = Le32(in + at);
        if (magic == EndMagic) {
            if (output.at != outLength)
                return error = "LZFSE data decodes to " + std::to_string(output.at) + " bytes instead of " +
                               std::to_string(outLength),
                       false;
            if (inLength - at != 4) return error = "LZFSE data goes on past its end of stream", false;
            return true;
        }
        if (magic != RawMagic && magic != LzvnMagic && magic != PlainMagic && magic != PackedMagic)
            return why = "its magic number " + Hex32(magic) + " is unknown", fail();
        if (inLength - at < 8) return why = "the data ends inside its header", fail();
        // Every kind declares its decoded size first: a block may not claim more than is left.
        uint32_t bytes = Le32(in + at + 4);
        if (bytes > outLength - output.at)
            return why = "it claims " + std::to_string(bytes) + " bytes, more than the " +
                         std::to_string(outLength - output.at) + " left of the output",
                   fail();
        output.end = output.at + bytes;

        size_t used = 0;
        if (magic == RawMagic) {
            if (inLength - at - 8 < bytes) return why = "the data ends inside it", fail();
            if (bytes) std::memcpy(out + output.at, in + at + 8, bytes);
            output.at = output.end;
            used = 8 + size_t(bytes);
        } else if (magic == LzvnMagic) {
            if (inLength - at < 12) return why = "the data ends inside its header", fail();
            uint32_t payload = Le32(in + at + 8);
            if (inLength - at - 12 < payload) return why = "the data ends inside it", fail();
            if (!lzfse::DecodeLzvnBlock(in + at + 12, payload, output, why)) return fail();
            used = 12 + size_t(payload);
        } else {
            if (!space) space.reset(new (std::nothrow) lzfse::FseWorkspace());
            if (!space) return why = "there is not enough memory to decode it", fail();
            if (!lzfse::DecodeFseBlock(in + at, inLength - at, magic == PackedMagic, *space, output, used, why))
                return fail();
        }
        if (output.at != output.end)
            return why = "it decodes to " + std::to_string(bytes - (output.end - output.at)) + " of the " +
                         std::to_string(bytes) + " bytes it claims",
                   fail();
        at += used;
    }
}

}  // namespace vu
