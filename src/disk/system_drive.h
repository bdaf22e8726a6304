// The system-drive rule: which letters, volumes and disks hold Windows itself, so that nothing
// writes to them. The letter rule compares with SystemDriveLetter; the disk rule asks Windows
// where the volumes it needs lie (system_disks.h), so it does not depend on a partition table the
// program can read. Where that cannot be learnt, every disk counts as one that may hold the
// system. A disk whose partitions belong to volumes of other disks (a dynamic disk, a disk of a
// storage pool) is not written either. Any thread; every call asks the system afresh.
#pragma once
#include <cstdint>
#include <string>

#include "disk/inventory.h"
#include "platform/disk_device.h"

namespace vu {

// The first character of `letter` ("c", "C:", "C:\") is the system drive's letter, compared
// without regard to case. An empty letter or an unknown system drive never matches.
bool IsSystemDriveLetter(const std::string& letter);
// One of the letters of a disk's Letters ("E: F:") is the system drive's.
bool LettersHoldSystemDrive(const std::string& letters);

enum class WriteRefusal {
    None,
    SystemDrive,       // the disk holds what Windows needs
    SystemUnknown,     // where Windows lies cannot be learnt
    UnreadableLayout,  // the disk's partition table cannot be read
    PooledDisk,        // a dynamic disk, or a disk of a storage pool
};
// Whether writing the physical drive `diskNumber` is refused (asked before it is opened for
// writing; a drive that cannot be opened at all is not refused here).
WriteRefusal DiskWriteRefusal(int32_t diskNumber);
// The same for the drive selected for an operation, its letters included.
WriteRefusal SelectedDiskWriteRefusal();
// Whether writing the opened volume is refused: it lies on a system disk, or where it lies
// cannot be read.
WriteRefusal VolumeWriteRefusal(plat::DeviceHandle volume);

// The texts with which a refusal is shown: on the status bar, and in the "Error" box.
std::string RefusalStatusText(WriteRefusal refusal, int32_t diskNumber);
std::string RefusalBoxText(WriteRefusal refusal);

}  // namespace vu
