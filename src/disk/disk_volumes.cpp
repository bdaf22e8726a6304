// The volumes of a disk; see disk_volumes.h.
#include "disk/disk_volumes.h"

#include <algorithm>

#include "disk/raw_access.h"
#include "disk/volume_extents.h"
#include "platform/device_layouts.h"
#include "platform/disk_device.h"
#include "platform/volumes.h"

namespace vu {

namespace {

struct DiskVolume {
    plat::DeviceHandle handle = plat::NoDevice;  // opened for reading
    int64_t offset = 0;                          // of its first extent on the disk
    std::vector<VolumeExtent> extents;
};

// Opens the volumes with an extent on `disk`, one after the other, and hands each to `visit`,
// which owns the handle from then on; `visit` returns false to stop, keeping its own account of
// why. A volume that cannot be opened for any other reason than access denied (a drive without a
// medium) is none of a disk's.
VolumeLockError ForEachVolumeOn(int32_t disk, const auto& visit) {
    auto names = plat::VolumeNames();
    if (!names) return VolumeLockError::ListUnreadable;
    for (std::string name : *names) {
        if (!name.empty() && name.back() == '\\') name.pop_back();
        DiskVolume volume;
        volume.handle = plat::OpenDevice(name, false);
        if (volume.handle == plat::NoDevice) {
            if (plat::LastDeviceError() != ErrorAccessDenied) continue;
            return VolumeLockError::AccessDenied;
        }
        auto extents = QueryVolumeExtents(volume.handle);
        auto on = extents ? std::find_if(extents->begin(), extents->end(),
                                         [&](const VolumeExtent& e) { return int64_t(e.DiskNumber) == disk; })
                          : std::vector<VolumeExtent>::iterator{};
        if (!extents || on == extents->end()) {
            plat::CloseDevice(volume.handle);
            continue;
        }
        volume.offset = on->StartingOffset;
        volume.extents = *extents;
        if (!visit(volume)) return VolumeLockError::None;
    }
    return VolumeLockError::None;
}

}  // namespace

VolumeLockResult LockDiskVolumes(int32_t disk, std::vector<plat::DeviceHandle>& held) {
    VolumeLockResult result;
    VolumeLockError listing = ForEachVolumeOn(disk, [&](const DiskVolume& volume) {
        if (!LockWithRetries(volume.handle, true)) {
            plat::CloseDevice(volume.handle);
            result.error = VolumeLockError::InUse;
            result.offset = volume.offset;
            return false;
        }
        DismountVolume(volume.handle);
        held.push_back(volume.handle);
        return true;
    });
    if (result.error == VolumeLockError::None) result.error = listing;
    return result;
}

bool LockPartitionVolume(int32_t disk, const PartitionInformation& partition, bool dismount,
                         plat::DeviceHandle& volume) {
    volume = plat::NoDevice;
    bool locked = true;
    VolumeLockError error = ForEachVolumeOn(disk, [&](const DiskVolume& found) {
        if (!IsPartition(found.extents, disk, partition)) {
            plat::CloseDevice(found.handle);
            return true;
        }
        locked = LockWithRetries(found.handle, true);
        if (!locked) {
            plat::CloseDevice(found.handle);
            return false;
        }
        if (dismount) DismountVolume(found.handle);
        volume = found.handle;
        return false;
    });
    return locked && error == VolumeLockError::None;
}

std::string VolumeShownName(const DiskRecord& disk, int64_t offset) {
    for (int slot = 0; slot < PartitionSlotCount; ++slot) {
        const PartitionSlot& s = disk.Partitions[slot];
        if (s.Info.PartitionLength == 0 || s.Info.StartingOffset != offset) continue;
        return s.Letter.empty() ? "Part" + std::to_string(slot + 1) : s.Letter;
    }
    uint32_t sectorBytes = disk.Geometry.BytesPerSector ? disk.Geometry.BytesPerSector : 512;
    return "at sector " + std::to_string(offset / sectorBytes);
}

std::string VolumeLockErrorText(const DiskRecord& disk, const VolumeLockResult& result) {
    std::string drive = std::to_string(disk.DiskNumber);
    switch (result.error) {
        case VolumeLockError::ListUnreadable: return "Error : The volumes of the Disk" + drive + " can't be listed!";
        case VolumeLockError::AccessDenied: return "Error : Access to the volumes denied!";
        case VolumeLockError::InUse:
            return "Error open volume " + VolumeShownName(disk, result.offset) + " for write&lock: in use";
        case VolumeLockError::None: break;
    }
    return "";
}

}  // namespace vu
