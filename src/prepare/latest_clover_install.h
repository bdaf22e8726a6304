// The "DL" source of the data-set installation: the bootloader data set of a chosen (or the
// latest) revision, downloaded from the bootloader project's download host, converted into a
// data-set archive on the spot and extracted onto the new volume. Runs on the format pipeline's
// thread, which holds the download slot for it; the download runs on a thread of its own meanwhile.
#pragma once
#include <string>

#include "core/settings.h"

namespace vu {

// The install phase's "DL" branch: when the run's InstallRevision names no revision, the
// revision check runs first (on this thread; its failure shows "Error Check Clover Last
// Revision"); then InstallLatestClover with the revision found. True when the data set is on
// `volume` ("E:"). The caller holds the download slot; the format run's cancel stops the check.
bool InstallDownloadedDataSet(const SettingsRecord& settings, const std::string& volume);

// Downloads the data set of `revision` (digits) into a working folder of its own, converts it into
// "CloverISO-<revision>.zip", extracts that onto `destination` and, with the settings'
// SaveLatestCloverAfterDL, keeps a copy in their CloverLocalRepository. Every failure shows its
// message box and returns false; the working folder is gone on every return.
bool InstallLatestClover(const SettingsRecord& settings, const std::string& revision, const std::string& destination);

// How long the installation waits for the data-set download, and for a stopped download to end.
constexpr int DataSetDownloadTimeoutMs = 300000;
constexpr int StoppedDownloadWaitMs = 60000;

}  // namespace vu
