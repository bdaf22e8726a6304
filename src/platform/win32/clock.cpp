// The seam's clock over the Windows tick count and performance counter. Callable from any thread.
#include <windows.h>

#include "platform/clock.h"

namespace vu::plat {

int64_t TickCount() { return int64_t(GetTickCount64()); }

void Sleep(int milliseconds) { ::Sleep(milliseconds > 0 ? DWORD(milliseconds) : 0); }

int64_t PerformanceCounter() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

int64_t PerformanceFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace vu::plat
