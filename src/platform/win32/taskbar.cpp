// The seam's taskbar progress over the shell's ITaskbarList3. The object is created on the main
// thread (which joins a COM apartment for it); progress calls from workers are forwarded to the
// main thread like any other change to a window, so the object is only ever used there.
#include <windows.h>

#include <shobjidl.h>

#include "platform/taskbar.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/gui_state.h"

namespace vu::plat {

struct TaskbarList {
    ITaskbarList3* taskbar = nullptr;
};

TaskbarList* CreateTaskbarList() {
    EnsureComApartment();
    ITaskbarList3* taskbar = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&taskbar))) ||
        !taskbar)
        return nullptr;
    if (FAILED(taskbar->HrInit())) {
        taskbar->Release();
        return nullptr;
    }
    return new TaskbarList{taskbar};
}

void TaskbarSetProgressValue(TaskbarList* list, int window, uint64_t value, uint64_t maximum) {
    if (!list) return;
    gui::RunOnUi([=] {
        if (HWND hwnd = gui::WindowHandle(window)) list->taskbar->SetProgressValue(hwnd, value, maximum);
    });
}

void TaskbarSetProgressState(TaskbarList* list, int window, int state) {
    if (!list) return;
    gui::RunOnUi([=] {
        if (HWND hwnd = gui::WindowHandle(window)) list->taskbar->SetProgressState(hwnd, TBPFLAG(state));
    });
}

// Released after the calls queued before it.
void ReleaseTaskbarList(TaskbarList* list) {
    if (!list) return;
    gui::RunOnUi([=] {
        list->taskbar->Release();
        delete list;
    });
}

}  // namespace vu::plat
