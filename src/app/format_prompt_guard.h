// Closes the Windows prompt that offers to format a freshly partitioned drive, by pressing its
// Cancel. Installed and removed on the main thread; the hook's callback runs there too.
#pragma once
#include <cstdint>
#include <string>

namespace vu {

extern uintptr_t FormatPromptHook;
extern std::string WindowsCaptionText;  // localized title of the prompt
extern std::string FormatButtonText;    // localized caption of its format button

// The user's locale name, "en-US" when it cannot be found.
std::string UserLocaleName();

void InstallFormatPromptGuard();
void RemoveFormatPromptGuard();

}  // namespace vu
