// Switches Windows AutoRun off for all drive types while the program runs, and puts the policy
// back at the end. Main thread only.
#pragma once
#include <optional>
#include <string>

namespace vu {

// The value of "NoDriveTypeAutoRun" found at start, as text; nullopt when it did not exist.
extern std::optional<std::string> SavedAutoRunPolicy;

void SwitchAutoRunOff();
void RestoreAutoRunPolicy();

}  // namespace vu
