// The section table of a PE executable file (an .exe of the program, read as a file), including
// the long section names that the GNU linker keeps in the COFF string table ("/4" for
// ".debug_line"). The crash report reads its own executable with it to find the line tables.
// Any thread; malformed files yield nothing rather than failing.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vu {

struct PeSection {
    std::string name;
    uint32_t virtualAddress = 0;  // relative to the image base
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;       // where its bytes start in the file
    uint32_t rawSize = 0;
};

struct PeImage {
    uint64_t imageBase = 0;       // the address the image was linked for
    std::vector<PeSection> sections;
};

// Reads `size` bytes at `offset` of the file; false when they are not all there.
using ReadAt = std::function<bool(uint64_t offset, void* buffer, size_t size)>;

std::optional<PeImage> ReadPeImage(const ReadAt& read);
// The bytes of the named section as the file holds them, trimmed to the section's size; "" when
// the section is missing or unreadable.
std::string ReadPeSection(const ReadAt& read, const PeImage& image, std::string_view name);

}  // namespace vu
