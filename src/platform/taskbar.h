// The seam's taskbar button progress (ITaskbarList3). Callable from any thread.
#pragma once
#include <cstdint>

namespace vu::plat {

struct TaskbarList;  // the platform's taskbar object

// Creates and initialises the taskbar object; null when that fails.
TaskbarList* CreateTaskbarList();
void TaskbarSetProgressValue(TaskbarList* list, int window, uint64_t value, uint64_t maximum);
void TaskbarSetProgressState(TaskbarList* list, int window, int state);
void ReleaseTaskbarList(TaskbarList* list);

}  // namespace vu::plat
