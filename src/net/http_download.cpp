// The HTTP engine; see http_download.h.
#include "net/http_download.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <new>

#include "core/status_bar.h"
#include "net/url_parts.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace vu {

namespace {

constexpr int64_t AutomaticBlockLimit = 8 * 1024 * 1024;
constexpr int64_t UnknownLengthBlock = 65536;

// One call of HttpDownload: the handles of the current attempt, the partial file and the work
// buffer, which live for the whole call.
class Transfer {
public:
    explicit Transfer(DownloadRequest& request) : rq_(request), startMs_(plat::TickCount()) {}

    int32_t Run() {
        int32_t result = Prepare();
        if (result == WebOk) result = Attempts();
        return Finish(result);
    }

private:
    struct Outcome {
        int32_t result;
        bool resume = false;
    };

    bool FileMode() const { return rq_.Destination == DownloadToFile; }
    int64_t Seconds() const { return (plat::TickCount() - startMs_) / 1000; }

    int32_t Prepare() {
        rq_.Received = 0;
        rq_.HttpStatus = 0;
        rq_.Attempt = 0;
        std::string host, scheme;
        if (UrlHost(rq_.Url, host) != UrlPartFound || UrlScheme(rq_.Url, scheme) != UrlPartFound ||
            UrlObject(rq_.Url, object_) != UrlPartFound || !UrlConnectTarget(rq_.Url, rq_.Port, target_))
            return WebBadParameters;
        UrlCredentials(rq_.Url, user_, password_);

        if (rq_.Destination == DownloadToFile) {
            if (rq_.FileName.empty()) return WebBadParameters;
            part_ = PartialFileName(rq_.FileName);
        } else if (rq_.Destination == DownloadToMemory) {
            rq_.Buffer.clear();
        } else {
            return WebBadParameters;
        }
        if (rq_.AccessType == plat::INTERNET_OPEN_TYPE_PROXY && rq_.ProxyName.empty()) return WebBadParameters;

        if (rq_.ChunkSize < 0) rq_.ChunkSize = 0;
        if (rq_.UserAgent.empty()) rq_.UserAgent = DefaultUserAgent;
        if (rq_.RequestFlags == 0) rq_.RequestFlags = DefaultRequestFlags;
        rq_.RequestFlags |= EngineRequestFlags;
        if (target_.secure) rq_.RequestFlags |= plat::INTERNET_FLAG_SECURE;
        if (rq_.Verb.empty()) rq_.Verb = "GET";
        rq_.ResponseHeaders.clear();
        if (rq_.MaxAttempts < 0 || rq_.MaxAttempts > 9999) rq_.MaxAttempts = 9999;
        return WebOk;
    }

    int32_t Attempts() {
        for (;;) {
            Outcome outcome = Attempt();
            if (!outcome.resume) return outcome.result;
            // The resume step: the file, the buffer, the block size and the total stay.
            rq_.Attempt++;
            if (rq_.Attempt > rq_.MaxAttempts) return WebResumeLimit;
            if (rq_.Cancel && *rq_.Cancel) {
                DrawProgressBar(StatusBarGadget, "File " + FilePartOf(rq_.FileName) + " Download aborted", 0);
                return outcome.result;
            }
            CloseHandles();
            int percent = total_ > 0 ? int(std::lround(double(received_) * 100.0 / double(total_))) : 0;
            DrawProgressBar(StatusBarGadget,
                            std::to_string(percent) + "% ERROR, Attempt to resume downloading, #" +
                                std::to_string(rq_.Attempt) + " ...",
                            percent);
            plat::Sleep(1000);
            if (rq_.OnResume && !rq_.OnResume(rq_, outcome.result)) return outcome.result;
        }
    }

    Outcome Attempt() {
        internet_ = plat::InternetOpen(rq_.UserAgent, rq_.AccessType, rq_.ProxyName);
        if (!internet_) return {WebOpenError};
        connection_ = plat::InternetConnect(internet_, target_.host, target_.port);
        if (!connection_) return {WebConnectError};
        if (rq_.AccessType == plat::INTERNET_OPEN_TYPE_PROXY) {
            if ((!rq_.ProxyUser.empty() &&
                 !plat::InternetSetOption(connection_, plat::INTERNET_OPTION_PROXY_USERNAME, rq_.ProxyUser)) ||
                (!rq_.ProxyPassword.empty() &&
                 !plat::InternetSetOption(connection_, plat::INTERNET_OPTION_PROXY_PASSWORD, rq_.ProxyPassword)))
                return {WebProxyOptionError};
        }
        request_ = plat::HttpOpenRequest(connection_, rq_.Verb, object_, rq_.Referrer, rq_.RequestFlags);
        if (!request_) return {WebOpenRequestError};
        constexpr uint32_t addOrReplace = plat::HTTP_ADDREQ_FLAG_ADD | plat::HTTP_ADDREQ_FLAG_REPLACE;
        if (!rq_.Headers.empty() && !plat::HttpAddRequestHeaders(request_, rq_.Headers, addOrReplace))
            return {WebAddHeadersError};
        if (rq_.Attempt >= 1) {
            std::string range = "Range: bytes=" + std::to_string(received_) + "-";
            if (total_ > 0) range += std::to_string(total_ - 1);
            if (!plat::HttpAddRequestHeaders(request_, range, addOrReplace)) return {WebAddHeadersError};
        }

        uint32_t status = 0;
        for (;;) {
            if (!plat::HttpSendRequest(request_, rq_.Body)) return {WebSendRequestError, rq_.Attempt >= 1};
            if (!plat::HttpQueryInfoNumber(request_, plat::HTTP_QUERY_STATUS_CODE | plat::HTTP_QUERY_FLAG_NUMBER,
                                           status))
                return {WebStatusQueryError};
            if (!plat::HttpQueryInfoText(request_, plat::HTTP_QUERY_RAW_HEADERS_CRLF, rq_.ResponseHeaders))
                rq_.ResponseHeaders.clear();
            if (status != 401 || credentialsTried_) break;
            if ((!user_.empty() && !plat::InternetSetOption(connection_, plat::INTERNET_OPTION_USERNAME, user_)) ||
                (!password_.empty() &&
                 !plat::InternetSetOption(connection_, plat::INTERNET_OPTION_PASSWORD, password_)))
                return {WebAuthOptionError};
            credentialsTried_ = true;
        }
        if (status != 200 && status != 206) {
            rq_.HttpStatus = int32_t(status);
            // A refused resume (an access token that expired: 403) goes on only when the caller
            // can act on it before the next attempt; the partial file stays meanwhile.
            return {WebHttpStatusError, rq_.Attempt >= 1 && bool(rq_.OnResume)};
        }
        if (status == 200 && rq_.Attempt >= 1) {
            rq_.HttpStatus = 200;
            return {WebResumeRejected, true};
        }
        if (rq_.Attempt == 0) {
            if (int32_t result = FirstResponse(); result != WebOk) return {result};
        }
        if (rq_.OnOpened) rq_.OnOpened(rq_, request_);
        return ReadBody();
    }

    // The length, the block size, the buffer and the file, once per call.
    int32_t FirstResponse() {
        std::string length;
        total_ = plat::HttpQueryInfoText(request_, plat::HTTP_QUERY_CONTENT_LENGTH, length) ? ParseLength(length) : 0;
        rq_.TotalSize = total_;
        blockSize_ = rq_.ChunkSize != 0                              ? rq_.ChunkSize
                     : total_ >= 1 && total_ <= AutomaticBlockLimit ? total_
                                                                     : UnknownLengthBlock;
        try {
            if (FileMode()) work_.assign(size_t(blockSize_), '\0');
            else rq_.Buffer.assign(size_t(blockSize_), '\0');
        } catch (const std::bad_alloc&) {
            return WebOutOfMemory;
        }
        if (FileMode() && !file_) {
            // A leftover of a run that was killed is replaced.
            file_ = plat::OpenFile(part_, plat::FileMode::Create);
            if (!file_) return WebFileCreateError;
            partMade_ = true;
        }
        return WebOk;
    }

    static int64_t ParseLength(const std::string& text) {
        int64_t value = 0;
        if (text.empty() || text.size() > 18) return 0;
        for (char c : text) {
            if (c < '0' || c > '9') return 0;
            value = value * 10 + (c - '0');
        }
        return value;
    }

    Outcome ReadBody() {
        for (;;) {
            uint32_t n = 0;
            if (FileMode()) {
                if (!plat::InternetReadFile(request_, work_.data(), uint32_t(blockSize_), n))
                    return {WebReadError, true};
                if (n > 0 && (plat::WriteFileData(file_, work_.data(), n) != int64_t(n) ||
                              plat::FileLength(file_) != received_ + n))
                    return {WebFileWriteError};
            } else {
                if (!plat::InternetReadFile(request_, rq_.Buffer.data() + received_, uint32_t(blockSize_), n))
                    return {WebReadError};
            }
            received_ += n;
            if (rq_.OnProgress && n > 0 && !rq_.OnProgress(rq_, received_, total_, Seconds())) return {WebAborted};
            if (!FileMode()) {
                // Room for the next block; a 32-bit process cannot hold what a 64-bit count names.
                uint64_t room = uint64_t(received_ + (n > 0 ? blockSize_ : 0));
                if (room > rq_.Buffer.max_size()) return {WebOutOfMemory};
                try {
                    rq_.Buffer.resize(size_t(room));
                } catch (const std::bad_alloc&) {
                    return {WebOutOfMemory};
                }
            }
            // WinINet reads a connection closed in order before the announced length as the end of
            // the body: to a file that is a dropped connection, resumed as after a reset.
            if (n == 0 && FileMode() && total_ > 0 && received_ < total_) return {WebReadError, true};
            if (n == 0) return {Finished()};
        }
    }

    int32_t Finished() {
        if (FileMode()) {
            bool whole = plat::FileLength(file_) == received_;
            plat::CloseFile(file_);
            file_ = 0;
            if (!whole) return WebFileWriteError;
        }
        rq_.Received = received_;
        // A body beyond its announced length (or, in memory, short of it) is no download.
        if (rq_.TotalSize > 0 && received_ != rq_.TotalSize) return WebFileWriteError;
        if (!FileMode()) return WebOk;
        if (rq_.OnComplete && !rq_.OnComplete(rq_, part_)) return WebFileWriteError;
        // Only a complete body replaces what FileName held, in one step.
        if (!plat::MoveFileOver(part_, rq_.FileName)) return WebFileCreateError;
        partMade_ = false;
        return WebOk;
    }

    void CloseHandles() {
        plat::InternetCloseHandle(request_);
        plat::InternetCloseHandle(connection_);
        plat::InternetCloseHandle(internet_);
        request_ = connection_ = internet_ = 0;
    }

    int32_t Finish(int32_t result) {
        CloseHandles();
        rq_.Result = result;
        if (rq_.OnDone) rq_.OnDone(rq_, result, received_, total_, Seconds());
        if (FileMode()) {
            work_.clear();
            work_.shrink_to_fit();
            if (file_) plat::CloseFile(file_);
            file_ = 0;
            if (partMade_) plat::DeleteFile(part_);
        }
        return result;
    }

    DownloadRequest& rq_;
    int64_t startMs_;
    UrlTarget target_;
    std::string object_, user_, password_, part_;
    int64_t received_ = 0, total_ = 0, blockSize_ = 0;
    bool credentialsTried_ = false, partMade_ = false;
    plat::InternetHandle internet_ = 0, connection_ = 0, request_ = 0;
    plat::FileHandle file_ = 0;
    std::string work_;
};

}  // namespace

int32_t HttpDownload(DownloadRequest& request) { return Transfer(request).Run(); }

std::string PartialFileName(const std::string& fileName) { return fileName + ".part"; }

std::vector<std::string> ResponseHeaderValues(const std::string& headers, const std::string& name) {
    std::vector<std::string> values;
    auto lower = [](std::string text) {
        for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (size_t begin = 0; begin < headers.size();) {
        size_t end = std::min(headers.find("\r\n", begin), headers.size());
        std::string line = headers.substr(begin, end - begin);
        begin = end + 2;
        size_t colon = line.find(':');
        if (colon == std::string::npos || lower(line.substr(0, colon)) != lower(name)) continue;
        size_t value = line.find_first_not_of(" \t", colon + 1);
        values.push_back(value == std::string::npos ? "" : line.substr(value));
    }
    return values;
}

std::string FilePartOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DownloadResultText(const DownloadRequest& request, int32_t result) {
    switch (result) {
        case WebOk: return "#WEB_OK";
        case WebBadParameters: return "Check download procedure parameters";
        case WebOutOfMemory: return "Out of memory";
        case WebAborted: return "Download aborted";
        case WebFileWriteError: return "Error writing to the file " + request.FileName;
        case WebFileCreateError: return "Cannot create the file " + request.FileName;
        case WebHttpStatusError: return "HTTP status code = " + std::to_string(request.HttpStatus);
        case WebOpenError: return "Error initializing Internet API";
        case WebConnectError: return "Error opening the session to the given site";
        case WebProxyOptionError: return "Error setting the options for the proxy server";
        case WebAuthOptionError: return "Error setting the options for basic authentication";
        case WebOpenRequestError: return "Error creating the HTTP request handle";
        case WebSendRequestError: return "Error sending the HTTP request to the server";
        case WebStatusQueryError: return "Error retrieving the HTTP status code";
        case WebAddHeadersError: return "Error add the HTTP Request Hedears";
        case WebReadError: return "Error reading data from the opened session";
        case WebResumeRejected: return "Error HTTP Resume Request";
        case WebResumeLimit: return "The maximum number of attempts to resume download reached";
    }
    return "Unexpected error = " + std::to_string(result);
}

}  // namespace vu
