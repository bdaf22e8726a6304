// The Windows side of the seam's raw devices: CreateFileW, DeviceIoControl, sector reads and
// writes, and the drive-letter queries. Any thread.
#include "platform/disk_device.h"

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <vector>

#include "platform/device_layouts.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace {

HANDLE Native(DeviceHandle device) { return reinterpret_cast<HANDLE>(device); }

// The portable code reads and writes these structures by byte offset: they must be the system's.
static_assert(IOCTL_DISK_GET_DRIVE_LAYOUT_EX == IoctlDiskGetDriveLayoutEx);
static_assert(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == IoctlVolumeGetVolumeDiskExtents);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry) == LayoutExHeadSize);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, Mbr.Signature) == LayoutExMbrSignatureAt);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, Gpt.DiskId) == LayoutExGptDiskIdAt);
static_assert(sizeof(PARTITION_INFORMATION_EX) == PartitionExSize);
static_assert(offsetof(PARTITION_INFORMATION_EX, StartingOffset) == PartitionExStartingOffsetAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionLength) == PartitionExLengthAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionNumber) == PartitionExNumberAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, RewritePartition) == PartitionExRewriteAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, Mbr.PartitionType) == PartitionExMbrTypeAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, Mbr.BootIndicator) == PartitionExMbrBootAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, Mbr.RecognizedPartition) == PartitionExMbrRecognizedAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, Mbr.HiddenSectors) == PartitionExMbrHiddenSectorsAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, Gpt.PartitionType) == PartitionExGptTypeAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, Gpt.PartitionId) == PartitionExGptIdAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, Gpt.Attributes) == PartitionExGptAttributesAt);
static_assert(offsetof(PARTITION_INFORMATION_EX, Gpt.Name) == PartitionExGptNameAt);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == DiskExtentsHeadSize);
static_assert(sizeof(DISK_EXTENT) == DiskExtentSize);
static_assert(offsetof(DISK_EXTENT, StartingOffset) == DiskExtentOffsetAt);
static_assert(offsetof(DISK_EXTENT, ExtentLength) == DiskExtentLengthAt);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == DescriptorBusTypeAt);
static_assert(BusTypeFileBackedVirtual == StorageBusFileBacked);
static_assert(PARTITION_LDM == PartitionTypeLdm);
static_assert(RemovableMedia == int(MediaTypeRemovable));

}  // namespace

DeviceHandle OpenDevice(const std::string& path, bool forWrite) {
    DWORD access = forWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    HANDLE handle = CreateFileW(Widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    return handle == INVALID_HANDLE_VALUE ? NoDevice : reinterpret_cast<DeviceHandle>(handle);
}

void CloseDevice(DeviceHandle device) {
    if (device != NoDevice) CloseHandle(Native(device));
}

bool DeviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize) {
    DWORD returned = 0;
    return DeviceIoControl(Native(device), code, const_cast<void*>(in), inSize, out, outSize, &returned, nullptr) != 0;
}

uint32_t LastDeviceError() { return GetLastError(); }

bool SeekDevice(DeviceHandle device, int64_t offset) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    return SetFilePointerEx(Native(device), distance, nullptr, FILE_BEGIN) != 0;
}

int64_t ReadDevice(DeviceHandle device, void* buffer, uint32_t length) {
    DWORD moved = 0;
    if (!ReadFile(Native(device), buffer, length, &moved, nullptr)) return -1;
    return moved;
}

int64_t WriteDevice(DeviceHandle device, const void* buffer, uint32_t length) {
    DWORD moved = 0;
    if (!WriteFile(Native(device), buffer, length, &moved, nullptr)) return -1;
    return moved;
}

uint32_t DriveTypeOf(const std::string& path) { return GetDriveTypeW(Widen(path).c_str()); }

bool LogicalDriveStrings(std::string& strings) {
    strings.clear();
    DWORD needed = GetLogicalDriveStringsW(0, nullptr);
    std::vector<wchar_t> buffer(size_t(needed) + 1, L'\0');
    DWORD length = GetLogicalDriveStringsW(DWORD(buffer.size()), buffer.data());
    // A list that grew between the two calls reports its new size instead of its text.
    if (length == 0 || length >= buffer.size()) return false;
    strings = Narrow(buffer.data(), length);
    return true;
}

bool VolumeInformation(const std::string& root, std::string* label, std::string* fileSystem) {
    constexpr DWORD kChars = 261;
    wchar_t labelBuffer[kChars] = {}, nameBuffer[kChars] = {};
    if (!GetVolumeInformationW(Widen(root).c_str(), label ? labelBuffer : nullptr, label ? kChars : 0, nullptr,
                               nullptr, nullptr, fileSystem ? nameBuffer : nullptr, fileSystem ? kChars : 0))
        return false;
    labelBuffer[kChars - 1] = nameBuffer[kChars - 1] = L'\0';
    if (label) *label = Narrow(labelBuffer, wcslen(labelBuffer));
    if (fileSystem) *fileSystem = Narrow(nameBuffer, wcslen(nameBuffer));
    return true;
}

std::string FromSystemCodePage(const std::string& bytes) {
    if (bytes.empty()) return "";
    int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    if (length <= 0) return "";
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), wide.data(), length);
    return Narrow(wide);
}

}  // namespace vu::plat
