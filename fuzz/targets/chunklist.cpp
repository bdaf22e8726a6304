// The chunk-list parser and the check of an image against it. The input is a 32-bit
// little-endian length, that many bytes of chunk list, and the image.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/chunklist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    size_t length = size_t(data[0]) | size_t(data[1]) << 8 | size_t(data[2]) << 16 | size_t(data[3]) << 24;
    if (length > size - 4) return 0;
    vu::Chunklist list;
    std::string error;
    if (!vu::ParseChunklist(std::string(reinterpret_cast<const char*>(data + 4), length), list, error)) return 0;
    vu::MemorySource image(data + 4 + length, size - 4 - length);
    vu::CheckAgainstChunklist(list, image, nullptr, error);
    return 0;
}
