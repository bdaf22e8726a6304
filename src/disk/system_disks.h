// The disks Windows needs to run, which nothing may write: the disks of the Windows volume, of the
// system partition it starts from (an EFI System Partition or "System Reserved", often on another
// disk; HKLM\SYSTEM\Setup SystemPartition), and of its page files (Memory Management PagingFiles
// and ExistingPageFiles); and, for a Windows started from a virtual disk (a VHD), the disks of the
// volumes that hold that disk's file, level by level down to a physical disk
// (GetStorageDependencyInformation). Any thread; every call asks the system afresh.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

namespace vu {

// The disk numbers, in increasing order; nullopt when any of it cannot be learnt (no system
// directory, a record that cannot be read, a volume that cannot be opened or placed).
std::optional<std::vector<uint32_t>> SystemDiskNumbers();

}  // namespace vu
