// The seam's view of other processes' windows, for the guard that cancels the Windows prompt
// offering to format a new drive. Callbacks arrive on the main thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vu::plat {

using ForeignWindow = uintptr_t;
using ForegroundCallback = void (*)(ForeignWindow window);

// Hooks EVENT_SYSTEM_FOREGROUND of every process but this one; 0 when that failed.
uintptr_t InstallForegroundHook(ForegroundCallback callback);
void RemoveForegroundHook(uintptr_t hook);

uint32_t ForeignWindowStyle(ForeignWindow window);
std::string ForeignWindowTitle(ForeignWindow window);   // at most 260 characters
// Texts of the window's children, in enumeration order; a child whose text cannot be read is left out.
std::vector<std::string> ForeignChildTexts(ForeignWindow window);
// Sends WM_COMMAND IDCANCEL, as if Cancel had been pressed.
void SendCancel(ForeignWindow window);

}  // namespace vu::plat
