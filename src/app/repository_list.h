// The Configuration window's view of the local repository: the "Select Found Dist" combo box
// (gadget 61) and the revision text beside it (gadget 120). Runs on the main thread when the
// window opens and on a worker thread after the user chose a new repository folder.
#pragma once
#include <string>

namespace vu {

// Rescans the repository and fills the combo box; nothing when window 3 is not open.
void FillRepositoryList();
// Makes the combo box's current text the chosen data set; nothing when window 3 is not open.
void SelectFoundDataSet();
// Sets a new repository folder and refills the list on a worker thread.
void StartRepositoryRescan(const std::string& folder);

}  // namespace vu
