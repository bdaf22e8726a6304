// Where a volume lies: its extents on the disks (IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS). A letter or
// a volume name is only a name, which Windows may give to another volume at any time (a stick
// pulled out and another plugged in, a new partition table not yet taken in); before bytes go
// through a volume handle, the handle's own extents must be exactly the partition meant: one
// extent, on that disk, at that partition's offset, of its length. Any thread.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_layouts.h"
#include "platform/disk_device.h"

namespace vu {

struct VolumeExtent {
    uint32_t DiskNumber = 0;
    int64_t StartingOffset = 0;  // bytes
    int64_t ExtentLength = 0;    // bytes
};

// The extents of an open volume, one for a plain volume, several for a spanned or striped one;
// nullopt when the request fails.
std::optional<std::vector<VolumeExtent>> QueryVolumeExtents(plat::DeviceHandle volume);
// The disks of those extents.
std::optional<std::vector<uint32_t>> VolumeDiskNumbers(plat::DeviceHandle volume);

// The extents are exactly the partition: one extent, on the disk, at its offset and length.
bool IsPartition(const std::vector<VolumeExtent>& extents, int32_t diskNumber, const PartitionInformation& partition);

enum class PartitionVolumeError { None, OpenFailed, NotThePartition };
// Opens the volume lettered `letter` (OpenDisk, locked) and keeps it only when it is exactly the
// partition; otherwise closes it and says why. The caller unlocks and closes what it gets.
plat::DeviceHandle OpenPartitionVolume(const std::string& letter, int32_t diskNumber,
                                       const PartitionInformation& partition, bool forWrite,
                                       PartitionVolumeError* error);
// What a run shows when the letter names another volume than partition slot `slot` (0..3) of the
// disk: "Error : Drive E: is not Part1 of the Disk1!", the partition named as the drive list names it.
std::string NotThePartitionText(const std::string& letter, int32_t diskNumber, int slot);

}  // namespace vu
