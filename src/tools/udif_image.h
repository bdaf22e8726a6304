// The layout of a UDIF disk image (.dmg): the 512-byte "koly" trailer at the end of the file,
// the XML property list it points to, and the "blkx" table ("mish") of every partition, whose
// chunks map runs of 512-byte sectors to stored bytes of the data fork (zeros, raw, or
// compressed by one of several methods).
//
// Every offset, length and count is checked against the file and the declared sizes before it is
// used; the chunks of a partition must tile its sectors from the first to the last. Callable from
// any thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/byte_io.h"

namespace vu {

constexpr uint64_t UdifSectorSize = 512;

enum UdifChunkType : uint32_t {
    UdifZero = 0x00000000,
    UdifRaw = 0x00000001,
    UdifIgnore = 0x00000002,  // zeros left out of the partition's checksum (free space)
    UdifAdc = 0x80000004,
    UdifZlib = 0x80000005,
    UdifBzip2 = 0x80000006,
    UdifLzfse = 0x80000007,
    UdifLzma = 0x80000008,  // an XZ (or LZMA-alone) stream
    UdifComment = 0x7FFFFFFE,
    UdifTerminator = 0xFFFFFFFF,
};

struct UdifChecksum {
    uint32_t type = 0, bits = 0;
    uint8_t data[128] = {};
    bool IsCrc32() const { return type == 2 && bits == 32; }
    uint32_t Crc32() const { return Be32(data); }
};

struct UdifChunk {
    uint32_t type = 0;
    uint64_t sector = 0;   // first sector, counted from the partition's start
    uint64_t sectors = 0;
    uint64_t offset = 0;   // of the stored bytes in the file
    uint64_t length = 0;   // stored bytes
};

struct UdifPartition {
    size_t index = 0;  // position in the blkx array, as 7-Zip numbers its entries
    std::string name;  // "disk image (Apple_HFS : 4)"
    uint64_t firstSector = 0, sectorCount = 0;
    UdifChecksum checksum;
    std::vector<UdifChunk> chunks;  // data chunks only (no comments, no terminator), in sector order

    uint64_t Bytes() const { return sectorCount * UdifSectorSize; }
    // The type inside the name's parentheses before " : " ("Apple_HFS"), or the whole name.
    std::string Type() const;
    bool IsHfs() const;  // Apple_HFS or Apple_HFSX
};

struct UdifImage {
    uint64_t fileSize = 0;
    uint64_t dataForkOffset = 0, dataForkLength = 0;
    uint64_t sectorCount = 0;
    UdifChecksum dataChecksum, masterChecksum;
    std::vector<UdifPartition> partitions;
    // The master checksum disagrees with the partitions' checksums. Tools that rewrite images
    // leave it stale; that is harmless for a partition whose own checksum matches its data.
    bool staleMasterChecksum = false;
};

enum class UdifOpen { Ok, NotUdif, Damaged };

// Reads the trailer, the property list and every blkx table, and compares the master checksum
// (a mismatch sets staleMasterChecksum). NotUdif when the file has no koly trailer at its end (it
// is not a disk image at all, whatever its name); Damaged with `error` for a disk image whose
// layout cannot be trusted.
UdifOpen ReadUdifImage(ByteSource& source, UdifImage& image, std::string& error);

// The pieces, for tests and fuzzing: the trailer (512 bytes) and one blkx table.
bool ParseUdifTrailer(const uint8_t* koly, uint64_t fileSize, UdifImage& image, uint64_t& xmlOffset,
                      uint64_t& xmlLength, std::string& error);
bool ParseBlkxTable(const std::string& table, const UdifImage& image, UdifPartition& partition, std::string& error);

// "zlib", "LZFSE", "unknown chunk type 0x80000009".
std::string UdifChunkTypeName(uint32_t type);

}  // namespace vu
