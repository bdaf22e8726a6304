// Expanding files that HFS+ stores compressed (decmpfs, Apple's transparent file compression).
// Such a file has an empty data fork; its com.apple.decmpfs attribute holds a 16-byte header
// (the magic "fpmc", which is "cmpf" read as a little-endian number, the compression type and the
// expanded size, all little-endian), followed for type 3 by the content as one zlib stream. Type 4
// keeps the content in the resource fork instead: one resource whose data starts with a table of
// blocks, each expanding to 64 KiB (the last to the rest). In both, a first byte whose low nibble
// is 0xF marks data stored as it is, after that byte. Nothing read is trusted: every offset and
// length is checked, and the content must expand to exactly its declared size. Callable from any
// thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/byte_io.h"

namespace vu {

constexpr uint32_t DecmpfsZlibInline = 3, DecmpfsZlibResourceFork = 4;

struct DecmpfsHeader {
    uint32_t type = 0;
    uint64_t size = 0;                // of the expanded content
    std::vector<uint8_t> inlineData;  // what follows the header in the attribute
};

// False with `error` when the attribute is too short or lacks the magic.
bool ParseDecmpfs(const uint8_t* attribute, size_t length, DecmpfsHeader& header, std::string& error);

// "zlib", "LZVN", "LZFSE", or "decmpfs type 5": the compression a type stands for.
std::string DecmpfsCompressionName(uint32_t type);

// Type 3: expands the attribute's own data into `sink`.
bool ExpandInlineDecmpfs(const DecmpfsHeader& header, ByteSink& sink, std::string& error);

// Type 4: expands the resource fork, `forkBytes` long and read through `read`, into `sink`.
// progress(done) after every block; false cancels, which returns false with `error` empty.
using ForkReader = std::function<bool(uint64_t offset, uint8_t* buffer, size_t length)>;
bool ExpandResourceForkDecmpfs(uint64_t size, uint64_t forkBytes, const ForkReader& read, ByteSink& sink,
                               const std::function<bool(uint64_t)>& progress, std::string& error);

}  // namespace vu
