// Menu bars: titles with their items (16 x 16 icons beside items that have an image, drawn on
// request of the window procedure), separators, the rewritable title text, disabled items, and
// item tool tips (a tracking tool tip beside the highlighted item). Menu commands reach the
// program through the window procedure. CreateMenu, MenuTitle, MenuItem and MenuBar belong to the main
// thread; the other calls are safe on any thread (see gui_state.h).
#include <algorithm>

#include "platform/win32/gui_state.h"
#include "platform/win32/wide.h"

namespace vu::plat {

using namespace gui;

namespace {

// Runs `apply` on the UI thread with the menu's model, if it still is the menu of the call.
template <class Apply>
void ApplyToMenu(int menu, Apply apply) {
    uint64_t serial;
    {
        Lock l(S().lock);
        auto it = S().menus.find(menu);
        if (it == S().menus.end()) return;
        serial = it->second.serial;
    }
    RunOnUi([=] {
        int window;
        {
            Lock l(S().lock);
            auto it = S().menus.find(menu);
            if (it == S().menus.end() || it->second.serial != serial || !it->second.bar) return;
            apply(it->second);
            window = it->second.window;
        }
        // A title of another width can wrap the bar onto more rows: keep the client size.
        if (HWND hwnd = WindowHandle(window)) DrawMenuBar(hwnd);
        FitFrameToClient(window);
    });
}

void AppendEntry(HMENU popup, const MenuEntryModel& entry) {
    std::wstring text = Widen(entry.text);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    if (entry.item < 0) {
        info.fMask = MIIM_FTYPE;
        info.fType = MFT_SEPARATOR;
    } else {
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE;
        info.wID = UINT(entry.item);
        info.dwTypeData = text.data();
        info.fState = entry.disabled ? MFS_GRAYED : MFS_ENABLED;
        // The icon is drawn by the window procedure (WM_MEASUREITEM, WM_DRAWITEM): menus blend
        // an icon drawn that way on every system, unlike a bitmap with alpha.
        if (entry.image >= 0 && ImageIcon(entry.image)) {
            info.fMask |= MIIM_BITMAP | MIIM_DATA;
            info.hbmpItem = HBMMENU_CALLBACK;
            info.dwItemData = ULONG_PTR(entry.image) + 1;
        }
    }
    InsertMenuItemW(popup, GetMenuItemCount(popup), TRUE, &info);
}

}  // namespace

namespace gui {

bool MeasureMenuIcon(MEASUREITEMSTRUCT* item) {
    if (item->CtlType != ODT_MENU || item->itemData == 0) return false;
    item->itemWidth = 16;
    item->itemHeight = 16;
    return true;
}

// Windows menus show no tool tips: a tracking tool tip of the window stands in for them.
void OnMenuSelect(int window, HWND hwnd, WPARAM wParam, LPARAM lParam) {
    auto popup = reinterpret_cast<HMENU>(lParam);
    UINT item = LOWORD(wParam), flags = HIWORD(wParam);
    std::wstring tip;
    HWND tipWindow;
    {
        Lock l(S().lock);
        auto* w = FindWindowModel(window);
        if (!w || w->hwnd != hwnd) return;
        if (popup && !(flags & MF_POPUP))
            for (const auto& [number, menu] : S().menus)
                for (const auto& title : menu.titles)
                    if (menu.window == window && title.popup == popup)
                        for (const auto& entry : title.entries)
                            if (entry.item == int(item)) tip = Widen(entry.toolTip);
        if (!w->menuTip && !tip.empty()) {
            w->menuTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                                         GetModuleHandleW(nullptr), nullptr);
            TOOLINFOW info{};
            info.cbSize = TTTOOLINFOW_V2_SIZE;
            info.uFlags = TTF_TRACK | TTF_ABSOLUTE;
            info.hwnd = hwnd;
            info.lpszText = const_cast<wchar_t*>(L"");
            if (w->menuTip) {
                SendMessageW(w->menuTip, TTM_SETMAXTIPWIDTH, 0, 400);
                SendMessageW(w->menuTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
            }
        }
        tipWindow = w->menuTip;
    }
    if (!tipWindow) return;
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = hwnd;
    RECT r{};
    int count = tip.empty() ? 0 : GetMenuItemCount(popup), position = 0;
    while (position < count && GetMenuItemID(popup, position) != item) ++position;
    if (position >= count || !GetMenuItemRect(nullptr, popup, UINT(position), &r)) {
        SendMessageW(tipWindow, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&info));
        return;
    }
    info.lpszText = tip.data();
    SendMessageW(tipWindow, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    // Beside the menu, or below it when the screen has no room on its right (the tool tip would
    // slide over the menu to stay on the screen). Its size is known once it is shown.
    RECT menu = r;
    if (HWND menuWindow = FindWindowW(L"#32768", nullptr)) GetWindowRect(menuWindow, &menu);
    int x = std::max(r.right, menu.right) + 2;
    SendMessageW(tipWindow, TTM_TRACKPOSITION, 0, MAKELPARAM(x, r.top));
    SendMessageW(tipWindow, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&info));
    LRESULT size = SendMessageW(tipWindow, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&info));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromRect(&menu, MONITOR_DEFAULTTONEAREST), &monitor) &&
        x + LOWORD(size) > monitor.rcWork.right)
        SendMessageW(tipWindow, TTM_TRACKPOSITION, 0, MAKELPARAM(menu.left, menu.bottom + 2));
}

bool DrawMenuIcon(const DRAWITEMSTRUCT* item) {
    if (item->CtlType != ODT_MENU || item->itemData == 0) return false;
    HICON icon = ImageIcon(int(item->itemData) - 1);
    if (!icon) return true;
    int x = item->rcItem.left, y = item->rcItem.top + (item->rcItem.bottom - item->rcItem.top - 16) / 2;
    if (item->itemState & (ODS_GRAYED | ODS_DISABLED))
        DrawStateW(item->hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, x, y, 16, 16, DST_ICON | DSS_DISABLED);
    else
        DrawIconEx(item->hDC, x, y, icon, 16, 16, 0, nullptr, DI_NORMAL);
    return true;
}

}  // namespace gui

bool CreateMenu(int menu, int window) {
    EnsureUiThread();
    {
        Lock l(S().lock);
        if (!FindWindowModel(window)) return false;
        MenuModel model;
        model.serial = S().nextSerial++;
        model.window = window;
        S().menus[menu] = model;
        S().currentMenu = menu;
    }
    RunOnUi([=] {
        HWND hwnd;
        {
            Lock l(S().lock);
            auto it = S().menus.find(menu);
            hwnd = WindowHandle(window);
            if (it == S().menus.end() || it->second.bar || !hwnd) return;
            it->second.bar = ::CreateMenu();
            SetMenu(hwnd, it->second.bar);
        }
        FitFrameToClient(window);
    });
    return true;
}

void MenuTitle(const std::string& text) {
    int menu, index;
    {
        Lock l(S().lock);
        menu = S().currentMenu;
        auto it = S().menus.find(menu);
        if (it == S().menus.end()) return;
        it->second.titles.push_back({text, {}, nullptr});
        index = int(it->second.titles.size()) - 1;
    }
    ApplyToMenu(menu, [=](MenuModel& m) {
        if (index >= int(m.titles.size())) return;
        auto& title = m.titles[size_t(index)];
        title.popup = CreatePopupMenu();
        AppendMenuW(m.bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(title.popup), Widen(text).c_str());
    });
}

static void AddEntry(const MenuEntryModel& entry) {
    int menu, index;
    {
        Lock l(S().lock);
        menu = S().currentMenu;
        auto it = S().menus.find(menu);
        if (it == S().menus.end() || it->second.titles.empty()) return;
        it->second.titles.back().entries.push_back(entry);
        index = int(it->second.titles.size()) - 1;
    }
    ApplyToMenu(menu, [=](MenuModel& m) {
        if (index < int(m.titles.size()) && m.titles[size_t(index)].popup) AppendEntry(m.titles[size_t(index)].popup, entry);
    });
}

void MenuItem(int item, const std::string& text, int image) { AddEntry({item, text, image, false, ""}); }

void MenuBar() { AddEntry({-1, "", -1, false, ""}); }

void SetMenuTitleText(int menu, int titleIndex, const std::string& text) {
    {
        Lock l(S().lock);
        auto it = S().menus.find(menu);
        if (it == S().menus.end() || titleIndex < 0 || titleIndex >= int(it->second.titles.size())) return;
        it->second.titles[size_t(titleIndex)].text = text;
    }
    ApplyToMenu(menu, [=](MenuModel& m) {
        std::wstring wide = Widen(text);
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STRING;
        info.dwTypeData = wide.data();
        SetMenuItemInfoW(m.bar, UINT(titleIndex), TRUE, &info);
    });
}

void DisableMenuItem(int menu, int item, bool disabled) {
    {
        Lock l(S().lock);
        auto it = S().menus.find(menu);
        if (it == S().menus.end()) return;
        for (auto& title : it->second.titles)
            for (auto& entry : title.entries)
                if (entry.item == item) entry.disabled = disabled;
    }
    ApplyToMenu(menu, [=](MenuModel& m) {
        EnableMenuItem(m.bar, UINT(item), MF_BYCOMMAND | (disabled ? MF_GRAYED : MF_ENABLED));
    });
}

// Only the model changes: the tip is read when the item is highlighted.
void SetMenuItemToolTip(int menu, int item, const std::string& text) {
    Lock l(S().lock);
    auto it = S().menus.find(menu);
    if (it == S().menus.end()) return;
    for (auto& title : it->second.titles)
        for (auto& entry : title.entries)
            if (entry.item == item) entry.toolTip = text;
}

}  // namespace vu::plat
