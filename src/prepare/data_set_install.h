// The last phase of a format run: the data set that makes the new volume bootable, copied below
// its root (the FreeDOS files the program carries, or a Clover data set from the local repository
// or a download), and the markers that keep macOS from indexing a Clover volume.
// Runs on the format pipeline's thread.
#pragma once
#include <cstdint>
#include <string>

#include "core/settings.h"

namespace vu {

// Installs onto `volume` ("E:"): the FreeDOS set for Boot_records "FreeDos"; otherwise, when
// installDataSet is 1, the Clover data set InstallDataSet names (the run's copies of the settings;
// "DL" needs the download slot, which the run holds). Reports on the status bar; a set that could
// not be installed sets FormatFailed, so that the run does not end with "All done".
void InstallDataSetPhase(int32_t installDataSet, const SettingsRecord& settings, const std::string& volume);

// The hidden ".metadata_never_index", ".fseventsd" and ".fseventsd\no_log" at the volume's root.
void WriteVolumeMarkers(const std::string& volume);

}  // namespace vu
