// Chunk lists; see chunklist.h.
#include "tools/chunklist.h"

#include <algorithm>
#include <cstring>

#include "core/digest.h"
#include "tools/ordered_pipeline.h"

namespace vu {

namespace {

constexpr size_t HeaderSize = 0x24, EntrySize = 36;
// Apple's chunks are about 10 MB; a larger one would be read whole into memory.
constexpr uint32_t MaxChunk = 64u << 20;

}  // namespace

uint64_t Chunklist::TotalSize() const {
    uint64_t total = 0;
    for (const auto& chunk : chunks) total += chunk.size;
    return total;
}

bool ParseChunklist(const std::string& bytes, Chunklist& list, std::string& error) {
    auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() < HeaderSize || std::memcmp(p, "CNKL", 4) != 0) return error = "it is not a chunk list", false;
    if (Le32(p + 4) != HeaderSize || p[8] != 1 || p[9] != 1)
        return error = "its header has an unknown version or chunk method", false;
    list.signatureMethod = p[10];
    uint64_t count = Le64(p + 12), tableOffset = Le64(p + 20), signatureOffset = Le64(p + 28);
    if (list.signatureMethod != 1 && list.signatureMethod != 2)
        return error = "its signature method " + std::to_string(list.signatureMethod) + " is unknown", false;
    if (count == 0 || tableOffset != HeaderSize || count > (bytes.size() - HeaderSize) / EntrySize ||
        signatureOffset != tableOffset + count * EntrySize)
        return error = "its table does not fit the file", false;
    size_t signatureSize = list.signatureMethod == 1 ? 256 : 32;
    if (bytes.size() - signatureOffset != signatureSize) return error = "its signature does not fit the file", false;
    if (list.signatureMethod == 2) {
        std::vector<uint8_t> digest = Digest::Of(plat::HashKind::Sha256, std::string_view(bytes).substr(0, signatureOffset));
        if (digest.size() != 32 || std::memcmp(digest.data(), p + signatureOffset, 32) != 0)
            return error = "its digest does not match its table", false;
    }
    list.chunks.resize(size_t(count));
    for (size_t i = 0; i < list.chunks.size(); ++i) {
        const uint8_t* e = p + HeaderSize + i * EntrySize;
        list.chunks[i].size = Le32(e);
        if (list.chunks[i].size == 0 || list.chunks[i].size > MaxChunk)
            return error = "its chunk " + std::to_string(i) + " has an impossible size", false;
        std::memcpy(list.chunks[i].sha256.data(), e + 4, 32);
    }
    return true;
}

ChunklistCheck CheckAgainstChunklist(const Chunklist& list, ByteSource& image,
                                     const std::function<bool(uint64_t)>& progress, std::string& error) {
    if (image.Size() != list.TotalSize())
        return error = "its size " + std::to_string(image.Size()) + " differs from the " +
                       std::to_string(list.TotalSize()) + " bytes its chunk list gives",
               ChunklistCheck::Mismatch;
    unsigned threads = PipelineThreads();
    size_t window = size_t(threads) + 1;
    struct Slot {
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> digest;
    };
    std::vector<Slot> slots(window);
    uint64_t offset = 0, done = 0;
    bool cancelled = false;

    PipelineStages stages;
    stages.bytes = [&](size_t index) { return uint64_t(list.chunks[index].size); };
    stages.prepare = [&](size_t index, size_t s) {
        slots[s].bytes.resize(list.chunks[index].size);
        if (!image.ReadAt(offset, slots[s].bytes.data(), slots[s].bytes.size()))
            return error = "its chunk " + std::to_string(index) + " cannot be read", false;
        offset += list.chunks[index].size;
        return true;
    };
    // Each worker hashes with an object of its own: the platform's hash objects are per thread.
    stages.work = [&](size_t s) {
        Digest digest(plat::HashKind::Sha256);
        digest.Add(slots[s].bytes.data(), slots[s].bytes.size());
        slots[s].digest = digest.Finish();
    };
    stages.finish = [&](size_t index, size_t s) {
        std::vector<uint8_t>().swap(slots[s].bytes);  // what the budget counts is what is held
        if (slots[s].digest.empty()) return error = "its chunk " + std::to_string(index) + " cannot be hashed", false;
        if (!std::equal(slots[s].digest.begin(), slots[s].digest.end(), list.chunks[index].sha256.begin()))
            return error = "its chunk " + std::to_string(index) + " differs from its chunk list", false;
        done += list.chunks[index].size;
        if (progress && !progress(done)) return cancelled = true, false;
        return true;
    };
    switch (RunOrdered(list.chunks.size(), threads, window, PipelineBudget, stages)) {
        case PipelineEnd::Done: return ChunklistCheck::Match;
        case PipelineEnd::Stopped: return cancelled ? ChunklistCheck::Cancelled : ChunklistCheck::Mismatch;
        case PipelineEnd::OutOfMemory: break;
    }
    error = "there is not enough memory to check its chunks";
    return ChunklistCheck::Mismatch;
}

}  // namespace vu
