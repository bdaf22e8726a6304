// Items through three stages: prepared on the calling thread in order (reading their input),
// worked on by a pool of threads in any order (decoding, hashing), finished on the calling
// thread in order (writing, checking). Memory is bounded in bytes, not by the number of cores:
// an item is prepared only while at most `window` items and `budget` bytes are between prepare
// and finish together with it, whatever the count of items or threads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace vu {

struct PipelineStages {
    // The bytes item `index` holds from its prepare to its finish: its buffers, which prepare or
    // work allocate and finish frees (what a caller keeps beyond that is its own to bound), and
    // its decoder's working memory.
    std::function<uint64_t(size_t index)> bytes;
    // Each gets the item's index and its slot (index % window), which the caller's own per-slot
    // state is kept under. prepare or finish returning false stops the run.
    std::function<bool(size_t index, size_t slot)> prepare;
    std::function<void(size_t slot)> work;
    std::function<bool(size_t index, size_t slot)> finish;
};

// What the items of one run may hold together: a 32-bit process has 2 GiB of address space, and
// a machine with many cores must not turn that into a thread count times the largest item.
constexpr uint64_t PipelineBudget = 256ull << 20;

enum class PipelineEnd { Done, Stopped, OutOfMemory };

// Runs `count` items on `threads` workers. Stopped as soon as prepare or finish returned false;
// OutOfMemory when a stage threw std::bad_alloc or no worker thread could be started. Workers
// finish their current items and are joined before it returns. An item larger than the budget
// waits until it is the only one in flight.
PipelineEnd RunOrdered(size_t count, unsigned threads, size_t window, uint64_t budget, const PipelineStages& stages);

// The threads a decoding pipeline uses: every core, at most 16.
unsigned PipelineThreads();

}  // namespace vu
