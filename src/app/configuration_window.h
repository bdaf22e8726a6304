// The Configuration window (window 3): shows the data-set and format settings and lets the
// user change them. Opened and served on the main thread; the repository and revision workers
// update its gadgets 61, 62, 120 and 121 from their threads.
#pragma once
#include "core/gadget_numbers.h"

namespace vu {

constexpr int ConfigClientWidth = 275;
constexpr int ConfigClientHeight = 465;

// Builds window 3 over the disabled main window and sets every gadget from the settings.
void OpenConfigurationWindow();

// A gadget event of window 3 (all but "Check Now" and "OK", which the loop handles itself);
// true when the gadget belongs to this window.
bool ConfigurationGadget(int gadget, int kind);

// The enabled state of the format gadgets for the chosen boot records.
void ApplyBootRecordsEnabling();

}  // namespace vu
