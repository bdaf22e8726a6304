// Decoding of one stored chunk of a disk image into exactly the bytes of its sectors: ADC and
// LZFSE (our own decoders), zlib, bzip2 and LZMA/XZ (through their libraries). Callable from any
// thread; each call keeps its own decoder state.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vu {

// Largest decoded size of one compressed chunk (disk images use 1 MiB or less), and the largest
// stored size of any chunk that is read whole. Raw chunks are read in pieces and have no limit.
constexpr uint64_t MaxDecodedChunk = 16ull << 20;
constexpr uint64_t MaxStoredChunk = 2 * MaxDecodedChunk + (64 << 10);

// True for the compressed types this reader decodes.
bool IsCompressedChunkType(uint32_t type);

// Decodes `in` into `out`, which it must fill exactly and to its end of stream. False with
// `error` ("zlib data is damaged", "decodes to fewer bytes than its 2048 sectors") otherwise.
bool DecodeChunk(uint32_t type, const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength,
                 std::string& error);

}  // namespace vu
