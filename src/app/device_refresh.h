// The debounced drive-list refresh on device changes: a burst of notifications (a disk, then its
// volumes, arrive over several hundred milliseconds) gives one refresh a second after the last of
// them, and none while an operation runs. Main thread only.
#pragma once
#include <cstdint>

namespace vu {

constexpr int RefreshTimer = 0;
// A device that never stops reporting holds the refresh back this long at most.
constexpr int64_t LongestRefreshDelayMs = 5000;

}  // namespace vu
