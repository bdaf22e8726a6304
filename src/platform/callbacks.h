// What the platform calls back into the program, from the window callback that every window of
// the program shares. Implemented by the portable code; called on the main thread only.
#pragma once

namespace vu {

// The platform reported that devices were added or removed (WM_DEVICECHANGE, DBT_DEVNODES_CHANGED).
void OnDeviceNodesChanged();
// A window timer started with plat::StartWindowTimer fired.
void OnWindowTimer(int window, int timer);
// Windows asks whether the session may end now (WM_QUERYENDSESSION); false asks it to wait.
bool OnQueryEndSession(int window);
// The session ends (WM_ENDSESSION): the process is ended without leaving its loop, so what the
// program changed in the system is put back here.
void OnEndSession(int window);

}  // namespace vu
