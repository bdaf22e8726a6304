// Windows' device control codes that the disk code sends, and the byte layouts of the structures
// they exchange, as the program keeps them. Plain data; any thread.
#pragma once
#include <cstdint>

namespace vu {

// Control codes.
constexpr uint32_t IoctlStorageQueryProperty = 0x2D1400;
constexpr uint32_t IoctlStorageGetDeviceNumber = 0x2D1080;
constexpr uint32_t IoctlDiskGetDriveGeometryEx = 0x700A0;
constexpr uint32_t IoctlDiskGetDriveLayout = 0x7400C;     // MBR only: fails on GPT disks
constexpr uint32_t IoctlDiskGetDriveLayoutEx = 0x70050;   // MBR and GPT
constexpr uint32_t IoctlDiskGetLengthInfo = 0x7405C;
constexpr uint32_t FsctlLockVolume = 0x90018;
constexpr uint32_t FsctlUnlockVolume = 0x9001C;
constexpr uint32_t FsctlDismountVolume = 0x90020;
constexpr uint32_t IoctlDiskUpdateProperties = 0x70140;  // rereads the partition table
constexpr uint32_t IoctlVolumeGetVolumeDiskExtents = 0x560000;

// Errors of failed requests, as GetLastError reports them.
constexpr uint32_t ErrorAccessDenied = 5;
constexpr uint32_t ErrorInvalidFunction = 1;
constexpr uint32_t ErrorInsufficientBuffer = 122;
constexpr uint32_t ErrorMoreData = 234;

// Buffer sizes of the inventory's queries.
constexpr uint32_t StoragePropertyQuerySize = 12;
constexpr uint32_t StorageDescriptorBufferSize = 1059;
constexpr uint32_t DeviceNumberSize = 12;
constexpr uint32_t LengthInfoSize = 8;
constexpr int LayoutEntryCapacity = 50;
constexpr uint32_t DriveLayoutBufferSize = 8 + LayoutEntryCapacity * 32;  // 1608

// STORAGE_DEVICE_DESCRIPTOR: byte offsets of the fields that the inventory reads.
constexpr uint32_t DescriptorVendorIdOffsetAt = 12;
constexpr uint32_t DescriptorProductIdOffsetAt = 16;
constexpr uint32_t DescriptorSerialNumberOffsetAt = 24;
constexpr uint32_t DescriptorBusTypeAt = 28;

// STORAGE_DEVICE_NUMBER.
struct DeviceNumber {
    uint32_t DeviceType = 0;
    uint32_t DeviceNumber = 0;
    uint32_t PartitionNumber = 0;
};
static_assert(sizeof(DeviceNumber) == DeviceNumberSize);
constexpr uint32_t FileDeviceDisk = 7;

// PARTITION_INFORMATION, 32 bytes with its alignment padding.
struct PartitionInformation {
    int64_t StartingOffset = 0;   // bytes
    int64_t PartitionLength = 0;  // bytes
    uint32_t HiddenSectors = 0;
    uint32_t PartitionNumber = 0;
    uint8_t PartitionType = 0;
    uint8_t BootIndicator = 0;
    uint8_t RecognizedPartition = 0;
    uint8_t RewritePartition = 0;
    uint8_t Padding[4] = {};
};
static_assert(sizeof(PartitionInformation) == 32);

// DISK_GEOMETRY_EX as far as the 40 bytes that are asked for.
struct DiskGeometryEx {
    int64_t Cylinders = 0;
    uint32_t MediaType = 0;
    uint32_t TracksPerCylinder = 0;
    uint32_t SectorsPerTrack = 0;
    uint32_t BytesPerSector = 0;
    int64_t DiskSize = 0;  // bytes
    uint8_t Data[8] = {};  // the start of the partition and detection information
};
static_assert(sizeof(DiskGeometryEx) == 40);

// DRIVE_LAYOUT_INFORMATION_EX: a 48-byte head (PartitionStyle, PartitionCount, then the MBR
// signature or the GPT disk fields in a 40-byte union), followed by PartitionCount entries of
// PARTITION_INFORMATION_EX (144 bytes each: style, StartingOffset, PartitionLength,
// PartitionNumber, RewritePartition, then the MBR or GPT fields in a 112-byte union).
enum PartitionStyle : uint32_t { PartitionStyleMbr = 0, PartitionStyleGpt = 1, PartitionStyleRaw = 2 };
constexpr uint32_t LayoutExHeadSize = 48;
constexpr uint32_t LayoutExMbrSignatureAt = 8;
constexpr uint32_t LayoutExGptDiskIdAt = 8;
constexpr uint32_t PartitionExSize = 144;
constexpr uint32_t PartitionExStartingOffsetAt = 8;
constexpr uint32_t PartitionExLengthAt = 16;
constexpr uint32_t PartitionExNumberAt = 24;
constexpr uint32_t PartitionExRewriteAt = 28;
constexpr uint32_t PartitionExUnionAt = 32;
// The MBR fields of the union: type, boot indicator, recognized, 1 byte of padding, hidden sectors.
constexpr uint32_t PartitionExMbrTypeAt = PartitionExUnionAt;
constexpr uint32_t PartitionExMbrBootAt = PartitionExUnionAt + 1;
constexpr uint32_t PartitionExMbrRecognizedAt = PartitionExUnionAt + 2;
constexpr uint32_t PartitionExMbrHiddenSectorsAt = PartitionExUnionAt + 4;
// The GPT fields: type GUID, partition GUID, attributes, a name of 36 UTF-16 characters.
constexpr uint32_t PartitionExGptTypeAt = PartitionExUnionAt;
constexpr uint32_t PartitionExGptIdAt = PartitionExUnionAt + 16;
constexpr uint32_t PartitionExGptAttributesAt = PartitionExUnionAt + 32;
constexpr uint32_t PartitionExGptNameAt = PartitionExUnionAt + 40;
constexpr uint32_t PartitionExGptNameChars = 36;

// VOLUME_DISK_EXTENTS: NumberOfDiskExtents and 4 bytes of padding, then DISK_EXTENT entries of
// 24 bytes (DiskNumber, 4 bytes of padding, StartingOffset, ExtentLength).
constexpr uint32_t DiskExtentsHeadSize = 8;
constexpr uint32_t DiskExtentSize = 24;

}  // namespace vu
