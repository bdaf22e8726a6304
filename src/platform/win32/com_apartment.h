// COM on the calling thread, for the shell objects (taskbar list, folder browser, ShellExecute).
// Callable from any thread.
#pragma once

namespace vu::plat {

// Joins the calling thread to a single-threaded apartment once; later calls cost nothing.
void EnsureComApartment();

}  // namespace vu::plat
