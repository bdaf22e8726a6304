// TaskbarProgress; see taskbar_progress.h.
#include "core/taskbar_progress.h"

#include <algorithm>

#include "platform/system.h"

namespace vu {

TaskbarProgressObject* TaskbarProgress = nullptr;

TaskbarProgressObject::TaskbarProgressObject(int window, plat::TaskbarList* taskbar, int64_t minimum,
                                             int64_t maximum)
    : Window(window), Taskbar(taskbar), Minimum(minimum), Maximum(maximum) {
    if (Taskbar) {
        plat::TaskbarSetProgressValue(Taskbar, Window, uint64_t(Minimum), uint64_t(Maximum));
        plat::TaskbarSetProgressState(Taskbar, Window, TaskbarNoProgress);
    }
}

void TaskbarProgressObject::SetState(int32_t state) {
    if (!Taskbar) return;
    switch (state) {
        case TaskbarNoProgress: case TaskbarIndeterminate: case TaskbarNormal: case TaskbarError:
        case TaskbarPaused:
            plat::TaskbarSetProgressState(Taskbar, Window, state);
            State = state;
            break;
        default:
            break;
    }
}

void TaskbarProgressObject::SetValue(int32_t value) {
    if (!Taskbar) return;
    int64_t clamped = std::clamp<int64_t>(value, Minimum, Maximum);
    plat::TaskbarSetProgressValue(Taskbar, Window, uint64_t(clamped), uint64_t(Maximum));
    Value = int32_t(clamped);
}

void TaskbarProgressObject::Free() {
    if (Taskbar) plat::ReleaseTaskbarList(Taskbar);
    delete this;
}

TaskbarProgressObject* CreateTaskbarProgress(int window, int64_t minimum, int64_t maximum) {
    if (!plat::IsWindows7OrLater()) return nullptr;
    minimum = std::max<int64_t>(minimum, 0);
    maximum = std::max(maximum, minimum);
    return new TaskbarProgressObject(window, plat::CreateTaskbarList(), minimum, maximum);
}

}  // namespace vu
