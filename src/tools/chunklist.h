// Apple's chunk lists (".chunklist", little-endian), which come beside recovery images: a
// 36-byte header ("CNKL", header size 0x24, version 1, chunk method 1, signature method 1 for
// an RSA-2048 signature or 2 for a bare SHA-256 of header and table, chunk count, table offset,
// signature offset) and a table of (u32 size, SHA-256) entries that cut the image into chunks.
// Callable from any thread.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/byte_io.h"

namespace vu {

struct Chunklist {
    struct Entry {
        uint32_t size = 0;
        std::array<uint8_t, 32> sha256{};
    };
    uint8_t signatureMethod = 0;
    std::vector<Entry> chunks;
    uint64_t TotalSize() const;
};

// False with `error` for anything but a well-formed list; with signature method 2 the digest of
// header and table must match.
bool ParseChunklist(const std::string& bytes, Chunklist& list, std::string& error);

enum class ChunklistCheck { Match, Mismatch, Cancelled };

// Hashes `image` chunk by chunk (on every core) and compares; Mismatch with `error` naming the
// first chunk that differs, a size that differs from the list's total, or a read that fails.
// progress(done) false cancels.
ChunklistCheck CheckAgainstChunklist(const Chunklist& list, ByteSource& image,
                                     const std::function<bool(uint64_t)>& progress, std::string& error);

}  // namespace vu
