// The program's event queue and the message pump of the UI thread: WaitEvent dispatches window
// messages until the window procedure (or another thread) queues an event for the program.
// WaitEvent runs on the main thread; PostEvent on any thread.
#include "platform/win32/gui_state.h"

namespace vu::plat {

namespace {

bool PopEvent(Event& event) {
    gui::Lock l(gui::S().lock);
    if (gui::S().events.empty()) return false;
    event = gui::S().events.front();
    gui::S().events.pop_front();
    return true;
}

bool IsOurTopLevel(HWND root) {
    wchar_t name[64];
    return root && GetClassNameW(root, name, 64) && lstrcmpW(name, gui::kWindowClass) == 0;
}

bool IsPushButton(HWND control) {
    wchar_t name[16];
    if (!control || !GetClassNameW(control, name, 16) || lstrcmpiW(name, L"Button") != 0) return false;
    LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

bool IsSingleLineEdit(HWND control) {
    wchar_t name[16];
    return control && GetClassNameW(control, name, 16) && lstrcmpiW(name, L"Edit") == 0 &&
           !(GetWindowLongW(control, GWL_STYLE) & ES_MULTILINE);
}

// Tab and arrow navigation between gadgets goes through IsDialogMessage. Enter and Escape do
// not: there they become WM_COMMAND IDOK (1) and IDCANCEL (2), which are gadget numbers of this
// program ("DL Center" and "Format"). Enter presses a focused button instead.
bool PreTranslate(MSG& msg) {
    if (!msg.hwnd) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (!IsOurTopLevel(root)) return false;
    bool keyMessage = msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR;
    if (keyMessage && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
        HWND focus = GetFocus();
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && IsPushButton(focus) && IsChild(root, focus)) {
            SendMessageW(focus, BM_CLICK, 0, 0);
            return true;
        }
        // A one-line edit field would only beep at these characters.
        if (msg.message == WM_CHAR && IsSingleLineEdit(focus)) return true;
        return false;
    }
    return IsDialogMessageW(root, &msg) != 0;
}

// Dispatches one waiting message; false when there was none.
bool PumpOne() {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (!PreTranslate(msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace

Event WaitEvent(int timeoutMs) {
    gui::EnsureUiThread();
    gui::RunPendingJobs();
    gui::ShowNewWindows();
    ULONGLONG deadline = GetTickCount64() + ULONGLONG(timeoutMs > 0 ? timeoutMs : 0);
    Event event;
    for (;;) {
        if (PopEvent(event)) return event;
        while (PumpOne())
            if (PopEvent(event)) return event;
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return {};
        MsgWaitForMultipleObjectsEx(0, nullptr, DWORD(deadline - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void PostEvent(const Event& event) {
    gui::PushEvent(event);
    if (!gui::OnUiThread()) gui::WakeUiThread();
}

}  // namespace vu::plat
