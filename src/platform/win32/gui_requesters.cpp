// Message boxes and the common dialogs (folder, open file, save file). Safe on any thread: on
// the main thread a box is owned by the program's active window; a worker's box runs its own
// modal loop on the worker, task-modal and without an owner, so it never waits on the UI thread.
// A dialog asked with an owner window is that window's, also when a worker asks: the UI thread
// shows it (the owner must belong to the dialog's thread to be disabled under it) and the worker
// waits for the answer, which always comes, as the UI thread never waits for a worker.
#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <functional>
#include <future>
#include <memory>

#include "platform/win32/com_apartment.h"
#include "platform/win32/gui_state.h"
#include "platform/win32/wide.h"

namespace vu::plat {

using namespace gui;

namespace {

// The owner of a box or dialog asked on the calling thread: the program's active window on the
// UI thread (or the main window), none on a worker.
HWND OwnerForCaller() {
    if (!OnUiThread()) return nullptr;
    RunPendingJobs();
    ShowNewWindows();
    HWND active = GetActiveWindow();
    if (active && WindowNumberOf(active) >= 0) return active;
    return WindowHandle(0);
}

// Runs `ask` with the dialog owner it should have: `owner` on the UI thread, else the caller's.
std::string AskWithOwner(int owner, const std::function<std::string(HWND)>& ask) {
    if (owner < 0) return ask(OwnerForCaller());
    bool uiThreadExists;
    {
        Lock l(S().lock);
        uiThreadExists = S().uiThread != 0;
    }
    if (OnUiThread() || !uiThreadExists) {
        OwnerForCaller();  // on the UI thread: the windows asked for so far are shown first
        return ask(WindowHandle(owner));
    }
    auto answer = std::make_shared<std::promise<std::string>>();
    std::future<std::string> result = answer->get_future();
    RunOnUi([answer, ask, owner] { answer->set_value(ask(WindowHandle(owner))); });
    return result.get();
}

int CALLBACK BrowseCallback(HWND hwnd, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data && *reinterpret_cast<const wchar_t*>(data))
        SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

// "Text|*.txt|All|*.*" -> "Text\0*.txt\0All\0*.*\0\0"
std::wstring FilterList(const std::string& pattern) {
    std::wstring filter = Widen(pattern);
    for (auto& c : filter)
        if (c == L'|') c = L'\0';
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    return filter;
}

std::string FileRequester(bool save, const std::string& title, const std::string& defaultFile,
                          const std::string& pattern, int patternIndex, HWND owner) {
    EnsureComApartment();
    std::wstring filter = FilterList(pattern);
    std::wstring wideTitle = Widen(title);
    std::wstring folder;
    std::wstring file(32768, L'\0');
    std::wstring initial = Widen(defaultFile);
    // A default that names only a folder opens there with an empty name field.
    if (!initial.empty() && (initial.back() == L'\\' || initial.back() == L'/')) folder = initial;
    else initial.copy(file.data(), std::min(initial.size(), file.size() - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = pattern.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = DWORD(patternIndex + 1);
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = DWORD(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = wideTitle.c_str();
    // No overwrite prompt: the program asks its own question about an existing file.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | (save ? 0 : OFN_FILEMUSTEXIST);
    BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return "";
    return Narrow(file.c_str(), wcslen(file.c_str()));
}

}  // namespace

int MessageBox(const std::string& title, const std::string& text, unsigned flags) {
    UINT style = flags;
    HWND owner = OwnerForCaller();
    if (!owner) style |= MB_SETFOREGROUND | (OnUiThread() ? 0 : MB_TASKMODAL);
    return MessageBoxW(owner, Widen(text).c_str(), Widen(title).c_str(), style);
}

namespace {

// The chosen folder ends with "\", as the program joins file names to it.
std::string FolderRequester(const std::string& title, const std::string& initialPath, HWND owner) {
    EnsureComApartment();
    std::wstring wideTitle = Widen(title);
    std::wstring initial = Widen(initialPath);
    // The browser selects "C:\Folder" but not "C:\Folder\"; a drive root keeps its backslash.
    while (initial.size() > 3 && (initial.back() == L'\\' || initial.back() == L'/')) initial.pop_back();
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.lpszTitle = wideTitle.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(initial.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (!chosen) return "";
    wchar_t path[MAX_PATH] = {};
    BOOL ok = SHGetPathFromIDListW(chosen, path);
    CoTaskMemFree(chosen);
    if (!ok || !path[0]) return "";
    std::string result = Narrow(path, wcslen(path));
    if (result.back() != '\\') result += '\\';
    return result;
}

}  // namespace

std::string PathRequester(const std::string& title, const std::string& initialPath, int owner) {
    return AskWithOwner(owner, [&](HWND window) { return FolderRequester(title, initialPath, window); });
}

std::string OpenFileRequester(const std::string& title, const std::string& defaultFile, const std::string& pattern,
                              int patternIndex, int owner) {
    return AskWithOwner(owner, [&](HWND window) {
        return FileRequester(false, title, defaultFile, pattern, patternIndex, window);
    });
}

std::string SaveFileRequester(const std::string& title, const std::string& defaultFile, const std::string& pattern,
                              int patternIndex, int owner) {
    return AskWithOwner(owner, [&](HWND window) {
        return FileRequester(true, title, defaultFile, pattern, patternIndex, window);
    });
}

}  // namespace vu::plat
