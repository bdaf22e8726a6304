// The overlapped chunk loop; see chunk_pipeline.h.
#include "images/chunk_pipeline.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <new>
#include <utility>

#include "core/globals.h"
#include "core/transfer_progress.h"

namespace vu {

namespace {

constexpr std::align_val_t BufferAlignment{4096};

struct PendingRead {
    std::future<ChunkIo> result;
    uint8_t* buffer = nullptr;
    int64_t offset = 0, length = 0;
};

PendingRead StartRead(const ChunkSteps& steps, uint8_t* buffer, int64_t offset, int64_t length) {
    PendingRead pending{{}, buffer, offset, length};
    // Where no thread can be had, the read runs on the caller when its result is asked for.
    pending.result = std::async(std::launch::async | std::launch::deferred,
                                [&steps, buffer, offset, length] { return steps.read(buffer, offset, length); });
    return pending;
}

}  // namespace

ChunkBuffer::ChunkBuffer(int64_t bytes)
    : data_(static_cast<uint8_t*>(::operator new(size_t(bytes), BufferAlignment, std::nothrow))) {}

ChunkBuffer::~ChunkBuffer() {
    if (data_) ::operator delete(data_, BufferAlignment);
}

ChunkBuffer::ChunkBuffer(ChunkBuffer&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}

ChunkBuffer& ChunkBuffer::operator=(ChunkBuffer&& other) noexcept {
    std::swap(data_, other.data_);
    return *this;
}

ChunkRun RunChunks(int64_t begin, int64_t end, const ChunkSteps& steps, uint8_t* bufferA, uint8_t* bufferB) {
    ChunkRun run;
    if (begin >= end) return run;
    auto lengthAt = [end](int64_t offset) { return std::min(TransferChunkBytes, end - offset); };
    PendingRead current = StartRead(steps, bufferA, begin, lengthAt(begin));
    for (;;) {
        int64_t chunkStart = HighResTicks();
        ChunkIo read = current.result.get();
        if (!read.ok) {
            run.stop = ChunkStop::ReadFailed;
            run.error = read.error;
            return run;
        }
        int64_t nextOffset = current.offset + current.length;
        PendingRead next;
        if (nextOffset < end)
            next = StartRead(steps, current.buffer == bufferA ? bufferB : bufferA, nextOffset, lengthAt(nextOffset));

        ChunkIo handed = steps.hand(current.buffer, current.offset, current.length);
        // A failed or cancelled run still waits for the read under way: it fills a buffer the
        // caller frees next.
        auto settle = [&next] {
            if (next.result.valid() && next.result.wait_for(std::chrono::seconds(0)) != std::future_status::deferred)
                next.result.wait();
        };
        if (!handed.ok) {
            settle();
            run.stop = ChunkStop::HandFailed;
            run.error = handed.error;
            return run;
        }
        run.bytesRead += read.bytes;
        run.bytesHanded += handed.bytes;
        if (steps.progress) steps.progress(run, chunkStart);
        if (AbortRequested) {
            settle();
            run.stop = ChunkStop::Cancelled;
            return run;
        }
        if (!next.result.valid()) return run;
        current = std::move(next);
    }
}

}  // namespace vu
