// The ordered pipeline; see ordered_pipeline.h.
#include "tools/ordered_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vu {

unsigned PipelineThreads() { return std::clamp(std::thread::hardware_concurrency(), 1u, 16u); }

bool RunOrdered(size_t count, unsigned threads, size_t window, const PipelineStages& stages) {
    threads = std::max(threads, 1u);
    window = std::max<size_t>(window, 1);
    std::mutex lock;
    std::condition_variable toWorkers, toCaller;
    std::deque<size_t> queue;
    std::vector<char> done(window, 0);
    bool stop = false;

    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            std::unique_lock<std::mutex> l(lock);
            for (;;) {
                toWorkers.wait(l, [&] { return stop || !queue.empty(); });
                if (queue.empty()) return;
                size_t slot = queue.front();
                queue.pop_front();
                l.unlock();
                stages.work(slot);
                l.lock();
                done[slot] = 1;
                toCaller.notify_one();
            }
        });

    bool ok = true;
    size_t next = 0, head = 0;
    while (ok && head < count) {
        while (next < count && next - head < window) {
            size_t slot = next % window;
            if (!(ok = stages.prepare(next, slot))) break;
            {
                std::lock_guard<std::mutex> l(lock);
                done[slot] = 0;
                queue.push_back(slot);
            }
            toWorkers.notify_one();
            ++next;
        }
        if (!ok) break;
        size_t slot = head % window;
        {
            std::unique_lock<std::mutex> l(lock);
            toCaller.wait(l, [&] { return done[slot] != 0; });
        }
        ok = stages.finish(head, slot);
        ++head;
    }

    {
        std::lock_guard<std::mutex> l(lock);
        stop = true;
        queue.clear();
    }
    toWorkers.notify_all();
    for (auto& thread : pool) thread.join();
    return ok;
}

}  // namespace vu
