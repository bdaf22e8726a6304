// The simulated taskbar object: records every call made on it.
#include <mutex>

#include "platform/sim/sim.h"
#include "platform/sim/sim_state.h"
#include "platform/taskbar.h"

namespace vu {
namespace {

struct Taskbar {
    std::mutex lock;
    bool failCreation = false;
    std::vector<std::string> calls;
};

Taskbar& T() {
    static Taskbar taskbar;
    return taskbar;
}

using Lock = std::lock_guard<std::mutex>;

}  // namespace

namespace plat {

struct TaskbarList {
    int unused = 0;
};

TaskbarList* CreateTaskbarList() {
    Lock l(T().lock);
    if (T().failCreation) return nullptr;
    T().calls.push_back("create");
    return new TaskbarList;
}

void TaskbarSetProgressValue(TaskbarList* list, int window, uint64_t value, uint64_t maximum) {
    Lock l(T().lock);
    if (list) T().calls.push_back("value " + std::to_string(value) + "/" + std::to_string(maximum));
}

void TaskbarSetProgressState(TaskbarList* list, int window, int state) {
    Lock l(T().lock);
    if (list) T().calls.push_back("state " + std::to_string(state));
}

void ReleaseTaskbarList(TaskbarList* list) {
    Lock l(T().lock);
    if (list) T().calls.push_back("release");
    delete list;
}

}  // namespace plat

namespace sim {

void detail::ResetTaskbar() {
    Lock l(T().lock);
    T().failCreation = false;
    T().calls.clear();
}

void FailTaskbarCreation(bool fail) {
    Lock l(T().lock);
    T().failCreation = fail;
}

std::vector<std::string> TaskbarCalls() {
    Lock l(T().lock);
    return T().calls;
}

void ClearTaskbarCalls() {
    Lock l(T().lock);
    T().calls.clear();
}

}  // namespace sim
}  // namespace vu
