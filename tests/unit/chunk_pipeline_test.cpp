// The overlapped chunk loop of partition transfers (the next chunk is read while the last is handed
// on), and the choice of the MBR entry that a restore rewrites.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "core/globals.h"
#include "images/chunk_pipeline.h"
#include "images/mbr_entry.h"

namespace vu {
namespace {

constexpr int64_t Chunk = TransferChunkBytes;

struct Buffers {
    ChunkBuffer a{Chunk}, b{Chunk};
};

TEST(ChunkPipeline, ReadsTheNextChunkWhileTheLastIsHandedOn) {
    Buffers buffers;
    std::mutex lock;
    std::condition_variable changed;
    int64_t readUpTo = 0;  // end of the last chunk whose read has started
    std::vector<std::pair<int64_t, int64_t>> handed;
    ChunkSteps steps;
    steps.read = [&](uint8_t*, int64_t offset, int64_t length) {
        std::lock_guard<std::mutex> l(lock);
        readUpTo = offset + length;
        changed.notify_all();
        return ChunkIo{true, length, 0};
    };
    steps.hand = [&](const uint8_t*, int64_t offset, int64_t length) {
        std::unique_lock<std::mutex> l(lock);
        // Handing a chunk on must not hold the next read back: it has started by now, or soon.
        bool overlapped = offset + length == 3 * Chunk + 512 ||
                          changed.wait_for(l, std::chrono::seconds(10), [&] { return readUpTo > offset + length; });
        handed.emplace_back(offset, length);
        return ChunkIo{overlapped, length, 0};
    };
    AbortRequested = 0;
    ChunkRun run = RunChunks(512, 3 * Chunk + 512, steps, buffers.a.data(), buffers.b.data());
    EXPECT_EQ(run.stop, ChunkStop::Complete);
    EXPECT_EQ(run.bytesRead, 3 * Chunk);
    EXPECT_EQ(handed, (std::vector<std::pair<int64_t, int64_t>>{{512, Chunk}, {Chunk + 512, Chunk}, {2 * Chunk + 512, Chunk}}));
}

// Only a primary entry of an MBR disk that starts at the partition's first sector is rewritten;
// the fixed offset 0x1BE + 16 x (n - 1) would hit the boot signature from the fifth partition on.
TEST(MbrEntry, OnlyAPrimaryEntryOfAnMbrDiskIsRewritten) {
    auto sector = [](std::initializer_list<std::pair<uint8_t, uint32_t>> entries) {
        std::vector<uint8_t> s(512, 0);
        s[510] = 0x55, s[511] = 0xAA;
        int i = 0;
        for (auto [type, start] : entries) {
            uint8_t* e = &s[MbrTableOffset + 16 * i++];
            e[4] = type;
            for (int b = 0; b < 4; ++b) e[8 + b] = uint8_t(start >> (8 * b)), e[12 + b] = 0x10;
        }
        return s;
    };
    auto mbr = sector({{0x0C, 2048}, {0x05, 40000}, {0x07, 90000}});
    EXPECT_EQ(PlanMbrEntryUpdate(mbr.data(), 2048).index, 0);
    EXPECT_EQ(PlanMbrEntryUpdate(mbr.data(), 90000).index, 2);
    EXPECT_EQ(PlanMbrEntryUpdate(mbr.data(), 40063).verdict, MbrEntryVerdict::NotPrimary);  // a logical one
    EXPECT_EQ(PlanMbrEntryUpdate(sector({{0xEE, 1}}).data(), 1).verdict, MbrEntryVerdict::GptDisk);
    mbr[511] = 0;
    EXPECT_EQ(PlanMbrEntryUpdate(mbr.data(), 2048).verdict, MbrEntryVerdict::NoTable);

    mbr = sector({{0x0C, 2048}, {0x07, 90000}});
    auto before = mbr;
    ApplyMbrEntryUpdate(mbr.data(), 1, 0x01020304);
    before[MbrTableOffset + 16 + 4] = 0xAF;
    for (int b = 0; b < 4; ++b) before[MbrTableOffset + 16 + 12 + b] = uint8_t(4 - b);
    EXPECT_EQ(mbr, before);
}

}  // namespace
}  // namespace vu
