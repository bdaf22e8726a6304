// The debounced drive-list refresh on device changes: a burst of notifications gives one refresh
// about a second after the first, and none while an operation runs. Main thread only.
#pragma once
#include <cstdint>

namespace vu {

extern int64_t LastDeviceRefreshTick;
constexpr int RefreshTimer = 0;

}  // namespace vu
