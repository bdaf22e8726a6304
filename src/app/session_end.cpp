// The end of the Windows session while the program runs (log off, restart, shut down); see
// session_end.h. Windows ends the process after WM_ENDSESSION without returning to the event loop,
// so the shutdown steps that matter beyond the process run here: a running operation is stopped
// between two of its chunks, the settings are written and the AutoRun policy is put back. Every
// top-level window of the program is asked, the main window answers.
#include "app/session_end.h"

#include <chrono>
#include <thread>

#include "app/autorun_policy.h"
#include "app/main_window.h"
#include "core/globals.h"
#include "core/operations.h"
#include "platform/callbacks.h"
#include "platform/gui.h"

namespace vu {

namespace {

bool reasonShown = false;
// How long the end of the session waits for a cancelled operation to stop: Windows waits as long
// while the program is still answering, and the user can end it sooner from the shut-down screen.
constexpr auto StopWait = std::chrono::seconds(15);

}  // namespace

void HoldUpSessionEndWhileBusy() {
    bool busy = OperationBusy != 0;
    if (busy == reasonShown) return;
    if (busy) plat::SetShutdownBlockReason(MainWindow, "A disk or an image file is being written.");
    else plat::ClearShutdownBlockReason(MainWindow);
    reasonShown = busy;
}

// A disk being written is not given up unasked: Windows then shows the reason and lets the user
// decide.
bool OnQueryEndSession(int window) { return window != MainWindow || OperationBusy == 0; }

// Ended all the same: the operation is cancelled as the Cancel button does it, and the session's
// end waits until it has stopped after its current chunk.
void OnEndSession(int window) {
    if (window != MainWindow) return;
    if (OperationBusy) {
        FormatFailed = 1;
        AbortRequested = 1;
        for (auto until = std::chrono::steady_clock::now() + StopWait;
             OperationBusy && std::chrono::steady_clock::now() < until;)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Call(Ops.writeSettings);
    RestoreAutoRunPolicy();
}

}  // namespace vu
