// Address splitting; see url_parts.h.
#include "net/url_parts.h"

#include <algorithm>
#include <cctype>

#include "platform/internet.h"

namespace vu {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The authority (between "://" and the next "/") and where it ends; false without "://" after
// the first ":".
bool Authority(const std::string& url, std::string& authority, size_t& end) {
    size_t colon = url.find(':');
    if (colon == std::string::npos || url.compare(colon, 3, "://") != 0) return false;
    size_t begin = colon + 3;
    end = url.find('/', begin);
    if (end == std::string::npos) end = url.size();
    authority = url.substr(begin, end - begin);
    return true;
}

// The host and port part of the authority: everything after its last "@".
std::string HostPort(const std::string& authority) {
    size_t at = authority.rfind('@');
    return at == std::string::npos ? authority : authority.substr(at + 1);
}

int32_t Fail(std::string& a) {
    a.clear();
    return UrlPartMissing;
}

}  // namespace

int32_t UrlHost(const std::string& url, std::string& host) {
    std::string authority;
    size_t end;
    if (!Authority(url, authority, end)) return Fail(host);
    host = HostPort(authority);
    return host.empty() ? Fail(host) : UrlPartFound;
}

int32_t UrlScheme(const std::string& url, std::string& scheme) {
    size_t mark = url.find("://");
    if (mark == std::string::npos) return Fail(scheme);
    scheme = url.substr(0, mark + 3);
    std::string upper = Upper(scheme);
    if (upper != "FTP://" && upper != "HTTP://" && upper != "HTTPS://") return Fail(scheme);
    return UrlPartFound;
}

int32_t UrlObject(const std::string& url, std::string& object) {
    std::string authority;
    size_t end;
    if (!Authority(url, authority, end) || end == url.size()) return Fail(object);
    object = url.substr(end);
    return UrlPartFound;
}

int32_t UrlCredentials(const std::string& url, std::string& user, std::string& password) {
    std::string authority;
    size_t end;
    size_t at = Authority(url, authority, end) ? authority.rfind('@') : std::string::npos;
    if (at == std::string::npos) {
        password.clear();
        return Fail(user);
    }
    std::string userInfo = authority.substr(0, at);
    size_t colon = userInfo.find(':');
    user = userInfo.substr(0, colon);
    password = colon == std::string::npos ? "" : userInfo.substr(colon + 1);
    if (user.empty() || password.empty()) {
        password.clear();
        return Fail(user);
    }
    return UrlPartFound;
}

bool UrlConnectTarget(const std::string& url, int32_t requestPort, UrlTarget& target) {
    target = {};
    std::string hostPort, scheme;
    if (UrlHost(url, hostPort) != UrlPartFound || UrlScheme(url, scheme) != UrlPartFound) return false;
    target.secure = Upper(scheme) == "HTTPS://";

    std::string host = hostPort, port;
    if (hostPort[0] == '[') {  // an IPv6 address, "[::1]:8080"
        size_t close = hostPort.find(']');
        if (close == std::string::npos) return false;
        host = hostPort.substr(1, close - 1);
        std::string rest = hostPort.substr(close + 1);
        if (!rest.empty() && (rest[0] != ':' || rest.size() == 1)) return false;
        if (!rest.empty()) port = rest.substr(1);
    } else if (size_t colon = hostPort.rfind(':'); colon != std::string::npos) {
        host = hostPort.substr(0, colon);
        port = hostPort.substr(colon + 1);
        if (port.empty()) return false;
    }
    if (host.empty()) return false;

    int32_t urlPort = 0;
    if (!port.empty()) {
        if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        urlPort = std::stoi(port);
        if (urlPort < 1 || urlPort > 65535) return false;
    }
    target.host = host;
    target.port = requestPort != 0      ? requestPort
                  : urlPort != 0        ? urlPort
                  : target.secure       ? plat::INTERNET_DEFAULT_HTTPS_PORT
                                        : plat::INTERNET_DEFAULT_HTTP_PORT;
    return true;
}

}  // namespace vu
