// TaskbarProgress: mirrors the status bar's percentage on the program's taskbar button
// (Windows 7 and later). One object per program, created with the main window; any thread may
// call its methods.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/taskbar.h"

namespace vu {

enum TaskbarState : int32_t {
    TaskbarNoProgress = 0,
    TaskbarIndeterminate = 1,
    TaskbarNormal = 2,
    TaskbarError = 4,
    TaskbarPaused = 8,
};

class TaskbarProgressObject {
public:
    TaskbarProgressObject(int window, plat::TaskbarList* taskbar, int64_t minimum, int64_t maximum);
    TaskbarProgressObject(const TaskbarProgressObject&) = delete;
    TaskbarProgressObject& operator=(const TaskbarProgressObject&) = delete;

    int32_t GetState() const { return State; }
    int32_t GetValue() const { return Value; }
    void SetState(int32_t state);
    void SetValue(int32_t value);
    void Free();  // releases the taskbar interface and the object

private:
    ~TaskbarProgressObject() = default;

    int Window;
    plat::TaskbarList* Taskbar;
    // Jobs on several threads draw on the status bar at once (a list update beside a format run).
    std::atomic<int32_t> State{0};
    std::atomic<int32_t> Value{0};
    int64_t Minimum, Maximum;
};

// Null when the platform is older than Windows 7. When the taskbar object cannot be created the
// result still exists but holds no interface, and its methods do nothing.
TaskbarProgressObject* CreateTaskbarProgress(int window, int64_t minimum, int64_t maximum);

// The program's one object; null until the main window is built.
extern TaskbarProgressObject* TaskbarProgress;

}  // namespace vu
