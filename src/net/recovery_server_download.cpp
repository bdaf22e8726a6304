// The exchanges with Apple's recovery server; see recovery_server_download.h.
#include "net/recovery_server_download.h"

#include <cctype>
#include <cstdlib>
#include <random>

#include "core/globals.h"
#include "core/status_bar.h"
#include "net/download_callbacks.h"
#include "net/download_hosts.h"
#include "net/http_download.h"
#include "platform/gui.h"

namespace vu {

namespace {

constexpr size_t MaxChunklistBytes = 1 << 20;
constexpr size_t MaxApiAnswerBytes = 64 * 1024;
constexpr uint64_t MaxImagePartBytes = 16 << 20;

DownloadRequest ServerRequest(const std::string& url, const std::string& label, const std::string& cookie) {
    DownloadRequest request;
    request.Url = url;
    request.UserAgent = RecoveryUserAgent;
    request.Headers = "Connection: close";
    if (!cookie.empty()) request.Headers += "\r\nCookie: " + cookie;
    request.Destination = DownloadToMemory;
    request.MaxAttempts = 10;
    request.Cancel = &AbortRequested;  // the Download Center's "Cancel DL"
    request.OnOpened = ShowConnecting;
    request.FileName = label;
    return request;
}

void ReportError(const std::string& text) {
    ShowStatus(text, StatusPauseMs);
    plat::MessageBox("Error", text, plat::MbIconWarning);
}

std::string ServerName() { return "Apple's recovery server (" + HostName(DownloadHost::Recovery) + ")"; }

// A small body into memory, at most `limit` bytes. WebOk, or the result once its failure was
// reported. A refusal of the API host with 403 is reported as what it usually means, any other
// refusal status with `refused` when that is given.
int32_t FetchSmall(DownloadRequest& request, size_t limit, bool apiHost, const std::string& refused = "") {
    bool tooLarge = false;
    request.OnProgress = [&](DownloadRequest& r, int64_t received, int64_t total, int64_t seconds) {
        if (uint64_t(received) > limit) return !(tooLarge = true);
        return ShowDownloadProgress(r, received, total, seconds);
    };
    int32_t result = HttpDownload(request);
    if (result == WebOk) return result;
    if (tooLarge) {
        ReportError(FilePartOf(request.FileName) + " is larger than " + std::to_string(limit) + " bytes");
    } else if (apiHost && result == WebHttpStatusError && request.HttpStatus == 403) {
        ReportError(ServerName() + " refused the request (HTTP status code = 403): the network may block "
                    "Apple's recovery server.");
    } else if (!refused.empty() && result == WebHttpStatusError) {
        ReportError(refused + " (HTTP status code = " + std::to_string(request.HttpStatus) + ")");
    } else {
        ReportDownloadResult(request, result, 0, 0, 0);
    }
    return tooLarge ? WebFileWriteError : result;
}

std::string TokenCookie(const std::string& token) { return "AssetToken=" + token; }

// A cancel the engine cannot see: the session's answer has no body to report progress on.
bool CancelledBetweenSteps() {
    if (!AbortRequested) return false;
    DownloadRequest label;
    ReportDownloadResult(label, WebAborted, 0, 0, 0);
    return true;
}

}  // namespace

bool AskRecoveryServer(const RecoveryBoard& board, RecoveryAnswer& answer) {
    DrawProgressBar(StatusBarGadget, "Asking " + ServerName() + " for " + board.macOs + " ...", 0);
    DownloadRequest session = ServerRequest(HostAddress(DownloadHost::Recovery, "/"), "Recovery server session", "");
    if (FetchSmall(session, MaxApiAnswerBytes, true) != WebOk || CancelledBetweenSteps()) return false;
    std::string cookie = SessionCookie(ResponseHeaderValues(session.ResponseHeaders, "Set-Cookie"));
    if (cookie.empty()) {
        ReportError(ServerName() + " gave no session");
        return false;
    }

    std::random_device seed;
    std::mt19937 random(seed());
    DownloadRequest info = ServerRequest(HostAddress(DownloadHost::Recovery, RecoveryImageInfoPath),
                                         "Recovery image of " + std::string(board.macOs), cookie);
    info.Verb = "POST";
    info.Headers += "\r\nContent-Type: text/plain";
    info.Body = RecoveryImageRequestBody(board, [&random] { return uint32_t(random()); });
    if (FetchSmall(info, MaxApiAnswerBytes, true, ServerName() + " has no recovery image for the board-id " +
                                                     board.boardId) != WebOk)
        return false;
    std::string error;
    if (!ParseRecoveryAnswer(info.Buffer, answer, error)) {
        ReportError("The answer of " + ServerName() + " for the board-id " + board.boardId +
                    " cannot be used: " + error);
        return false;
    }
    return true;
}

bool FetchRecoveryChunklist(const RecoveryAnswer& answer, std::string& bytes) {
    DownloadRequest request =
        ServerRequest(answer.CU, ServedFileName(answer.CU, "BaseSystem.chunklist"), TokenCookie(answer.CT));
    if (FetchSmall(request, MaxChunklistBytes, false) != WebOk) return false;
    bytes = std::move(request.Buffer);
    return true;
}

bool FetchRecoveryImagePart(const RecoveryAnswer& answer, uint64_t first, uint64_t last, std::string& bytes,
                            uint64_t& length) {
    std::string label = ServedFileName(answer.AU, "BaseSystem.dmg") + "'s partition table";
    if (last < first || last - first >= MaxImagePartBytes) {
        ReportError(label + " is larger than " + std::to_string(MaxImagePartBytes) + " bytes");
        return false;
    }
    DownloadRequest request = ServerRequest(answer.AU, label, TokenCookie(answer.AT));
    request.Headers += "\r\nRange: bytes=" + std::to_string(first) + "-" + std::to_string(last);
    if (FetchSmall(request, size_t(last - first + 1), false) != WebOk) return false;
    if (request.Buffer.size() != last - first + 1) {
        ReportError("The server sent " + std::to_string(request.Buffer.size()) + " bytes of " + label +
                    " for a range of " + std::to_string(last - first + 1));
        return false;
    }
    bytes = std::move(request.Buffer);
    // "Content-Range: bytes <first>-<last>/<length>"
    std::vector<std::string> ranges = ResponseHeaderValues(request.ResponseHeaders, "Content-Range");
    size_t slash = ranges.empty() ? std::string::npos : ranges[0].rfind('/');
    length = slash == std::string::npos ? 0 : std::strtoull(ranges[0].c_str() + slash + 1, nullptr, 10);
    return true;
}

int32_t FetchRecoveryImage(const RecoveryBoard& board, RecoveryAnswer& answer, const std::string& fileName,
                           int32_t maxAttempts) {
    DownloadRequest request = ServerRequest(answer.AU, fileName, TokenCookie(answer.AT));
    request.Destination = DownloadToFile;
    request.ChunkSize = 1048576;
    request.MaxAttempts = maxAttempts;
    request.OnProgress = ShowDownloadProgress;
    bool renewalReported = false;
    request.OnDone = [&](DownloadRequest& r, int32_t result, int64_t received, int64_t total, int64_t seconds) {
        if (!renewalReported) ReportDownloadResult(r, result, received, total, seconds);
    };
    request.OnResume = [&](DownloadRequest& r, int32_t pending) {
        if (pending != WebHttpStatusError) return true;
        if (r.HttpStatus != 403) return false;
        // The token expired: a new session and answer give a new one for the same image.
        ShowStatus("Asking " + ServerName() + " for a new token ...", 0);
        RecoveryAnswer renewed;
        renewalReported = true;
        if (!AskRecoveryServer(board, renewed)) return false;
        if (renewed.AU != answer.AU) {
            ReportError(ServerName() + " now serves another image for the board-id " + board.boardId +
                        ": start the download again");
            return false;
        }
        renewalReported = false;
        answer = renewed;
        r.Headers = ServerRequest(answer.AU, fileName, TokenCookie(answer.AT)).Headers;
        return true;
    };
    return HttpDownload(request);
}

std::string ServedFileName(const std::string& url, const std::string& fallback) {
    std::string path = url.substr(0, url.find_first_of("?#"));
    std::string name = path.substr(path.find_last_of('/') + 1);
    bool plain = !name.empty() && name.size() <= 64 && name[0] != '.' && url.find("://") != std::string::npos &&
                 path.find_last_of('/') > url.find("://") + 2;
    for (char c : name)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_');
    return plain ? name : fallback;
}

}  // namespace vu
