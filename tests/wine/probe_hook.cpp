// Hook library of the window probe. The probe installs ProbeCallWndProc as a WH_CALLWNDPROC hook
// on the thread of the window it inspects, which makes Windows (and Wine) load this library into
// that process; the probe then sends the window the registered "dump" message. The hook answers
// it from inside the process, where menus, tool tips and the process's error mode can be read (Wine keeps menus per
// process, and tool-tip messages carry pointers that are not marshalled between processes), and
// writes JSON lines into the probe's shared memory: the menu bar, the tool tips and the lines of
// the combo boxes. Runs on the inspected window's thread.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "probe_json.h"

namespace {

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

struct MenuEntry {
    UINT id = 0, type = 0, state = 0;
    HMENU submenu = nullptr;
    bool bitmap = false;
    std::wstring text;
};

MenuEntry ReadMenuEntry(HMENU menu, int pos) {
    MenuEntry entry;
    wchar_t text[512] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING | MIIM_BITMAP;
    info.dwTypeData = text;
    info.cch = 511;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(pos), TRUE, &info)) return entry;
    entry.id = info.wID;
    entry.type = info.fType;
    entry.state = info.fState;
    entry.submenu = info.hSubMenu;
    entry.bitmap = info.hbmpItem != nullptr;
    entry.text = text;
    return entry;
}

bool Enabled(UINT state) { return !(state & (MFS_DISABLED | MFS_GRAYED)); }

void ReportMenuBar(HWND top, std::string& out) {
    HMENU bar = GetMenu(top);
    if (!bar) return;
    POINT origin{0, 0};
    ClientToScreen(top, &origin);
    int titles = GetMenuItemCount(bar);
    for (int t = 0; t < titles; ++t) {
        MenuEntry title = ReadMenuEntry(bar, t);
        RECT rect{};
        GetMenuItemRect(top, bar, static_cast<UINT>(t), &rect);
        OffsetRect(&rect, -origin.x, -origin.y);  // client coordinates: the bar lies above y = 0
        int items = title.submenu ? GetMenuItemCount(title.submenu) : 0;
        out += probe::Line("menu_title")
                   .Handle("window", reinterpret_cast<ULONG_PTR>(top)).Int("pos", t)
                   .Str("text", title.text).Flag("enabled", Enabled(title.state))
                   .Int("items", items).Rect(rect).Text();
        for (int i = 0; i < items; ++i) {
            MenuEntry item = ReadMenuEntry(title.submenu, i);
            out += probe::Line("menu_item")
                       .Handle("window", reinterpret_cast<ULONG_PTR>(top)).Int("title_pos", t)
                       .Int("pos", i).Int("id", item.id).Str("text", item.text)
                       .Flag("separator", (item.type & MFT_SEPARATOR) != 0)
                       .Flag("enabled", Enabled(item.state))
                       .Flag("checked", (item.state & MFS_CHECKED) != 0)
                       .Flag("bitmap", item.bitmap).Flag("submenu", item.submenu != nullptr)
                       .Text();
        }
    }
}

// The tools of every tool-tip window owned by `top`, each reported with the control ID of the
// control it describes.
struct ToolTipSearch {
    HWND top;
    std::vector<HWND> tips;
};

// Enumeration callback (a named function: i686 needs the stdcall convention, which a lambda lacks).
BOOL CALLBACK CollectToolTip(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<ToolTipSearch*>(param);
    if (GetWindow(hwnd, GW_OWNER) == search->top && ClassOf(hwnd) == TOOLTIPS_CLASSW)
        search->tips.push_back(hwnd);
    return TRUE;
}

void ReportToolTips(HWND top, std::string& out) {
    ToolTipSearch search{top, {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectToolTip, reinterpret_cast<LPARAM>(&search));
    for (HWND tip : search.tips) {
        int count = static_cast<int>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            TTTOOLINFOW info{};
            info.cbSize = sizeof info;
            if (!SendMessageW(tip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i),
                              reinterpret_cast<LPARAM>(&info)))
                continue;
            wchar_t text[1024] = {};
            info.lpszText = text;
            SendMessageW(tip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&info));
            long long id = (info.uFlags & TTF_IDISHWND)
                               ? GetDlgCtrlID(reinterpret_cast<HWND>(info.uId))
                               : static_cast<long long>(info.uId);
            out += probe::Line("tooltip")
                       .Handle("window", reinterpret_cast<ULONG_PTR>(top)).Int("id", id)
                       .Str("text", text).Text();
        }
    }
}

// The lines of every combo box of `top` (their texts are not readable from another process).
BOOL CALLBACK CollectCombo(HWND hwnd, LPARAM param) {
    if (lstrcmpiW(ClassOf(hwnd).c_str(), L"ComboBox") == 0) reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

void ReportComboItems(HWND top, std::string& out) {
    std::vector<HWND> combos;
    EnumChildWindows(top, CollectCombo, reinterpret_cast<LPARAM>(&combos));
    for (HWND combo : combos) {
        int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
        int selected = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
        for (int i = 0; i < count; ++i) {
            int length = static_cast<int>(SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0));
            std::wstring text(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
            SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
            text.resize(wcslen(text.c_str()));
            out += probe::Line("combo_item")
                       .Handle("window", reinterpret_cast<ULONG_PTR>(top)).Int("id", GetDlgCtrlID(combo))
                       .Int("index", i).Str("text", text).Flag("selected", i == selected).Text();
        }
    }
}

void WriteReport(DWORD probePid, const std::string& report) {
    std::wstring name = probe::kReportMappingPrefix + std::to_wstring(probePid);
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name.c_str());
    if (!mapping) return;
    if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, probe::kReportSize)) {
        size_t size = report.size() < probe::kReportSize - 1 ? report.size() : probe::kReportSize - 1;
        memcpy(view, report.data(), size);
        static_cast<char*>(view)[size] = '\0';
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeCallWndProc(int code, WPARAM wParam,
                                                                   LPARAM lParam) {
    static const UINT dumpMessage = RegisterWindowMessageW(probe::kDumpMessageName);
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == dumpMessage) {
            HWND top = call->hwnd;
            std::string report = probe::Line("in_process")
                                     .Handle("window", reinterpret_cast<ULONG_PTR>(top))
                                     .Flag("has_menu", GetMenu(top) != nullptr)
                                     .Int("error_mode", GetErrorMode())
                                     .Text();
            ReportMenuBar(top, report);
            ReportToolTips(top, report);
            ReportComboItems(top, report);
            WriteReport(static_cast<DWORD>(call->wParam), report);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
