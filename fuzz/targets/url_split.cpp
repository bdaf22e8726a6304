// The address splitting of the HTTP engine, which takes addresses from download lists and
// catalogs found on the web.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/url_parts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string url(reinterpret_cast<const char*>(data), size);
    std::string a, b;
    vu::UrlHost(url, a);
    vu::UrlScheme(url, a);
    if (vu::UrlObject(url, a) == vu::UrlPartFound && a.empty()) __builtin_trap();
    vu::UrlCredentials(url, a, b);
    vu::UrlTarget target;
    if (vu::UrlConnectTarget(url, 0, target) && (target.host.empty() || target.port < 1 || target.port > 65535))
        __builtin_trap();
    return 0;
}
