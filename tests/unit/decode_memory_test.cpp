// The decoding pipeline's memory: bounded in bytes whatever the number of threads, counted by
// the sanitizer's allocator (every byte the process holds, not the pipeline's own reckoning);
// chunks over the limit refused; running out of memory in any stage ends the run, not the process.
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <new>

#include "tools/ordered_pipeline.h"
#include "tools/udif_chunks.h"
#include "tools/udif_decode.h"

extern "C" size_t __sanitizer_get_allocated_size(const volatile void* p);
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                         void (*onFree)(const volatile void*));

namespace vu {
namespace {

std::atomic<bool> Counting{false};
std::atomic<int64_t> Held{0}, Peak{0};

void OnMalloc(const volatile void*, size_t size) {
    if (!Counting) return;
    int64_t now = Held += int64_t(size), peak = Peak;
    while (now > peak && !Peak.compare_exchange_weak(peak, now)) {}
}
void OnFree(const volatile void* p) {
    if (Counting) Held -= int64_t(__sanitizer_get_allocated_size(p));
}

class CountingSink : public ByteSink {
public:
    bool Write(const void*, size_t length) override { return written_ += length, true; }
    bool WriteZeros(uint64_t length) override { return written_ += length, true; }
    bool Finish() override { return true; }
    uint64_t Written() const override { return written_; }

private:
    uint64_t written_ = 0;
};

// `count` zlib chunks of the largest decoded size, all stored as the same small stream.
struct LargestChunks {
    explicit LargestChunks(size_t count) {
        std::vector<uint8_t> plain(MaxDecodedChunk, 'v');
        uLongf length = compressBound(uLong(plain.size()));
        stored.resize(length);
        compress2(stored.data(), &length, plain.data(), uLong(plain.size()), 1);
        stored.resize(length);
        image.dataForkLength = length;
        for (size_t c = 0; c < count; ++c)
            partition.chunks.push_back({UdifZlib, c * (MaxDecodedChunk / 512), MaxDecodedChunk / 512, 0, length});
        partition.sectorCount = count * (MaxDecodedChunk / 512);
    }
    std::vector<uint8_t> stored;
    UdifImage image;
    UdifPartition partition;
};

TEST(DecodeMemory, SixteenWorkersOnTheLargestChunksStayInsideTheBudget) {
#if defined(__SANITIZE_THREAD__) || !defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "counts through AddressSanitizer's allocator";
#endif
    LargestChunks chunks(24);
    MemorySource source(chunks.stored.data(), chunks.stored.size());
    CountingSink sink;
    std::string error;
    static bool hooked = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
    ASSERT_TRUE(hooked);
    Held = Peak = 0, Counting = true;
    DecodeOutcome outcome = DecodeUdifPartition(source, chunks.image, chunks.partition, sink, nullptr, error, 16);
    Counting = false;
    EXPECT_EQ(outcome, DecodeOutcome::Done) << error;
    EXPECT_EQ(sink.Written(), 24 * MaxDecodedChunk);
    EXPECT_LE(uint64_t(Peak), PipelineBudget) << "bytes held at the peak";
    EXPECT_GT(uint64_t(Peak), PipelineBudget / 2) << "bytes held at the peak";  // many chunks at once

    // One sector or one stored byte more than a chunk may have is refused before anything is read.
    chunks.partition.chunks.resize(1);
    chunks.partition.chunks[0].sectors += 1, chunks.partition.sectorCount = chunks.partition.chunks[0].sectors;
    EXPECT_EQ(DecodeUdifPartition(source, chunks.image, chunks.partition, sink, nullptr, error, 16),
              DecodeOutcome::Failed);
    EXPECT_EQ(error, "chunk 0 declares 32769 sectors, more than a chunk may hold (16 MiB)");
    chunks.partition.chunks[0].sectors -= 1, chunks.partition.chunks[0].length = MaxStoredChunk + 1;
    EXPECT_FALSE(CheckUdifPartitionChunks(chunks.partition, error));
    EXPECT_EQ(error, "chunk 0 stores " + std::to_string(MaxStoredChunk + 1) + " bytes, more than a chunk may store");
    EXPECT_EQ(sink.Written(), 24 * MaxDecodedChunk);
}

// A disk image whose every read runs out of memory, as a read into a fresh buffer may.
class StarvedSource : public ByteSource {
public:
    uint64_t Size() const override { return 1 << 30; }
    bool ReadAt(uint64_t, void*, size_t) override { throw std::bad_alloc(); }
};

TEST(DecodeMemory, RunningOutOfMemoryInAnyStageEndsTheRun) {
    for (int stage = 0; stage < 3; ++stage) {
        std::atomic<int> calls[3] = {0, 0, 0};
        auto maybeFail = [&](int s) {
            if (s == stage && ++calls[s] == 5) throw std::bad_alloc();
        };
        PipelineStages stages;
        stages.prepare = [&](size_t, size_t) { return maybeFail(0), true; };
        stages.work = [&](size_t) { maybeFail(1); };
        stages.finish = [&](size_t, size_t) { return maybeFail(2), true; };
        EXPECT_EQ(RunOrdered(20, 4, 10, PipelineBudget, stages), PipelineEnd::OutOfMemory) << "stage " << stage;
    }

    // A partition's run says why it ended.
    LargestChunks chunks(4);
    StarvedSource source;
    CountingSink sink;
    std::string error;
    EXPECT_EQ(DecodeUdifPartition(source, chunks.image, chunks.partition, sink, nullptr, error, 16),
              DecodeOutcome::Failed);
    EXPECT_EQ(error, "there is not enough memory to decode its chunks");
}

}  // namespace
}  // namespace vu
