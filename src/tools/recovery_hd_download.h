// "DL" on a Recovery HD entry of the Download Center: the entry's package (or, for an entry of
// Apple's recovery server, its verified image: tools/recovery_server_image.h) is downloaded into
// a working folder of the run's own and its HFS image extracted into the settings' image
// repository (ZarnImageLocalRepo) as "RecoveryHD-<build>.hfs" (numbered when the name is taken).
// A server image's summary names the macOS version and build that was served, which may be newer
// than the entry's. The main window's "DL Center" button
// reads "Cancel DL" meanwhile and cancels the download and the extraction alike. Whatever the
// outcome, no working folder, no package and no partial image is left, the download slot is free
// and the flags and the button's caption are restored.
#pragma once
#include <string>

#include "core/settings.h"
#include "net/recovery_list.h"

namespace vu {

// The build an entry's image is named after: the catalog's Build, or for an entry that carries
// only a title and an address (restored from the settings file, or built in) the text in the
// title's leading parentheses. Empty when that is not a plain macOS build code ("16G29",
// "16B2657", "17A264c"): a name from the web never becomes part of a path unchecked, and the
// image is then named after the build its volume holds.
std::string RecoveryEntryBuild(const RecoveryEntry& entry);

// The worker procedure. True when the image was written; its Windows path then goes to
// *imagePath when that is given.
bool DownloadRecoveryHd(const RecoveryEntry& entry, const SettingsRecord& settings, std::string* imagePath = nullptr);

// The worker thread "DL" starts (its argument, the entry's line, is not needed: the Download
// Center hands the entry over with SetChosenRecoveryEntry).
void DownloadRecoveryHdJob(int line, const SettingsRecord& settings);

}  // namespace vu
