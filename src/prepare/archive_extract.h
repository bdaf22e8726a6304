// Extraction of a ZIP archive (an unpacked package or an archive file on disk) into a folder,
// with per-entry progress on the status bar. Runs on the calling thread (the format pipeline's,
// a download thread); it polls FormatFailed between entries.
#pragma once
#include <cstddef>
#include <string>

namespace vu {

// Extracts every entry of a ZIP archive below destFolder. With fromPackage the archive is the
// package (start, length), unpacked first into a working folder of the extraction's own (deleted
// when it ends); otherwise it is the file
// archivePath. showProgress draws "Extracted (i/n) files to <destFolder>" per entry; deleteArchive
// deletes the archive file afterwards.
//
// False at once (nothing touched) when FormatFailed is set or destFolder is empty; false when
// the archive cannot be unpacked or opened, or an entry cannot be written. Entries whose names
// would land outside destFolder ("..", absolute paths, drive letters) are skipped. A stop caused
// by FormatFailed between entries still returns true: the pipeline reads the flag itself.
bool ExtractArchive(const unsigned char* start, std::size_t length, std::string destFolder, bool fromPackage,
                    std::string archivePath, bool showProgress, bool deleteArchive);

// The entry name as a path relative to the destination ("\" separators), or "" when the name
// would climb out of it or is not a usable Windows path: empty, absolute ("\x", "/x", "\\server"),
// with a drive letter or any other ":", or with a component made only of dots and blanks
// (Windows reads ". ." and "..." like "..").
std::string SafeEntryPath(const std::string& entryName);

}  // namespace vu
