// Items of tree and combo box gadgets: the drive list's lines with their depth and icon, the
// lines of the combo boxes, and the combo's drop-down width. Safe on any thread (see gui_state.h):
// FillDriveList runs on workers when an operation ends.
#include <algorithm>

#include "platform/win32/gui_state.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace gui {

namespace {

// The slot of a program image in the tree's own image list, made on first use; -1 without one.
int TreeImageSlot(GadgetModel& g, int image) {
    if (image < 0) return -1;
    if (auto it = g.imageSlots.find(image); it != g.imageSlots.end()) return it->second;
    HICON icon = ImageIcon(image);
    if (!icon) return -1;
    if (!g.imageList) {
        g.imageList = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8);
        if (!g.imageList) return -1;
        SendMessageW(g.hwnd, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(g.imageList));
    }
    int slot = ImageList_AddIcon(g.imageList, icon);
    if (slot >= 0) g.imageSlots[image] = slot;
    return slot;
}

void AddTreeItem(GadgetModel& g, const std::string& text, int image, int depth) {
    // The parent is the nearest earlier item one level up; depth 0 (or no such item) is the root.
    HTREEITEM parent = TVI_ROOT;
    for (auto it = g.treeItems.rbegin(); it != g.treeItems.rend(); ++it)
        if (it->depth < depth) {
            parent = it->handle;
            break;
        }
    std::wstring wide = Widen(text);
    int slot = TreeImageSlot(g, image);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = wide.data();
    insert.item.iImage = insert.item.iSelectedImage = slot >= 0 ? slot : I_IMAGENONE;
    auto handle = reinterpret_cast<HTREEITEM>(SendMessageW(g.hwnd, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    g.treeItems.push_back({handle, depth});
}

}  // namespace

void SelectTreeItem(GadgetModel& g, int index) {
    QuietChange quiet;
    HTREEITEM item = index >= 0 && index < int(g.treeItems.size()) ? g.treeItems[size_t(index)].handle : nullptr;
    SendMessageW(g.hwnd, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    if (item) SendMessageW(g.hwnd, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
}

}  // namespace gui

using namespace gui;

void ClearGadgetItems(int gadget) {
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        g->items.clear(), g->itemImages.clear(), g->itemDepths.clear();
        g->state = -1;
    }
    ApplyToGadget(gadget, [](GadgetModel& g) {
        QuietChange quiet;
        if (g.kind == GadgetKind::Tree) {
            SendMessageW(g.hwnd, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
            g.treeItems.clear();
        } else if (g.kind == GadgetKind::ComboBox) {
            SendMessageW(g.hwnd, CB_RESETCONTENT, 0, 0);
        }
    });
}

void AddGadgetItem(int gadget, const std::string& text, int image, int depth) {
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        g->items.push_back(text), g->itemImages.push_back(image), g->itemDepths.push_back(depth);
    }
    ApplyToGadget(gadget, [=](GadgetModel& g) {
        QuietChange quiet;
        if (g.kind == GadgetKind::Tree)
            AddTreeItem(g, text, image, depth);
        else if (g.kind == GadgetKind::ComboBox)
            SendMessageW(g.hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
    });
}

int CountGadgetItems(int gadget) {
    Lock l(S().lock);
    auto* g = FindGadget(gadget);
    return g ? int(g->items.size()) : 0;
}

std::string GetGadgetItemText(int gadget, int index) {
    Lock l(S().lock);
    auto* g = FindGadget(gadget);
    if (!g || index < 0 || index >= int(g->items.size())) return "";
    return g->items[size_t(index)];
}

void ExpandAllGadgetItems(int gadget) {
    ApplyToGadget(gadget, [](GadgetModel& g) {
        if (g.kind != GadgetKind::Tree) return;
        QuietChange quiet;
        for (auto& item : g.treeItems)
            SendMessageW(g.hwnd, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item.handle));
    });
}

void SetComboDropWidth(int gadget, int width) {
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        g->dropWidth = width;
    }
    ApplyToGadget(gadget, [=](GadgetModel& g) { SendMessageW(g.hwnd, CB_SETDROPPEDWIDTH, WPARAM(width), 0); });
}

// Every gadget uses the default GUI font, so the combo's font is the one MeasureText uses.
int MeasureComboItems(int gadget) {
    std::vector<std::string> items;
    {
        Lock l(S().lock);
        if (auto* g = FindGadget(gadget)) items = g->items;
    }
    int widest = 0;
    for (auto& item : items) widest = std::max(widest, MeasureText(item).w);
    return widest;
}

}  // namespace vu::plat
