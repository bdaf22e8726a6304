// Items through three stages: prepared on the calling thread in order (reading their input),
// worked on by a pool of threads in any order (decoding, hashing), finished on the calling
// thread in order (writing, checking). At most `window` items are between prepare and finish, so
// memory stays bounded by what that many items hold, whatever the count.
#pragma once
#include <cstddef>
#include <functional>

namespace vu {

struct PipelineStages {
    // Each gets the item's index and its slot (index % window), which the caller's own per-slot
    // state is kept under. prepare or finish returning false stops the run.
    std::function<bool(size_t index, size_t slot)> prepare;
    std::function<void(size_t slot)> work;
    std::function<bool(size_t index, size_t slot)> finish;
};

// Runs `count` items on `threads` workers. False as soon as a stage stopped the run; the workers
// have finished their current items and are joined before it returns.
bool RunOrdered(size_t count, unsigned threads, size_t window, const PipelineStages& stages);

// The threads a decoding pipeline uses: every core, at most 16.
unsigned PipelineThreads();

}  // namespace vu
