// The disk inventory; see inventory.h.
#include "disk/inventory.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "disk/disk_names.h"
#include "disk/drive_layout.h"
#include "disk/raw_access.h"

namespace vu {

std::vector<DiskRecord> DiskList;
int32_t DiskCount = 0;
int32_t LogicalDriveCount = 0;
DiskRecord SelectedDisk;

namespace {

uint32_t Read32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

std::string TrimBlanks(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The zero-terminated text at `offset` of the descriptor. A device may report an offset beyond
// the buffer or fill it without a terminator; the text then ends with the buffer.
std::string DescriptorText(const uint8_t* descriptor, uint32_t offset) {
    if (offset == 0 || offset >= StorageDescriptorBufferSize) return "";
    const char* start = reinterpret_cast<const char*>(descriptor) + offset;
    size_t length = strnlen(start, StorageDescriptorBufferSize - offset);
    return TrimBlanks(plat::FromSystemCodePage(std::string(start, length)));
}

void ReadDescriptor(plat::DeviceHandle handle, DiskRecord& disk) {
    uint8_t query[StoragePropertyQuerySize] = {};  // StorageDeviceProperty, PropertyStandardQuery
    uint8_t descriptor[StorageDescriptorBufferSize] = {};
    if (!plat::DeviceControl(handle, IoctlStorageQueryProperty, query, sizeof query, descriptor, sizeof descriptor))
        return;
    int16_t busType = int16_t(descriptor[DescriptorBusTypeAt] | descriptor[DescriptorBusTypeAt + 1] << 8);
    disk.BusTypeName = NameBusType(busType);
    disk.ProductId = DescriptorText(descriptor, Read32(descriptor + DescriptorProductIdOffsetAt));
    disk.VendorId = DescriptorText(descriptor, Read32(descriptor + DescriptorVendorIdOffsetAt));
    disk.SerialNumber = DescriptorText(descriptor, Read32(descriptor + DescriptorSerialNumberOffsetAt));
}

void ReadGeometry(plat::DeviceHandle handle, DiskRecord& disk) {
    DiskGeometryEx geometry;
    if (!plat::DeviceControl(handle, IoctlDiskGetDriveGeometryEx, nullptr, 0, &geometry, sizeof geometry)) return;
    disk.Geometry = geometry;
    // A device that reports no sector size has no sector count either (and must not divide by 0).
    if (geometry.BytesPerSector != 0) disk.TotalSectors = geometry.DiskSize / int64_t(geometry.BytesPerSector);
    // Wrapping product: whatever a device reports must not become undefined arithmetic.
    disk.ChsSectors = int64_t(uint64_t(geometry.Cylinders) * geometry.TracksPerCylinder * geometry.SectorsPerTrack);
}

void ReadLayout(plat::DeviceHandle handle, DiskRecord& disk) {
    auto layout = QueryDriveLayout(handle);
    if (!layout) return;
    disk.LayoutRead = true;
    disk.PartitionStyle = layout->Style;
    disk.PartitionCount = int32_t(layout->Entries.size());
    disk.Signature = layout->Signature;
    // The first four slots are named even when the table has fewer entries, as empty ones.
    int filled = std::max(ShownSlotCount, std::min(disk.PartitionCount, PartitionSlotCount));
    for (int slot = 0; slot < filled; ++slot) {
        PartitionSlot& s = disk.Partitions[slot];
        if (slot < disk.PartitionCount) {
            const LayoutEntry& entry = layout->Entries[size_t(slot)];
            s.Info = entry.Info;
            if (!entry.GptType.empty()) {
                s.FsName = NameGptPartitionType(entry.GptType);
                continue;
            }
        }
        if (slot < ShownSlotCount && s.Info.BootIndicator != 0) disk.ActiveMark = "Act";
        s.FsName = NamePartitionType(s.Info.PartitionType);
    }
}

void ProbeDisk(int number, const std::map<uint32_t, std::string>& devicePaths) {
    plat::DeviceHandle handle = OpenDisk(number, "", false, false);
    if (handle == plat::NoDevice) return;
    if (QueryDiskLength(handle) == 0) {
        plat::CloseDevice(handle);
        return;
    }
    DiskRecord& disk = DiskList.emplace_back();
    DiskCount += 1;
    disk.DiskNumber = number;
    disk.ListItem = -1;
    disk.DiskLength = QueryDiskLength(handle);
    disk.DriveTypeCode = int32_t(plat::DriveTypeOf("\\\\.\\PHYSICALDRIVE" + std::to_string(number) + "\\"));
    disk.DriveTypeName = NameDriveType(disk.DriveTypeCode);
    ReadDescriptor(handle, disk);
    ReadGeometry(handle, disk);
    ReadLayout(handle, disk);
    plat::CloseDevice(handle);
    if (auto path = devicePaths.find(uint32_t(number)); path != devicePaths.end()) disk.DevicePath = path->second;
}

// Gives the volume at `root` ("E:\") to the partition slot it lives on.
void AttachVolume(const std::string& root) {
    plat::DeviceHandle handle = plat::OpenDevice("\\\\.\\" + root.substr(0, 1) + ":", false);
    if (handle == plat::NoDevice) return;
    DeviceNumber where;
    bool onDisk = plat::DeviceControl(handle, IoctlStorageGetDeviceNumber, nullptr, 0, &where, sizeof where) &&
                  where.DeviceType == FileDeviceDisk && where.PartitionNumber >= 1;
    plat::CloseDevice(handle);
    if (!onDisk) return;
    for (DiskRecord& disk : DiskList) {
        if (disk.DiskNumber != int32_t(where.DeviceNumber)) continue;
        for (int slot = 0; slot < std::min(disk.PartitionCount, PartitionSlotCount); ++slot) {
            PartitionSlot& s = disk.Partitions[slot];
            if (s.Info.PartitionNumber != where.PartitionNumber) continue;
            s.Letter = root.substr(0, 2);
            s.Label = GetVolumeLabel(s.Letter);
            s.FsName = GetFileSystemName(s.Letter);
            if (!disk.Letters.empty()) disk.Letters += " ";
            disk.Letters += s.Letter;
            return;
        }
        return;
    }
}

std::string RootPath(const std::string& root) { return root.back() == '\\' ? root : root + "\\"; }

}  // namespace

int32_t ScanDisks() {
    DiskList.clear();
    DiskCount = 0;
    LogicalDriveCount = 0;
    const std::map<uint32_t, std::string> devicePaths = plat::DiskInterfacePaths();
    for (int number = 0; number <= MaxDiskNumber; ++number) ProbeDisk(number, devicePaths);

    std::string strings;
    if (!plat::LogicalDriveStrings(strings)) return 0;
    LogicalDriveCount = int32_t(strings.size() / 4);
    for (int k = 0; k < LogicalDriveCount; ++k) AttachVolume(strings.substr(size_t(k) * 4, 3));
    return DiskCount;
}

std::string GetVolumeLabel(const std::string& root) {
    std::string label;
    if (root.empty() || !plat::VolumeInformation(RootPath(root), &label, nullptr)) return "";
    return label;
}

std::string GetFileSystemName(const std::string& root) {
    std::string name;
    if (root.empty() || !plat::VolumeInformation(RootPath(root), nullptr, &name)) return "";
    return name;
}

bool IdentifyDisk(int number, DiskRecord& disk) {
    plat::DeviceHandle handle = OpenDisk(number, "", false, false);
    if (handle == plat::NoDevice) return false;
    disk = DiskRecord{};
    disk.DiskNumber = number;
    disk.DiskLength = QueryDiskLength(handle);
    ReadDescriptor(handle, disk);
    plat::CloseDevice(handle);
    auto paths = plat::DiskInterfacePaths();
    if (auto path = paths.find(uint32_t(number)); path != paths.end()) disk.DevicePath = path->second;
    return disk.DiskLength != 0;
}

int64_t QueryDiskLength(plat::DeviceHandle handle) {
    int64_t length = 0;
    if (!plat::DeviceControl(handle, IoctlDiskGetLengthInfo, nullptr, 0, &length, LengthInfoSize)) return 0;
    return length;
}

}  // namespace vu
