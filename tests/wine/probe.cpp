// Window probe for the Wine smoke test: a Win32 console program that reads another process's
// windows back through the ordinary Win32 calls and prints them as JSON lines, and pokes them
// (clicks a control, chooses a menu item, closes a window, presses a dialog button).
//
//   probe list                                  every top-level window
//   probe dump  SELECTOR                        matching windows with their controls and menu bar
//   probe boxes [SELECTOR]                      dialog-class (#32770) windows: title, texts, buttons
//   probe wait  SELECTOR MILLISECONDS           waits until a matching window exists
//   probe gone  SELECTOR MILLISECONDS           waits until no matching window exists
//   probe click SELECTOR ID                     clicks the child control with that ID
//   probe select SELECTOR ID INDEX              selects item INDEX of the combo box with that ID
//   probe menu  SELECTOR ID                     chooses the menu item with that ID (WM_COMMAND)
//   probe close SELECTOR                        asks the window to close (WM_CLOSE)
//   probe resize SELECTOR WIDTH HEIGHT          tries to resize the window's frame (SetWindowPos)
//   probe press SELECTOR BUTTON                 presses a dialog button by caption ("OK") or ID
//   probe endsession SELECTOR                   asks the window whether the session may end
//                                               (WM_QUERYENDSESSION), then ends it (WM_ENDSESSION)
//
// SELECTOR: any of --title TEXT, --class NAME, --exe FILE (image name of the owning process),
// --pid N (Windows process ID), --hwnd 0xHANDLE, --visible. Texts may carry \uXXXX escapes so
// that non-ASCII titles survive any locale. Output is pure ASCII JSON (non-ASCII as \u escapes).
// Exit code: 0 done, 1 nothing matched (or the wait timed out), 2 bad arguments.
//
// The menu bar and the tool tips are read from inside the inspected process by the hook library
// probe_hook.dll, which must lie beside the probe; when that fails, "dump" reports
// {"kind":"in_process_error"} rather than leaving them out silently. Single-threaded.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "probe_json.h"

namespace {

using probe::Line;

void Emit(const Line& line) {
    std::string text = line.Text();
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

void Error(const std::wstring& message) { Emit(Line("error").Str("message", message)); }

// ---- Reading windows ----------------------------------------------------------------------

std::wstring WindowText(HWND hwnd) {
    // WM_GETTEXT is marshalled across processes, unlike most control messages.
    int length = static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 2000, &copied))
        return {};
    text.resize(copied);
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

std::wstring ImageNameOf(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return {};
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    std::wstring name;
    if (QueryFullProcessImageNameW(process, 0, path, &size)) {
        name = path;
        size_t slash = name.find_last_of(L"\\/");
        if (slash != std::wstring::npos) name.erase(0, slash + 1);
    }
    CloseHandle(process);
    return name;
}

struct Selector {
    bool hasTitle = false, hasClass = false, hasExe = false, hasPid = false, visibleOnly = false;
    std::wstring title, className, exe;
    DWORD pid = 0;
    HWND hwnd = nullptr;

    bool Matches(HWND candidate) const {
        if (hwnd && candidate != hwnd) return false;
        if (visibleOnly && !IsWindowVisible(candidate)) return false;
        if (hasClass && ClassOf(candidate) != className) return false;
        if (hasTitle && WindowText(candidate) != title) return false;
        if (hasPid || hasExe) {
            DWORD owner = 0;
            GetWindowThreadProcessId(candidate, &owner);
            if (hasPid && owner != pid) return false;
            if (hasExe && lstrcmpiW(ImageNameOf(owner).c_str(), exe.c_str()) != 0) return false;
        }
        return true;
    }
};

// Enumeration callback (a named function: i686 needs the stdcall convention, which a lambda lacks).
BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> all;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> Matching(const Selector& selector) {
    std::vector<HWND> found;
    for (HWND hwnd : TopLevelWindows())
        if (selector.Matches(hwnd)) found.push_back(hwnd);
    return found;
}

std::vector<HWND> Descendants(HWND top) {
    std::vector<HWND> all;
    EnumChildWindows(top, CollectWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

// A rectangle in the client coordinates of `top`.
RECT ClientRectOf(HWND hwnd, HWND top) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    MapWindowPoints(HWND_DESKTOP, top, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void EmitWindowLine(const char* kind, HWND hwnd) {
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
    RECT frame{}, client{};
    GetWindowRect(hwnd, &frame);
    GetClientRect(hwnd, &client);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    Emit(Line(kind)
             .Handle("hwnd", reinterpret_cast<ULONG_PTR>(hwnd)).Int("pid", pid).Int("tid", tid)
             .Str("exe", ImageNameOf(pid)).Str("class", ClassOf(hwnd))
             .Str("title", WindowText(hwnd)).Flag("visible", IsWindowVisible(hwnd))
             .Flag("enabled", IsWindowEnabled(hwnd))
             .Handle("owner", reinterpret_cast<ULONG_PTR>(GetWindow(hwnd, GW_OWNER)))
             .Handle("style", static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)))
             .Rect(frame)
             .Int("client_x", origin.x).Int("client_y", origin.y)
             .Int("client_w", client.right - client.left)
             .Int("client_h", client.bottom - client.top));
}

void EmitControls(HWND top) {
    for (HWND child : Descendants(top)) {
        HWND parent = GetParent(child);
        // BM_GETCHECK carries no pointer, so it answers across processes; 0 for push buttons.
        bool button = lstrcmpiW(ClassOf(child).c_str(), L"Button") == 0;
        int checked = button ? static_cast<int>(SendMessageW(child, BM_GETCHECK, 0, 0)) : 0;
        Emit(Line("control")
                 .Handle("window", reinterpret_cast<ULONG_PTR>(top))
                 .Int("id", GetDlgCtrlID(child))
                 .Int("parent_id", parent == top ? 0 : GetDlgCtrlID(parent))
                 .Str("class", ClassOf(child)).Str("text", WindowText(child))
                 .Rect(ClientRectOf(child, top))
                 .Flag("enabled", IsWindowEnabled(child)).Flag("visible", IsWindowVisible(child))
                 .Flag("checked", checked == BST_CHECKED)
                 .Handle("style", static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE)))
                 .Handle("exstyle", static_cast<DWORD>(GetWindowLongPtrW(child, GWL_EXSTYLE))));
    }
}

// Has the hook library report the menu bar and tool tips of `top` from inside its process.
void EmitInProcessReport(HWND top) {
    auto fail = [top](const wchar_t* what) {
        Emit(Line("in_process_error").Handle("window", reinterpret_cast<ULONG_PTR>(top))
                 .Str("what", what).Int("error", GetLastError()));
    };
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"probe_hook.dll";
    HMODULE library = LoadLibraryW(path.c_str());
    auto proc = library ? reinterpret_cast<HOOKPROC>(
                              reinterpret_cast<void*>(GetProcAddress(library, "ProbeCallWndProc")))
                        : nullptr;
    if (!proc) return fail(L"load probe_hook.dll");

    std::wstring name = probe::kReportMappingPrefix + std::to_wstring(GetCurrentProcessId());
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        probe::kReportSize, name.c_str());
    char* view = mapping ? static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))
                         : nullptr;
    if (!view) return fail(L"shared memory");

    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, proc, library,
                                   GetWindowThreadProcessId(top, nullptr));
    if (!hook) {
        fail(L"SetWindowsHookEx");
    } else {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(top, RegisterWindowMessageW(probe::kDumpMessageName),
                            GetCurrentProcessId(), 0, SMTO_ABORTIFHUNG, 5000, &ignored);
        UnhookWindowsHookEx(hook);
        if (view[0] == '\0') {
            fail(L"no report from the window's thread");
        } else {
            DWORD written = 0;
            WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), view, static_cast<DWORD>(strlen(view)),
                      &written, nullptr);
        }
    }
    UnmapViewOfFile(view);
    CloseHandle(mapping);
}

std::wstring StripAmpersands(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

// A dialog box as the user sees it: its title, the texts of its static controls (the icon excluded)
// and its buttons.
void EmitBox(HWND box) {
    DWORD pid = 0;
    GetWindowThreadProcessId(box, &pid);
    std::wstring texts;
    std::string buttonList = "[";
    bool icon = false;
    for (HWND child : Descendants(box)) {
        std::wstring cls = ClassOf(child);
        LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        if (lstrcmpiW(cls.c_str(), L"Static") == 0) {
            if ((style & SS_TYPEMASK) == SS_ICON) {
                icon = true;
                continue;
            }
            std::wstring text = WindowText(child);
            if (text.empty()) continue;
            if (!texts.empty()) texts += L"\n";
            texts += text;
        } else if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
            if (buttonList.size() > 1) buttonList += ",";
            buttonList += probe::JsonText(StripAmpersands(WindowText(child)));
        }
    }
    buttonList += "]";
    Emit(Line("box")
             .Handle("hwnd", reinterpret_cast<ULONG_PTR>(box)).Int("pid", pid)
             .Str("exe", ImageNameOf(pid)).Str("title", WindowText(box)).Str("text", texts)
             .Raw("buttons", buttonList).Flag("icon", icon).Flag("visible", IsWindowVisible(box)));
}

// ---- Arguments ----------------------------------------------------------------------------

std::wstring Unescape(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 5 < text.size() && text[i + 1] == L'u') {
            out += static_cast<wchar_t>(std::wcstoul(text.substr(i + 2, 4).c_str(), nullptr, 16));
            i += 5;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Consumes the selector options from args (from index `first`); the rest stays in `rest`.
bool ParseSelector(const std::vector<std::wstring>& args, size_t first, Selector& selector,
                   std::vector<std::wstring>& rest) {
    for (size_t i = first; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        bool takesValue = arg == L"--title" || arg == L"--class" || arg == L"--exe" ||
                          arg == L"--pid" || arg == L"--hwnd";
        if (takesValue && i + 1 >= args.size()) return false;
        if (arg == L"--title") {
            selector.hasTitle = true;
            selector.title = Unescape(args[++i]);
        } else if (arg == L"--class") {
            selector.hasClass = true;
            selector.className = Unescape(args[++i]);
        } else if (arg == L"--exe") {
            selector.hasExe = true;
            selector.exe = Unescape(args[++i]);
        } else if (arg == L"--pid") {
            selector.hasPid = true;
            selector.pid = static_cast<DWORD>(std::wcstoul(args[++i].c_str(), nullptr, 0));
        } else if (arg == L"--hwnd") {
            selector.hwnd = reinterpret_cast<HWND>(
                static_cast<ULONG_PTR>(std::wcstoull(args[++i].c_str(), nullptr, 0)));
        } else if (arg == L"--visible") {
            selector.visibleOnly = true;
        } else {
            rest.push_back(arg);
        }
    }
    return true;
}

int Number(const std::wstring& text) {
    return static_cast<int>(std::wcstol(text.c_str(), nullptr, 0));
}

HWND FindChild(HWND top, int id) {
    for (HWND child : Descendants(top))
        if (GetDlgCtrlID(child) == id) return child;
    return nullptr;
}

int Usage() {
    Error(L"usage: probe list | dump SEL | boxes [SEL] | wait SEL MS | gone SEL MS | "
          L"click SEL ID | select SEL ID INDEX | menu SEL ID | close SEL | resize SEL W H | press SEL BUTTON | endsession SEL");
    return 2;
}

int Run(const std::vector<std::wstring>& args) {
    if (args.empty()) return Usage();
    const std::wstring& command = args[0];
    Selector selector;
    std::vector<std::wstring> rest;
    if (!ParseSelector(args, 1, selector, rest)) return Usage();

    if (command == L"list") {
        for (HWND hwnd : TopLevelWindows()) EmitWindowLine("window", hwnd);
        return 0;
    }
    if (command == L"boxes") {
        selector.hasClass = true;
        selector.className = L"#32770";
        for (HWND hwnd : Matching(selector)) EmitBox(hwnd);
        return 0;
    }
    if (command == L"wait" || command == L"gone") {
        if (rest.size() != 1) return Usage();
        DWORD limit = static_cast<DWORD>(std::wcstoul(rest[0].c_str(), nullptr, 10));
        bool wantPresent = command == L"wait";
        DWORD start = GetTickCount();
        for (;;) {
            bool present = !Matching(selector).empty();
            if (present == wantPresent) return 0;
            if (GetTickCount() - start >= limit) return 1;
            Sleep(100);
        }
    }

    std::vector<HWND> found = Matching(selector);
    if (found.empty()) {
        Error(L"no window matches");
        return 1;
    }
    if (command == L"dump") {
        if (!rest.empty()) return Usage();
        for (HWND hwnd : found) {
            EmitWindowLine("window", hwnd);
            EmitControls(hwnd);
            EmitInProcessReport(hwnd);
        }
        return 0;
    }
    HWND target = found.front();
    if (command == L"click") {
        if (rest.size() != 1) return Usage();
        HWND control = FindChild(target, Number(rest[0]));
        if (!control) {
            Error(L"no control with that ID");
            return 1;
        }
        // Posted, so that a modal loop the click opens does not block the probe.
        PostMessageW(control, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"select") {
        if (rest.size() != 2) return Usage();
        HWND control = FindChild(target, Number(rest[0]));
        if (!control) {
            Error(L"no control with that ID");
            return 1;
        }
        // As a user's choice arrives: the selection, then the notification to the parent.
        // CB_SETCURSEL carries no pointer, so it answers across processes.
        if (SendMessageW(control, CB_SETCURSEL, WPARAM(Number(rest[1])), 0) == CB_ERR) {
            Error(L"no item with that index");
            return 1;
        }
        PostMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(control));
        return 0;
    }
    if (command == L"menu") {
        if (rest.size() != 1) return Usage();
        PostMessageW(target, WM_COMMAND, MAKEWPARAM(Number(rest[0]), 0), 0);
        return 0;
    }
    if (command == L"close") {
        if (!rest.empty()) return Usage();
        PostMessageW(target, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == L"resize") {
        if (rest.size() != 2) return Usage();
        SetWindowPos(target, nullptr, 0, 0, Number(rest[0]), Number(rest[1]),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    if (command == L"endsession") {
        if (!rest.empty()) return Usage();
        // A log-off as Windows sends it: the question, then the end with the answer.
        DWORD_PTR answer = 0, ignored = 0;
        if (!SendMessageTimeoutW(target, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000,
                                 &answer)) {
            Error(L"no answer to WM_QUERYENDSESSION");
            return 1;
        }
        SendMessageTimeoutW(target, WM_ENDSESSION, answer ? TRUE : FALSE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000,
                            &ignored);
        Emit(Line("end_session").Flag("may_end", answer != 0));
        return 0;
    }
    if (command == L"press") {
        if (rest.size() != 1) return Usage();
        std::wstring wanted = Unescape(rest[0]);
        for (HWND child : Descendants(target)) {
            if (lstrcmpiW(ClassOf(child).c_str(), L"Button") != 0) continue;
            bool byText = lstrcmpiW(StripAmpersands(WindowText(child)).c_str(), wanted.c_str()) == 0;
            bool byId = !wanted.empty() && iswdigit(wanted[0]) &&
                        GetDlgCtrlID(child) == Number(wanted);
            if (!byText && !byId) continue;
            PostMessageW(target, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED),
                         reinterpret_cast<LPARAM>(child));
            return 0;
        }
        Error(L"no such button");
        return 1;
    }
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    return Run(args);
}
