// The seam's view of other processes' windows: an out-of-context foreground hook (its callback
// arrives on the thread that set it, the main thread, while it waits for messages), window
// styles, titles and child texts, and the Cancel command.
#include <windows.h>

#include <map>
#include <mutex>

#include "platform/foreign_windows.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace {

std::mutex hooksLock;
std::map<HWINEVENTHOOK, ForegroundCallback> hooks;

void CALLBACK OnWinEvent(HWINEVENTHOOK hook, DWORD event, HWND hwnd, LONG object, LONG, DWORD, DWORD) {
    if (event != EVENT_SYSTEM_FOREGROUND || !hwnd || object != OBJID_WINDOW) return;
    ForegroundCallback callback = nullptr;
    {
        std::lock_guard<std::mutex> l(hooksLock);
        auto it = hooks.find(hook);
        if (it != hooks.end()) callback = it->second;
    }
    if (callback) callback(reinterpret_cast<ForeignWindow>(hwnd));
}

std::string WindowText(HWND hwnd) {
    wchar_t text[261];
    int length = GetWindowTextW(hwnd, text, 261);
    return Narrow(text, size_t(length > 0 ? length : 0));
}

BOOL CALLBACK CollectChildText(HWND child, LPARAM list) {
    wchar_t text[261];
    int length = GetWindowTextW(child, text, 261);
    if (length > 0) reinterpret_cast<std::vector<std::string>*>(list)->push_back(Narrow(text, size_t(length)));
    return TRUE;
}

}  // namespace

uintptr_t InstallForegroundHook(ForegroundCallback callback) {
    std::lock_guard<std::mutex> l(hooksLock);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, OnWinEvent, 0, 0,
                                         WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    if (!hook) return 0;
    hooks[hook] = callback;
    return reinterpret_cast<uintptr_t>(hook);
}

void RemoveForegroundHook(uintptr_t hook) {
    std::lock_guard<std::mutex> l(hooksLock);
    auto handle = reinterpret_cast<HWINEVENTHOOK>(hook);
    UnhookWinEvent(handle);
    hooks.erase(handle);
}

uint32_t ForeignWindowStyle(ForeignWindow window) {
    return uint32_t(GetWindowLongW(reinterpret_cast<HWND>(window), GWL_STYLE));
}

std::string ForeignWindowTitle(ForeignWindow window) { return WindowText(reinterpret_cast<HWND>(window)); }

std::vector<std::string> ForeignChildTexts(ForeignWindow window) {
    std::vector<std::string> texts;
    EnumChildWindows(reinterpret_cast<HWND>(window), CollectChildText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// A prompt whose process hangs must not hang the program's main thread with it.
void SendCancel(ForeignWindow window) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(reinterpret_cast<HWND>(window), WM_COMMAND, IDCANCEL, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000,
                        &result);
}

}  // namespace vu::plat
