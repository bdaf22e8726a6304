// The HTTP client of the simulated PC: a real client over libcurl behind WinINet's calls, so the
// program's download engine talks to real servers in tests. Each request drives its own curl
// multi handle: HttpSendRequest runs the transfer until the final response's headers are in
// (following redirects, as WinINet does), InternetReadFile runs it until the caller's buffer is
// full or the body ends. WinINet's habits that the engine relies on are kept: a body that ends
// early on an orderly close reads as its end, a reset connection fails the read (after the bytes
// that did arrive), credentials set on the connection answer the next send with basic
// authentication, and a receive that stalls for 30 seconds fails as WinINet's default time-out does.
// Like WinINet with the engine's flags it keeps no cookies and no cache; the flags each request
// was opened with are recorded for the tests (sim::OpenedRequestFlags).
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <variant>
#include <vector>

#include "platform/internet.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_state.h"

namespace vu::plat {

namespace {

struct Session {
    std::string agent, proxy;
    int32_t accessType = INTERNET_OPEN_TYPE_PRECONFIG;
};

struct Connection {
    std::shared_ptr<Session> session;
    std::string host;
    int32_t port = 0;
    std::string user, password, proxyUser, proxyPassword;
};

struct Request {
    std::shared_ptr<Connection> connection;
    std::string verb, object, referrer;
    uint32_t flags = 0;
    std::vector<std::string> headers;  // "Name: value", as added
    std::string body;                  // of the last send

    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    bool headersDone = false, done = false;
    CURLcode code = CURLE_OK;
    long status = 0;
    bool locationSeen = false;
    std::map<std::string, std::string> responseHeaders;  // of the final response, lower-case names
    std::string rawHeaders;                               // the same as received, "\r\n" after each line
    std::string pending;                                  // body bytes not read yet
    size_t pendingStart = 0;

    ~Request() { EndTransfer(); }

    void EndTransfer() {
        if (easy) {
            curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
            easy = nullptr;
        }
        if (multi) curl_multi_cleanup(multi), multi = nullptr;
        if (headerList) curl_slist_free_all(headerList), headerList = nullptr;
        headersDone = done = locationSeen = false;
        code = CURLE_OK;
        status = 0;
        responseHeaders.clear();
        rawHeaders.clear();
        pending.clear();
        pendingStart = 0;
    }
};

using Object = std::variant<std::shared_ptr<Session>, std::shared_ptr<Connection>, std::shared_ptr<Request>>;

struct Handles {
    std::mutex lock;
    std::map<InternetHandle, Object> objects;
    InternetHandle next = 1;
    std::vector<uint32_t> openedFlags;
};

Handles& H() {
    static Handles handles;
    return handles;
}

InternetHandle Add(Object object) {
    std::lock_guard<std::mutex> l(H().lock);
    InternetHandle handle = H().next++;
    H().objects.emplace(handle, std::move(object));
    return handle;
}

template <typename T>
std::shared_ptr<T> Find(InternetHandle handle) {
    std::lock_guard<std::mutex> l(H().lock);
    auto it = H().objects.find(handle);
    if (it == H().objects.end()) return nullptr;
    auto* object = std::get_if<std::shared_ptr<T>>(&it->second);
    return object ? *object : nullptr;
}

void InitCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n"), end = text.find_last_not_of(" \t\r\n");
    return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

size_t OnHeader(char* data, size_t size, size_t count, void* context) {
    auto& r = *static_cast<Request*>(context);
    std::string line = Trim(std::string(data, size * count));
    if (line.rfind("HTTP/", 0) == 0) {
        r.responseHeaders.clear();
        r.rawHeaders.clear();
        r.locationSeen = false;
        size_t blank = line.find(' ');
        r.status = blank == std::string::npos ? 0 : std::strtol(line.c_str() + blank + 1, nullptr, 10);
    } else if (line.empty()) {
        // The end of one response's headers: the last one unless curl goes on to another.
        bool interim = r.status >= 100 && r.status < 200;
        if (!interim && !(IsRedirect(r.status) && r.locationSeen)) r.headersDone = true;
    } else if (size_t colon = line.find(':'); colon != std::string::npos) {
        std::string name = Lower(Trim(line.substr(0, colon)));
        r.responseHeaders[name] = Trim(line.substr(colon + 1));
        if (name == "location") r.locationSeen = true;
    }
    // As WinINet gives them: the blank line that ends them included.
    r.rawHeaders += line + "\r\n";
    return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* context) {
    auto& r = *static_cast<Request*>(context);
    r.headersDone = true;
    r.pending.append(data, size * count);
    return size * count;
}

// One round of the transfer: whatever can move now, then a wait for the socket when nothing did.
void Pump(Request& r) {
    size_t before = r.pending.size();
    bool hadHeaders = r.headersDone;
    int running = 0;
    if (curl_multi_perform(r.multi, &running) != CURLM_OK) {
        r.done = true;
        r.code = CURLE_RECV_ERROR;
        return;
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(r.multi, &left)) {
        if (message->msg == CURLMSG_DONE) {
            r.done = true;
            r.code = message->data.result;
        }
    }
    bool moved = r.pending.size() != before || r.headersDone != hadHeaders;
    if (!moved && !r.done) curl_multi_poll(r.multi, nullptr, 0, 1000, nullptr);
}

// The header line's name, lower-case ("range" for "Range: bytes=0-").
std::string HeaderName(const std::string& line) { return Lower(Trim(line.substr(0, line.find(':')))); }

std::string Address(const Request& r) {
    const Connection& c = *r.connection;
    std::string host = c.host.find(':') != std::string::npos && c.host[0] != '[' ? "[" + c.host + "]" : c.host;
    std::string scheme = r.flags & INTERNET_FLAG_SECURE ? "https://" : "http://";
    return scheme + host + ":" + std::to_string(c.port) + r.object;
}

bool StartTransfer(Request& r) {
    r.EndTransfer();
    r.multi = curl_multi_init();
    r.easy = curl_easy_init();
    if (!r.multi || !r.easy) return false;
    const Connection& c = *r.connection;
    const Session& s = *c.session;
    CURL* e = r.easy;
    curl_easy_setopt(e, CURLOPT_URL, Address(r).c_str());
    if (r.verb == "POST" || !r.body.empty()) {
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE, long(r.body.size()));
        curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, r.body.c_str());
        // WinINet sends no type of its own and never waits for "100 Continue".
        bool typed = std::any_of(r.headers.begin(), r.headers.end(),
                                 [](const std::string& h) { return HeaderName(h) == "content-type"; });
        if (!typed) r.headerList = curl_slist_append(r.headerList, "Content-Type:");
        r.headerList = curl_slist_append(r.headerList, "Expect:");
    }
    if (r.verb != "GET" && r.verb != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, r.verb.c_str());
    curl_easy_setopt(e, CURLOPT_USERAGENT, s.agent.c_str());
    if (!r.referrer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, r.referrer.c_str());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 60L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, 30L);
    for (const auto& header : r.headers) r.headerList = curl_slist_append(r.headerList, header.c_str());
    if (r.flags & INTERNET_FLAG_PRAGMA_NOCACHE) r.headerList = curl_slist_append(r.headerList, "Pragma: no-cache");
    if (r.headerList) curl_easy_setopt(e, CURLOPT_HTTPHEADER, r.headerList);
    if (!c.user.empty() || !c.password.empty()) {
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        curl_easy_setopt(e, CURLOPT_USERNAME, c.user.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, c.password.c_str());
    }
    if (s.accessType == INTERNET_OPEN_TYPE_PROXY) {
        curl_easy_setopt(e, CURLOPT_PROXY, s.proxy.c_str());
        if (!c.proxyUser.empty()) curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, c.proxyUser.c_str());
        if (!c.proxyPassword.empty()) curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, c.proxyPassword.c_str());
    }
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &r);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &r);
    return curl_multi_add_handle(r.multi, e) == CURLM_OK;
}

}  // namespace

InternetHandle InternetOpen(const std::string& agent, int32_t accessType, const std::string& proxy) {
    if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_PROXY) return 0;
    if (accessType == INTERNET_OPEN_TYPE_PROXY && proxy.empty()) return 0;
    InitCurl();
    return Add(std::make_shared<Session>(Session{agent, proxy, accessType}));
}

InternetHandle InternetConnect(InternetHandle internet, const std::string& host, int32_t port) {
    auto session = Find<Session>(internet);
    if (!session || host.empty() || port <= 0 || port > 65535) return 0;
    auto connection = std::make_shared<Connection>();
    connection->session = session;
    connection->host = host;
    connection->port = port;
    return Add(connection);
}

bool InternetSetOption(InternetHandle handle, uint32_t option, const std::string& value) {
    auto connection = Find<Connection>(handle);
    if (auto request = Find<Request>(handle)) connection = request->connection;
    if (!connection) return false;
    switch (option) {
        case INTERNET_OPTION_USERNAME: connection->user = value; return true;
        case INTERNET_OPTION_PASSWORD: connection->password = value; return true;
        case INTERNET_OPTION_PROXY_USERNAME: connection->proxyUser = value; return true;
        case INTERNET_OPTION_PROXY_PASSWORD: connection->proxyPassword = value; return true;
    }
    return false;
}

InternetHandle HttpOpenRequest(InternetHandle connection, const std::string& verb, const std::string& object,
                               const std::string& referrer, uint32_t flags) {
    auto c = Find<Connection>(connection);
    if (!c) return 0;
    auto request = std::make_shared<Request>();
    request->connection = c;
    request->verb = verb.empty() ? "GET" : verb;
    request->object = object.empty() ? "/" : object;
    request->referrer = referrer;
    request->flags = flags;
    {
        std::lock_guard<std::mutex> l(H().lock);
        H().openedFlags.push_back(flags);
    }
    return Add(request);
}

bool HttpAddRequestHeaders(InternetHandle request, const std::string& headers, uint32_t modifiers) {
    auto r = Find<Request>(request);
    if (!r) return false;
    size_t begin = 0;
    while (begin < headers.size()) {
        size_t end = headers.find("\r\n", begin);
        std::string line = Trim(headers.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
        begin = end == std::string::npos ? headers.size() : end + 2;
        if (line.empty()) continue;
        if (line.find(':') == std::string::npos) return false;
        std::string name = HeaderName(line);
        auto same = std::find_if(r->headers.begin(), r->headers.end(),
                                 [&](const std::string& h) { return HeaderName(h) == name; });
        if (same != r->headers.end()) {
            if (!(modifiers & HTTP_ADDREQ_FLAG_REPLACE)) return false;
            *same = line;
        } else {
            if (!(modifiers & HTTP_ADDREQ_FLAG_ADD) && (modifiers & HTTP_ADDREQ_FLAG_REPLACE)) return false;
            r->headers.push_back(line);
        }
    }
    return true;
}

bool HttpSendRequest(InternetHandle request, const std::string& body) {
    auto r = Find<Request>(request);
    if (!r) return false;
    r->body = body;
    if (!StartTransfer(*r)) return false;
    while (!r->headersDone && !r->done) Pump(*r);
    return r->headersDone;
}

bool HttpQueryInfoNumber(InternetHandle request, uint32_t infoLevel, uint32_t& value) {
    auto r = Find<Request>(request);
    if (!r || !r->headersDone) return false;
    uint32_t level = infoLevel & ~HTTP_QUERY_FLAG_NUMBER;
    if (level == HTTP_QUERY_STATUS_CODE) {
        value = uint32_t(r->status);
        return true;
    }
    std::string text;
    if (!HttpQueryInfoText(request, level, text) || text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    value = uint32_t(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

bool HttpQueryInfoText(InternetHandle request, uint32_t infoLevel, std::string& value) {
    auto r = Find<Request>(request);
    if (!r || !r->headersDone) return false;
    if (infoLevel == HTTP_QUERY_STATUS_CODE) {
        value = std::to_string(r->status);
        return true;
    }
    if (infoLevel == HTTP_QUERY_RAW_HEADERS_CRLF) {
        value = r->rawHeaders;
        return true;
    }
    if (infoLevel != HTTP_QUERY_CONTENT_LENGTH) return false;
    auto it = r->responseHeaders.find("content-length");
    if (it == r->responseHeaders.end()) return false;
    value = it->second;
    return true;
}

bool InternetReadFile(InternetHandle request, void* buffer, uint32_t size, uint32_t& bytesRead) {
    bytesRead = 0;
    auto r = Find<Request>(request);
    if (!r || !r->easy) return false;
    auto* out = static_cast<char*>(buffer);
    uint32_t copied = 0;
    while (copied < size) {
        if (r->pendingStart < r->pending.size()) {
            size_t n = std::min<size_t>(size - copied, r->pending.size() - r->pendingStart);
            std::memcpy(out + copied, r->pending.data() + r->pendingStart, n);
            r->pendingStart += n;
            copied += uint32_t(n);
            continue;
        }
        r->pending.clear();
        r->pendingStart = 0;
        if (r->done) break;
        Pump(*r);
    }
    // An orderly close before the announced length is the body's end to WinINet; any other
    // failure fails the read once the bytes that did arrive were handed out.
    bool failed = r->done && r->code != CURLE_OK && r->code != CURLE_PARTIAL_FILE;
    if (copied == 0 && failed) return false;
    bytesRead = copied;
    return true;
}

void InternetCloseHandle(InternetHandle handle) {
    if (!handle) return;
    Object object;
    {
        std::lock_guard<std::mutex> l(H().lock);
        auto it = H().objects.find(handle);
        if (it == H().objects.end()) return;
        object = std::move(it->second);
        H().objects.erase(it);
    }
}

}  // namespace vu::plat

namespace vu::sim {

std::vector<uint32_t> OpenedRequestFlags() {
    std::lock_guard<std::mutex> l(plat::H().lock);
    return plat::H().openedFlags;
}

void detail::ResetInternet() {
    std::lock_guard<std::mutex> l(plat::H().lock);
    plat::H().openedFlags.clear();
}

}  // namespace vu::sim
