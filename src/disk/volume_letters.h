// Drive letters and mount points of volumes: a fresh letter for a new partition, and a remount
// that makes Windows read a volume's new boot sector. Called on the drive-preparation worker.
#pragma once
#include <string>

namespace vu {

// Deletes the mount point and sets it again after 200 ms. True when there was nothing to do or
// the mount point is back; false when it was removed and could not be set again.
bool RemountVolume(const std::string& mountPoint);
// Mounts the volume of a device path ("\device\harddisk1\partition1") under the first free letter
// of C..Z, by its volume name; the letter with its colon ("F:"), or "" on failure. The temporary
// DOS device through which the volume's name is learnt is removed on every path.
std::string AssignDriveLetter(const std::string& devicePath);

}  // namespace vu
