// The main window (window 0): its menu, gadgets and tool tips, built in code at absolute pixel
// positions. Built once on the main thread.
#pragma once
#include <string>

#include "core/gadget_numbers.h"

namespace vu {

constexpr int MainClientWidth = 480;
constexpr int MainClientHeight = 265;

// Built on each call: VersionText is a global of another file, which may not be initialised yet
// while this file's globals are.
std::string MainWindowTitle();
extern const std::string MakerLinkText;

// Creates the window, its size bounds, menu, frame, drive list, status bar, buttons with their
// tool tips and the link text, and TaskbarProgress. The drive list stays empty.
void BuildMainWindow();

// Moves a window to the centre of the desktop when its right or bottom edge lies beyond it.
void CenterWindowIfOffscreen(int window);

// 1 when the mouse cursor is inside the gadget's screen rectangle, else 0.
int CursorOverGadget(int gadget);

}  // namespace vu
