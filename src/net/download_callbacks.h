// The three standard callbacks of a download: they put its state on the main window's status
// bar and report a failure in a message box. Run on the download's thread.
#pragma once
#include <cstdint>
#include <string>

#include "net/http_download.h"

namespace vu {

// OnOpened: "Connecting ... Wait Please" at 0 %.
void ShowConnecting(DownloadRequest& request, plat::InternetHandle requestHandle);

// OnProgress: "42% file.zip (4.2 MB/10 MB) 1.4 MB/s Remain: 4 s " with the bar at the percent;
// false (stop) once the request's Cancel flag is set.
bool ShowDownloadProgress(DownloadRequest& request, int64_t received, int64_t total, int64_t seconds);

// OnDone: after a 3-second pause clears the bar; a failure is shown for two seconds and then in
// a message box ("Information" for an abort, "Error" for the rest).
void ReportDownloadResult(DownloadRequest& request, int32_t result, int64_t received, int64_t total,
                          int64_t seconds);

// The progress line of ShowDownloadProgress. Without an announced total the bar stays at 0 and
// the total and the remaining time read "Unknown"; so does the remaining time while the speed is
// below one byte per second.
struct DownloadProgress {
    std::string text;
    int percent = 0;
};
DownloadProgress DownloadProgressLine(const std::string& fileName, int64_t received, int64_t total, int64_t seconds);

}  // namespace vu
