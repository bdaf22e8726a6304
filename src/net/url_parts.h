// Splitting a download address into the parts the HTTP engine hands to WinINet: the scheme (a
// gate: HTTP, HTTPS or FTP), the host, the object (path and query), the credentials, and from
// them where a request connects. Pure functions, callable from any thread.
//
// An address is scheme "://" [user ":" password "@"] host [":" port] "/" path [query]. The
// authority is the text from "://" to the next "/"; an "@" in the path is no credential.
#pragma once
#include <cstdint>
#include <string>

namespace vu {

// Results of the splitting operations: 1 on success, 6 on failure (the outputs are then empty).
constexpr int32_t UrlPartFound = 1;
constexpr int32_t UrlPartMissing = 6;

// The host as written, with a port suffix (":8080") kept; fails on an empty host.
int32_t UrlHost(const std::string& url, std::string& host);
// The scheme up to and including "://", as written; fails unless it is FTP://, HTTP:// or HTTPS://
// in any letter case.
int32_t UrlScheme(const std::string& url, std::string& scheme);
// The path and query from the "/" after the host; fails when there is none.
int32_t UrlObject(const std::string& url, std::string& object);
// The user name and password before the "@" of the authority; fails unless both are non-empty.
int32_t UrlCredentials(const std::string& url, std::string& user, std::string& password);

// Where a request for an address connects: the host name without port or brackets, the port and
// whether the transfer is secure. The scheme decides: HTTPS is secure on 443, HTTP (and FTP,
// which the engine speaks HTTP to) on 80; an explicit ":port" in the address wins over that,
// and a non-zero requestPort wins over both. False when the address's port is not a number from
// 1 to 65535 or the host is empty.
struct UrlTarget {
    std::string host;
    int32_t port = 0;
    bool secure = false;
};
bool UrlConnectTarget(const std::string& url, int32_t requestPort, UrlTarget& target);

}  // namespace vu
