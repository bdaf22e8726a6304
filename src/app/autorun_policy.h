// Switches Windows AutoRun off for all drive types while the program runs, and puts the policy
// back at the end: when the loop ends, when the session ends, and from the crash report. The value
// found at start is also kept in the registry, where the next start finds it and puts it back when
// a run ended without doing so (killed, or the power failed). Switched on the main thread; put back
// from whichever of those comes first.
#pragma once
#include <optional>
#include <string>

namespace vu {

// The value of "NoDriveTypeAutoRun" found at start, as text; nullopt when it did not exist.
extern std::optional<std::string> SavedAutoRunPolicy;

void SwitchAutoRunOff();
void RestoreAutoRunPolicy();

}  // namespace vu
