// Internal to the simulated PC: the answers to the layout and extent requests that Windows added
// for GPT disks and dynamic volumes, in the byte layouts of device_layouts.h. Called with the disk
// lock held; on failure *error receives the code GetLastError would give.
#pragma once
#include <cstdint>

#include "platform/sim/sim_disk_model.h"

namespace vu::sim::detail {

// IOCTL_DISK_GET_DRIVE_LAYOUT_EX: a buffer too small for every entry fails with 122.
bool DriveLayoutEx(const SimDisk& disk, void* out, uint32_t outSize, uint32_t* error);
// IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS of the volume at `where`, opened by `letter` (0 when by
// its name): a buffer too small for every extent fails with 234 after the count of extents.
bool VolumeDiskExtents(char letter, const SimLetter& where, void* out, uint32_t outSize, uint32_t* error);

}  // namespace vu::sim::detail
