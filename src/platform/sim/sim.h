// Control panel of the simulated PC, for tests: push events, script the answers of message
// boxes and requesters, read back windows, gadgets, menus, the canvas, the registry and the
// taskbar, and drive the virtual clock. Every function is thread-safe.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/foreign_windows.h"
#include "platform/gui.h"
#include "platform/system.h"

namespace vu::sim {

// Forgets every window, gadget, menu, image, scripted answer, registry value and recorded call,
// and sets the virtual clock back to its start. Tests call it first.
void Reset();

// ---- Virtual clock -------------------------------------------------------------------------
int64_t Now();
void Advance(int64_t milliseconds);

// ---- Windows and gadgets -------------------------------------------------------------------
struct GadgetInfo {
    int window = -1;
    plat::GadgetKind kind = plat::GadgetKind::Button;
    plat::Rect rect;
    std::string text;
    std::string toolTip;
    unsigned flags = 0;
    int state = 0;
    bool disabled = false;
    uint32_t linkNormal = 0, linkHover = 0;
    uint32_t textColor = 0;
    std::vector<std::string> items;
    std::vector<int> itemImages;
    std::vector<int> itemDepths;
    int dropWidth = 0;
    std::vector<plat::DrawOp> picture;
};
struct WindowInfo {
    plat::Rect frame;  // frame position; w, h are the client size
    std::string title;
    unsigned flags = 0;
    int parent = -1;
    bool disabled = false;
    int minW = 0, minH = 0, maxW = 0, maxH = 0;
    int activations = 0;
};
struct MenuEntry {
    int item = -1;  // -1 for a separator
    std::string text;
    int image = -1;
    bool disabled = false;
    std::string toolTip;
};
struct MenuTitleInfo {
    std::string text;
    std::vector<MenuEntry> entries;
};

std::optional<WindowInfo> Window(int window);
std::optional<GadgetInfo> Gadget(int gadget);
std::vector<int> GadgetsOf(int window);  // in creation order
std::vector<MenuTitleInfo> Menu(int menu);
int MenuOwner(int menu);

// Pushes what a user does; WaitEvent hands these out in order.
void Click(int gadget);                       // sets check boxes and options like a real click
void SelectItem(int gadget, int index);       // combo or tree selection plus its gadget event
void TypeText(int gadget, const std::string& text);  // edit field text plus a change event
void ChooseMenu(int item, int window = 0);
void CloseBox(int window);
void LeftClickAt(int window, plat::Point screenPoint);
void SetCursor(plat::Point screenPoint);
void SetDesktop(plat::Rect desktop);
size_t PendingEvents();

// ---- Message boxes and requesters ----------------------------------------------------------
struct MessageRecord {
    std::string title, text;
    unsigned flags = 0;
};
// Answers for the next message boxes, in order; when none is queued a box answers IdOk.
void AnswerNextMessages(std::vector<int> answers);
std::vector<MessageRecord> Messages();
void AnswerNextRequesters(std::vector<std::string> paths);
struct RequesterRecord {
    std::string kind, title, initial;
    std::string pattern;    // file requesters: the filter and its preselected entry
    int patternIndex = 0;
    int owner = -1;
};
std::vector<RequesterRecord> Requesters();
// Called (on the asking thread) while a requester is open, before it answers. Its owner window
// takes no input meanwhile: clicks, selections, typing, menus and close boxes there are dropped.
void OnRequester(std::function<void(const RequesterRecord&)> listener);

// Called (on the showing thread) whenever a message box is shown, before it answers.
void OnMessage(std::function<void(const MessageRecord&)> listener);
// Called (on the drawing thread) whenever an existing canvas gadget gets a new picture.
void OnCanvas(std::function<void(int gadget, const std::vector<plat::DrawOp>& picture)> listener);

// ---- Timers --------------------------------------------------------------------------------
// Timers that are armed: window, timer number and the virtual time at which each fires.
struct TimerInfo {
    int window, timer;
    int64_t due;
};
std::vector<TimerInfo> Timers();

// The reason the window gives Windows for holding up the end of the session, if one is set.
std::optional<std::string> ShutdownBlockReason(int window);

// ---- System --------------------------------------------------------------------------------
void SetExecutablePath(const std::string& path);   // default "C:\Program Files\Velloran\VelloranUtility.exe"
void SetSystemDirectory(const std::string& path);  // default "C:\Windows\system32"; "" = unreadable
void SetTempDirectory(const std::string& path);
// Names of the semaphores the program holds; a name listed here "already exists" for the next creator.
void AddForeignSemaphore(const std::string& name);
std::vector<std::string> Semaphores();
void SetSystemMessage(uint32_t code, const std::string& text);
void SetSystemColor(int which, uint32_t rgb);
void SetWindows7OrLater(bool yes);
// Default: 32-bit Windows with a 32-bit process.
void SetWindowsBitness(bool windows64, bool process64);
// The local date and time LocalNow gives; nullopt (the default) is the host's own.
void SetLocalNow(std::optional<plat::LocalDateTime> now);
void SetUserLocale(std::optional<std::string> locale);
void SetResourceString(const std::string& file, int id, const std::string& text);
std::vector<std::string> ShellOpened();
void FailShellOpen(bool fail);

// ---- Registry ------------------------------------------------------------------------------
struct RegistryValue {
    bool isDword = true;
    uint32_t dword = 0;
    std::string text;
};
void RegistryPut(const std::string& path, const std::string& name, RegistryValue value);
void RegistryPutKey(const std::string& path);
std::optional<RegistryValue> RegistryGet(const std::string& path, const std::string& name);
bool RegistryHasKey(const std::string& path);

// ---- Taskbar -------------------------------------------------------------------------------
void FailTaskbarCreation(bool fail);
// Every call made on the taskbar object, e.g. "state 0", "value 35/100".
std::vector<std::string> TaskbarCalls();
void ClearTaskbarCalls();

// ---- Network -------------------------------------------------------------------------------
// The flags of every HttpOpenRequest since the last Reset, in order.
std::vector<uint32_t> OpenedRequestFlags();

// ---- Other processes' windows --------------------------------------------------------------
struct ForeignWindowInfo {
    uint32_t style = 0x10000000;
    std::string title;
    std::vector<std::string> children;
    bool cancelled = false;
};
plat::ForeignWindow AddForeignWindow(ForeignWindowInfo info);
// Brings the window to the foreground: the hook, when installed, sees it.
void BringToForeground(plat::ForeignWindow window);
std::optional<ForeignWindowInfo> ForeignWindowState(plat::ForeignWindow window);
bool ForegroundHookInstalled();

}  // namespace vu::sim
