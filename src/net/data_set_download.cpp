// The data-set archive download; see data_set_download.h.
#include "net/data_set_download.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "core/globals.h"
#include "net/download_callbacks.h"
#include "net/http_download.h"
#include "net/revision_check.h"

namespace vu {

bool DataSetDownload::WaitFor(int milliseconds) {
    std::unique_lock<std::mutex> l(lock_);
    return ended_.wait_for(l, std::chrono::milliseconds(milliseconds), [this] { return done_; });
}

void DataSetDownload::Stop() {
    std::lock_guard<std::mutex> l(lock_);
    stop_ = true;
}

int32_t DataSetDownload::Result() const {
    std::lock_guard<std::mutex> l(lock_);
    return result_;
}

std::string DataSetDownload::FileName() const {
    std::lock_guard<std::mutex> l(lock_);
    return fileName_;
}

void DataSetDownload::Run(const std::string& revision, const std::string& folder, int32_t maxAttempts) {
    DownloadRequest request;
    request.Url = CloverArchiveAddress(revision);
    request.Destination = DownloadToFile;
    request.ChunkSize = 524288;
    request.MaxAttempts = maxAttempts;
    request.Cancel = &AbortRequested;
    request.OnOpened = ShowConnecting;
    request.OnProgress = [this](DownloadRequest& r, int64_t received, int64_t total, int64_t seconds) {
        {
            std::lock_guard<std::mutex> l(lock_);
            if (stop_) return false;
        }
        return ShowDownloadProgress(r, received, total, seconds);
    };
    request.OnDone = ReportDownloadResult;
    request.FileName = folder + "CloverISO-" + revision + ".tar.lzma";
    HttpDownload(request);
    std::lock_guard<std::mutex> l(lock_);
    result_ = request.Result;
    fileName_ = request.FileName;
    done_ = true;
    ended_.notify_all();
}

std::shared_ptr<DataSetDownload> StartDataSetDownload(const std::string& revision, const std::string& folder,
                                                      int32_t maxAttempts) {
    auto job = std::shared_ptr<DataSetDownload>(new DataSetDownload);
    try {
        std::thread([job, revision, folder, maxAttempts] { job->Run(revision, folder, maxAttempts); }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    return job;
}

}  // namespace vu
