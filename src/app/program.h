// The program's entry: start-up, the event loop and shutdown. Main thread.
#pragma once

namespace vu {

// The whole program; returns the exit code (always 0).
int ProgramMain();
// Start-up from the program identity on, the loop and shutdown, with the operations table
// already filled (tests fill it themselves).
int RunProgram();

}  // namespace vu
