// PE section table reading; see pe_image.h.
#include "platform/common/pe_image.h"

#include <algorithm>
#include <cstring>

namespace vu {

namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return uint32_t(U16(p)) | uint32_t(U16(p + 2)) << 16; }
uint64_t U64(const uint8_t* p) { return uint64_t(U32(p)) | uint64_t(U32(p + 4)) << 32; }

constexpr uint16_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;
constexpr size_t kCoffHeaderSize = 20, kSectionHeaderSize = 40, kSymbolSize = 18;
constexpr uint32_t kMaxSections = 96;  // the PE format's own limit

// A long section name "/<decimal offset>" names a string in the COFF string table.
std::optional<std::string> LongName(const ReadAt& read, uint64_t stringTable, std::string_view slashName) {
    uint64_t offset = 0;
    if (slashName.size() < 2) return std::nullopt;
    for (char c : slashName.substr(1)) {
        if (c < '0' || c > '9') return std::nullopt;
        offset = offset * 10 + uint64_t(c - '0');
    }
    std::string name;
    char chunk[64];
    for (uint64_t at = stringTable + offset; name.size() < 256;) {
        // The table ends the file: read what is left when a whole chunk is not there.
        size_t got = sizeof chunk;
        while (got > 0 && !read(at, chunk, got)) got /= 2;
        if (got == 0) return std::nullopt;
        const char* nul = static_cast<const char*>(std::memchr(chunk, 0, got));
        name.append(chunk, nul ? size_t(nul - chunk) : got);
        if (nul) return name;
        at += got;
    }
    return std::nullopt;
}

}  // namespace

std::optional<PeImage> ReadPeImage(const ReadAt& read) {
    uint8_t dos[64];
    if (!read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
    uint64_t peAt = U32(dos + 0x3C);
    uint8_t coff[4 + kCoffHeaderSize];
    if (!read(peAt, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0) return std::nullopt;
    uint32_t sectionCount = U16(coff + 4 + 2);
    uint64_t stringTable = uint64_t(U32(coff + 4 + 8)) + uint64_t(U32(coff + 4 + 12)) * kSymbolSize;
    bool haveStringTable = U32(coff + 4 + 8) != 0;
    uint32_t optionalSize = U16(coff + 4 + 16);
    if (sectionCount > kMaxSections || optionalSize < 32) return std::nullopt;

    uint64_t optionalAt = peAt + sizeof coff;
    uint8_t optional[32];
    if (!read(optionalAt, optional, sizeof optional)) return std::nullopt;
    PeImage image;
    switch (U16(optional)) {
        case kPe32Magic: image.imageBase = U32(optional + 28); break;
        case kPe32PlusMagic: image.imageBase = U64(optional + 24); break;
        default: return std::nullopt;
    }

    std::vector<uint8_t> table(size_t(sectionCount) * kSectionHeaderSize);
    if (!table.empty() && !read(optionalAt + optionalSize, table.data(), table.size())) return std::nullopt;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const uint8_t* h = table.data() + size_t(i) * kSectionHeaderSize;
        PeSection section;
        const char* rawName = reinterpret_cast<const char*>(h);
        section.name.assign(rawName, std::find(rawName, rawName + 8, '\0'));
        if (section.name.starts_with('/') && haveStringTable) {
            if (auto name = LongName(read, stringTable, section.name)) section.name = *name;
        }
        section.virtualSize = U32(h + 8);
        section.virtualAddress = U32(h + 12);
        section.rawSize = U32(h + 16);
        section.rawOffset = U32(h + 20);
        image.sections.push_back(std::move(section));
    }
    return image;
}

std::string ReadPeSection(const ReadAt& read, const PeImage& image, std::string_view name) {
    for (const auto& section : image.sections) {
        if (section.name != name) continue;
        uint32_t size = section.virtualSize ? std::min(section.virtualSize, section.rawSize) : section.rawSize;
        std::string bytes(size, '\0');
        if (size && !read(section.rawOffset, bytes.data(), size)) return {};
        return bytes;
    }
    return {};
}

}  // namespace vu
