// Changes that subsystems make to gadgets of windows the shell has built: the menu title that
// shows the latest bootloader revision, and the drop-down width of the combo boxes they fill.
// Main thread, or a worker while the window it changes stays open.
#pragma once
#include <string>

namespace vu {

// The fourth menu title, which shows the latest bootloader revision.
std::string LatestCloverMenuTitle(const std::string& cloverLastRev);
void ShowLatestCloverRevision(const std::string& cloverLastRev);

// Sets the width of a combo box's drop-down list; width <= 0 measures the widest item.
void FitComboDropWidth(int window, int combo, int width);

}  // namespace vu
