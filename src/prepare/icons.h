// Loading of the eight embedded icons as the program's images 0 to 7 (menus and drive list).
// Main thread, at start-up before the main window is built.
#pragma once

namespace vu {

// Loads every icon; an icon the platform refuses leaves its image number empty (the menu item
// or drive line is then shown without a picture).
void LoadIcons();

}  // namespace vu
