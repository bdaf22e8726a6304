// Raw disk access and the system-drive guard; see raw_access.h.
#include "disk/raw_access.h"

#include <cctype>

#include "core/globals.h"
#include "core/status_bar.h"
#include "disk/inventory.h"
#include "disk/system_drive.h"
#include "platform/clock.h"
#include "platform/device_layouts.h"
#include "platform/gui.h"

namespace vu {

namespace {

void Refuse(const std::string& statusText, const std::string& boxText) {
    DrawProgressBar(StatusBarGadget, statusText, 0);
    plat::MessageBox("Error", boxText, plat::MbIconWarning);
}

void Refuse(WriteRefusal refusal, int32_t diskNumber) {
    Refuse(RefusalStatusText(refusal, diskNumber), RefusalBoxText(refusal));
}

plat::DeviceHandle OpenPhysical(int32_t diskNumber, bool forWrite, bool lock) {
    if (forWrite) {
        if (WriteRefusal refusal = DiskWriteRefusal(diskNumber); refusal != WriteRefusal::None) {
            Refuse(refusal, diskNumber);
            return plat::NoDevice;
        }
    }
    plat::DeviceHandle handle = plat::OpenDevice("\\\\.\\PHYSICALDRIVE" + std::to_string(diskNumber), forWrite);
    if (handle == plat::NoDevice) return plat::NoDevice;
    if (lock && !LockWithRetries(handle, false)) {
        plat::CloseDevice(handle);
        return plat::NoDevice;
    }
    return handle;
}

plat::DeviceHandle OpenVolume(const std::string& volume, bool forWrite, bool lock) {
    char letter = char(std::toupper(static_cast<unsigned char>(volume[0])));
    if (letter < 'A' || letter > 'Z' || IsSystemDriveLetter(volume)) {
        Refuse(std::string("WARNING - access to Disk ") + letter + ": disabled!",
               RefusalBoxText(WriteRefusal::SystemDrive));
        return plat::NoDevice;
    }
    std::string path = std::string("\\\\.\\") + letter + ":";
    // Another volume of a system disk (its EFI partition, a second volume) is not written either;
    // where the volume lies is asked before it is opened for writing. A volume that cannot be
    // asked is not opened for writing either.
    if (forWrite) {
        plat::DeviceHandle query = plat::OpenDevice(path, false);
        if (query == plat::NoDevice) return plat::NoDevice;
        WriteRefusal refusal = VolumeWriteRefusal(query);
        plat::CloseDevice(query);
        if (refusal != WriteRefusal::None) {
            Refuse(refusal, 0);
            return plat::NoDevice;
        }
    }
    plat::DeviceHandle handle = plat::OpenDevice(path, forWrite);
    if (handle == plat::NoDevice) return plat::NoDevice;
    if (lock && !LockWithRetries(handle, true)) {
        plat::CloseDevice(handle);
        return plat::NoDevice;
    }
    return handle;
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

bool LockWithRetries(plat::DeviceHandle handle, bool volume) {
    auto lock = [handle] { return plat::DeviceControl(handle, FsctlLockVolume, nullptr, 0, nullptr, 0); };
    for (int attempt = 0; attempt < VolumeLockAttempts; ++attempt) {
        if (lock()) return true;
        plat::Sleep(VolumeLockRetryMs);
    }
    // Explorer, an indexer or a virus scanner may keep a handle open for as long as it likes; a
    // dismount makes every other handle of the volume invalid, and the lock is free then.
    return volume && DismountVolume(handle) && lock();
}

plat::DeviceHandle OpenDisk(int32_t diskNumber, const std::string& volume, bool forWrite, bool lock) {
    if (forWrite && SelectedDisk.PartitionCount != 0 && LettersHoldSystemDrive(SelectedDisk.Letters)) {
        Refuse(WriteRefusal::SystemDrive, SelectedDisk.DiskNumber);
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
