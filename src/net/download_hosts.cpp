// The download hosts; see download_hosts.h.
#include "net/download_hosts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "net/clover_download_host.h"

namespace vu {

namespace {

struct HostEntry {
    const char* variable;
    std::string builtIn;
    const char* description;
};

HostEntry EntryOf(DownloadHost host) {
    switch (host) {
        case DownloadHost::Clover:
            return {"VU_CLOVER_HOST", std::string("https://") + CloverDownloadHost, "Clover download host"};
        case DownloadHost::List:
            return {"VU_LIST_HOST", "", "Download list host"};
        case DownloadHost::Catalog:
            return {"VU_CATALOG_HOST", "https://swscan.apple.com", "Apple catalog host"};
        case DownloadHost::Apple:
            return {"VU_APPLE_HOST", "https://swcdn.apple.com", "Apple download host"};
        case DownloadHost::Recovery:
            return {"VU_RECOVERY_HOST", "http://osrecovery.apple.com", "Apple recovery server"};
    }
    return {"", "", ""};
}

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The text after the scheme up to the path: "host:port".
std::string Authority(const std::string& origin) {
    size_t begin = origin.find("://");
    if (begin == std::string::npos) return "";
    begin += 3;
    return origin.substr(begin, origin.find('/', begin) - begin);
}

}  // namespace

std::string NormalOrigin(const std::string& text) {
    std::string origin = text;
    while (!origin.empty() && origin.back() == '/') origin.pop_back();
    size_t mark = origin.find("://");
    if (mark == std::string::npos) return "";
    std::string scheme = Lower(origin.substr(0, mark));
    if (scheme != "http" && scheme != "https") return "";
    std::string authority = origin.substr(mark + 3);
    std::string host = authority, port;
    if (size_t colon = authority.rfind(':'); colon != std::string::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            std::atoi(port.c_str()) < 1 || std::atoi(port.c_str()) > 65535)
            return "";
    }
    bool usable = !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
    return usable ? scheme + "://" + authority : "";
}

std::string HostOrigin(DownloadHost host) {
    HostEntry entry = EntryOf(host);
    const char* value = std::getenv(entry.variable);
    if (value) {
        std::string replacement = NormalOrigin(value);
        if (!replacement.empty()) return replacement;
    }
    return entry.builtIn;
}

std::string HostName(DownloadHost host) { return Authority(HostOrigin(host)); }

std::string HostAddress(DownloadHost host, const std::string& path) {
    std::string origin = HostOrigin(host);
    return origin.empty() ? "" : origin + path;
}

std::string OnDownloadHost(DownloadHost host, const std::string& url) {
    std::string builtIn = EntryOf(host).builtIn, origin = HostOrigin(host);
    if (builtIn.empty() || origin == builtIn) return url;
    std::string authority = Authority(url);
    if (authority.empty() || Lower(authority) != Lower(Authority(builtIn))) return url;
    size_t pathStart = url.find("://") + 3 + authority.size();
    return origin + url.substr(pathStart);
}

std::string NoHostText(DownloadHost host) {
    HostEntry entry = EntryOf(host);
    return std::string(entry.description) + " not configured: set " + entry.variable;
}

}  // namespace vu
