// The end of the Windows session while the program runs (log off, restart, shut down).
#pragma once

namespace vu {

// Gives Windows a reason to show while an operation runs, and takes it back when none does.
// The loop calls it after every event; main thread.
void HoldUpSessionEndWhileBusy();

}  // namespace vu
