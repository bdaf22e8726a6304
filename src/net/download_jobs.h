// Only one download job runs at a time: DownloadBusy is the slot, claimed by whoever starts a job
// (the revision check, the data-set download, the Download Center's jobs and list updates) and
// freed when the job ends. Callable from any thread.
#pragma once

namespace vu {

// Takes the slot when it is free; false while another job holds it.
bool ClaimDownloadBusy();
// Frees the slot.
void ReleaseDownloadBusy();
// Waits up to `milliseconds` (real time) for the slot and takes it; false when it stayed taken.
bool WaitAndClaimDownloadBusy(int milliseconds);

// Starts job(argument) on a thread of its own when the slot is free, and frees the slot when the
// job returns (the job must not free it itself). False (nothing started) while another job runs.
bool StartDownloadJob(void (*job)(int), int argument);

}  // namespace vu
