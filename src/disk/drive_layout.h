// The partition layout of a physical drive as IOCTL_DISK_GET_DRIVE_LAYOUT_EX reports it, for MBR
// and GPT disks alike. The older IOCTL_DISK_GET_DRIVE_LAYOUT fails on GPT disks and holds at most
// the entries its fixed buffer has room for; this request is asked with a buffer grown until every
// entry fits. Any thread; the caller owns the handle.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_layouts.h"
#include "platform/disk_device.h"

namespace vu {

struct LayoutEntry {
    // Offsets, length and number for every style; type, boot indicator, recognition and hidden
    // sectors only for MBR entries.
    PartitionInformation Info;
    std::string GptType;  // GUID text of a GPT entry's type, "" for MBR entries
};

struct DriveLayout {
    uint32_t Style = PartitionStyleRaw;
    uint32_t Signature = 0;  // the MBR disk signature
    // MBR: the four primary entries, then four for each logical partition, empty ones included.
    // GPT: the partitions the table defines.
    std::vector<LayoutEntry> Entries;
};

// nullopt when the request fails for any reason but a buffer that is too small.
std::optional<DriveLayout> QueryDriveLayout(plat::DeviceHandle drive);

// A GUID as Windows and GPT store it (little-endian first three fields) in its text form.
std::string GuidText(const uint8_t* guid);

}  // namespace vu
