// The one event loop of all the program's windows, on the main thread, and the starting of
// worker threads.
#pragma once

namespace vu {

// Serves events until QuitRequested is set.
void RunEventLoop();
// Handles one event as the loop does.
void DispatchEvent(int type, int window, int number, int kind);

// Starts the latest-revision check, unless a download thread already runs.
void StartRevisionCheck();

// The argument of the format pipeline: 1 when the run installs a data set.
int FormatInstallArgument();

}  // namespace vu
