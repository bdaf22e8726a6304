// The seam's clock: millisecond ticks and sleeping. The simulated PC runs a virtual clock, so
// the program's fixed pauses cost no real time in tests. Callable from any thread.
#pragma once
#include <cstdint>

namespace vu::plat {

int64_t TickCount();          // milliseconds since an arbitrary start
void Sleep(int milliseconds);
// High-resolution counter and its frequency (ticks per second).
int64_t PerformanceCounter();
int64_t PerformanceFrequency();

}  // namespace vu::plat
