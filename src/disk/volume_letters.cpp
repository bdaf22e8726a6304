// Drive letters and mount points; see volume_letters.h.
#include "disk/volume_letters.h"

#include "platform/clock.h"
#include "platform/volumes.h"

namespace vu {

bool RemountVolume(const std::string& mountPoint) {
    std::string path = mountPoint;
    if (path.empty() || path.back() != '\\') path += "\\";
    auto volumeName = plat::VolumeNameForMountPoint(path);
    if (!volumeName) return true;
    if (!plat::DeleteMountPoint(path)) return true;
    plat::Sleep(200);
    return plat::SetMountPoint(path, *volumeName);
}

std::string AssignDriveLetter(const std::string& devicePath) {
    uint32_t mask = plat::LogicalDrivesMask();
    std::string letter;
    for (int bit = 2; bit <= 25; ++bit)
        if (!(mask & (1u << bit))) {
            letter = std::string(1, char('A' + bit)) + ":";
            break;
        }
    if (letter.empty()) return "";
    if (!plat::DefineRawDosDevice(letter, devicePath)) return "";
    // The temporary letter lasts until the user logs off unless it is removed, whatever follows.
    auto volumeName = plat::VolumeNameForMountPoint(letter + "\\");
    if (!plat::RemoveRawDosDevice(letter, devicePath) || !volumeName) return "";
    return plat::SetMountPoint(letter + "\\", *volumeName) ? letter : "";
}

}  // namespace vu
