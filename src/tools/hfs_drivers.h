// Installing and removing Apple's Boot Camp HFS+ read-only drivers ("AppleHFS.sys",
// "AppleMNT.sys") as kernel services, so that Windows can read HFS+ partitions after a restart,
// and the Tools menu items that offer the one or the other. Main thread (menu items 3 and 4,
// and the building of the main menu).
#pragma once
#include <string>

#include "embedded.h"

namespace vu {

// The driver packages an installation draws from: one ZIP package per Windows bitness.
struct HfsDriverPackages {
    EmbeddedSpan x86, x64;
};

// The packages this build carries (empty spans when it was built without them).
HfsDriverPackages CarriedHfsDriverPackages();

// The folder the kernel loads drivers from, ending with "\", or "" when the system folder cannot
// be read. A 32-bit process on 64-bit Windows names the real System32 through "Sysnative":
// under "system32" its writes would land in SysWOW64, where the kernel never looks.
std::string HfsDriversFolder();

// Asks, registers both services, extracts the drivers of this Windows' bitness and says that a
// restart completes the installation; true also when the user cancelled. A build without the
// needed package refuses before asking and changes nothing (its menu offers no installation
// anyway); when the registry or the files fail, the service keys this run created are removed
// again and "Failed to install HFS+ drivers." is shown.
bool InstallHfsDrivers();
bool InstallHfsDrivers(const HfsDriverPackages& packages);

// Deletes both driver files and both service keys; true only when both keys were deleted.
bool RemoveHfsDrivers();
bool RemoveHfsDrivers(const HfsDriverPackages& packages);

// Disables "Install" and enables "UnInstall" when a driver file and its service key are both
// present (for either driver), and the reverse otherwise. "Install" also stays disabled when the
// build carries no drivers for this Windows, with a tool tip that says so.
void UpdateHfsDriverMenu();
void UpdateHfsDriverMenu(const HfsDriverPackages& packages);

}  // namespace vu
