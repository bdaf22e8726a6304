// Only one download job runs at a time: DownloadBusy is the slot, claimed by whoever starts a job
// (the revision check, a format run that downloads its data set, the Download Center's jobs and
// list updates) and freed when the job ends. Callable from any thread.
#pragma once
#include <atomic>
#include <cstdint>

#include "core/operations.h"

namespace vu {

// Takes the slot when it is free; false while another job holds it.
bool ClaimDownloadBusy();
// Frees the slot.
void ReleaseDownloadBusy();

// Waits up to `milliseconds` of the platform clock for the slot and takes it; false when it stayed
// taken or `cancel` was set meanwhile.
bool WaitForDownloadSlot(int milliseconds, const std::atomic<int32_t>& cancel);

// Main thread: starts job(argument) on a thread of its own, with the settings copied now, when
// the slot is free, and frees the slot when the job returns (the job must not free it itself).
// The job's cancel is DownloadAbortRequested, cleared here. False (nothing started) while another
// job runs.
bool StartDownloadJob(Job job, int argument);

}  // namespace vu
