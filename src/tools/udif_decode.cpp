// Partition decoding through the ordered pipeline; see udif_decode.h.
#include "tools/udif_decode.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "tools/ordered_pipeline.h"
#include "tools/udif_chunks.h"

namespace vu {

namespace {

// Raw chunks are copied in pieces of this size; a piece is one pipeline item.
constexpr uint64_t RawPiece = 1 << 20;
// crc32_combine takes a signed long length, 32 bits on Windows: larger runs are split.
constexpr uint64_t CombineStep = 1ull << 30;

struct Item {
    size_t chunk = 0;
    uint64_t offset = 0, length = 0;  // stored bytes read for this item
    uint64_t outLength = 0;
};

// Buffers are kept by their slot for its next item: a fresh buffer of a megabyte comes back from
// the system untouched and costs a page fault per page (glibc and Windows' heap both return
// such sizes to the system when freed), a third of an LZFSE extraction's time. All slots together
// keep at most KeptBytes, which the budget of the items in flight leaves free.
constexpr uint64_t KeptBytes = 64ull << 20;

struct KeptBuffer {
    std::unique_ptr<uint8_t[]> data;
    uint64_t capacity = 0;

    uint8_t* Take(uint64_t length) {
        if (length > capacity) {
            Drop();  // the old one goes before the new one comes
            data = std::make_unique_for_overwrite<uint8_t[]>(size_t(length));
            capacity = length;
        }
        return data.get();
    }
    void Drop() { data.reset(), capacity = 0; }
};

struct Slot {
    Item item;
    uint32_t type = 0;
    KeptBuffer in, out;
    uint32_t crc = 0;
    bool ok = true;
    std::string error;
};

static_assert(MaxStoredChunk + MaxDecodedChunk + ChunkDecoderMemory(UdifLzma) <= PipelineBudget - KeptBytes,
              "the largest chunk fits the pipeline's budget");

// The items of a partition: one per chunk, raw chunks cut into pieces.
std::vector<Item> Plan(const UdifPartition& partition) {
    std::vector<Item> items;
    for (size_t c = 0; c < partition.chunks.size(); ++c) {
        const UdifChunk& chunk = partition.chunks[c];
        uint64_t bytes = chunk.sectors * UdifSectorSize;
        if (chunk.type != UdifRaw) {
            bool stored = IsCompressedChunkType(chunk.type);
            items.push_back({c, chunk.offset, stored ? chunk.length : 0, bytes});
            continue;
        }
        for (uint64_t at = 0; at < bytes; at += RawPiece) {
            uint64_t piece = std::min(RawPiece, bytes - at);
            items.push_back({c, chunk.offset + at, piece, piece});
        }
    }
    return items;
}

// The data fork's CRC-32, kept up while the chunks are read in file order (they are, in images
// as written); reading out of order falls back to one pass over the whole fork at the end.
class ForkCrc {
public:
    ForkCrc(ByteSource& source, const UdifImage& image) : source_(source), image_(image), position_(image.dataForkOffset) {}

    bool Add(uint64_t offset, const uint8_t* data, uint64_t length) {
        if (!inOrder_ || length == 0) return true;
        if (offset < position_) {
            inOrder_ = false;
            return true;
        }
        if (!Skip(offset)) return false;
        crc_ = libdeflate_crc32(crc_, data, size_t(length));
        position_ = offset + length;
        return true;
    }

    // Reads what is left; false when that fails. `matches`: the checksum agrees with the data.
    bool Finish(bool& matches) {
        if (!inOrder_) {
            crc_ = 0;
            position_ = image_.dataForkOffset;
        }
        if (!Skip(image_.dataForkOffset + image_.dataForkLength)) return false;
        matches = crc_ == image_.dataChecksum.Crc32();
        return true;
    }

private:
    // Adds the bytes from the current position up to `offset`.
    bool Skip(uint64_t offset) {
        std::vector<uint8_t> buffer;
        while (position_ < offset) {
            size_t piece = size_t(std::min<uint64_t>(offset - position_, 1 << 20));
            buffer.resize(piece);
            if (!source_.ReadAt(position_, buffer.data(), piece)) return false;
            crc_ = libdeflate_crc32(crc_, buffer.data(), piece);
            position_ += piece;
        }
        return true;
    }

    ByteSource& source_;
    const UdifImage& image_;
    uint64_t position_;
    uint32_t crc_ = 0;
    bool inOrder_ = true;
};

// The CRC-32 of n <= CombineStep zero bytes, by doubling: crc(Z_2k) = combine(crc(Z_k), crc(Z_k), k).
uLong ZerosCrc(uint64_t n) {
    static const uint8_t zero = 0;
    uLong result = crc32(0, nullptr, 0), power = crc32(0, &zero, 1);
    for (uint64_t powerLength = 1; n; n >>= 1, powerLength <<= 1) {
        if (n & 1) result = crc32_combine(result, power, z_off_t(powerLength));
        if (n > 1) power = crc32_combine(power, power, z_off_t(powerLength));
    }
    return result;
}

// The CRC-32 of a || Z, where Z is `length` zero bytes, from the CRC-32 of a.
uint32_t AppendZeros(uint32_t crc, uint64_t length) {
    while (length) {
        uint64_t step = std::min(length, CombineStep);
        crc = uint32_t(crc32_combine(crc, ZerosCrc(step), z_off_t(step)));
        length -= step;
    }
    return crc;
}

}  // namespace

bool CheckUdifPartitionChunks(const UdifPartition& partition, std::string& error) {
    for (size_t c = 0; c < partition.chunks.size(); ++c) {
        const UdifChunk& chunk = partition.chunks[c];
        bool known = chunk.type == UdifZero || chunk.type == UdifIgnore || chunk.type == UdifRaw ||
                     IsCompressedChunkType(chunk.type);
        if (!known) return error = "chunk " + std::to_string(c) + " has the unknown type " + Hex32(chunk.type), false;
        if (IsCompressedChunkType(chunk.type) && chunk.sectors * UdifSectorSize > MaxDecodedChunk)
            return error = "chunk " + std::to_string(c) + " declares " + std::to_string(chunk.sectors) +
                           " sectors, more than a chunk may hold (16 MiB)",
                   false;
        if (IsCompressedChunkType(chunk.type) && chunk.length > MaxStoredChunk)
            return error = "chunk " + std::to_string(c) + " stores " + std::to_string(chunk.length) +
                           " bytes, more than a chunk may store",
                   false;
    }
    return true;
}

DecodeOutcome DecodeUdifPartition(ByteSource& source, const UdifImage& image, const UdifPartition& partition,
                                  ByteSink& sink, const std::function<bool(uint64_t)>& progress,
                                  std::string& error, unsigned threads, bool* staleForkChecksum) {
    if (!CheckUdifPartitionChunks(partition, error)) return DecodeOutcome::Failed;
    if (threads == 0) threads = PipelineThreads();
    std::vector<Item> items = Plan(partition);
    size_t window = 2 * size_t(threads) + 2;
    std::vector<Slot> slots(window);
    uint64_t keptPerSlot = KeptBytes / window;
    auto chunkType = [&](size_t index) { return partition.chunks[items[index].chunk].type; };
    ForkCrc forkCrc(source, image);
    bool checkFork = image.dataChecksum.IsCrc32();
    uint32_t partitionCrc = 0;
    uint64_t done = 0;
    bool cancelled = false;

    PipelineStages stages;
    stages.bytes = [&](size_t index) {
        const Item& item = items[index];
        if (!IsCompressedChunkType(chunkType(index))) return item.length;
        return item.length + item.outLength + ChunkDecoderMemory(chunkType(index));
    };
    stages.prepare = [&](size_t index, size_t s) {
        Slot& slot = slots[s];
        slot.item = items[index];
        slot.type = chunkType(index);
        slot.ok = true;
        uint8_t* in = slot.in.Take(slot.item.length);
        if (slot.item.length == 0) return true;
        if (!source.ReadAt(slot.item.offset, in, size_t(slot.item.length)))
            return error = "chunk " + std::to_string(slot.item.chunk) + " cannot be read", false;
        if (checkFork && !forkCrc.Add(slot.item.offset, in, slot.item.length))
            return error = "the data fork cannot be read", false;
        return true;
    };
    stages.work = [&](size_t s) {
        Slot& slot = slots[s];
        if (slot.type == UdifRaw) {
            slot.crc = libdeflate_crc32(0, slot.in.data.get(), size_t(slot.item.length));
        } else if (IsCompressedChunkType(slot.type)) {
            size_t outLength = size_t(slot.item.outLength);
            uint8_t* out = slot.out.Take(outLength);
            std::string why;
            slot.ok = DecodeChunk(slot.type, slot.in.data.get(), size_t(slot.item.length), out, outLength, why);
            if (!slot.ok) slot.error = UdifChunkTypeName(slot.type) + " chunk " + std::to_string(slot.item.chunk) + ": " + why;
            else slot.crc = libdeflate_crc32(0, out, outLength);
        }
    };
    stages.finish = [&](size_t, size_t s) {
        Slot& slot = slots[s];
        if (!slot.ok) return error = slot.error, false;
        bool written;
        if (slot.type == UdifZero || slot.type == UdifIgnore) {
            written = sink.WriteZeros(slot.item.outLength);
            if (slot.type == UdifZero) partitionCrc = AppendZeros(partitionCrc, slot.item.outLength);
        } else {
            const auto& bytes = slot.type == UdifRaw ? slot.in : slot.out;
            written = sink.Write(bytes.data.get(), size_t(slot.item.outLength));
            partitionCrc = uint32_t(crc32_combine(partitionCrc, slot.crc, z_off_t(slot.item.outLength)));
        }
        if (slot.out.capacity > keptPerSlot) slot.out.Drop();
        if (slot.out.capacity + slot.in.capacity > keptPerSlot) slot.in.Drop();
        if (!written) return error = "the image cannot be written", false;
        done += slot.item.outLength;
        if (progress && !progress(done)) return cancelled = true, false;
        return true;
    };

    switch (RunOrdered(items.size(), threads, window, PipelineBudget - KeptBytes, stages)) {
        case PipelineEnd::Done: break;
        case PipelineEnd::Stopped: return cancelled ? DecodeOutcome::Cancelled : DecodeOutcome::Failed;
        case PipelineEnd::OutOfMemory:
            return error = "there is not enough memory to decode its chunks", DecodeOutcome::Failed;
    }
    if (!sink.Finish()) return error = "the image cannot be written", DecodeOutcome::Failed;
    if (partition.checksum.IsCrc32() && partitionCrc != partition.checksum.Crc32())
        return error = "the checksum of partition " + std::to_string(partition.index) + " does not match its data",
               DecodeOutcome::Failed;
    bool forkMatches = true;
    if (checkFork && !forkCrc.Finish(forkMatches)) return error = "the data fork cannot be read", DecodeOutcome::Failed;
    if (!forkMatches && !(staleForkChecksum && partition.checksum.IsCrc32()))
        return error = "the data fork's checksum does not match its data", DecodeOutcome::Failed;
    if (staleForkChecksum) *staleForkChecksum = !forkMatches;
    return DecodeOutcome::Done;
}

}  // namespace vu
