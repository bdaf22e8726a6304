// The seam's HTTP client in WinINet's own vocabulary: an Internet handle, a connection to one
// host and port, a request on it (any verb), options, request headers, send (with a body),
// status and header queries, reads of the body and closing. win32 is WinINet
// itself; the simulated PC is a real HTTP client over libcurl that behaves the same way: the
// status and the headers can be queried once the request was sent, the body arrives through
// reads, redirects are followed, a request can be sent again (after a 401, with credentials set
// on its connection), and it keeps no cookies and no cache of its own.
//
// Every call is blocking and may be made from any thread; one request handle is used by one
// thread at a time. A handle is 0 when a call failed.
//
// The constants carry WinINet's names and values. <wininet.h> defines the same names as macros,
// so the one file that includes it (win32/internet.cpp) includes this header first.
#pragma once
#include <cstdint>
#include <string>

namespace vu::plat {

using InternetHandle = intptr_t;

// InternetOpen access types.
constexpr int32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr int32_t INTERNET_OPEN_TYPE_PROXY = 3;

// InternetSetOption options (text values).
constexpr uint32_t INTERNET_OPTION_USERNAME = 28;
constexpr uint32_t INTERNET_OPTION_PASSWORD = 29;
constexpr uint32_t INTERNET_OPTION_PROXY_USERNAME = 43;
constexpr uint32_t INTERNET_OPTION_PROXY_PASSWORD = 44;

// HttpOpenRequest flags.
constexpr uint32_t INTERNET_FLAG_RELOAD = 0x80000000;
constexpr uint32_t INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr uint32_t INTERNET_FLAG_SECURE = 0x00800000;
constexpr uint32_t INTERNET_FLAG_NO_COOKIES = 0x00080000;
constexpr uint32_t INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;
constexpr uint32_t INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
constexpr uint32_t INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100;
constexpr uint32_t INTERNET_FLAG_NO_UI = 0x00000200;

// HttpAddRequestHeaders modifiers.
constexpr uint32_t HTTP_ADDREQ_FLAG_ADD = 0x20000000;
constexpr uint32_t HTTP_ADDREQ_FLAG_REPLACE = 0x80000000;

// HttpQueryInfo levels and modifiers.
constexpr uint32_t HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr uint32_t HTTP_QUERY_STATUS_CODE = 19;
constexpr uint32_t HTTP_QUERY_RAW_HEADERS_CRLF = 22;  // the status line and every header, "\r\n" after each
constexpr uint32_t HTTP_QUERY_FLAG_NUMBER = 0x20000000;

constexpr int32_t INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr int32_t INTERNET_DEFAULT_HTTPS_PORT = 443;

// InternetOpenW(agent, accessType, proxy, no bypass list, 0). An empty proxy is none.
InternetHandle InternetOpen(const std::string& agent, int32_t accessType, const std::string& proxy);
// InternetConnectW(internet, host, port, no user, no password, INTERNET_SERVICE_HTTP, 0, 0).
InternetHandle InternetConnect(InternetHandle internet, const std::string& host, int32_t port);
// InternetSetOptionW with a text value, its length in characters.
bool InternetSetOption(InternetHandle handle, uint32_t option, const std::string& value);
// HttpOpenRequestW(connection, verb, object, default version, referrer, no accept types, flags, 0).
// An empty referrer is none.
InternetHandle HttpOpenRequest(InternetHandle connection, const std::string& verb, const std::string& object,
                               const std::string& referrer, uint32_t flags);
// HttpAddRequestHeadersW(request, headers, -1, modifiers); headers end with "\r\n" or not.
bool HttpAddRequestHeaders(InternetHandle request, const std::string& headers, uint32_t modifiers);
// HttpSendRequestW(request, no extra headers, body, its length): the body goes out as its bytes
// ("" = none). True once the response's status line and headers have arrived, whatever the status.
bool HttpSendRequest(InternetHandle request, const std::string& body);
// HttpQueryInfoW with HTTP_QUERY_FLAG_NUMBER: the value as a 32-bit number.
bool HttpQueryInfoNumber(InternetHandle request, uint32_t infoLevel, uint32_t& value);
// HttpQueryInfoW without modifiers: the value as text. False when the header is missing.
bool HttpQueryInfoText(InternetHandle request, uint32_t infoLevel, std::string& value);
// InternetReadFile: up to `size` bytes of the body. True with 0 bytes at its end; false when the
// connection failed before it.
bool InternetReadFile(InternetHandle request, void* buffer, uint32_t size, uint32_t& bytesRead);
// InternetCloseHandle; closing 0 does nothing.
void InternetCloseHandle(InternetHandle handle);

}  // namespace vu::plat
