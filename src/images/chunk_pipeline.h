// The copy loop that backup, restore and the read-back check share: a byte range moved in 16 MiB
// chunks through two buffers, the next chunk read on a helper thread while the last one is handed
// on (written, or compared) on the calling thread, so a transfer runs at the pace of its slower
// side instead of the sum of both. Offsets are 64-bit throughout.
//
// Called on the worker of a backup or restore. The read step runs on a helper thread, one call at
// a time and never beside another read; each side therefore uses its handles from one thread at a
// time. AbortRequested is read once after every chunk.
#pragma once
#include <cstdint>
#include <functional>

namespace vu {

constexpr int64_t TransferChunkBytes = 16777216;

// A transfer buffer aligned for raw device I/O (whose drivers want sector-aligned memory); empty
// when the memory is not available.
class ChunkBuffer {
public:
    ChunkBuffer() = default;
    explicit ChunkBuffer(int64_t bytes);
    ~ChunkBuffer();
    ChunkBuffer(ChunkBuffer&& other) noexcept;
    ChunkBuffer& operator=(ChunkBuffer&& other) noexcept;
    uint8_t* data() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    uint8_t* data_ = nullptr;
};

// What one step did with a chunk: ok, or the platform's error code of the call that failed.
struct ChunkIo {
    bool ok = false;
    int64_t bytes = 0;  // moved by this step
    uint32_t error = 0;
};

enum class ChunkStop { Complete, Cancelled, ReadFailed, HandFailed };

struct ChunkRun {
    ChunkStop stop = ChunkStop::Complete;
    uint32_t error = 0;      // of the failed step
    int64_t bytesRead = 0;   // reported by the read steps of the chunks handed on
    int64_t bytesHanded = 0;
};

struct ChunkSteps {
    // Fills buffer with the chunk [offset, offset + length) of the range; on the helper thread.
    std::function<ChunkIo(uint8_t* buffer, int64_t offset, int64_t length)> read;
    // Writes or compares the chunk that was read; on the calling thread.
    std::function<ChunkIo(const uint8_t* buffer, int64_t offset, int64_t length)> hand;
    // After each chunk that was handed on, before AbortRequested is read: the counts so far and
    // the tick count taken when that chunk began.
    std::function<void(const ChunkRun& soFar, int64_t chunkStartTicks)> progress;
};

// Moves [begin, end) in chunks of at most TransferChunkBytes through the two buffers (each of at
// least that size). Stops at the first failed step (nothing after it is handed on) or when
// AbortRequested is set after a chunk; a chunk already being read then is waited for and dropped.
ChunkRun RunChunks(int64_t begin, int64_t end, const ChunkSteps& steps, uint8_t* bufferA, uint8_t* bufferB);

}  // namespace vu
