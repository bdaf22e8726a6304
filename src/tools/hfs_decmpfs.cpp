// decmpfs expansion; see hfs_decmpfs.h. Layouts as 7-Zip and The Sleuth Kit read them.
#include "tools/hfs_decmpfs.h"

#include <zlib.h>

#include <algorithm>

namespace vu {

namespace {

constexpr uint32_t DecmpfsMagic = 0x636D7066;  // "fpmc" on disk
constexpr size_t HeaderSize = 16;
constexpr uint64_t BlockSize = 64 << 10;
// A block stored as it is: the marker byte and a whole block.
constexpr uint32_t MaxStoredBlock = BlockSize + 1;
constexpr size_t ResourceHeaderSize = 16;
constexpr size_t TableBatch = 1024;  // entries read at a time

bool StoredAsIs(const uint8_t* data, size_t length) { return length > 0 && (data[0] & 0x0F) == 0x0F; }

// Inflates the zlib stream `in` into exactly `size` bytes, written to `sink`. Bytes after the
// stream's end are ignored, as Apple's own reader does.
bool Inflate(const uint8_t* in, size_t length, uint64_t size, ByteSink& sink, std::string& error) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return error = "zlib cannot be started", false;
    std::vector<uint8_t> out(size_t(std::min<uint64_t>(size + 1, BlockSize)));
    z.next_in = const_cast<uint8_t*>(in);
    z.avail_in = uInt(length);
    uint64_t done = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        status = inflate(&z, Z_NO_FLUSH);
        size_t produced = out.size() - z.avail_out;
        if (status != Z_OK && status != Z_STREAM_END) break;
        if (produced > size - done) {
            status = Z_BUF_ERROR;
            error = "the zlib data expands to more than " + std::to_string(size) + " bytes";
            break;
        }
        if (produced && !sink.Write(out.data(), produced)) {
            status = Z_BUF_ERROR;
            error = "the copy cannot be written";
            break;
        }
        done += produced;
        if (status == Z_OK && produced == 0 && z.avail_in == 0) status = Z_BUF_ERROR;
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END) return error = error.empty() ? "the zlib data is damaged" : error, false;
    if (done != size)
        return error = "the zlib data expands to " + std::to_string(done) + " bytes instead of " + std::to_string(size), false;
    return true;
}

// One stored or zlib piece that must expand to `size` bytes.
bool ExpandPiece(const uint8_t* data, size_t length, uint64_t size, ByteSink& sink, std::string& error) {
    if (!StoredAsIs(data, length)) return Inflate(data, length, size, sink, error);
    if (length - 1 != size)
        return error = "it stores " + std::to_string(length - 1) + " bytes instead of " + std::to_string(size), false;
    return sink.Write(data + 1, length - 1) || (error = "the copy cannot be written", false);
}

}  // namespace

bool ParseDecmpfs(const uint8_t* attribute, size_t length, DecmpfsHeader& header, std::string& error) {
    if (length < HeaderSize || Le32(attribute) != DecmpfsMagic)
        return error = "its compression header (com.apple.decmpfs) is damaged", false;
    header.type = Le32(attribute + 4);
    header.size = Le64(attribute + 8);
    header.inlineData.assign(attribute + HeaderSize, attribute + length);
    return true;
}

std::string DecmpfsCompressionName(uint32_t type) {
    switch (type) {
        case 3: case 4: return "zlib";
        case 7: case 8: return "LZVN";
        case 11: case 12: return "LZFSE";
        case 13: case 14: return "LZBITMAP";
    }
    return "decmpfs type " + std::to_string(type);
}

bool ExpandInlineDecmpfs(const DecmpfsHeader& header, ByteSink& sink, std::string& error) {
    return ExpandPiece(header.inlineData.data(), header.inlineData.size(), header.size, sink, error);
}

bool ExpandResourceForkDecmpfs(uint64_t size, uint64_t forkBytes, const ForkReader& read, ByteSink& sink,
                               const std::function<bool(uint64_t)>& progress, std::string& error) {
    // The resource fork's header names where the resource data lies; it starts with its length
    // (big-endian, as the fork header) and then the block table (little-endian, as decmpfs).
    uint8_t head[ResourceHeaderSize];
    if (forkBytes < sizeof head || !read(0, head, sizeof head)) return error = "its resource fork is damaged", false;
    uint64_t dataOffset = Be32(head), dataLength = Be32(head + 8);
    uint8_t lengthAndCount[8];
    if (dataLength < sizeof lengthAndCount || dataOffset + dataLength > forkBytes ||
        !read(dataOffset, lengthAndCount, sizeof lengthAndCount))
        return error = "its resource fork's data lies outside it", false;
    uint64_t resourceLength = Be32(lengthAndCount), tableStart = dataOffset + 4;
    uint64_t count = Le32(lengthAndCount + 4), blocks = size / BlockSize + (size % BlockSize != 0);
    if (resourceLength > dataLength - 4) return error = "its compressed data runs past its resource fork", false;
    if (count != blocks)
        return error = "its block table counts " + std::to_string(count) + " blocks for " + std::to_string(blocks),
               false;
    if (4 + 8 * count > resourceLength) return error = "its block table runs past its data", false;

    std::vector<uint8_t> table, block(MaxStoredBlock);
    uint64_t done = 0, next = 4 + 8 * count;  // blocks follow the table and each other, as written
    for (uint64_t i = 0; i < count; ++i) {
        size_t slot = size_t(i % TableBatch);
        if (slot == 0) {
            table.resize(8 * size_t(std::min<uint64_t>(TableBatch, count - i)));
            if (!read(tableStart + 4 + 8 * i, table.data(), table.size()))
                return error = "its block table cannot be read", false;
        }
        uint64_t offset = Le32(&table[8 * slot]), length = Le32(&table[8 * slot + 4]);
        std::string where = "block " + std::to_string(i);
        if (length == 0 || length > MaxStoredBlock || offset != next || length > resourceLength - offset)
            return error = where + " lies outside its place in the compressed data", false;
        next += length;
        if (!read(tableStart + offset, block.data(), size_t(length))) return error = where + " cannot be read", false;
        std::string why;
        if (!ExpandPiece(block.data(), size_t(length), std::min(BlockSize, size - done), sink, why))
            return error = where + ": " + why, false;
        done += std::min(BlockSize, size - done);
        if (progress && !progress(done)) return error.clear(), false;
    }
    return true;
}

}  // namespace vu
