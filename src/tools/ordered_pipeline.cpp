// The ordered pipeline; see ordered_pipeline.h.
#include "tools/ordered_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace vu {

namespace {

enum SlotState : char { Queued, Worked, OutOfMemory };

}  // namespace

unsigned PipelineThreads() { return std::clamp(std::thread::hardware_concurrency(), 1u, 16u); }

PipelineEnd RunOrdered(size_t count, unsigned threads, size_t window, uint64_t budget, const PipelineStages& stages) {
    threads = std::max(threads, 1u);
    window = std::max<size_t>(window, 1);
    std::mutex lock;
    std::condition_variable toWorkers, toCaller;
    std::deque<size_t> queue;
    std::vector<char> state(window, Queued);
    std::vector<uint64_t> slotBytes(window, 0);
    bool stop = false;

    // A worker outlives nothing it uses: every exit below joins the pool first.
    auto worker = [&] {
        std::unique_lock<std::mutex> l(lock);
        for (;;) {
            toWorkers.wait(l, [&] { return stop || !queue.empty(); });
            if (queue.empty()) return;
            size_t slot = queue.front();
            queue.pop_front();
            l.unlock();
            char outcome = Worked;
            try {
                stages.work(slot);
            } catch (const std::bad_alloc&) {
                outcome = OutOfMemory;
            }
            l.lock();
            state[slot] = outcome;
            toCaller.notify_one();
        }
    };
    std::vector<std::thread> pool;
    try {
        pool.reserve(threads);
        for (unsigned t = 0; t < threads; ++t) pool.emplace_back(worker);
    } catch (const std::system_error&) {  // fewer threads than asked for still do the work
    } catch (const std::bad_alloc&) {
    }
    if (pool.empty()) return PipelineEnd::OutOfMemory;

    PipelineEnd end = PipelineEnd::Done;
    size_t next = 0, head = 0;
    uint64_t held = 0;
    try {
        while (end == PipelineEnd::Done && head < count) {
            while (next < count && next - head < window) {
                uint64_t bytes = stages.bytes ? stages.bytes(next) : 0;
                if (next > head && bytes > budget - std::min(held, budget)) break;
                size_t slot = next % window;
                if (!stages.prepare(next, slot)) {
                    end = PipelineEnd::Stopped;
                    break;
                }
                held += bytes, slotBytes[slot] = bytes;
                {
                    std::lock_guard<std::mutex> l(lock);
                    state[slot] = Queued;
                    queue.push_back(slot);
                }
                toWorkers.notify_one();
                ++next;
            }
            if (end != PipelineEnd::Done) break;
            size_t slot = head % window;
            char outcome;
            {
                std::unique_lock<std::mutex> l(lock);
                toCaller.wait(l, [&] { return state[slot] != Queued; });
                outcome = state[slot];
            }
            if (outcome == OutOfMemory) {
                end = PipelineEnd::OutOfMemory;
                break;
            }
            if (!stages.finish(head, slot)) end = PipelineEnd::Stopped;
            held -= slotBytes[slot];
            ++head;
        }
    } catch (const std::bad_alloc&) {
        end = PipelineEnd::OutOfMemory;
    }

    {
        std::lock_guard<std::mutex> l(lock);
        stop = true;
        queue.clear();
    }
    toWorkers.notify_all();
    for (auto& thread : pool) thread.join();
    return end;
}

}  // namespace vu
