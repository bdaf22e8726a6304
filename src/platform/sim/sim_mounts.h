// Internal to the simulated PC: Windows' rule for raw writes into mounted volumes (see
// sim_disks.h). A volume with a letter, a folder or a program holding it, whose file system
// Windows recognises (or which is an unlocked BitLocker volume), is mounted; a write into its
// extent, through a disk or a volume handle, is refused unless an open handle of that volume
// holds its lock. A dismount does not change that: it lasts only while the volume is locked,
// because the shell looks at the volume again as soon as the lock is released, which mounts it.
// Called with the disk lock held.
#pragma once
#include <cstdint>
#include <functional>

namespace vu::sim::detail {

// Whether the volume whose letter names (disk, partition) is locked by an open handle.
using VolumeLocked = std::function<bool(int disk, uint32_t partition)>;

// Whether `length` bytes written at byte `offset` of disk `disk` stay out of every mounted
// volume that is not locked.
bool RawWriteAllowed(int disk, int64_t offset, int64_t length, const VolumeLocked& locked);

}  // namespace vu::sim::detail
