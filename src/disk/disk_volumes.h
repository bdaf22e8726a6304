// The volumes of a disk, whatever their names: Windows' list of volumes (FindFirstVolumeW), each
// placed by its extents, so that a volume without a letter, or mounted in a folder, counts as much
// as one with a letter. A disk is rewritten only while every volume on it is locked: Windows
// refuses raw writes into a mounted volume, and a volume it still has mounted writes its own view
// back. Runs on the disk workers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "disk/inventory.h"
#include "platform/disk_device.h"

namespace vu {

enum class VolumeLockError { None, ListUnreadable, AccessDenied, InUse };

struct VolumeLockResult {
    VolumeLockError error = VolumeLockError::None;
    int64_t offset = 0;  // where on the disk the volume that failed begins
};

// Opens, locks (LockWithRetries) and dismounts every volume with an extent on `disk`, adding the
// handles to `held`; at the first failure stops and says which volume failed and why. The caller
// unlocks and closes what is in `held`, also after a failure.
VolumeLockResult LockDiskVolumes(int32_t disk, std::vector<plat::DeviceHandle>& held);
// The volume that is exactly `partition` of `disk`, locked (and dismounted when `dismount`), in
// `volume`; plat::NoDevice there when the partition has no volume. False when its volume cannot
// be locked.
bool LockPartitionVolume(int32_t disk, const PartitionInformation& partition, bool dismount,
                         plat::DeviceHandle& volume);

// How a run names a volume of the disk whose extent begins at `offset`: the letter of the drive
// list's partition there ("E:"), else that partition ("Part2"), else the offset in sectors.
std::string VolumeShownName(const DiskRecord& disk, int64_t offset);
// "Error open volume E: for write&lock: in use" and its kin for every failure.
std::string VolumeLockErrorText(const DiskRecord& disk, const VolumeLockResult& result);

}  // namespace vu
