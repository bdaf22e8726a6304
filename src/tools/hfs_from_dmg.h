// "Extract HFS(HFS+) partition from DMG-files" of the Tools menu: the user picks a DMG file and
// a folder, and every HFS or HFSX partition of the image is written there as a raw partition
// image, named after the DMG ("BaseSystem.hfs"; "Name-4.hfs" with the partition's index when
// the image holds several). The disk image is read in process and recognised by its content (a
// koly trailer at its end), whatever its name: an installer package that is a disk image as well
// is read as one. An existing file is replaced only when the user says so. Progress is on the
// status bar, and a click there cancels.
#pragma once
#include <string>
#include <vector>

#include "core/settings.h"

namespace vu {

// The worker thread of the menu item (its argument and the settings are not used). Sets
// OperationBusy for the run and clears it, with AbortRequested, at the end; the working folder it
// makes is removed. Its dialogs are owned by the main window.
void ExtractHfsFromDmg(int arg, const SettingsRecord& settings);

// A click on the status bar: cancels a running DMG extraction, and does nothing otherwise.
void CancelHfsExtractionFromStatusBar();

// The images the last run wrote, in order (Windows paths).
extern std::vector<std::string> ExtractedHfsImages;

}  // namespace vu
