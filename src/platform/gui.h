// The seam's window system: windows, gadgets, menus, events, message boxes and requesters,
// addressed by the program-wide window, gadget, menu and image numbers.
//
// Thread rules: the main thread creates and destroys windows and waits for events. Any thread may
// change a gadget's text, state or enabled flag, draw the status canvas and show a message box;
// the win32 implementation forwards such calls from workers to the window's thread without waiting
// on it, and a message box asked by a worker runs its own modal loop on the worker.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vu::plat {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Rect&) const = default;
};

struct Point {
    int x = 0, y = 0;
};

// ---- Events -------------------------------------------------------------------------------

enum EventType : int {
    EventNone = 0,      // the wait timed out
    EventGadget = 1,    // number = gadget
    EventMenu = 2,      // number = menu item
    EventCloseWindow = 3,
    EventLeftClick = 4, // a left click on the window itself (not on a gadget)
    EventRefresh = 65537,  // the program's private drive-list refresh event
    // Private events of worker threads, for work that belongs to the main thread:
    EventWriteSettings = 65538,  // write the settings file
    EventListReplaced = 65539,   // number = the Download Center combo box whose list was replaced
};

// Gadget event subtypes, where a gadget reports more than one kind of change.
enum GadgetEventKind : int {
    GadgetEventDefault = 0,   // click, selection
    GadgetEventChange = 1,    // text edited
    GadgetEventFocus = 2,
};

struct Event {
    int type = EventNone;
    int window = -1;
    int number = 0;
    int kind = GadgetEventDefault;
};

// Waits at most timeoutMs for the next event of any window of the program.
Event WaitEvent(int timeoutMs);
// Queues an event for WaitEvent; callable from any thread.
void PostEvent(const Event& event);

// ---- Windows ------------------------------------------------------------------------------

enum WindowFlags : unsigned {
    WindowSystemMenu = 1u << 0,
    WindowMinimizeGadget = 1u << 1,
    WindowSizeGadget = 1u << 2,
    WindowScreenCentered = 1u << 3,
    WindowParentCentered = 1u << 4,
    WindowInvisible = 1u << 5,
    WindowTool = 1u << 6,
};

// Opens window `window` with a client area of w x h at screen position (x, y) of its frame.
bool OpenWindow(int window, int x, int y, int w, int h, const std::string& title, unsigned flags,
                int parentWindow = -1);
void CloseWindow(int window);
bool WindowExists(int window);
void SetWindowTitle(int window, const std::string& title);
void SetWindowSizeLimits(int window, int minW, int minH, int maxW, int maxH);
Rect WindowFrame(int window);    // the frame in screen coordinates
Rect WindowClient(int window);   // the client area: x, y in screen coordinates, w, h its size
void MoveWindow(int window, int x, int y);  // moves the frame's top-left corner
void DisableWindow(int window, bool disabled);
bool IsWindowDisabled(int window);
void ActivateWindow(int window);
void SetWindowColor(int window, uint32_t rgb);

// ---- Gadgets ------------------------------------------------------------------------------

enum class GadgetKind {
    Button,
    Frame,
    Tree,
    Canvas,
    Text,
    Link,      // a text that changes colour under the mouse; clicks arrive as EventLeftClick
    CheckBox,
    Option,    // consecutive option gadgets of a window form one group
    ComboBox,
    String,    // one-line edit field
    Editor,    // multi-line read-only text
    Image,     // shows the image whose number is its text; SetGadgetState(gadget, image) changes it
};

enum GadgetFlags : unsigned {
    GadgetAlwaysShowSelection = 1u << 0,  // Tree
    GadgetNumeric = 1u << 1,              // String
    GadgetEditable = 1u << 2,             // ComboBox
    GadgetCenter = 1u << 3,               // Text
    GadgetRight = 1u << 4,                // Text
    GadgetReadOnly = 1u << 5,             // String, Editor
    GadgetBorder = 1u << 6,               // Text
};

// Position and size are client pixels of `window`.
bool CreateGadget(int window, int gadget, GadgetKind kind, Rect rect, const std::string& text,
                  unsigned flags = 0);
bool GadgetExists(int gadget);
void FreeGadget(int gadget);
void SetGadgetText(int gadget, const std::string& text);
std::string GetGadgetText(int gadget);
// CheckBox and Option: 1 checked, 0 not; Tree and ComboBox: the selected item index or -1.
void SetGadgetState(int gadget, int state);
int GetGadgetState(int gadget);
void DisableGadget(int gadget, bool disabled);
bool IsGadgetDisabled(int gadget);
void SetGadgetToolTip(int gadget, const std::string& text);
// Link gadgets: the colour at rest and under the mouse.
void SetLinkColors(int gadget, uint32_t normalRgb, uint32_t hoverRgb);
// Text, String and Editor gadgets: the colour of their text (0x00BBGGRR); black is the default.
void SetGadgetTextColor(int gadget, uint32_t rgb);
Rect GadgetRect(int gadget);          // client pixels of its window
Rect GadgetScreenRect(int gadget);    // screen pixels

// Items of Tree and ComboBox gadgets. `image` -1 for none; `depth` 0 or 1 in a tree.
void ClearGadgetItems(int gadget);
void AddGadgetItem(int gadget, const std::string& text, int image = -1, int depth = 0);
int CountGadgetItems(int gadget);
std::string GetGadgetItemText(int gadget, int index);
// Expands every item of a tree so that children are shown.
void ExpandAllGadgetItems(int gadget);
// Width in pixels of the drop-down list of a combo box.
void SetComboDropWidth(int gadget, int width);
// Widest of a combo box's item texts in its font, in pixels.
int MeasureComboItems(int gadget);

// ---- Canvas -------------------------------------------------------------------------------

// A canvas gadget shows the last picture handed to it; the platform repaints it from that.
struct DrawOp {
    enum Kind { FillRect, RoundRect, FillRoundRect, Text } kind = FillRect;
    Rect rect;
    int radius = 0;
    uint32_t rgb = 0;
    std::string text;  // Text: drawn with its top-left corner at rect.x, rect.y
    bool operator==(const DrawOp&) const = default;
};
void DrawCanvas(int gadget, const std::vector<DrawOp>& picture);
// Size of `text` in the default gadget font (w, h in pixels).
Rect MeasureText(const std::string& text);

// ---- Menus --------------------------------------------------------------------------------

bool CreateMenu(int menu, int window);
void MenuTitle(const std::string& text);
void MenuItem(int item, const std::string& text, int image = -1);
void MenuBar();
void SetMenuTitleText(int menu, int titleIndex, const std::string& text);
void DisableMenuItem(int menu, int item, bool disabled);
// A tip shown while the user points at the item, also when it is disabled ("" removes it).
// Windows menus have no tool tips of their own: win32 shows a tool tip beside the highlighted
// item.
void SetMenuItemToolTip(int menu, int item, const std::string& text);

// ---- Images -------------------------------------------------------------------------------

// Loads an .ico image from memory as image `image`.
bool CatchImage(int image, const unsigned char* data, size_t size);
bool ImageExists(int image);
// Loads the executable's own icon, size x size pixels, as image `image`.
bool CatchProgramIcon(int image, int size);

// ---- Message boxes and requesters ---------------------------------------------------------

enum MessageFlags : unsigned {
    MbOk = 0x0,
    MbOkCancel = 0x1,
    MbYesNo = 0x4,
    MbIconError = 0x10,
    MbIconQuestion = 0x20,
    MbIconWarning = 0x30,
    MbIconInformation = 0x40,
};
enum MessageResult : int { IdOk = 1, IdCancel = 2, IdYes = 6, IdNo = 7 };

int MessageBox(const std::string& title, const std::string& text, unsigned flags);

// Each returns the chosen path, or "" when the user cancelled. A requester is modal to the window
// `owner`, which takes no input while it is open, also when a worker thread asks (the window
// thread then shows it, and the worker waits for the answer). Without an owner (-1) it belongs
// to the caller's active window on the main thread and to no window on a worker.
std::string PathRequester(const std::string& title, const std::string& initialPath, int owner = -1);
std::string OpenFileRequester(const std::string& title, const std::string& defaultFile,
                              const std::string& pattern, int patternIndex, int owner = -1);
std::string SaveFileRequester(const std::string& title, const std::string& defaultFile,
                              const std::string& pattern, int patternIndex, int owner = -1);

// ---- Timers, cursor and desktop -----------------------------------------------------------

// One-shot or periodic timers of a window; their firing reaches the program through OnTimer.
void StartWindowTimer(int window, int timer, int intervalMs);
void StopWindowTimer(int window, int timer);

Point CursorPosition();
Rect DesktopRect();  // the primary desktop

// ---- The end of the session ---------------------------------------------------------------

// While a reason is set, Windows shows it when the user shuts down or logs off and lets them
// choose to wait (ShutdownBlockReasonCreate and ShutdownBlockReasonDestroy on the window).
void SetShutdownBlockReason(int window, const std::string& reason);
void ClearShutdownBlockReason(int window);

}  // namespace vu::plat
