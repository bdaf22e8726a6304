// The end of the Windows session while the program runs (log off, restart, shut down). Windows
// ends the process after WM_ENDSESSION without returning to the event loop, so the shutdown steps
// that matter beyond the process run here: the settings are written and the AutoRun policy is
// put back. Main thread; every top-level window of the program is asked, the main window answers.
#include "app/autorun_policy.h"
#include "app/main_window.h"
#include "core/globals.h"
#include "core/operations.h"
#include "platform/callbacks.h"

namespace vu {

// A disk being written is not given up unasked: Windows then tells the user which program holds
// the session and lets them decide.
bool OnQueryEndSession(int window) { return window != MainWindow || OperationBusy == 0; }

void OnEndSession(int window) {
    if (window != MainWindow) return;
    Call(Ops.writeSettings);
    RestoreAutoRunPolicy();
}

}  // namespace vu
