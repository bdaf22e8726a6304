// The simulated PC's recognition of file systems: reads the boot sector (and, for the label, the
// root directory or the volume record) of a volume the way Windows reports it through
// GetVolumeInformationW: "FAT" for FAT12 and FAT16, "FAT32", "exFAT", "NTFS". Any thread.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vu::sim {

struct FileSystemInfo {
    std::string name;   // "FAT", "FAT32", "exFAT", "NTFS"
    std::string label;  // "" when the volume has none
};

// Reads `size` bytes at byte `offset` of the volume; false when they are not all there.
using VolumeReader = std::function<bool(int64_t offset, void* buffer, size_t size)>;

// The file system of a volume, or nullopt when Windows would not recognise it.
std::optional<FileSystemInfo> ProbeFileSystem(const VolumeReader& read);

}  // namespace vu::sim
