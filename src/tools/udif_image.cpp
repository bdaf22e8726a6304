// The UDIF layout reader; see udif_image.h.
#include "tools/udif_image.h"

#include <zlib.h>

#include <cstring>

#include "tools/property_list.h"

namespace vu {

namespace {

constexpr uint64_t TrailerSize = 512;
constexpr uint64_t MaxXmlLength = 64ull << 20;
constexpr size_t TableHeadSize = 204, ChunkEntrySize = 40;
// Sector numbers stay below 2^54, so that their byte offsets fit 64 bits.
constexpr uint64_t MaxSectors = 1ull << 54;

void ParseChecksum(const uint8_t* p, UdifChecksum& checksum) {
    checksum.type = Be32(p);
    checksum.bits = Be32(p + 4);
    std::memcpy(checksum.data, p + 8, sizeof checksum.data);
}

// a + b, false when it overflows.
bool Add(uint64_t a, uint64_t b, uint64_t& sum) {
    sum = a + b;
    return sum >= a;
}

// [offset, offset + length) lies inside [start, start + size).
bool Inside(uint64_t offset, uint64_t length, uint64_t start, uint64_t size) {
    return offset >= start && offset - start <= size && length <= size - (offset - start);
}

}  // namespace

std::string UdifPartition::Type() const {
    size_t open = name.find('('), close = name.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return name;
    std::string inside = name.substr(open + 1, close - open - 1);
    if (size_t colon = inside.find(':'); colon != std::string::npos) inside.resize(colon);
    while (!inside.empty() && inside.back() == ' ') inside.pop_back();
    while (!inside.empty() && inside.front() == ' ') inside.erase(0, 1);
    return inside;
}

bool UdifPartition::IsHfs() const {
    std::string type = Type();
    return type == "Apple_HFS" || type == "Apple_HFSX";
}

std::string UdifChunkTypeName(uint32_t type) {
    switch (type) {
        case UdifZero: return "zero";
        case UdifRaw: return "raw";
        case UdifIgnore: return "ignore";
        case UdifAdc: return "ADC";
        case UdifZlib: return "zlib";
        case UdifBzip2: return "bzip2";
        case UdifLzfse: return "LZFSE";
        case UdifLzma: return "LZMA";
        case UdifComment: return "comment";
        case UdifTerminator: return "terminator";
    }
    return "unknown chunk type " + Hex32(type);
}

bool ParseUdifTrailer(const uint8_t* koly, uint64_t fileSize, UdifImage& image, uint64_t& xmlOffset,
                      uint64_t& xmlLength, std::string& error) {
    if (Be32(koly + 4) != 4 || Be32(koly + 8) != TrailerSize)
        return error = "its trailer has version " + std::to_string(Be32(koly + 4)) + " and size " +
                       std::to_string(Be32(koly + 8)) + " (4 and 512 are known)",
               false;
    uint64_t end = fileSize - TrailerSize;
    image.fileSize = fileSize;
    image.dataForkOffset = Be64(koly + 24);
    image.dataForkLength = Be64(koly + 32);
    ParseChecksum(koly + 80, image.dataChecksum);
    xmlOffset = Be64(koly + 216);
    xmlLength = Be64(koly + 224);
    ParseChecksum(koly + 352, image.masterChecksum);
    image.sectorCount = Be64(koly + 492);
    if (!Inside(image.dataForkOffset, image.dataForkLength, 0, end))
        return error = "its data fork lies outside the file", false;
    if (xmlLength == 0) return error = "it has no XML property list", false;
    if (!Inside(xmlOffset, xmlLength, 0, end)) return error = "its property list lies outside the file", false;
    if (xmlLength > MaxXmlLength) return error = "its property list is larger than 64 MiB", false;
    if (image.sectorCount >= MaxSectors) return error = "it declares an impossible number of sectors", false;
    return true;
}

bool ParseBlkxTable(const std::string& table, const UdifImage& image, UdifPartition& partition, std::string& error) {
    auto* p = reinterpret_cast<const uint8_t*>(table.data());
    if (table.size() < TableHeadSize || std::memcmp(p, "mish", 4) != 0 || Be32(p + 4) != 1)
        return error = "its blkx table is not a version 1 \"mish\" table", false;
    partition.firstSector = Be64(p + 8);
    partition.sectorCount = Be64(p + 16);
    uint64_t dataOffset = Be64(p + 24);
    ParseChecksum(p + 64, partition.checksum);
    uint32_t count = Be32(p + 200);
    if (uint64_t(count) * ChunkEntrySize != table.size() - TableHeadSize)
        return error = "its blkx table counts " + std::to_string(count) + " chunks but holds " +
                       std::to_string((table.size() - TableHeadSize) / ChunkEntrySize),
               false;
    uint64_t end;
    if (partition.sectorCount >= MaxSectors || !Add(partition.firstSector, partition.sectorCount, end) ||
        end > image.sectorCount)
        return error = "its sectors lie outside the image", false;

    uint64_t base, next = 0;
    if (!Add(image.dataForkOffset, dataOffset, base)) return error = "its data offset lies outside the file", false;
    partition.chunks.clear();
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = p + TableHeadSize + size_t(i) * ChunkEntrySize;
        UdifChunk chunk;
        chunk.type = Be32(e);
        chunk.sector = Be64(e + 8);
        chunk.sectors = Be64(e + 16);
        uint64_t offset = Be64(e + 24);
        chunk.length = Be64(e + 32);
        if (chunk.type == UdifComment) continue;
        if (chunk.type == UdifTerminator) {
            if (i + 1 != count) return error = "its blkx table ends before its last chunk", false;
            break;
        }
        if (chunk.sectors == 0) continue;
        if (chunk.sector != next)
            return error = "chunk " + std::to_string(i) + " starts at sector " + std::to_string(chunk.sector) +
                           " instead of " + std::to_string(next),
                   false;
        if (chunk.sectors > partition.sectorCount - next)
            return error = "chunk " + std::to_string(i) + " runs past the end of its partition", false;
        next += chunk.sectors;
        if (!Add(base, offset, chunk.offset) ||
            !Inside(chunk.offset, chunk.length, image.dataForkOffset, image.dataForkLength))
            return error = "chunk " + std::to_string(i) + " lies outside the data fork", false;
        if (chunk.type == UdifRaw && chunk.length != chunk.sectors * UdifSectorSize)
            return error = "raw chunk " + std::to_string(i) + " stores " + std::to_string(chunk.length) +
                           " bytes for " + std::to_string(chunk.sectors) + " sectors",
                   false;
        partition.chunks.push_back(chunk);
    }
    if (next != partition.sectorCount)
        return error = "its chunks cover " + std::to_string(next) + " of its " +
                       std::to_string(partition.sectorCount) + " sectors",
               false;
    return true;
}

UdifOpen ReadUdifImage(ByteSource& source, UdifImage& image, std::string& error) {
    image = UdifImage{};
    uint64_t size = source.Size();
    uint8_t koly[TrailerSize];
    if (size < TrailerSize || !source.ReadAt(size - TrailerSize, koly, sizeof koly) || std::memcmp(koly, "koly", 4) != 0)
        return UdifOpen::NotUdif;
    uint64_t xmlOffset, xmlLength;
    if (!ParseUdifTrailer(koly, size, image, xmlOffset, xmlLength, error)) return UdifOpen::Damaged;

    std::string xml(size_t(xmlLength), '\0');
    if (!source.ReadAt(xmlOffset, xml.data(), xml.size())) return error = "its property list cannot be read", UdifOpen::Damaged;
    PlistValue root;
    if (!ParsePropertyList(xml, root, error)) return error = "its property list is damaged: " + error, UdifOpen::Damaged;
    xml = std::string();
    const PlistValue* fork = root.kind == PlistValue::Dict ? root.Find("resource-fork") : nullptr;
    const PlistValue* blkx = fork && fork->kind == PlistValue::Dict ? fork->Find("blkx") : nullptr;
    if (!blkx || blkx->kind != PlistValue::Array) return error = "its property list has no blkx tables", UdifOpen::Damaged;

    for (const auto& entry : blkx->items) {
        const PlistValue* data = entry.kind == PlistValue::Dict ? entry.Find("Data") : nullptr;
        if (!data || data->kind != PlistValue::Data) return error = "a blkx entry has no table", UdifOpen::Damaged;
        UdifPartition partition;
        partition.index = image.partitions.size();
        const PlistValue* name = entry.Find("Name");
        if (!name || name->kind != PlistValue::String || name->text.empty()) name = entry.Find("CFName");
        if (name && name->kind == PlistValue::String) partition.name = name->text;
        std::string why;
        if (!ParseBlkxTable(data->text, image, partition, why))
            return error = "partition " + std::to_string(partition.index) + " (" + partition.name + "): " + why,
                   UdifOpen::Damaged;
        image.partitions.push_back(std::move(partition));
    }
    if (image.partitions.empty()) return error = "it holds no partitions", UdifOpen::Damaged;

    // The master checksum covers the partitions' checksums, one after the other.
    if (image.masterChecksum.IsCrc32()) {
        uLong crc = crc32(0, nullptr, 0);
        bool computable = true;
        for (const auto& partition : image.partitions) {
            uint32_t bits = partition.checksum.bits;
            if (bits % 8 != 0 || bits > 8 * sizeof partition.checksum.data) computable = false;
            else crc = crc32(crc, partition.checksum.data, bits / 8);
        }
        image.staleMasterChecksum = computable && uint32_t(crc) != image.masterChecksum.Crc32();
    }
    return UdifOpen::Ok;
}

}  // namespace vu
