// The download slot; see download_jobs.h.
#include "net/download_jobs.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "core/globals.h"

namespace vu {

bool ClaimDownloadBusy() {
    intptr_t free = 0;
    return DownloadBusy.compare_exchange_strong(free, 1);
}

void ReleaseDownloadBusy() { DownloadBusy = 0; }

bool WaitAndClaimDownloadBusy(int milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!ClaimDownloadBusy()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool StartDownloadJob(void (*job)(int), int argument) {
    if (!job || !ClaimDownloadBusy()) return false;
    try {
        std::thread([job, argument] {
            job(argument);
            ReleaseDownloadBusy();
        }).detach();
    } catch (const std::system_error&) {
        ReleaseDownloadBusy();
        return false;
    }
    return true;
}

}  // namespace vu
