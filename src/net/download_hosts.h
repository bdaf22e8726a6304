// The hosts every download goes to, and their run-time replacements. Each host has a built-in
// origin (scheme, host name, optional port) that an environment variable of the same form may
// replace, so that mirrors and tests can stand in for the real hosts without touching the
// settings file:
//
//   VU_CLOVER_HOST   the bootloader project's download host   https://sourceforge.net
//   VU_LIST_HOST     the host of the published download list   (none yet)
//   VU_CATALOG_HOST  Apple's software-update catalog host      https://swscan.apple.com
//   VU_APPLE_HOST    Apple's package download host             https://swcdn.apple.com
//   VU_RECOVERY_HOST Apple's recovery server (its API; the       http://osrecovery.apple.com
//                    image and list addresses are its answer's)
//
// A value is "http://" or "https://", a host name and an optional ":port", e.g.
// VU_CLOVER_HOST=http://127.0.0.1:8765; anything else counts as not set. Read at each call, from
// any thread.
#pragma once
#include <string>

namespace vu {

enum class DownloadHost { Clover, List, Catalog, Apple, Recovery };

// The origin ("https://sourceforge.net") downloads from `host` use; "" when it has none.
std::string HostOrigin(DownloadHost host);
// The host name (with its port, when the origin names one) as texts show it: "sourceforge.net".
std::string HostName(DownloadHost host);
// The origin + `path` ("/projects/..."); "" when the host has no origin.
std::string HostAddress(DownloadHost host, const std::string& path);
// An address found elsewhere (a catalog, a list) moved onto the replacement origin when its host
// is the built-in one; any other address unchanged.
std::string OnDownloadHost(DownloadHost host, const std::string& url);

// What an update shows when it needs a host that has no origin.
std::string NoHostText(DownloadHost host);

// The origin in `text` in its normal form ("HTTP://Example.org:80/" -> "http://Example.org:80"),
// or "" when it is not a scheme, a host and an optional port.
std::string NormalOrigin(const std::string& text);

}  // namespace vu
