// The program's top-level windows: opening and closing them, titles, size limits, positions,
// enabling, colours, window timers, the cursor and the desktop. All windows use one window class
// and the one window procedure of gui_window_proc.cpp. Opening and closing belong to the main
// thread; the other calls are safe on any thread (see gui_state.h).
#include "platform/win32/gui_state.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace gui {

void FitFrameToClient(int window) {
    HWND hwnd;
    int wantW, wantH;
    {
        Lock l(S().lock);
        auto* model = FindWindowModel(window);
        if (!model || !model->hwnd) return;
        hwnd = model->hwnd, wantW = model->clientW, wantH = model->clientH;
    }
    if (IsIconic(hwnd)) return;
    // Twice: a menu bar can wrap differently once the frame has changed.
    for (int round = 0; round < 2; round++) {
        RECT client, frame;
        GetClientRect(hwnd, &client);
        GetWindowRect(hwnd, &frame);
        int dw = wantW - (client.right - client.left), dh = wantH - (client.bottom - client.top);
        if (dw == 0 && dh == 0) return;
        SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left + dw, frame.bottom - frame.top + dh,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void ShowNewWindows() {
    std::vector<HWND> toShow;
    {
        Lock l(S().lock);
        for (auto& [number, model] : S().windows)
            if (model.hwnd && !model.shown && !(model.flags & WindowInvisible)) {
                model.shown = true;
                toShow.push_back(model.hwnd);
            }
    }
    // No gadget is given the focus: a tree view may select its first line when it gets the
    // focus without a selection, which would pick a drive the user never chose.
    for (HWND hwnd : toShow) {
        ShowWindow(hwnd, SW_SHOWNORMAL);
        UpdateWindow(hwnd);
    }
}

}  // namespace gui

using namespace gui;

namespace {

DWORD WindowStyle(unsigned flags) {
    DWORD style = WS_OVERLAPPED | WS_CAPTION;
    if (flags & WindowSystemMenu) style |= WS_SYSMENU;
    if (flags & WindowMinimizeGadget) style |= WS_MINIMIZEBOX | WS_SYSMENU;
    if (flags & WindowSizeGadget) style |= WS_THICKFRAME;
    return style;
}

void CreateWindowNow(int window, uint64_t serial, int x, int y) {
    Lock l(S().lock);
    auto* model = FindWindowModel(window);
    if (!model || model->serial != serial || model->hwnd) return;
    DWORD style = WindowStyle(model->flags);
    // WS_EX_CONTROLPARENT lets tab navigation enter child windows of gadgets (combo edits).
    DWORD exStyle = WS_EX_CONTROLPARENT | ((model->flags & WindowTool) ? WS_EX_TOOLWINDOW : 0);
    RECT frame{0, 0, model->clientW, model->clientH};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    HWND owner = nullptr;
    if (auto* parent = FindWindowModel(model->parent)) owner = parent->hwnd;
    if (model->flags & WindowScreenCentered) {
        RECT work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        x = work.left + (work.right - work.left - w) / 2;
        y = work.top + (work.bottom - work.top - h) / 2;
    } else if ((model->flags & WindowParentCentered) && owner) {
        RECT around;
        GetWindowRect(owner, &around);
        x = around.left + (around.right - around.left - w) / 2;
        y = around.top + (around.bottom - around.top - h) / 2;
    }
    // The window procedure learns its window number from the creation parameter (number + 1).
    model->hwnd = CreateWindowExW(exStyle, kWindowClass, Widen(model->title).c_str(), style, x, y, w, h, owner,
                                  nullptr, GetModuleHandleW(nullptr), reinterpret_cast<void*>(intptr_t(window) + 1));
    if (model->hwnd && model->disabled) EnableWindow(model->hwnd, FALSE);
}

// Runs `apply` on the UI thread with the window's handle, if the window still is the one that
// existed when the call was made.
template <class Apply>
void ApplyToWindow(int window, Apply apply) {
    uint64_t serial;
    {
        Lock l(S().lock);
        auto* model = FindWindowModel(window);
        if (!model) return;
        serial = model->serial;
    }
    RunOnUi([=] {
        HWND hwnd;
        {
            Lock l(S().lock);
            auto* model = FindWindowModel(window);
            if (!model || model->serial != serial || !model->hwnd) return;
            hwnd = model->hwnd;
        }
        apply(hwnd);
    });
}

}  // namespace

bool OpenWindow(int window, int x, int y, int w, int h, const std::string& title, unsigned flags, int parentWindow) {
    EnsureUiThread();
    if (WindowExists(window)) CloseWindow(window);
    uint64_t serial;
    {
        Lock l(S().lock);
        WindowModel model;
        model.serial = serial = S().nextSerial++;
        model.title = title;
        model.flags = flags;
        model.parent = parentWindow;
        model.clientW = w, model.clientH = h;
        S().windows[window] = model;
    }
    RunOnUi([=] { CreateWindowNow(window, serial, x, y); });
    Lock l(S().lock);
    auto* model = FindWindowModel(window);
    // From a worker the window is made later; it counts as opened.
    return model && (model->hwnd || !OnUiThread());
}

void CloseWindow(int window) {
    std::vector<HIMAGELIST> imageLists;
    HWND hwnd = nullptr;
    HBRUSH brush = nullptr;
    {
        Lock l(S().lock);
        auto* model = FindWindowModel(window);
        if (!model) return;
        hwnd = model->hwnd, brush = model->brush;
        for (auto it = S().gadgets.begin(); it != S().gadgets.end();) {
            if (it->second.window == window) {
                if (it->second.imageList) imageLists.push_back(it->second.imageList);
                it = S().gadgets.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = S().menus.begin(); it != S().menus.end();)
            it = it->second.window == window ? S().menus.erase(it) : std::next(it);
        S().windows.erase(window);
    }
    // Child controls, the tool tip (owned) and the menu bar go with the window.
    RunOnUi([=] {
        if (hwnd) DestroyWindow(hwnd);
        for (HIMAGELIST list : imageLists) ImageList_Destroy(list);
        if (brush) DeleteObject(brush);
    });
}

bool WindowExists(int window) {
    Lock l(S().lock);
    return FindWindowModel(window) != nullptr;
}

void SetWindowTitle(int window, const std::string& title) {
    {
        Lock l(S().lock);
        auto* model = FindWindowModel(window);
        if (!model) return;
        model->title = title;
    }
    ApplyToWindow(window, [=](HWND hwnd) { SetWindowTextW(hwnd, Widen(title).c_str()); });
}

// The limits are client sizes; WM_GETMINMAXINFO turns them into frame sizes.
void SetWindowSizeLimits(int window, int minW, int minH, int maxW, int maxH) {
    Lock l(S().lock);
    if (auto* model = FindWindowModel(window)) model->minW = minW, model->minH = minH, model->maxW = maxW, model->maxH = maxH;
}

Rect WindowFrame(int window) {
    HWND hwnd = WindowHandle(window);
    RECT r;
    if (!hwnd || !GetWindowRect(hwnd, &r)) return {};
    // A minimised window sits at -32000, -32000; the settings must keep where it will be restored to.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (IsIconic(hwnd) && GetWindowPlacement(hwnd, &placement)) r = placement.rcNormalPosition;
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

Rect WindowClient(int window) {
    HWND hwnd = WindowHandle(window);
    RECT r;
    if (!hwnd || !GetClientRect(hwnd, &r)) return {};
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    return {origin.x, origin.y, r.right - r.left, r.bottom - r.top};
}

void MoveWindow(int window, int x, int y) {
    ApplyToWindow(window, [=](HWND hwnd) {
        SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    });
}

void DisableWindow(int window, bool disabled) {
    {
        Lock l(S().lock);
        auto* model = FindWindowModel(window);
        if (!model) return;
        model->disabled = disabled;
    }
    ApplyToWindow(window, [=](HWND hwnd) { EnableWindow(hwnd, !disabled); });
}

bool IsWindowDisabled(int window) {
    Lock l(S().lock);
    auto* model = FindWindowModel(window);
    return model && model->disabled;
}

void ActivateWindow(int window) {
    ApplyToWindow(window, [](HWND hwnd) {
        if (IsWindowVisible(hwnd)) SetForegroundWindow(hwnd);
    });
}

void SetWindowColor(int window, uint32_t rgb) {
    {
        Lock l(S().lock);
        auto* model = FindWindowModel(window);
        if (!model) return;
        model->hasColor = true, model->color = rgb;
    }
    ApplyToWindow(window, [=](HWND hwnd) {
        HBRUSH old;
        {
            Lock l(S().lock);
            auto* model = FindWindowModel(window);
            if (!model) return;
            old = model->brush;
            model->brush = CreateSolidBrush(rgb);
        }
        if (old) DeleteObject(old);
        RedrawWindow(hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
    });
}

// Timer numbers start at 0; Windows timer identifiers are kept apart from 0 by adding 1.
void StartWindowTimer(int window, int timer, int intervalMs) {
    ApplyToWindow(window, [=](HWND hwnd) { SetTimer(hwnd, UINT_PTR(timer) + 1, UINT(intervalMs), nullptr); });
}

void StopWindowTimer(int window, int timer) {
    ApplyToWindow(window, [=](HWND hwnd) { KillTimer(hwnd, UINT_PTR(timer) + 1); });
}

// Both must be called on the thread that made the window.
void SetShutdownBlockReason(int window, const std::string& reason) {
    ApplyToWindow(window, [text = Widen(reason)](HWND hwnd) { ShutdownBlockReasonCreate(hwnd, text.c_str()); });
}

void ClearShutdownBlockReason(int window) {
    ApplyToWindow(window, [](HWND hwnd) { ShutdownBlockReasonDestroy(hwnd); });
}

Point CursorPosition() {
    POINT p{0, 0};
    GetCursorPos(&p);
    return {p.x, p.y};
}

Rect DesktopRect() { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

}  // namespace vu::plat
