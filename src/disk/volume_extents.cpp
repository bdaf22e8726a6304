// Where a volume lies; see volume_extents.h.
#include "disk/volume_extents.h"

#include <algorithm>
#include <cstring>

#include "disk/raw_access.h"

namespace vu {

namespace {

template <typename T>
T Read(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

}  // namespace

std::optional<std::vector<VolumeExtent>> QueryVolumeExtents(plat::DeviceHandle volume) {
    // Room for one extent first; a spanned or striped volume says how many it has.
    std::vector<uint8_t> buffer(DiskExtentsHeadSize + DiskExtentSize);
    for (int attempt = 0;; ++attempt) {
        std::fill(buffer.begin(), buffer.end(), 0);
        if (plat::DeviceControl(volume, IoctlVolumeGetVolumeDiskExtents, nullptr, 0, buffer.data(),
                                uint32_t(buffer.size())))
            break;
        uint32_t count = Read<uint32_t>(buffer.data());
        size_t needed = DiskExtentsHeadSize + size_t(count) * DiskExtentSize;
        if (plat::LastDeviceError() != ErrorMoreData || attempt == 2 || needed <= buffer.size() || count > 4096)
            return std::nullopt;
        buffer.resize(needed);
    }
    uint32_t count = Read<uint32_t>(buffer.data());
    if (count == 0 || count > (buffer.size() - DiskExtentsHeadSize) / DiskExtentSize) return std::nullopt;
    std::vector<VolumeExtent> extents;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = buffer.data() + DiskExtentsHeadSize + i * DiskExtentSize;
        extents.push_back({Read<uint32_t>(e), Read<int64_t>(e + DiskExtentOffsetAt), Read<int64_t>(e + DiskExtentLengthAt)});
    }
    return extents;
}

std::optional<std::vector<uint32_t>> VolumeDiskNumbers(plat::DeviceHandle volume) {
    auto extents = QueryVolumeExtents(volume);
    if (!extents) return std::nullopt;
    std::vector<uint32_t> disks;
    for (const VolumeExtent& extent : *extents) disks.push_back(extent.DiskNumber);
    return disks;
}

bool IsPartition(const std::vector<VolumeExtent>& extents, int32_t diskNumber, const PartitionInformation& partition) {
    return extents.size() == 1 && int64_t(extents[0].DiskNumber) == diskNumber &&
           extents[0].StartingOffset == partition.StartingOffset && extents[0].ExtentLength == partition.PartitionLength;
}

plat::DeviceHandle OpenPartitionVolume(const std::string& letter, int32_t diskNumber,
                                       const PartitionInformation& partition, bool forWrite,
                                       PartitionVolumeError* error) {
    *error = PartitionVolumeError::None;
    plat::DeviceHandle volume = OpenDisk(diskNumber, letter, forWrite, true);
    if (volume == plat::NoDevice) {
        *error = PartitionVolumeError::OpenFailed;
        return plat::NoDevice;
    }
    // Asked of the locked handle itself: what it reaches cannot change under it any more.
    auto extents = QueryVolumeExtents(volume);
    if (extents && IsPartition(*extents, diskNumber, partition)) return volume;
    UnlockVolume(volume);
    plat::CloseDevice(volume);
    *error = PartitionVolumeError::NotThePartition;
    return plat::NoDevice;
}

std::string NotThePartitionText(const std::string& letter, int32_t diskNumber, int slot) {
    return "Error : Drive " + letter.substr(0, 2) + " is not Part" + std::to_string(slot + 1) + " of the Disk" +
           std::to_string(diskNumber) + "!";
}

}  // namespace vu
