// Our own FAT32 formatter, for the volumes the system's formatter refuses (Windows makes FAT32
// only up to 32 GB), and the choice between the two for the format pipeline. The volume is
// written raw through a locked volume handle. Runs on the drive-preparation worker.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/disk_device.h"
#include "prepare/fat32_layout.h"

namespace vu {

// Above this the system's formatter is not asked for FAT32 at all.
constexpr uint64_t SystemFat32LimitBytes = 32ull << 30;
// The largest single zeroing write.
constexpr uint32_t Fat32ZeroBlockBytes = 4u << 20;

enum class Fat32WriteResult { Done, Cancelled, WriteFailed };

// Writes the file system of `layout` through `volume` (open for writing and locked): zeroes the
// reserved area, both FATs and, for a full format, the data region; then the root directory,
// the first FAT sectors, FSInfo and the backups at 6 and 7, and the boot sector last, so a run
// that stops early leaves no volume that claims a file system. `progress` gets the percent of
// the zeroing after every block and stops the run by returning false.
Fat32WriteResult WriteFat32(plat::DeviceHandle volume, const Fat32Layout& layout, const Fat32Identity& identity,
                            bool quickFormat, const std::function<bool(int percent)>& progress);

// The file system on partition 1 of SelectedDisk, lettered `volumeName`: FAT32 on a volume above
// SystemFat32LimitBytes is ours at once; otherwise the system's formatter runs (FormatVolume),
// and FAT32 that it refuses as too big is ours after all. 1 on success, else 0 with FormatFailed
// set and the reason on the status bar. Our formatter leaves the volume it wrote through in
// `volume`, still locked, so that nobody mounts it before the boot code is merged; the caller
// dismounts, unlocks and closes it.
int32_t CreateFileSystem(const std::string& volumeName, const std::string& fileSystemName, const std::string& label,
                         int32_t quickFormat, int32_t clusterSize, plat::DeviceHandle& volume);

}  // namespace vu
