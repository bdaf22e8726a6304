// The chosen Recovery HD entry and its download job; see recovery_download.h.
#include "net/recovery_download.h"

#include <mutex>

#include "core/globals.h"
#include "core/status_bar.h"
#include "net/download_callbacks.h"
#include "net/download_hosts.h"
#include "net/http_download.h"
#include "net/recovery_catalog.h"
#include "platform/files.h"
#include "platform/gui.h"

namespace vu {

namespace {

std::mutex chosenLock;
RecoveryEntry chosen;

}  // namespace

void SetChosenRecoveryEntry(const RecoveryEntry& entry) {
    std::lock_guard<std::mutex> l(chosenLock);
    chosen = entry;
}

RecoveryEntry ChosenRecoveryEntry() {
    std::lock_guard<std::mutex> l(chosenLock);
    return chosen;
}

int32_t RunRecoveryDownload(const RecoveryEntry& entry, const std::string& folder, int32_t maxAttempts) {
    int64_t size = DecimalValue(entry.Size);
    DownloadRequest request;
    request.Url = OnDownloadHost(DownloadHost::Apple, entry.Url);
    request.Destination = DownloadToFile;
    request.ChunkSize = 1048576;
    request.MaxAttempts = maxAttempts;
    request.Cancel = &AbortRequested;
    request.OnOpened = ShowConnecting;
    request.OnProgress = ShowDownloadProgress;
    request.OnDone = [size](DownloadRequest& r, int32_t result, int64_t received, int64_t total, int64_t seconds) {
        ReportDownloadResult(r, result, received, total, seconds);
        // A server may announce and send a length of its own: the catalog's Size decides.
        if (result != WebOk || size <= 0 || received == size) return;
        r.Result = WebFileWriteError;
        std::string text = "Wrong size of " + FilePartOf(r.FileName) + ": " + std::to_string(received) +
                           " bytes received, the catalog names " + std::to_string(size) + " bytes";
        ShowStatus(text, StatusPauseMs);
        plat::MessageBox("Error", text, plat::MbIconWarning);
    };
    request.FileName = folder + RecoveryPackageName;
    HttpDownload(request);
    if (request.Result != WebOk) plat::DeleteFile(request.FileName);
    return request.Result;
}

}  // namespace vu
