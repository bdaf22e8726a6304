// The seam's raw devices: physical drives ("\\.\PHYSICALDRIVE0") and volumes ("\\.\E:") opened
// for sector access and device control requests, and the system's view of drive letters.
// Control codes and the layouts of their buffers are Windows' own; the portable code builds and
// parses the buffers. Callable from any thread; a handle is used by one thread at a time.
#pragma once
#include <cstdint>
#include <map>
#include <string>

namespace vu::plat {

// The platform's file handle of a device; NoDevice (-1) when not opened.
using DeviceHandle = intptr_t;
constexpr DeviceHandle NoDevice = -1;

// CreateFileW(path, GENERIC_READ [| GENERIC_WRITE], FILE_SHARE_READ | FILE_SHARE_WRITE, no
// security attributes, OPEN_EXISTING, no flags, no template).
DeviceHandle OpenDevice(const std::string& path, bool forWrite);
void CloseDevice(DeviceHandle device);

// DeviceIoControl with `code`; `out` receives at most outSize bytes. True when the request succeeded.
bool DeviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize);

// The error code (GetLastError) of this thread's last failed device call: a request whose buffer
// is too small tells so (122, 234), a write refused by the system gives 5.
uint32_t LastDeviceError();

// SetFilePointerEx from the start of the device.
bool SeekDevice(DeviceHandle device, int64_t offset);
// ReadFile / WriteFile of `length` bytes at the current position: the count of bytes moved,
// or -1 when the call failed.
int64_t ReadDevice(DeviceHandle device, void* buffer, uint32_t length);
int64_t WriteDevice(DeviceHandle device, const void* buffer, uint32_t length);

// The device interface path of every present disk (SetupAPI, GUID_DEVINTERFACE_DISK) by its
// IOCTL_STORAGE_GET_DEVICE_NUMBER. Unlike the number, which passes to another disk once this one
// is gone, the path names the device itself. A disk whose path cannot be had is left out.
std::map<uint32_t, std::string> DiskInterfacePaths();

// GetDriveTypeW of a path.
uint32_t DriveTypeOf(const std::string& path);

// GetLogicalDriveStringsW: the roots one after the other, each with its terminating zero
// ("C:\", 0, "E:\", 0), without the final zero of the list. False when the fetch returned 0.
bool LogicalDriveStrings(std::string& strings);

// GetVolumeInformationW on a root such as "E:\", asking only for what is not null (buffers of
// 261 characters). False when the call failed.
bool VolumeInformation(const std::string& root, std::string* label, std::string* fileSystem);

// Single-byte text in the system code page (as device descriptors carry it) to UTF-8.
std::string FromSystemCodePage(const std::string& bytes);

}  // namespace vu::plat
