// The debounced device-change refresh; see device_refresh.h. The platform's window callback
// calls OnDeviceNodesChanged and OnWindowTimer on the main thread.
#include "app/device_refresh.h"

#include <algorithm>

#include "app/main_window.h"
#include "core/globals.h"
#include "platform/callbacks.h"
#include "platform/clock.h"
#include "platform/gui.h"

namespace vu {

namespace {
int64_t burstStart = -1;  // the first notification since the last refresh; -1 when none waits
}  // namespace

// Each notification moves the refresh to a second after it: the list is rebuilt once the disk and
// its volumes have all arrived, not between them.
void OnDeviceNodesChanged() {
    if (OperationBusy) return;
    int64_t now = plat::TickCount();
    // A burst whose refresh is long overdue lost its timer with its window: this one starts anew.
    if (burstStart < 0 || now - burstStart > LongestRefreshDelayMs + 1000) burstStart = now;
    int64_t delay = std::clamp<int64_t>(burstStart + LongestRefreshDelayMs - now, 1, 1000);
    plat::StartWindowTimer(MainWindow, RefreshTimer, int(delay));
}

void OnWindowTimer(int window, int timer) {
    if (window != MainWindow || timer != RefreshTimer) return;
    burstStart = -1;
    plat::StopWindowTimer(MainWindow, RefreshTimer);
    plat::PostEvent({plat::EventRefresh, MainWindow, 0, 0});
}

}  // namespace vu
