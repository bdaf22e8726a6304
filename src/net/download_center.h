// The Download Center (window 2): a Recovery HD package or an item of the download lists is
// chosen, either list is updated from the network, and "DL" starts the chosen item's download.
// Opened and served on the main thread, which alone fills its lists: a list update replaces a list
// on its thread and asks the main thread to show it (EventListReplaced).
#pragma once
#include <string>

#include "net/download_lists.h"

namespace vu {

enum DownloadCenterGadgetNumber : int {
    DcExitButton = 19,
    DcUpdateButton = 20,
    DcClearButton = 21,
    DcDlButton = 22,
    RecoveryCombo = 67,
    AdditionalCombo = 68,
    RecoveryFrame = 92,
    AdditionalFrame = 93,
    RecoveryOption = 113,
    AdditionalOption = 114,
};

constexpr int DownloadCenterWidth = 440;
constexpr int DownloadCenterHeight = 145;

std::string DownloadCenterTitle();

// Builds window 2 beside the main window and disables the main window. Called by the main
// window's "DL Center" while no operation runs.
void OpenDownloadCenter();

// Gadget 67: the titles of RecoveryList, the first selected, the drop-down as wide as the widest.
// Main thread; "DL" then takes its entry from the list shown here.
void FillRecoveryCombo();
// Gadget 68: one line per entry of AdditionalList, the first selected, widened the same way.
void FillAdditionalCombo();
// A list update replaced the list of `combo` (67 or 68): refilled while the window is open.
void DownloadListReplaced(int combo);
// "Name 46.82 KB: Description", or "Name: Description" without a size.
std::string AdditionalLine(const AdditionalEntry& entry);

// A gadget event of window 2; true when the gadget belongs to it.
bool DownloadCenterGadget(int gadget, int kind);

// What "Update" shows when another download holds the download slot.
constexpr const char* UpdateWhileDownloadingText = "A download is running ... Update when it has ended";

}  // namespace vu
