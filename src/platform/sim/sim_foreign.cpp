// Simulated windows of other processes, for the format-prompt guard.
#include <map>
#include <mutex>

#include "platform/foreign_windows.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_state.h"

namespace vu {
namespace {

struct Foreign {
    std::mutex lock;
    std::map<plat::ForeignWindow, sim::ForeignWindowInfo> windows;
    plat::ForeignWindow next = 0x1000;
    plat::ForegroundCallback hook = nullptr;
};

Foreign& F() {
    static Foreign foreign;
    return foreign;
}

using Lock = std::lock_guard<std::mutex>;

}  // namespace

namespace plat {

uintptr_t InstallForegroundHook(ForegroundCallback callback) {
    Lock l(F().lock);
    F().hook = callback;
    return 0x4242;
}

void RemoveForegroundHook(uintptr_t) {
    Lock l(F().lock);
    F().hook = nullptr;
}

uint32_t ForeignWindowStyle(ForeignWindow window) {
    Lock l(F().lock);
    return F().windows.count(window) ? F().windows[window].style : 0;
}

std::string ForeignWindowTitle(ForeignWindow window) {
    Lock l(F().lock);
    return F().windows.count(window) ? F().windows[window].title.substr(0, 260) : "";
}

std::vector<std::string> ForeignChildTexts(ForeignWindow window) {
    Lock l(F().lock);
    return F().windows.count(window) ? F().windows[window].children : std::vector<std::string>{};
}

void SendCancel(ForeignWindow window) {
    Lock l(F().lock);
    if (F().windows.count(window)) F().windows[window].cancelled = true;
}

}  // namespace plat

namespace sim {

void detail::ResetForeign() {
    Lock l(F().lock);
    F().windows.clear();
    F().hook = nullptr;
}

plat::ForeignWindow AddForeignWindow(ForeignWindowInfo info) {
    Lock l(F().lock);
    auto handle = F().next++;
    F().windows[handle] = std::move(info);
    return handle;
}

void BringToForeground(plat::ForeignWindow window) {
    plat::ForegroundCallback hook;
    {
        Lock l(F().lock);
        hook = F().hook;
    }
    if (hook) hook(window);
}

std::optional<ForeignWindowInfo> ForeignWindowState(plat::ForeignWindow window) {
    Lock l(F().lock);
    if (!F().windows.count(window)) return std::nullopt;
    return F().windows[window];
}

bool ForegroundHookInstalled() {
    Lock l(F().lock);
    return F().hook != nullptr;
}

}  // namespace sim
}  // namespace vu
