// Checks the win32 window system's thread rules under Wine: a worker changes gadgets, fills a
// tree, draws the canvas and shows a message box while the main thread keeps serving events;
// afterwards the real controls show the worker's last changes in the order they were made, the
// program's own changes raised no events, and a user's typing did. Prints one line per check and
// exits with the number of failed checks. Needs a display (run under xvfb-run).
#include <windows.h>

#include <commctrl.h>
// The seam's MessageBox, not the Windows header's macro.
#undef MessageBox

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "app/device_refresh.h"
#include "platform/clock.h"
#include "platform/gui.h"

using namespace vu::plat;

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) failures++;
}
#define CHECK(condition) Check((condition), #condition)

HWND Control(int gadget) { return GetDlgItem(FindWindowW(L"VelloranUtilityWindow", L"Threads"), gadget); }

std::string ControlText(int gadget) {
    wchar_t text[256] = {};
    GetWindowTextW(Control(gadget), text, 256);
    char utf8[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

constexpr int kWorkerDone = 99, kBoxClosed = 98, kSteps = 300;

void Worker() {
    for (int i = 0; i < kSteps; i++) {
        SetGadgetText(1, std::to_string(i));
        AddGadgetItem(4, "item " + std::to_string(i), -1, i % 2);
        DrawCanvas(5, {{DrawOp::FillRect, {0, 0, 130, 21}, 0, 0xFFCC66, ""},
                       {DrawOp::Text, {3, 3, 0, 0}, 0, 0, "step " + std::to_string(i)}});
        SetGadgetState(6, i % 2);
        DisableGadget(1, i % 2);
    }
    SetGadgetState(4, 5);
    PostEvent({EventGadget, 0, kWorkerDone, 0});
    // Runs its own modal loop on this thread; the main thread closes it.
    MessageBox("Worker", "A box shown by a worker thread", MbOk | MbIconInformation);
    PostEvent({EventGadget, 0, kBoxClosed, 0});
}

}  // namespace

int main() {
    CHECK(OpenWindow(0, 50, 50, 300, 200, "Threads", WindowSystemMenu));
    CreateGadget(0, 1, GadgetKind::Button, {5, 5, 80, 24}, "start");
    CreateGadget(0, 2, GadgetKind::String, {90, 5, 80, 20}, "abc");
    CreateGadget(0, 3, GadgetKind::ComboBox, {5, 35, 100, 21}, "");
    CreateGadget(0, 4, GadgetKind::Tree, {5, 60, 150, 100}, "", GadgetAlwaysShowSelection);
    CreateGadget(0, 5, GadgetKind::Canvas, {160, 60, 130, 21}, "");
    CreateGadget(0, 6, GadgetKind::CheckBox, {160, 90, 100, 20}, "check");
    CreateGadget(0, 7, GadgetKind::Option, {160, 110, 100, 20}, "one");
    CreateGadget(0, 8, GadgetKind::Option, {160, 130, 100, 20}, "two");
    for (auto item : {"FAT32", "NTFS", "exFAT"}) AddGadgetItem(3, item);
    SetGadgetText(3, "NTFS");
    CHECK(GetGadgetState(3) == 1 && SendMessageW(Control(3), CB_GETCURSEL, 0, 0) == 1);
    SetGadgetState(7, 1);
    SetGadgetState(8, 1);
    CHECK(GetGadgetState(7) == 0 && GetGadgetState(8) == 1);
    CHECK(SendMessageW(Control(7), BM_GETCHECK, 0, 0) == BST_UNCHECKED);
    SetGadgetText(2, "quiet");  // a change made by the program: no event
    // The device-change refresh's timer: its firing becomes the refresh event.
    StartWindowTimer(0, vu::RefreshTimer, 200);

    std::thread worker(Worker);
    bool done = false, boxClosed = false, strayChange = false, refreshed = false, checked = false;
    int64_t start = TickCount();
    while (!boxClosed && TickCount() - start < 30000) {
        Event e = WaitEvent(100);
        if (e.type == EventRefresh) refreshed = true;
        if (e.type == EventGadget && e.number == kWorkerDone) done = true;
        if (e.type == EventGadget && e.number == kBoxClosed) boxClosed = true;
        if (e.type == EventGadget && e.number == 2) strayChange = true;
        HWND box = FindWindowW(nullptr, L"Worker");
        if (done && !checked && box) {
            // The worker waits in its box; the main thread still serves its windows.
            checked = true;
            CHECK(ControlText(1) == std::to_string(kSteps - 1));
            CHECK(GetGadgetText(1) == std::to_string(kSteps - 1));
            CHECK(CountGadgetItems(4) == kSteps);
            CHECK(SendMessageW(Control(4), TVM_GETCOUNT, 0, 0) == kSteps);
            CHECK(GetGadgetState(4) == 5);
            CHECK(GetGadgetState(6) == 1 && SendMessageW(Control(6), BM_GETCHECK, 0, 0) == BST_CHECKED);
            CHECK(IsGadgetDisabled(1) && !IsWindowEnabled(Control(1)));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }
    worker.join();
    CHECK(done && checked && boxClosed);
    CHECK(refreshed);
    CHECK(!strayChange);

    // A user's typing reports a change and updates the text that any thread reads.
    SendMessageW(Control(2), WM_CHAR, 'x', 0);
    Event typed = WaitEvent(500);
    CHECK(typed.type == EventGadget && typed.number == 2 && typed.kind == GadgetEventChange);
    CHECK(GetGadgetText(2) == "xquiet");

    CloseWindow(0);
    WaitEvent(50);
    CHECK(!WindowExists(0) && !FindWindowW(L"VelloranUtilityWindow", L"Threads"));
    std::printf("%d failed\n", failures);
    return failures;
}
