// Switches Windows AutoRun off for all drive types while the program runs, and puts the policy
// back at the end: when the loop ends, when the session ends, and from the crash report. Switched
// on the main thread; put back from whichever of those comes first.
#pragma once
#include <optional>
#include <string>

namespace vu {

// The value of "NoDriveTypeAutoRun" found at start, as text; nullopt when it did not exist.
extern std::optional<std::string> SavedAutoRunPolicy;

void SwitchAutoRunOff();
void RestoreAutoRunPolicy();

}  // namespace vu
