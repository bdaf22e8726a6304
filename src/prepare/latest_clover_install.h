// The "DL" source of the data-set installation: the bootloader data set of a chosen (or the
// latest) revision, downloaded from the bootloader project's download host, converted into a
// data-set archive on the spot and extracted onto the new volume. Runs on the format pipeline's
// thread; the download runs on a thread of its own meanwhile.
#pragma once
#include <string>

namespace vu {

// The install phase's "DL" branch: when InstallRevision names no revision, the revision check
// runs first (on this thread; its failure shows "Error Check Clover Last Revision"); then
// InstallLatestClover. True when the data set is on `volume` ("E:").
bool InstallDownloadedDataSet(const std::string& volume);

// Downloads the data set of InstallRevision into a fresh working folder, converts it into
// "CloverISO-<revision>.zip", extracts that onto `destination` and, with SaveLatestCloverAfterDL,
// keeps a copy in the local repository. Every failure shows its message box and returns false;
// the working folder is gone on every return.
bool InstallLatestClover(const std::string& destination);

// How long the installation waits for the data-set download, and for another download job to
// end before its own revision check.
constexpr int DataSetDownloadTimeoutMs = 300000;
constexpr int RevisionCheckSlotWaitMs = 60000;

}  // namespace vu
