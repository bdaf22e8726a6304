// File-system creation on the first partition through the platform formatter, with progress on
// the status bar. Runs on the drive-preparation worker; FormatFailed is the result.
#pragma once
#include <cstdint>
#include <string>

namespace vu {

// 1 when the formatter ran, ended with its final report of success and FormatFailed is still
// clear afterwards, else 0. The media type is the geometry's of SelectedDisk (removable or fixed).
// A volume another program holds open is dismounted and formatted again, VolumeLockAttempts times
// VolumeLockRetryMs apart at most.
int32_t FormatVolume(const std::string& volumeName, const std::string& fileSystemName, const std::string& label,
                     int32_t quickFormat, int32_t clusterSize);
// The formatter's progress callback: non-zero lets it go on.
int32_t FormatProgress(uint32_t command, uint32_t subAction, void* argument);
// True when the formatter of the last FormatVolume call reported the volume too big (command 19).
bool FormatterFoundVolumeTooBig();

}  // namespace vu
