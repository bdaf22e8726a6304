// The standard download callbacks; see download_callbacks.h.
#include "net/download_callbacks.h"

#include <algorithm>
#include <cmath>

#include "core/status_bar.h"
#include "core/transfer_progress.h"
#include "platform/clock.h"
#include "platform/gui.h"

namespace vu {

DownloadProgress DownloadProgressLine(const std::string& fileName, int64_t received, int64_t total, int64_t seconds) {
    DownloadProgress line;
    if (total > 0) line.percent = int(std::lround(double(received) * 100.0 / double(total)));
    std::string text = FilePartOf(fileName) + " (" + SizeText(received, 1) + "/" +
                       (total != 0 ? SizeText(total, 1) : std::string("Unknown")) + ")";
    if (seconds > 0) {
        int64_t speed = received / seconds;
        text += " " + SizeText(speed, 1) + "/s Remain: " +
                (total > 0 && speed > 0 ? DurationText(std::max<int64_t>(total - received, 0) / speed)
                                        : std::string("Unknown"));
    }
    line.text = std::to_string(line.percent) + "% " + text;
    return line;
}

void ShowConnecting(DownloadRequest&, plat::InternetHandle) {
    DrawProgressBar(StatusBarGadget, "Connecting ... Wait Please", 0);
}

bool ShowDownloadProgress(DownloadRequest& request, int64_t received, int64_t total, int64_t seconds) {
    DownloadProgress line = DownloadProgressLine(request.FileName, received, total, seconds);
    DrawProgressBar(StatusBarGadget, line.text, line.percent);
    if (request.Cancel && *request.Cancel) {
        DrawProgressBar(StatusBarGadget, "File " + FilePartOf(request.FileName) + " Download aborted", 0);
        return false;
    }
    return true;
}

void ReportDownloadResult(DownloadRequest& request, int32_t result, int64_t, int64_t, int64_t) {
    plat::Sleep(3000);
    DrawProgressBar(StatusBarGadget, "", 0);
    if (result == WebOk) return;
    std::string text = DownloadResultText(request, result);
    ShowStatus(text, StatusPauseMs);
    if (result == WebAborted) plat::MessageBox("Information", text, plat::MbIconInformation);
    else plat::MessageBox("Error", text, plat::MbIconWarning);
}

}  // namespace vu
