// The working folder: a hidden folder "ZarnTemp" + four digits in the user's temporary folder in
// which packages are unpacked and downloads are kept, the temporary file names in it, and the
// creation of folder trees.
//
// Called from whichever thread runs an operation (the format pipeline, a download, the main
// thread at shutdown). ZarnTempPath is shared without a lock: only one long operation runs at a
// time, and the main thread deletes the folder only after the loop has ended.
#pragma once
#include <string>

namespace vu {

// Full path of the current working folder, ending in "\"; empty while there is none.
extern std::string ZarnTempPath;

// Deletes every "ZarnTemp*" folder in the temporary folder (left-overs of earlier runs and this
// run's own), then creates a fresh hidden one and stores its path in ZarnTempPath. False when
// there is no temporary folder or the new folder cannot be created (ZarnTempPath stays empty).
bool CreateWorkFolder();

// A free name "TEMP" + four digits in `folder`. Deletes the "TEMP*" files handed out before.
std::string NewTempFileName(std::string folder);

// Creates `path` and every missing parent; "/" counts as "\". An empty path does nothing.
// True when the folder exists afterwards.
bool CreateDirectoryTree(std::string path);

// Deletes the current working folder with everything in it and forgets its path.
void DeleteWorkFolder();

}  // namespace vu
