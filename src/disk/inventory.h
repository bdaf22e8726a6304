// The inventory of physical disks: which disks are attached, what they are, the entries of their
// partition tables (MBR or GPT) and the letters, labels and file systems of those partitions.
// ScanDisks rebuilds everything from nothing. It runs on the main thread or on the one worker
// that holds OperationBusy; DiskList has no lock because the two never overlap.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_layouts.h"
#include "platform/disk_device.h"

namespace vu {

constexpr int MaxDiskNumber = 49;   // \\.\PHYSICALDRIVE0 .. 49 are probed
constexpr int PartitionSlotCount = 50;  // layout entries kept, logical partitions included
constexpr int ShownSlotCount = 4;       // the drive list shows the first four

struct PartitionSlot {
    PartitionInformation Info;  // the layout entry as the device reported it
    int32_t ListItem = 0;       // line of the drive list; set only for partitions that are shown
    std::string Letter;         // "E:", "" when none
    std::string Label;
    std::string FsName;
};

struct DiskRecord {
    int32_t ListItem = -1;
    int32_t DiskNumber = 0;
    int32_t PartitionCount = 0;  // layout entries reported, empty ones included
    std::string Letters;         // "E: F:", "" when none
    uint32_t Signature = 0;      // of an MBR disk
    bool LayoutRead = false;     // the layout request succeeded (a disk without a table included)
    uint32_t PartitionStyle = PartitionStyleRaw;
    PartitionSlot Partitions[PartitionSlotCount];
    DiskGeometryEx Geometry;
    std::string ActiveMark;      // "Act" when one of the four slots is marked bootable
    int32_t DriveTypeCode = 0;
    std::string DriveTypeName;
    std::string BusTypeName;
    std::string ProductId;
    std::string VendorId;
    std::string SerialNumber;    // from the descriptor, "" when the device has none
    std::string DevicePath;      // the device interface path, "" when it could not be had
    int64_t DiskLength = 0;
    int64_t TotalSectors = 0;
    int64_t ChsSectors = 0;
    uint8_t SelectedPartition = 0;  // in SelectedDisk: 0 the whole disk, 1..4 a partition
};

extern std::vector<DiskRecord> DiskList;
extern int32_t DiskCount;          // records added by the last scan
extern int32_t LogicalDriveCount;  // drive-letter roots seen by the last scan
extern DiskRecord SelectedDisk;

// Rebuilds DiskList; returns DiskCount, or 0 when the logical drive strings cannot be read (the
// disks found stay listed).
int32_t ScanDisks();

// What tells the disk at `number` from another that may take its number: its length, descriptor
// and device interface path. False when the disk cannot be opened or reports no length.
bool IdentifyDisk(int number, DiskRecord& disk);

// GetVolumeInformationW on a root ("E:" or "E:\"); "" on failure or for an empty root.
std::string GetVolumeLabel(const std::string& root);
std::string GetFileSystemName(const std::string& root);

// IOCTL_DISK_GET_LENGTH_INFO: the length in bytes, 0 when the request fails.
int64_t QueryDiskLength(plat::DeviceHandle handle);

}  // namespace vu
