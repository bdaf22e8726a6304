// The host that publishes the bootloader's data-set archives and their file listing.
#pragma once

namespace vu {

inline constexpr const char* CloverDownloadHost = "sourceforge.net";

}  // namespace vu
