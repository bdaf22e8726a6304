// Raw access to physical drives and volumes, and the system-drive guard: a disk or volume that
// holds what Windows needs (system_drive.h) is never opened for writing, nor a disk whose
// partitions cannot be told, and the system volume is not opened at all. A lock is retried, as
// other programs hold volumes open for a while.
// Called from the main thread (inventory) and from the workers of drive preparation, backup and
// restore; no state is kept between calls. The caller owns an opened handle: it unlocks it when
// it locked it, and closes it with plat::CloseDevice.
#pragma once
#include <cstdint>
#include <string>

#include "platform/disk_device.h"

namespace vu {

constexpr int VolumeLockAttempts = 20;
constexpr int VolumeLockRetryMs = 500;

// With an empty `volume` opens \\.\PHYSICALDRIVE<diskNumber>, otherwise the volume whose letter is
// the first character of `volume`. Returns the handle or plat::NoDevice.
plat::DeviceHandle OpenDisk(int32_t diskNumber, const std::string& volume, bool forWrite, bool lock);

// Whole sectors at a sector number; the count of bytes moved, or 0 on any failure (a short
// transfer included).
int64_t ReadSectors(plat::DeviceHandle handle, int64_t bytesPerSector, int64_t firstSector, int64_t sectorCount,
                    void* buffer);
int64_t WriteSectors(plat::DeviceHandle handle, int64_t bytesPerSector, int64_t firstSector, int64_t sectorCount,
                     const void* buffer);

bool DismountVolume(plat::DeviceHandle handle);
bool UnlockVolume(plat::DeviceHandle handle);

// FSCTL_LOCK_VOLUME, tried VolumeLockAttempts times VolumeLockRetryMs apart; a volume that still
// refuses is then dismounted, which closes the other handles holding it, and tried once more.
bool LockWithRetries(plat::DeviceHandle handle, bool volume);

}  // namespace vu
