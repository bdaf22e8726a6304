// The one window procedure of all the program's windows: it turns control notifications, menu
// commands, close boxes and clicks into the program's events, keeps the model's gadget states in
// step with what the user did, colours the link texts, applies the size limits and forwards the
// device-change notification and window timers to the program. Runs on the UI thread.
#include <windows.h>
#include <dbt.h>
#include <windowsx.h>

#include <algorithm>

#include "platform/callbacks.h"
#include "platform/win32/gui_state.h"
#include "platform/win32/wide.h"

namespace vu::plat::gui {

namespace {

// Devices came or went (DBT_DEVNODES_CHANGED), or a volume did: a volume arrives and leaves
// on its own after its disk, and a stick's letter can come with it only.
bool ChangesTheDriveList(WPARAM event, LPARAM data) {
    if (event == DBT_DEVNODES_CHANGED) return true;
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
    auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    return header && header->dbch_devicetype == DBT_DEVTYP_VOLUME;
}

void GadgetEvent(int window, int gadget, int kind) { PushEvent({EventGadget, window, gadget, kind}); }

std::string ControlText(HWND control) {
    int length = GetWindowTextLengthW(control);
    std::wstring text(size_t(length) + 1, L'\0');
    length = GetWindowTextW(control, text.data(), length + 1);
    return Narrow(text.data(), size_t(length > 0 ? length : 0));
}

// The model of the gadget behind a notifying control, or null for a stranger.
GadgetModel* GadgetOfControl(HWND control) {
    auto* model = FindGadget(GetDlgCtrlID(control));
    return model && model->hwnd == control ? model : nullptr;
}

// After the user clicked an option, every option of its group reads its check mark again.
void ReadOptionGroup(int gadget) {
    for (int number : OptionGroup(gadget))
        if (auto* g = FindGadget(number); g && g->hwnd) g->state = SendMessageW(g->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// WM_COMMAND: a menu item (lParam 0) or a control. A menu item and a gadget may share a number.
bool OnCommand(int window, WPARAM wParam, LPARAM lParam) {
    int code = HIWORD(wParam);
    if (lParam == 0) {
        if (code == 0) PushEvent({EventMenu, window, int(LOWORD(wParam)), 0});
        return code == 0;
    }
    Lock l(S().lock);
    auto* g = GadgetOfControl(reinterpret_cast<HWND>(lParam));
    if (!g) return false;
    int gadget = GetDlgCtrlID(g->hwnd);
    bool quiet = S().quietChanges > 0;
    switch (g->kind) {
        case GadgetKind::Button:
            if (code == BN_CLICKED) GadgetEvent(window, gadget, GadgetEventDefault);
            return true;
        case GadgetKind::CheckBox:
            if (code != BN_CLICKED) return false;
            g->state = SendMessageW(g->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
            GadgetEvent(window, gadget, GadgetEventDefault);
            return true;
        case GadgetKind::Option:
            if (code != BN_CLICKED) return false;
            ReadOptionGroup(gadget);
            GadgetEvent(window, gadget, GadgetEventDefault);
            return true;
        case GadgetKind::ComboBox:
            if (code == CBN_SELCHANGE) {
                int index = int(SendMessageW(g->hwnd, CB_GETCURSEL, 0, 0));
                g->state = index >= 0 && index < int(g->items.size()) ? index : -1;
                if (g->state >= 0) g->text = g->items[size_t(g->state)];
                GadgetEvent(window, gadget, GadgetEventDefault);
                return true;
            }
            if (code == CBN_EDITCHANGE && !quiet) {
                g->text = ControlText(g->hwnd);
                auto it = std::find(g->items.begin(), g->items.end(), g->text);
                g->state = it == g->items.end() ? -1 : int(it - g->items.begin());
                GadgetEvent(window, gadget, GadgetEventChange);
                return true;
            }
            return false;
        case GadgetKind::String:
        case GadgetKind::Editor:
            if (code == EN_CHANGE && !quiet) {
                g->text = ControlText(g->hwnd);
                GadgetEvent(window, gadget, GadgetEventChange);
                return true;
            }
            return false;
        default:
            return false;
    }
}

LRESULT OnNotify(int window, const NMHDR* header) {
    if (header->code != TVN_SELCHANGEDW) return 0;
    Lock l(S().lock);
    auto* g = GadgetOfControl(header->hwndFrom);
    if (!g || g->kind != GadgetKind::Tree) return 0;
    auto* change = reinterpret_cast<const NMTREEVIEWW*>(header);
    int index = -1;
    for (size_t i = 0; i < g->treeItems.size(); i++)
        if (g->treeItems[i].handle == change->itemNew.hItem) index = int(i);
    g->state = index;
    if (S().quietChanges == 0) GadgetEvent(window, GetDlgCtrlID(g->hwnd), GadgetEventDefault);
    return 0;
}

// The link gadget of `window` under a client point, -1 for none.
int LinkAt(int window, POINT p) {
    for (auto& [number, g] : S().gadgets)
        if (g.window == window && g.kind == GadgetKind::Link && p.x >= g.rect.x && p.x < g.rect.x + g.rect.w &&
            p.y >= g.rect.y && p.y < g.rect.y + g.rect.h)
            return number;
    return -1;
}

void SetHoverLink(WindowModel& model, int link) {
    if (model.hoverLink == link) return;
    for (int number : {model.hoverLink, link})
        if (auto* g = FindGadget(number); g && g->hwnd) InvalidateRect(g->hwnd, nullptr, TRUE);
    model.hoverLink = link;
}

LRESULT OnControlColor(int window, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    Lock l(S().lock);
    auto* g = GadgetOfControl(reinterpret_cast<HWND>(lParam));
    auto* w = FindWindowModel(window);
    if (g && w) {
        bool custom = w->hasColor && w->brush;
        COLORREF back = custom ? w->color : GetSysColor(COLOR_BTNFACE);
        HBRUSH brush = custom ? w->brush : GetSysColorBrush(COLOR_BTNFACE);
        if (g->kind == GadgetKind::Link) {
            SetTextColor(dc, w->hoverLink == GetDlgCtrlID(g->hwnd) ? g->linkHover : g->linkNormal);
            SetBkColor(dc, back);
            return reinterpret_cast<LRESULT>(brush);
        }
        if (g->hasTextColor) {
            // An editable field keeps the window colour behind its text, everything else the
            // background of its window (read-only fields ask with WM_CTLCOLORSTATIC).
            bool editable = message == WM_CTLCOLOREDIT;
            SetTextColor(dc, g->textColor);
            SetBkColor(dc, editable ? GetSysColor(COLOR_WINDOW) : back);
            return reinterpret_cast<LRESULT>(editable ? GetSysColorBrush(COLOR_WINDOW) : brush);
        }
        bool plain = g->kind == GadgetKind::Text || g->kind == GadgetKind::CheckBox ||
                     g->kind == GadgetKind::Option || g->kind == GadgetKind::Frame || g->kind == GadgetKind::Image;
        if (custom && plain) {
            SetBkColor(dc, back);
            return reinterpret_cast<LRESULT>(brush);
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void OnMinMaxInfo(int window, HWND hwnd, MINMAXINFO* info) {
    int minW, minH, maxW, maxH;
    {
        Lock l(S().lock);
        auto* w = FindWindowModel(window);
        if (!w || w->hwnd != hwnd || (w->minW <= 0 && w->maxW <= 0)) return;
        minW = w->minW, minH = w->minH, maxW = w->maxW, maxH = w->maxH;
    }
    RECT frame, client;
    if (IsIconic(hwnd) || !GetWindowRect(hwnd, &frame) || !GetClientRect(hwnd, &client)) return;
    // The frame around the client area as it is now (caption, borders, menu bar in its rows).
    int dx = (frame.right - frame.left) - client.right, dy = (frame.bottom - frame.top) - client.bottom;
    if (minW > 0) info->ptMinTrackSize = {minW + dx, minH + dy};
    if (maxW > 0) info->ptMaxTrackSize = {maxW + dx, maxH + dy};
}

}  // namespace

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    int window = int(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) - 1;
    if (window < 0) return DefWindowProcW(hwnd, message, wParam, lParam);

    switch (message) {
        case WM_COMMAND:
            if (OnCommand(window, wParam, lParam)) return 0;
            break;
        case WM_MENUSELECT:
            OnMenuSelect(window, hwnd, wParam, lParam);
            break;
        case WM_EXITMENULOOP:
            OnMenuSelect(window, hwnd, 0, 0);
            break;
        case WM_NOTIFY:
            return OnNotify(window, reinterpret_cast<const NMHDR*>(lParam));
        case WM_CLOSE:
            PushEvent({EventCloseWindow, window, 0, 0});
            return 0;
        case WM_LBUTTONDOWN:
            // Link texts let clicks through to the window: the program tests the cursor position.
            PushEvent({EventLeftClick, window, 0, 0});
            return 0;
        case WM_MOUSEMOVE: {
            Lock l(S().lock);
            auto* w = FindWindowModel(window);
            if (!w || w->hwnd != hwnd) break;
            SetHoverLink(*w, LinkAt(window, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
            if (!w->trackingMouse) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
                w->trackingMouse = TrackMouseEvent(&track) != 0;
            }
            return 0;
        }
        case WM_MOUSELEAVE: {
            Lock l(S().lock);
            if (auto* w = FindWindowModel(window); w && w->hwnd == hwnd) {
                w->trackingMouse = false;
                SetHoverLink(*w, -1);
            }
            return 0;
        }
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == hwnd && LOWORD(lParam) == HTCLIENT) {
                POINT p;
                GetCursorPos(&p);
                ScreenToClient(hwnd, &p);
                Lock l(S().lock);
                if (LinkAt(window, p) >= 0) {
                    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // IDC_HAND
                    return TRUE;
                }
            }
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
            return OnControlColor(window, hwnd, message, wParam, lParam);
        case WM_ERASEBKGND: {
            HBRUSH brush = nullptr;
            {
                Lock l(S().lock);
                if (auto* w = FindWindowModel(window); w && w->hwnd == hwnd && w->hasColor) brush = w->brush;
            }
            if (!brush) break;
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
            return 1;
        }
        case WM_GETMINMAXINFO:
            OnMinMaxInfo(window, hwnd, reinterpret_cast<MINMAXINFO*>(lParam));
            return 0;
        case WM_ACTIVATE: {
            // Keep the keyboard focus on the gadget that had it when the window was left.
            Lock l(S().lock);
            auto* w = FindWindowModel(window);
            if (!w || w->hwnd != hwnd) break;
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd, focus)) w->lastFocus = focus;
            } else if (w->lastFocus && IsWindow(w->lastFocus) && IsChild(hwnd, w->lastFocus)) {
                SetFocus(w->lastFocus);
                return 0;
            }
            break;
        }
        case WM_MEASUREITEM:
            if (MeasureMenuIcon(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) return TRUE;
            break;
        case WM_DRAWITEM:
            if (DrawMenuIcon(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
            break;
        case WM_DEVICECHANGE:
            if (ChangesTheDriveList(wParam, lParam)) vu::OnDeviceNodesChanged();
            return TRUE;
        case WM_TIMER:
            vu::OnWindowTimer(window, int(wParam) - 1);
            return 0;
        case WM_QUERYENDSESSION:
            return vu::OnQueryEndSession(window) ? TRUE : FALSE;
        case WM_ENDSESSION:
            if (wParam) vu::OnEndSession(window);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace vu::plat::gui
