// The debounced device-change refresh; see device_refresh.h. The platform's window callback
// calls OnDeviceNodesChanged and OnWindowTimer on the main thread.
#include "app/device_refresh.h"

#include "app/main_window.h"
#include "core/globals.h"
#include "platform/callbacks.h"
#include "platform/clock.h"
#include "platform/gui.h"

namespace vu {

int64_t LastDeviceRefreshTick = 0;

void OnDeviceNodesChanged() {
    if (OperationBusy) return;
    int64_t now = plat::TickCount();
    if (now - LastDeviceRefreshTick > 1000) {
        LastDeviceRefreshTick = now;
        plat::StartWindowTimer(MainWindow, RefreshTimer, 1000);
    }
}

void OnWindowTimer(int window, int timer) {
    if (window != MainWindow || timer != RefreshTimer) return;
    LastDeviceRefreshTick = plat::TickCount();
    plat::StopWindowTimer(MainWindow, RefreshTimer);
    plat::PostEvent({plat::EventRefresh, MainWindow, 0, 0});
}

}  // namespace vu
