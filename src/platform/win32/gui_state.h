// Internal to the win32 window system: the program's model of every window, gadget, menu and
// image, kept under one lock, and the way changes reach the real windows.
//
// Every call of the seam first updates this model on the calling thread, so that reads (texts,
// states, item lists) answer at once on any thread without asking a window. The change to the
// real window then runs on the UI thread (the main thread, which created the windows): at once
// when the caller is that thread, otherwise as a job posted to a hidden message window, so a
// worker never waits on the UI thread. Jobs run in the order they were asked for.
#pragma once
#include <windows.h>

#include <commctrl.h>
// The seam's MessageBox is the program's own; the Windows header's macro would rename it.
#undef MessageBox

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gui.h"

namespace vu::plat::gui {

struct GadgetModel {
    uint64_t serial = 0;  // tells a recreated gadget of the same number from the old one
    int window = -1;
    GadgetKind kind = GadgetKind::Button;
    Rect rect;
    unsigned flags = 0;
    std::string text;
    std::string toolTip;
    int state = 0;
    bool disabled = false;
    uint32_t linkNormal = 0x808080, linkHover = 0xFF0000;
    bool hasTextColor = false;
    uint32_t textColor = 0;
    std::vector<std::string> items;
    std::vector<int> itemImages, itemDepths;
    int dropWidth = 0;
    std::vector<DrawOp> picture;

    // Owned by the UI thread (written there under the lock).
    HWND hwnd = nullptr;
    bool toolAdded = false;
    struct TreeItem {
        HTREEITEM handle;
        int depth;
    };
    std::vector<TreeItem> treeItems;
    HIMAGELIST imageList = nullptr;
    std::map<int, int> imageSlots;  // program image number -> slot in imageList
};

struct WindowModel {
    uint64_t serial = 0;
    std::string title;
    unsigned flags = 0;
    int parent = -1;
    int clientW = 0, clientH = 0;
    bool disabled = false;
    int minW = 0, minH = 0, maxW = 0, maxH = 0;
    bool hasColor = false;
    uint32_t color = 0;
    std::vector<int> gadgetOrder;  // creation order, for option groups

    // Owned by the UI thread.
    HWND hwnd = nullptr;
    HWND toolTip = nullptr;
    HWND menuTip = nullptr;  // the tracking tool tip of its menu items
    HBRUSH brush = nullptr;
    bool shown = false;
    int hoverLink = -1;
    bool trackingMouse = false;
    HWND lastFocus = nullptr;
};

struct MenuEntryModel {
    int item = -1;  // -1 for a separator
    std::string text;
    int image = -1;
    bool disabled = false;
    std::string toolTip;
};

struct MenuTitleModel {
    std::string text;
    std::vector<MenuEntryModel> entries;
    HMENU popup = nullptr;  // UI thread
};

struct MenuModel {
    uint64_t serial = 0;
    int window = -1;
    std::vector<MenuTitleModel> titles;
    HMENU bar = nullptr;  // UI thread
};

struct State {
    std::recursive_mutex lock;
    uint64_t nextSerial = 1;
    std::map<int, WindowModel> windows;
    std::map<int, GadgetModel> gadgets;
    std::map<int, MenuModel> menus;
    int currentMenu = -1;
    std::map<int, HICON> images;
    std::deque<Event> events;
    std::deque<std::function<void()>> jobs;

    DWORD uiThread = 0;
    HWND messageWindow = nullptr;
    HFONT font = nullptr;
    int quietChanges = 0;  // > 0 while the program itself changes a control: no events then
};

State& S();
using Lock = std::lock_guard<std::recursive_mutex>;

extern const wchar_t* const kWindowClass;
extern const wchar_t* const kCanvasClass;

// Makes the calling thread the UI thread on the first call: common controls, window classes,
// the message window. Called by the calls that only the main thread makes.
void EnsureUiThread();
bool OnUiThread();
// Runs `job` on the UI thread: now when called there, else posted. Before the UI thread exists
// there are no windows to change and the job is dropped.
void RunOnUi(std::function<void()> job);
// Runs the posted jobs; the UI thread calls it before it changes windows itself.
void RunPendingJobs();

GadgetModel* FindGadget(int gadget);
WindowModel* FindWindowModel(int window);
// The window number of one of the program's top-level windows, -1 for any other window.
int WindowNumberOf(HWND hwnd);
HWND WindowHandle(int window);

void PushEvent(const Event& event);
// Ends the UI thread's wait for messages (from any thread).
void WakeUiThread();
HFONT GuiFont();

// Images (gui_images.cpp): the 16 x 16 icon of an image, null when missing.
HICON ImageIcon(int image);

// Menu item icons (gui_menus.cpp), for WM_MEASUREITEM and WM_DRAWITEM; false when the item is
// not a menu icon.
bool MeasureMenuIcon(MEASUREITEMSTRUCT* item);
bool DrawMenuIcon(const DRAWITEMSTRUCT* item);
// Menu item tool tips (gui_menus.cpp), for WM_MENUSELECT and WM_EXITMENULOOP: shows the tip of
// the highlighted item beside it, or hides the tip (lParam 0 hides). UI thread.
void OnMenuSelect(int window, HWND hwnd, WPARAM wParam, LPARAM lParam);

// Windows (gui_windows.cpp): grows or shrinks the frame so that the client area keeps the size
// the program asked for (after a menu bar was attached or rewrapped). UI thread.
void FitFrameToClient(int window);
// Shows the windows opened since the last call (they are created hidden so that their menu and
// gadgets appear at once). UI thread.
void ShowNewWindows();

// The shared window procedure (gui_window_proc.cpp) and the canvas's (gui_canvas.cpp).
LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK CanvasProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the real control of a gadget (gui_gadgets.cpp). UI thread, under the lock.
void CreateControl(int gadget, GadgetModel& model, WindowModel& window);
// The options of the run that `gadget` belongs to, in creation order (gui_gadgets.cpp).
// Under the lock.
std::vector<int> OptionGroup(int gadget);
// Selects item `index` (-1 for none) of a tree control (gui_items.cpp). UI thread, under the lock.
void SelectTreeItem(GadgetModel& model, int index);
// Text for an edit control: line breaks as CR LF.
std::wstring ControlLines(const std::string& text);

// Runs `apply(model)` on the UI thread, under the lock, if the gadget still is the one that
// existed when the call was made and its control exists.
template <class Apply>
void ApplyToGadget(int gadget, Apply apply) {
    uint64_t serial;
    {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (!g) return;
        serial = g->serial;
    }
    RunOnUi([=] {
        Lock l(S().lock);
        auto* g = FindGadget(gadget);
        if (g && g->serial == serial && g->hwnd) apply(*g);
    });
}

// Counts a control change made by the program, during which the window procedure reports no
// events (programmatic text and selection changes notify like user input would).
struct QuietChange {
    QuietChange() { S().quietChanges++; }
    ~QuietChange() { S().quietChanges--; }
};

}  // namespace vu::plat::gui
