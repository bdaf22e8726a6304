// The job that downloads a bootloader data-set archive, "CloverISO-<revision>.tar.lzma", from the
// bootloader project's download host into the working folder, with the standard progress on the
// status bar. It runs on a thread of its own while the data-set installation waits for it, under
// the download slot of the format run it belongs to, whose cancel (AbortRequested) stops it.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vu {

class DataSetDownload {
public:
    // Waits up to `milliseconds` (real time) for the job's end; true when it has ended.
    bool WaitFor(int milliseconds);
    // Asks the job to stop at its next block; it then ends with WebAborted.
    void Stop();
    // After the end: the download's result and the file it wrote (deleted again unless WebOk).
    int32_t Result() const;
    std::string FileName() const;

private:
    friend std::shared_ptr<DataSetDownload> StartDataSetDownload(const std::string&, const std::string&, int32_t);
    void Run(const std::string& revision, const std::string& folder, int32_t maxAttempts);

    mutable std::mutex lock_;
    std::condition_variable ended_;
    bool done_ = false, stop_ = false;
    int32_t result_ = 0;
    std::string fileName_;
};

// Starts the download of `revision` (digits) into `folder` (the run's working folder, ending in
// "\"), resuming up to `maxAttempts` times; nullptr when no thread could be started. The caller
// holds the download slot.
std::shared_ptr<DataSetDownload> StartDataSetDownload(const std::string& revision, const std::string& folder,
                                                      int32_t maxAttempts);

}  // namespace vu
