// The download slot; see download_jobs.h.
#include "net/download_jobs.h"

#include <system_error>
#include <thread>

#include "core/globals.h"
#include "platform/clock.h"

namespace vu {

bool ClaimDownloadBusy() {
    intptr_t free = 0;
    return DownloadBusy.compare_exchange_strong(free, 1);
}

void ReleaseDownloadBusy() { DownloadBusy = 0; }

bool WaitForDownloadSlot(int milliseconds, const std::atomic<int32_t>& cancel) {
    int64_t deadline = plat::TickCount() + milliseconds;
    while (!ClaimDownloadBusy()) {
        if (cancel || plat::TickCount() >= deadline) return false;
        plat::Sleep(100);
    }
    return true;
}

bool StartDownloadJob(Job job, int argument) {
    if (!job || !ClaimDownloadBusy()) return false;
    DownloadAbortRequested = 0;
    try {
        std::thread([job, argument, settings = CopySettings()] {
            job(argument, settings);
            ReleaseDownloadBusy();
        }).detach();
    } catch (const std::system_error&) {
        ReleaseDownloadBusy();
        return false;
    }
    return true;
}

}  // namespace vu
