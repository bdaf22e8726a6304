// The simulated window system: records every window, gadget and menu, hands out the events a
// test pushed, answers message boxes and requesters from a script, and fires window timers on
// the virtual clock while the program waits for events.
#include <algorithm>
#include <deque>
#include <map>
#include <mutex>

#include "platform/callbacks.h"
#include "platform/gui.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_state.h"

namespace vu {
namespace {

struct Timer {
    int window, timer, interval;
    int64_t due;
};

struct Gui {
    std::recursive_mutex lock;
    std::map<int, sim::WindowInfo> windows;
    std::map<int, sim::GadgetInfo> gadgets;
    std::vector<int> gadgetOrder;
    std::map<int, std::vector<sim::MenuTitleInfo>> menus;
    std::map<int, int> menuOwners;
    int currentMenu = -1;
    std::map<int, bool> images;
    std::deque<plat::Event> events;
    std::deque<int> messageAnswers;
    std::vector<sim::MessageRecord> messages;
    std::deque<std::string> requesterAnswers;
    std::vector<sim::RequesterRecord> requesters;
    std::function<void(const sim::MessageRecord&)> listener;
    std::function<void(int, const std::vector<plat::DrawOp>&)> canvasListener;
    std::function<void(const sim::RequesterRecord&)> requesterListener;
    std::map<int, int> openRequesters;  // by owner window: the requesters open over it
    std::vector<Timer> timers;
    std::map<int, std::string> shutdownReasons;
    plat::Point cursor;
    plat::Rect desktop{0, 0, 1920, 1080};
};

Gui& G() {
    static Gui gui;
    return gui;
}

using Lock = std::lock_guard<std::recursive_mutex>;

// Frame borders of the simulated window manager: the frame is larger than the client area.
constexpr int kBorder = 8, kCaption = 31, kMenuHeight = 20;

sim::GadgetInfo* Find(int gadget) {
    auto it = G().gadgets.find(gadget);
    return it == G().gadgets.end() ? nullptr : &it->second;
}

void Push(const plat::Event& e) {
    Lock l(G().lock);
    G().events.push_back(e);
}

int WindowOfGadget(int gadget) {
    auto* g = Find(gadget);
    return g ? g->window : -1;
}

// A window under an open requester that it owns takes no input, as Windows disables the owner of
// a modal dialog.
bool UnderRequester(int window) {
    Lock l(G().lock);
    return G().openRequesters.count(window) != 0;
}

// Options of one window that were created one after the other form a group.
std::vector<int> OptionGroup(int gadget) {
    std::vector<int> group;
    auto& order = G().gadgetOrder;
    auto at = std::find(order.begin(), order.end(), gadget);
    if (at == order.end()) return group;
    int window = Find(gadget)->window;
    auto sameGroup = [&](int g) {
        auto* info = Find(g);
        return info && info->window == window && info->kind == plat::GadgetKind::Option;
    };
    auto first = at;
    while (first != order.begin() && sameGroup(*(first - 1))) --first;
    for (auto it = first; it != order.end() && sameGroup(*it); ++it) group.push_back(*it);
    return group;
}

}  // namespace

// ---- The seam ------------------------------------------------------------------------------
namespace plat {

Event WaitEvent(int timeoutMs) {
    Timer fired{};
    {
        Lock l(G().lock);
        if (!G().events.empty()) {
            Event e = G().events.front();
            G().events.pop_front();
            return e;
        }
        int64_t deadline = sim::Now() + timeoutMs;
        auto next = std::min_element(G().timers.begin(), G().timers.end(),
                                     [](const Timer& a, const Timer& b) { return a.due < b.due; });
        if (next == G().timers.end() || next->due > deadline) {
            sim::Advance(deadline - sim::Now());
            return {};
        }
        if (next->due > sim::Now()) sim::Advance(next->due - sim::Now());
        fired = *next;
        next->due += next->interval;
    }
    OnWindowTimer(fired.window, fired.timer);
    Lock l(G().lock);
    if (G().events.empty()) return {};
    Event e = G().events.front();
    G().events.pop_front();
    return e;
}

void PostEvent(const Event& event) { Push(event); }

bool OpenWindow(int window, int x, int y, int w, int h, const std::string& title, unsigned flags,
                int parentWindow) {
    Lock l(G().lock);
    sim::WindowInfo info;
    info.frame = {x, y, w, h};
    if (flags & WindowScreenCentered) {
        info.frame.x = (G().desktop.w - w) / 2;
        info.frame.y = (G().desktop.h - h) / 2;
    }
    info.title = title;
    info.flags = flags;
    info.parent = parentWindow;
    G().windows[window] = info;
    return true;
}

void CloseWindow(int window) {
    Lock l(G().lock);
    G().windows.erase(window);
    for (auto it = G().gadgets.begin(); it != G().gadgets.end();) {
        if (it->second.window == window) {
            G().gadgetOrder.erase(std::remove(G().gadgetOrder.begin(), G().gadgetOrder.end(), it->first),
                                  G().gadgetOrder.end());
            it = G().gadgets.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(G().timers, [&](const Timer& t) { return t.window == window; });
}

bool WindowExists(int window) {
    Lock l(G().lock);
    return G().windows.count(window) != 0;
}

void SetWindowTitle(int window, const std::string& title) {
    Lock l(G().lock);
    if (G().windows.count(window)) G().windows[window].title = title;
}

void SetWindowSizeLimits(int window, int minW, int minH, int maxW, int maxH) {
    Lock l(G().lock);
    if (!G().windows.count(window)) return;
    auto& w = G().windows[window];
    w.minW = minW, w.minH = minH, w.maxW = maxW, w.maxH = maxH;
}

Rect WindowFrame(int window) {
    Lock l(G().lock);
    if (!G().windows.count(window)) return {};
    auto f = G().windows[window].frame;
    int menu = 0;
    for (auto& [m, owner] : G().menuOwners)
        if (owner == window) menu = kMenuHeight;
    return {f.x, f.y, f.w + 2 * kBorder, f.h + kCaption + menu + kBorder};
}

Rect WindowClient(int window) {
    Lock l(G().lock);
    if (!G().windows.count(window)) return {};
    auto f = G().windows[window].frame;
    int menu = 0;
    for (auto& [m, owner] : G().menuOwners)
        if (owner == window) menu = kMenuHeight;
    return {f.x + kBorder, f.y + kCaption + menu, f.w, f.h};
}

void MoveWindow(int window, int x, int y) {
    Lock l(G().lock);
    if (!G().windows.count(window)) return;
    G().windows[window].frame.x = x;
    G().windows[window].frame.y = y;
}

void DisableWindow(int window, bool disabled) {
    Lock l(G().lock);
    if (G().windows.count(window)) G().windows[window].disabled = disabled;
}

bool IsWindowDisabled(int window) {
    Lock l(G().lock);
    return G().windows.count(window) && G().windows[window].disabled;
}

void ActivateWindow(int window) {
    Lock l(G().lock);
    if (G().windows.count(window)) G().windows[window].activations++;
}

void SetWindowColor(int, uint32_t) {}

bool CreateGadget(int window, int gadget, GadgetKind kind, Rect rect, const std::string& text,
                  unsigned flags) {
    Lock l(G().lock);
    if (!G().windows.count(window)) return false;
    sim::GadgetInfo info;
    info.window = window;
    info.kind = kind;
    info.rect = rect;
    info.flags = flags;
    if (kind == GadgetKind::Tree || kind == GadgetKind::ComboBox) info.state = -1;
    if (kind != GadgetKind::Tree && kind != GadgetKind::ComboBox) info.text = text;
    if (G().gadgets.count(gadget)) FreeGadget(gadget);
    G().gadgets[gadget] = info;
    G().gadgetOrder.push_back(gadget);
    return true;
}

bool GadgetExists(int gadget) {
    Lock l(G().lock);
    return Find(gadget) != nullptr;
}

void FreeGadget(int gadget) {
    Lock l(G().lock);
    G().gadgets.erase(gadget);
    G().gadgetOrder.erase(std::remove(G().gadgetOrder.begin(), G().gadgetOrder.end(), gadget),
                          G().gadgetOrder.end());
}

void SetGadgetText(int gadget, const std::string& text) {
    Lock l(G().lock);
    if (auto* g = Find(gadget)) {
        g->text = text;
        // A combo box whose text is one of its items selects that item, as a real one does.
        if (g->kind == GadgetKind::ComboBox) {
            auto it = std::find(g->items.begin(), g->items.end(), text);
            g->state = it == g->items.end() ? -1 : int(it - g->items.begin());
        }
    }
}

std::string GetGadgetText(int gadget) {
    Lock l(G().lock);
    auto* g = Find(gadget);
    if (!g) return "";
    if ((g->kind == GadgetKind::ComboBox || g->kind == GadgetKind::Tree) && g->state >= 0 &&
        g->state < int(g->items.size()))
        return g->items[g->state];
    return g->text;
}

void SetGadgetState(int gadget, int state) {
    Lock l(G().lock);
    auto* g = Find(gadget);
    if (!g) return;
    if (g->kind == GadgetKind::Option && state) {
        for (int other : OptionGroup(gadget)) Find(other)->state = 0;
    }
    if ((g->kind == GadgetKind::ComboBox || g->kind == GadgetKind::Tree) &&
        (state < -1 || state >= int(g->items.size())))
        state = -1;
    g->state = state;
    if (g->kind == GadgetKind::ComboBox && state >= 0) g->text = g->items[state];
}

int GetGadgetState(int gadget) {
    Lock l(G().lock);
    auto* g = Find(gadget);
    return g ? g->state : 0;
}

void DisableGadget(int gadget, bool disabled) {
    Lock l(G().lock);
    if (auto* g = Find(gadget)) g->disabled = disabled;
}

bool IsGadgetDisabled(int gadget) {
    Lock l(G().lock);
    auto* g = Find(gadget);
    return g && g->disabled;
}

void SetGadgetToolTip(int gadget, const std::string& text) {
    Lock l(G().lock);
    if (auto* g = Find(gadget)) g->toolTip = text;
}

void SetLinkColors(int gadget, uint32_t normalRgb, uint32_t hoverRgb) {
    Lock l(G().lock);
    if (auto* g = Find(gadget)) g->linkNormal = normalRgb, g->linkHover = hoverRgb;
}

void SetGadgetTextColor(int gadget, uint32_t rgb) {
    Lock l(G().lock);
    if (auto* g = Find(gadget)) g->textColor = rgb;
}

Rect GadgetRect(int gadget) {
    Lock l(G().lock);
    auto* g = Find(gadget);
    return g ? g->rect : Rect{};
}

Rect GadgetScreenRect(int gadget) {
    Lock l(G().lock);
    auto* g = Find(gadget);
    if (!g) return {};
    Rect client = WindowClient(g->window);
    return {client.x + g->rect.x, client.y + g->rect.y, g->rect.w, g->rect.h};
}

void ClearGadgetItems(int gadget) {
    Lock l(G().lock);
    if (auto* g = Find(gadget)) {
        g->items.clear(), g->itemImages.clear(), g->itemDepths.clear();
        g->state = -1;
    }
}

void AddGadgetItem(int gadget, const std::string& text, int image, int depth) {
    Lock l(G().lock);
    if (auto* g = Find(gadget)) {
        g->items.push_back(text), g->itemImages.push_back(image), g->itemDepths.push_back(depth);
    }
}

int CountGadgetItems(int gadget) {
    Lock l(G().lock);
    auto* g = Find(gadget);
    return g ? int(g->items.size()) : 0;
}

std::string GetGadgetItemText(int gadget, int index) {
    Lock l(G().lock);
    auto* g = Find(gadget);
    if (!g || index < 0 || index >= int(g->items.size())) return "";
    return g->items[index];
}

void ExpandAllGadgetItems(int) {}

void SetComboDropWidth(int gadget, int width) {
    Lock l(G().lock);
    if (auto* g = Find(gadget)) g->dropWidth = width;
}

int MeasureComboItems(int gadget) {
    Lock l(G().lock);
    auto* g = Find(gadget);
    int widest = 0;
    if (g)
        for (auto& item : g->items) widest = std::max(widest, MeasureText(item).w);
    return widest;
}

void DrawCanvas(int gadget, const std::vector<DrawOp>& picture) {
    std::function<void(int, const std::vector<DrawOp>&)> listener;
    {
        Lock l(G().lock);
        auto* g = Find(gadget);
        if (!g) return;
        g->picture = picture;
        listener = G().canvasListener;
    }
    if (listener) listener(gadget, picture);
}

// The simulated font: 6 x 13 pixels per character.
Rect MeasureText(const std::string& text) { return {0, 0, 6 * int(text.size()), 13}; }

bool CreateMenu(int menu, int window) {
    Lock l(G().lock);
    if (!G().windows.count(window)) return false;
    G().menus[menu].clear();
    G().menuOwners[menu] = window;
    G().currentMenu = menu;
    return true;
}

void MenuTitle(const std::string& text) {
    Lock l(G().lock);
    G().menus[G().currentMenu].push_back({text, {}});
}

void MenuItem(int item, const std::string& text, int image) {
    Lock l(G().lock);
    auto& titles = G().menus[G().currentMenu];
    if (!titles.empty()) titles.back().entries.push_back({item, text, image, false, ""});
}

void MenuBar() {
    Lock l(G().lock);
    auto& titles = G().menus[G().currentMenu];
    if (!titles.empty()) titles.back().entries.push_back({-1, "", -1, false, ""});
}

void SetMenuTitleText(int menu, int titleIndex, const std::string& text) {
    Lock l(G().lock);
    auto& titles = G().menus[menu];
    if (titleIndex >= 0 && titleIndex < int(titles.size())) titles[titleIndex].text = text;
}

void DisableMenuItem(int menu, int item, bool disabled) {
    Lock l(G().lock);
    for (auto& t : G().menus[menu])
        for (auto& e : t.entries)
            if (e.item == item) e.disabled = disabled;
}

void SetMenuItemToolTip(int menu, int item, const std::string& text) {
    Lock l(G().lock);
    for (auto& t : G().menus[menu])
        for (auto& e : t.entries)
            if (e.item == item) e.toolTip = text;
}

bool CatchImage(int image, const unsigned char* data, size_t size) {
    Lock l(G().lock);
    // An .ico file starts with reserved 0, type 1 and at least one image.
    bool ok = data && size >= 6 && data[0] == 0 && data[1] == 0 && data[2] == 1 && data[3] == 0 &&
              (data[4] | data[5]) != 0;
    if (ok) G().images[image] = true;
    return ok;
}

bool ImageExists(int image) {
    Lock l(G().lock);
    return G().images.count(image) != 0;
}

bool CatchProgramIcon(int image, int size) {
    Lock l(G().lock);
    if (size <= 0) return false;
    G().images[image] = true;
    return true;
}

int MessageBox(const std::string& title, const std::string& text, unsigned flags) {
    sim::MessageRecord record{title, text, flags};
    std::function<void(const sim::MessageRecord&)> listener;
    int answer = IdOk;
    {
        Lock l(G().lock);
        G().messages.push_back(record);
        listener = G().listener;
        if (!G().messageAnswers.empty()) {
            answer = G().messageAnswers.front();
            G().messageAnswers.pop_front();
        } else if ((flags & 0xF) == MbYesNo) {
            answer = IdYes;
        }
    }
    if (listener) listener(record);
    return answer;
}

static std::string Requester(const sim::RequesterRecord& record) {
    std::function<void(const sim::RequesterRecord&)> listener;
    {
        Lock l(G().lock);
        G().requesters.push_back(record);
        listener = G().requesterListener;
        if (record.owner >= 0) G().openRequesters[record.owner]++;
    }
    if (listener) listener(record);
    Lock l(G().lock);
    if (record.owner >= 0 && --G().openRequesters[record.owner] == 0) G().openRequesters.erase(record.owner);
    if (G().requesterAnswers.empty()) return "";
    std::string answer = G().requesterAnswers.front();
    G().requesterAnswers.pop_front();
    return answer;
}

std::string PathRequester(const std::string& title, const std::string& initialPath, int owner) {
    return Requester({"path", title, initialPath, "", 0, owner});
}

std::string OpenFileRequester(const std::string& title, const std::string& defaultFile, const std::string& pattern,
                              int patternIndex, int owner) {
    return Requester({"open", title, defaultFile, pattern, patternIndex, owner});
}

std::string SaveFileRequester(const std::string& title, const std::string& defaultFile, const std::string& pattern,
                              int patternIndex, int owner) {
    return Requester({"save", title, defaultFile, pattern, patternIndex, owner});
}

void StartWindowTimer(int window, int timer, int intervalMs) {
    Lock l(G().lock);
    std::erase_if(G().timers, [&](const Timer& t) { return t.window == window && t.timer == timer; });
    G().timers.push_back({window, timer, intervalMs, sim::Now() + intervalMs});
}

void SetShutdownBlockReason(int window, const std::string& reason) {
    Lock l(G().lock);
    if (G().windows.count(window)) G().shutdownReasons[window] = reason;
}

void ClearShutdownBlockReason(int window) {
    Lock l(G().lock);
    G().shutdownReasons.erase(window);
}

void StopWindowTimer(int window, int timer) {
    Lock l(G().lock);
    std::erase_if(G().timers, [&](const Timer& t) { return t.window == window && t.timer == timer; });
}

Point CursorPosition() {
    Lock l(G().lock);
    return G().cursor;
}

Rect DesktopRect() {
    Lock l(G().lock);
    return G().desktop;
}

}  // namespace plat

// ---- The control panel ---------------------------------------------------------------------
namespace sim {

void detail::ResetGui() {
    Lock l(G().lock);
    G().windows.clear(), G().gadgets.clear(), G().gadgetOrder.clear();
    G().menus.clear(), G().menuOwners.clear(), G().currentMenu = -1;
    G().images.clear(), G().events.clear();
    G().messageAnswers.clear(), G().messages.clear();
    G().requesterAnswers.clear(), G().requesters.clear();
    G().listener = nullptr;
    G().canvasListener = nullptr;
    G().requesterListener = nullptr;
    G().openRequesters.clear();
    G().timers.clear();
    G().shutdownReasons.clear();
    G().cursor = {};
    G().desktop = {0, 0, 1920, 1080};
}

std::optional<WindowInfo> Window(int window) {
    Lock l(G().lock);
    auto it = G().windows.find(window);
    if (it == G().windows.end()) return std::nullopt;
    return it->second;
}

std::optional<GadgetInfo> Gadget(int gadget) {
    Lock l(G().lock);
    auto* g = Find(gadget);
    if (!g) return std::nullopt;
    return *g;
}

std::vector<int> GadgetsOf(int window) {
    Lock l(G().lock);
    std::vector<int> result;
    for (int g : G().gadgetOrder)
        if (Find(g)->window == window) result.push_back(g);
    return result;
}

std::vector<MenuTitleInfo> Menu(int menu) {
    Lock l(G().lock);
    return G().menus.count(menu) ? G().menus[menu] : std::vector<MenuTitleInfo>{};
}

int MenuOwner(int menu) {
    Lock l(G().lock);
    return G().menuOwners.count(menu) ? G().menuOwners[menu] : -1;
}

// A click on a gadget that does not exist yet is still queued (as a click in window 0), so that a
// test can script a whole run before the program builds its windows.
void Click(int gadget) {
    Lock l(G().lock);
    if (UnderRequester(WindowOfGadget(gadget))) return;
    auto* g = Find(gadget);
    if (g && g->kind == plat::GadgetKind::CheckBox) g->state = !g->state;
    if (g && g->kind == plat::GadgetKind::Option) plat::SetGadgetState(gadget, 1);
    Push({plat::EventGadget, g ? g->window : 0, gadget, plat::GadgetEventDefault});
}

void SelectItem(int gadget, int index) {
    Lock l(G().lock);
    if (UnderRequester(WindowOfGadget(gadget))) return;
    plat::SetGadgetState(gadget, index);
    Push({plat::EventGadget, WindowOfGadget(gadget), gadget, plat::GadgetEventDefault});
}

void TypeText(int gadget, const std::string& text) {
    Lock l(G().lock);
    if (UnderRequester(WindowOfGadget(gadget))) return;
    plat::SetGadgetText(gadget, text);
    Push({plat::EventGadget, WindowOfGadget(gadget), gadget, plat::GadgetEventChange});
}

void ChooseMenu(int item, int window) {
    if (!UnderRequester(window)) Push({plat::EventMenu, window, item, 0});
}
void CloseBox(int window) {
    if (!UnderRequester(window)) Push({plat::EventCloseWindow, window, 0, 0});
}

void LeftClickAt(int window, plat::Point screenPoint) {
    Lock l(G().lock);
    if (UnderRequester(window)) return;
    G().cursor = screenPoint;
    Push({plat::EventLeftClick, window, 0, 0});
}

void SetCursor(plat::Point screenPoint) {
    Lock l(G().lock);
    G().cursor = screenPoint;
}

void SetDesktop(plat::Rect desktop) {
    Lock l(G().lock);
    G().desktop = desktop;
}

size_t PendingEvents() {
    Lock l(G().lock);
    return G().events.size();
}

void AnswerNextMessages(std::vector<int> answers) {
    Lock l(G().lock);
    G().messageAnswers.insert(G().messageAnswers.end(), answers.begin(), answers.end());
}

std::vector<MessageRecord> Messages() {
    Lock l(G().lock);
    return G().messages;
}

void AnswerNextRequesters(std::vector<std::string> paths) {
    Lock l(G().lock);
    G().requesterAnswers.insert(G().requesterAnswers.end(), paths.begin(), paths.end());
}

std::vector<RequesterRecord> Requesters() {
    Lock l(G().lock);
    return G().requesters;
}

void OnRequester(std::function<void(const RequesterRecord&)> listener) {
    Lock l(G().lock);
    G().requesterListener = std::move(listener);
}

void OnMessage(std::function<void(const MessageRecord&)> listener) {
    Lock l(G().lock);
    G().listener = std::move(listener);
}

void OnCanvas(std::function<void(int gadget, const std::vector<plat::DrawOp>& picture)> listener) {
    Lock l(G().lock);
    G().canvasListener = std::move(listener);
}

std::optional<std::string> ShutdownBlockReason(int window) {
    Lock l(G().lock);
    auto it = G().shutdownReasons.find(window);
    if (it == G().shutdownReasons.end()) return std::nullopt;
    return it->second;
}

std::vector<TimerInfo> Timers() {
    Lock l(G().lock);
    std::vector<TimerInfo> result;
    for (auto& t : G().timers) result.push_back({t.window, t.timer, t.due});
    return result;
}

}  // namespace sim
}  // namespace vu
