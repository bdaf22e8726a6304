// Decoding of one stored chunk of a disk image into exactly the bytes of its sectors: ADC and
// LZFSE (our own decoders), zlib, bzip2 and LZMA/XZ (through their libraries). Callable from any
// thread; each call keeps its own decoder state.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/udif_image.h"

namespace vu {

// Largest decoded size of one compressed chunk (disk images use 1 MiB or less), and the largest
// stored size of any chunk that is read whole. Raw chunks are read in pieces and have no limit.
constexpr uint64_t MaxDecodedChunk = 16ull << 20;
constexpr uint64_t MaxStoredChunk = 2 * MaxDecodedChunk + (64 << 10);

// True for the compressed types this reader decodes.
bool IsCompressedChunkType(uint32_t type);

// The working memory of one decoder of `type` besides its input and output: the most bzip2's
// block tables take, LZMA's limit (every XZ preset's dictionary, up to 64 MiB, fits; a stream
// asking for more is refused), libdeflate's and our LZFSE decoder's state.
constexpr uint64_t ChunkDecoderMemory(uint32_t type) {
    switch (type) {
        case UdifBzip2: return 4ull << 20;
        case UdifLzma: return 65ull << 20;
        case UdifZlib:
        case UdifLzfse: return 64ull << 10;
    }
    return 0;
}

// Decodes `in` into `out`, which it must fill exactly and to its end of stream. False with
// `error` ("zlib data is damaged", "decodes to fewer bytes than its 2048 sectors") otherwise.
bool DecodeChunk(uint32_t type, const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength,
                 std::string& error);

}  // namespace vu
