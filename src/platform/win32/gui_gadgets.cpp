// Gadgets: the child controls of the program's windows, addressed by their gadget numbers (the
// control ID is the gadget number). Creation, texts, states, enabling, tool tips (one tool tip
// control per window) and positions. Creating and freeing belong to the main thread; the other
// calls are safe on any thread (see gui_state.h).
#include <algorithm>

#include "platform/win32/gui_state.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace gui {

namespace {

struct ControlClass {
    const wchar_t* name;
    long style;
    long exStyle;
};

ControlClass ClassOf(GadgetKind kind, unsigned flags) {
    switch (kind) {
        case GadgetKind::Button:
            return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
        case GadgetKind::Frame:
            return {L"BUTTON", BS_GROUPBOX, 0};
        case GadgetKind::Tree:
            return {WC_TREEVIEWW,
                    TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | WS_TABSTOP |
                        ((flags & GadgetAlwaysShowSelection) ? TVS_SHOWSELALWAYS : 0),
                    WS_EX_CLIENTEDGE};
        case GadgetKind::Canvas:
            return {kCanvasClass, 0, 0};
        case GadgetKind::Text: {
            long align = (flags & GadgetCenter) ? SS_CENTER : (flags & GadgetRight) ? SS_RIGHT : SS_LEFT;
            return {L"STATIC", align | SS_NOPREFIX | ((flags & GadgetBorder) ? SS_SUNKEN : 0), 0};
        }
        case GadgetKind::Link:
            // No SS_NOTIFY: the static lets mouse clicks through to its window (EventLeftClick).
            return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
        case GadgetKind::CheckBox:
            return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
        case GadgetKind::Option:
            return {L"BUTTON", BS_AUTORADIOBUTTON, 0};
        case GadgetKind::ComboBox:
            return {WC_COMBOBOXW,
                    ((flags & GadgetEditable) ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST) | WS_VSCROLL | WS_TABSTOP,
                    0};
        case GadgetKind::String:
            return {WC_EDITW,
                    ES_AUTOHSCROLL | WS_TABSTOP | ((flags & GadgetNumeric) ? ES_NUMBER : 0) |
                        ((flags & GadgetReadOnly) ? ES_READONLY : 0),
                    WS_EX_CLIENTEDGE};
        case GadgetKind::Editor:
            return {WC_EDITW,
                    ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP |
                        ((flags & GadgetReadOnly) ? ES_READONLY : 0),
                    WS_EX_CLIENTEDGE};
        case GadgetKind::Image:
            return {L"STATIC", SS_ICON | SS_CENTERIMAGE, 0};
    }
    return {L"STATIC", 0, 0};
}

// A combo box is created with room for its drop-down list; its closed height is then set to the
// gadget's height through the height of the selection field.
void FitComboHeight(HWND combo, int height) {
    RECT r;
    GetWindowRect(combo, &r);
    int closed = r.bottom - r.top;
    int field = int(SendMessageW(combo, CB_GETITEMHEIGHT, WPARAM(-1), 0));
    if (height > 0 && closed != height && field + height - closed > 0)
        SendMessageW(combo, CB_SETITEMHEIGHT, WPARAM(-1), field + height - closed);
}

HWND ToolTipOf(WindowModel& w) {
    if (!w.toolTip && w.hwnd) {
        w.toolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, w.hwnd, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
        // Long tips wrap instead of running across the screen.
        if (w.toolTip) SendMessageW(w.toolTip, TTM_SETMAXTIPWIDTH, 0, 400);
    }
    return w.toolTip;
}

void ApplyToolTip(GadgetModel& g, const std::string& text) {
    auto* w = FindWindowModel(g.window);
    HWND tip = w ? ToolTipOf(*w) : nullptr;
    if (!tip) return;
    std::wstring wide = Widen(text);
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = w->hwnd;
    info.uId = reinterpret_cast<UINT_PTR>(g.hwnd);
    info.lpszText = wide.data();
    if (text.empty()) {
        if (g.toolAdded) SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
        g.toolAdded = false;
    } else if (g.toolAdded) {
        SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    } else {
        g.toolAdded = SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != 0;
    }
}

}  // namespace

std::wstring ControlLines(const std::string& text) {
    std::string lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) lines += '\r';
        lines += text[i];
    }
    return Widen(lines);
}

std::vector<int> OptionGroup(int gadget) {
    std::vector<int> group;
    auto* g = FindGadget(gadget);
    auto* w = g ? FindWindowModel(g->window) : nullptr;
    if (!w || g->kind != GadgetKind::Option) return group;
    auto& order = w->gadgetOrder;
    auto at = std::find(order.begin(), order.end(), gadget);
    if (at == order.end()) return group;
    auto isOption = [](int number) {
        auto* other = FindGadget(number);
        return other && other->kind == GadgetKind::Option;
    };
    auto first = at;
    while (first != order.begin() && isOption(*(first - 1))) --first;
    for (auto it = first; it != order.end() && isOption(*it); ++it) group.push_back(*it);
    return group;
}

void CreateControl(int gadget, GadgetModel& g, WindowModel& w) {
    ControlClass cls = ClassOf(g.kind, g.flags);
    DWORD style = DWORD(cls.style) | WS_CHILD | WS_VISIBLE | (g.disabled ? WS_DISABLED : 0);
    // A run of options is one group: WS_GROUP on its first member and on the gadget after it.
    auto at = std::find(w.gadgetOrder.begin(), w.gadgetOrder.end(), gadget);
    auto* previous = at != w.gadgetOrder.begin() && at != w.gadgetOrder.end() ? FindGadget(*(at - 1)) : nullptr;
    bool afterOption = previous && previous->kind == GadgetKind::Option;
    if ((g.kind == GadgetKind::Option) != afterOption) style |= WS_GROUP;
    if (g.kind == GadgetKind::Option && !afterOption) style |= WS_TABSTOP;

    std::wstring text;
    if (g.kind == GadgetKind::Editor) text = ControlLines(g.text);
    else if (g.kind != GadgetKind::Tree && g.kind != GadgetKind::ComboBox && g.kind != GadgetKind::Image) text = Widen(g.text);
    int height = g.kind == GadgetKind::ComboBox ? g.rect.h + 300 : g.rect.h;

    g.hwnd = CreateWindowExW(DWORD(cls.exStyle), cls.name, text.c_str(), style, g.rect.x, g.rect.y, g.rect.w, height, w.hwnd,
                             reinterpret_cast<HMENU>(intptr_t(gadget)), GetModuleHandleW(nullptr), nullptr);
    if (!g.hwnd) return;
    SendMessageW(g.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
    if (g.kind == GadgetKind::ComboBox) FitComboHeight(g.hwnd, g.rect.h);
    if (g.kind == GadgetKind::Image && !g.text.empty())
        if (HICON icon = ImageIcon(std::atoi(g.text.c_str())))
            SendMessageW(g.hwnd, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

}  // namespace gui

using namespace gui;

bool CreateGadget(int window, int gadget, GadgetKind kind, Rect rect, const std::string& text, unsigned flags) {
    uint64_t serial;
    {
        Lock l(S().lock);
        if (!FindWindowModel(window)) return false;
        if (FindGadget(gadget)) FreeGadget(gadget);
        GadgetModel g;
        g.serial = serial = S().nextSerial++;
        g.window = window;
        g.kind = kind;
        g.rect = rect;
        g.flags = flags;
        if (kind == GadgetKind::Tree || kind == GadgetKind::ComboBox) g.state = -1;
        else g.text = text;
        S().gadgets[gadget] = g;
        FindWindowModel(window)->gadgetOrder.push_back(gadget);
    }
    RunOnUi([=] {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        auto* w = FindWindowModel(window);
        if (g && g->serial == serial && !g->hwnd && w && w->hwnd) CreateControl(gadget, *g, *w);
    });
    Lock l(S().lock);
    auto* g = FindGadget(gadget);
    return g && (g->hwnd || !OnUiThread());
}

bool GadgetExists(int gadget) {
    Lock l(S().lock);
    return FindGadget(gadget) != nullptr;
}

void FreeGadget(int gadget) {
    HWND hwnd = nullptr, tip = nullptr, owner = nullptr;
    HIMAGELIST images = nullptr;
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        hwnd = g->hwnd, images = g->imageList;
        if (auto* w = FindWindowModel(g->window)) {
            std::erase(w->gadgetOrder, gadget);
            if (w->hoverLink == gadget) w->hoverLink = -1;
            if (g->toolAdded) tip = w->toolTip, owner = w->hwnd;
        }
        S().gadgets.erase(gadget);
    }
    RunOnUi([=] {
        if (tip) {
            TOOLINFOW info{};
            info.cbSize = TTTOOLINFOW_V2_SIZE;
            info.hwnd = owner;
            info.uId = reinterpret_cast<UINT_PTR>(hwnd);
            SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
        }
        if (hwnd) DestroyWindow(hwnd);
        if (images) ImageList_Destroy(images);
    });
}

void SetGadgetText(int gadget, const std::string& text) {
    int index = -1;
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        g->text = text;
        // A combo box whose text is one of its items selects that item.
        if (g->kind == GadgetKind::ComboBox) {
            auto it = std::find(g->items.begin(), g->items.end(), text);
            g->state = index = it == g->items.end() ? -1 : int(it - g->items.begin());
        }
    }
    ApplyToGadget(gadget, [=](GadgetModel& g) {
        QuietChange quiet;
        switch (g.kind) {
            case GadgetKind::ComboBox:
                SendMessageW(g.hwnd, CB_SETCURSEL, WPARAM(index), 0);
                if (index < 0 && (g.flags & GadgetEditable)) SetWindowTextW(g.hwnd, Widen(text).c_str());
                break;
            case GadgetKind::Tree:
            case GadgetKind::Canvas:
            case GadgetKind::Image:
                break;
            case GadgetKind::Editor:
                SetWindowTextW(g.hwnd, ControlLines(text).c_str());
                break;
            default:
                SetWindowTextW(g.hwnd, Widen(text).c_str());
                break;
        }
    });
}

std::string GetGadgetText(int gadget) {
    Lock l(S().lock);
    auto* g = FindGadget(gadget);
    if (!g) return "";
    if ((g->kind == GadgetKind::ComboBox || g->kind == GadgetKind::Tree) && g->state >= 0 &&
        g->state < int(g->items.size()))
        return g->items[size_t(g->state)];
    return g->text;
}

void SetGadgetState(int gadget, int state) {
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        if (g->kind == GadgetKind::Option && state)
            for (int other : OptionGroup(gadget)) FindGadget(other)->state = 0;
        if ((g->kind == GadgetKind::ComboBox || g->kind == GadgetKind::Tree) &&
            (state < -1 || state >= int(g->items.size())))
            state = -1;
        g->state = state;
        if (g->kind == GadgetKind::ComboBox && state >= 0) g->text = g->items[size_t(state)];
    }
    ApplyToGadget(gadget, [=](GadgetModel& g) {
        QuietChange quiet;
        switch (g.kind) {
            case GadgetKind::CheckBox:
                SendMessageW(g.hwnd, BM_SETCHECK, state ? BST_CHECKED : BST_UNCHECKED, 0);
                break;
            case GadgetKind::Option:
                if (state)
                    for (int other : OptionGroup(gadget))
                        if (auto* o = FindGadget(other); o && o->hwnd && other != gadget)
                            SendMessageW(o->hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
                SendMessageW(g.hwnd, BM_SETCHECK, state ? BST_CHECKED : BST_UNCHECKED, 0);
                break;
            case GadgetKind::ComboBox:
                SendMessageW(g.hwnd, CB_SETCURSEL, WPARAM(state), 0);
                break;
            case GadgetKind::Tree:
                SelectTreeItem(g, state);
                break;
            case GadgetKind::Image:
                SendMessageW(g.hwnd, STM_SETICON, reinterpret_cast<WPARAM>(ImageIcon(state)), 0);
                break;
            default:
                break;
        }
    });
}

int GetGadgetState(int gadget) {
    Lock l(S().lock);
    auto* g = FindGadget(gadget);
    return g ? g->state : 0;
}

void DisableGadget(int gadget, bool disabled) {
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        g->disabled = disabled;
    }
    ApplyToGadget(gadget, [=](GadgetModel& g) { EnableWindow(g.hwnd, !disabled); });
}

bool IsGadgetDisabled(int gadget) {
    Lock l(S().lock);
    auto* g = FindGadget(gadget);
    return g && g->disabled;
}

void SetGadgetToolTip(int gadget, const std::string& text) {
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        g->toolTip = text;
    }
    ApplyToGadget(gadget, [=](GadgetModel& g) { ApplyToolTip(g, text); });
}

void SetLinkColors(int gadget, uint32_t normalRgb, uint32_t hoverRgb) {
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        g->linkNormal = normalRgb, g->linkHover = hoverRgb;
    }
    ApplyToGadget(gadget, [](GadgetModel& g) { InvalidateRect(g.hwnd, nullptr, TRUE); });
}

void SetGadgetTextColor(int gadget, uint32_t rgb) {
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        g->hasTextColor = true;
        g->textColor = rgb;
    }
    ApplyToGadget(gadget, [](GadgetModel& g) { InvalidateRect(g.hwnd, nullptr, TRUE); });
}

Rect GadgetRect(int gadget) {
    Lock l(S().lock);
    auto* g = FindGadget(gadget);
    return g ? g->rect : Rect{};
}

Rect GadgetScreenRect(int gadget) {
    Rect rect;
    HWND owner;
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        auto* w = g ? FindWindowModel(g->window) : nullptr;
        if (!w || !w->hwnd) return {};
        rect = g->rect, owner = w->hwnd;
    }
    POINT origin{0, 0};
    ClientToScreen(owner, &origin);
    return {origin.x + rect.x, origin.y + rect.y, rect.w, rect.h};
}

}  // namespace vu::plat
