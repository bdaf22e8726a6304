// The virtual clock: sleeping advances it at once, so fixed waits cost no real time.
#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_state.h"

namespace vu {
namespace {
std::atomic<int64_t> virtualNow{1'000'000};
}

namespace sim {
int64_t Now() { return virtualNow.load(); }
void Advance(int64_t milliseconds) { virtualNow += milliseconds; }
void detail::ResetClock() { virtualNow = 1'000'000; }
}  // namespace sim

namespace plat {
int64_t TickCount() { return virtualNow.load(); }

void Sleep(int milliseconds) {
    if (milliseconds > 0) virtualNow += milliseconds;
    std::this_thread::yield();
}

// One counter tick per microsecond of virtual time.
int64_t PerformanceCounter() { return virtualNow.load() * 1000; }
int64_t PerformanceFrequency() { return 1'000'000; }
}  // namespace plat
}  // namespace vu
