// The HTTP client on Windows: WinINet's wide-character functions, called as the seam names them.
// This header comes first: <wininet.h> defines its constants' names as macros.
#include "platform/internet.h"

#include <windows.h>
#include <wininet.h>
// The A/W macros would rename the seam's own functions.
#undef InternetOpen
#undef InternetConnect
#undef InternetSetOption
#undef HttpOpenRequest
#undef HttpAddRequestHeaders
#undef HttpSendRequest

#include <cstdlib>
#include <vector>

#include "platform/win32/wide.h"

namespace vu::plat {

namespace {

HINTERNET H(InternetHandle handle) { return reinterpret_cast<HINTERNET>(handle); }
InternetHandle Handle(HINTERNET h) { return reinterpret_cast<InternetHandle>(h); }

}  // namespace

InternetHandle InternetOpen(const std::string& agent, int32_t accessType, const std::string& proxy) {
    std::wstring wideAgent = Widen(agent), wideProxy = Widen(proxy);
    return Handle(InternetOpenW(wideAgent.c_str(), DWORD(accessType), proxy.empty() ? nullptr : wideProxy.c_str(),
                                nullptr, 0));
}

InternetHandle InternetConnect(InternetHandle internet, const std::string& host, int32_t port) {
    return Handle(InternetConnectW(H(internet), Widen(host).c_str(), INTERNET_PORT(port), nullptr, nullptr,
                                   INTERNET_SERVICE_HTTP, 0, 0));
}

bool InternetSetOption(InternetHandle handle, uint32_t option, const std::string& value) {
    std::wstring wide = Widen(value);
    return InternetSetOptionW(H(handle), option, const_cast<wchar_t*>(wide.c_str()), DWORD(wide.size())) != FALSE;
}

InternetHandle HttpOpenRequest(InternetHandle connection, const std::string& verb, const std::string& object,
                               const std::string& referrer, uint32_t flags) {
    std::wstring wideReferrer = Widen(referrer);
    return Handle(HttpOpenRequestW(H(connection), Widen(verb).c_str(), Widen(object).c_str(), nullptr,
                                   referrer.empty() ? nullptr : wideReferrer.c_str(), nullptr, flags, 0));
}

bool HttpAddRequestHeaders(InternetHandle request, const std::string& headers, uint32_t modifiers) {
    return HttpAddRequestHeadersW(H(request), Widen(headers).c_str(), DWORD(-1), modifiers) != FALSE;
}

bool HttpSendRequest(InternetHandle request, const std::string& body) {
    return HttpSendRequestW(H(request), nullptr, 0, body.empty() ? nullptr : const_cast<char*>(body.data()),
                            DWORD(body.size())) != FALSE;
}

bool HttpQueryInfoNumber(InternetHandle request, uint32_t infoLevel, uint32_t& value) {
    DWORD number = 0, size = sizeof number;
    if (!HttpQueryInfoW(H(request), infoLevel | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr)) return false;
    value = number;
    return true;
}

bool HttpQueryInfoText(InternetHandle request, uint32_t infoLevel, std::string& value) {
    DWORD size = 0;
    HttpQueryInfoW(H(request), infoLevel, nullptr, &size, nullptr);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1);
    if (!HttpQueryInfoW(H(request), infoLevel, text.data(), &size, nullptr)) return false;
    value = Narrow(text.data(), size / sizeof(wchar_t));
    return true;
}

bool InternetReadFile(InternetHandle request, void* buffer, uint32_t size, uint32_t& bytesRead) {
    DWORD read = 0;
    BOOL ok = ::InternetReadFile(H(request), buffer, size, &read);
    bytesRead = ok ? read : 0;
    return ok != FALSE;
}

void InternetCloseHandle(InternetHandle handle) {
    if (handle) ::InternetCloseHandle(H(handle));
}

}  // namespace vu::plat
