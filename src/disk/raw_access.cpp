// Raw disk access and the system-drive guard; see raw_access.h.
#include "disk/raw_access.h"

#include <cctype>

#include "app/globals.h"
#include "app/status_bar.h"
#include "disk/device_layouts.h"
#include "disk/inventory.h"
#include "platform/clock.h"
#include "platform/gui.h"

namespace vu {

namespace {

void RefuseSystemDrive(const std::string& statusText) {
    DrawProgressBar(StatusBarGadget, statusText, 0);
    plat::MessageBox("Error", "Sorry, operation not permitted!\r\nYou selected a System Drive.", plat::MbIconWarning);
}

// The system drive's letter in upper case, 0 when it is unknown. The system directory may be
// reported in lower case; the guard must match it all the same.
char SystemLetter() {
    if (SystemDriveLetter.empty()) return 0;
    return char(std::toupper(static_cast<unsigned char>(SystemDriveLetter[0])));
}

bool SelectedDiskHoldsSystem() {
    char system = SystemLetter();
    if (system == 0 || SelectedDisk.PartitionCount == 0) return false;
    for (char c : SelectedDisk.Letters)
        if (std::toupper(static_cast<unsigned char>(c)) == system) return true;
    return false;
}

bool LockOnce(plat::DeviceHandle handle) { return plat::DeviceControl(handle, FsctlLockVolume, nullptr, 0, nullptr, 0); }

plat::DeviceHandle OpenPhysical(int32_t diskNumber, bool forWrite, bool lock) {
    plat::DeviceHandle handle = plat::OpenDevice("\\\\.\\PHYSICALDRIVE" + std::to_string(diskNumber), forWrite);
    if (handle == plat::NoDevice) return plat::NoDevice;
    if (lock && !LockOnce(handle)) {
        plat::CloseDevice(handle);
        return plat::NoDevice;
    }
    return handle;
}

plat::DeviceHandle OpenVolume(const std::string& volume, bool forWrite, bool lock) {
    char letter = char(std::toupper(static_cast<unsigned char>(volume[0])));
    if (letter < 'A' || letter > 'Z' || letter == SystemLetter()) {
        RefuseSystemDrive(std::string("WARNING - access to Disk ") + letter + ": disabled!");
        return plat::NoDevice;
    }
    plat::DeviceHandle handle = plat::OpenDevice(std::string("\\\\.\\") + letter + ":", forWrite);
    if (handle == plat::NoDevice) return plat::NoDevice;
    if (!lock) return handle;
    for (int attempt = 0; attempt < VolumeLockAttempts; ++attempt) {
        if (LockOnce(handle)) return handle;
        plat::Sleep(VolumeLockRetryMs);
    }
    plat::CloseDevice(handle);
    return plat::NoDevice;
}

// Positions the handle at the first sector; the length of the transfer, or -1 when it cannot start.
int64_t Position(plat::DeviceHandle handle, int64_t bytesPerSector, int64_t firstSector, int64_t sectorCount) {
    // Products wrap rather than overflow; such a request then fails at the device.
    int64_t offset = int64_t(uint64_t(bytesPerSector) * uint64_t(firstSector));
    int64_t length = int64_t(uint64_t(bytesPerSector) * uint64_t(sectorCount));
    if (!plat::SeekDevice(handle, offset)) return -1;
    return length;
}

}  // namespace

plat::DeviceHandle OpenDisk(int32_t diskNumber, const std::string& volume, bool forWrite, bool lock) {
    if (forWrite && SelectedDiskHoldsSystem()) {
        RefuseSystemDrive("WARNING - write access to System Drive disabled!");
        return plat::NoDevice;
    }
    if (volume.empty()) return OpenPhysical(diskNumber, forWrite, lock);
    return OpenVolume(volume, forWrite, lock);
}

int64_t ReadSectors(plat::DeviceHandle handle, int64_t bytesPerSector, int64_t firstSector, int64_t sectorCount,
                    void* buffer) {
    int64_t length = Position(handle, bytesPerSector, firstSector, sectorCount);
    if (length < 0) return 0;
    // One call moves the low 32 bits of the length; a longer request comes out short and fails.
    int64_t moved = plat::ReadDevice(handle, buffer, uint32_t(length));
    return moved == length ? moved : 0;
}

int64_t WriteSectors(plat::DeviceHandle handle, int64_t bytesPerSector, int64_t firstSector, int64_t sectorCount,
                     const void* buffer) {
    int64_t length = Position(handle, bytesPerSector, firstSector, sectorCount);
    if (length < 0) return 0;
    int64_t moved = plat::WriteDevice(handle, buffer, uint32_t(length));
    return moved == length ? moved : 0;
}

bool DismountVolume(plat::DeviceHandle handle) {
    return plat::DeviceControl(handle, FsctlDismountVolume, nullptr, 0, nullptr, 0);
}

bool UnlockVolume(plat::DeviceHandle handle) {
    return plat::DeviceControl(handle, FsctlUnlockVolume, nullptr, 0, nullptr, 0);
}

}  // namespace vu
