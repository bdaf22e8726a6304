// The seam's calls that partition transfers (backup, restore) need beyond the file and device
// APIs: the image file opened with the sharing and caching hints of a long sequential transfer,
// its end set and its buffers flushed, a device's buffers flushed, and the error code of the last
// failed call. The handles are those of files.h and disk_device.h. Callable from any thread; the
// error code belongs to the calling thread.
#pragma once
#include <cstdint>
#include <string>

#include "platform/disk_device.h"
#include "platform/files.h"

namespace vu::plat {

// CreateFileW(path, GENERIC_READ | GENERIC_WRITE, no sharing, CREATE_ALWAYS,
// FILE_FLAG_SEQUENTIAL_SCAN): the target of a backup. 0 when it cannot be created.
FileHandle CreateImageFile(const std::string& path);
// CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
// FILE_FLAG_SEQUENTIAL_SCAN): the source of a restore. 0 when it cannot be opened.
FileHandle OpenImageFile(const std::string& path);

// SetEndOfFile at the file's current position.
bool SetFileEnd(FileHandle file);
// FlushFileBuffers on a file or on a device.
bool FlushFile(FileHandle file);
bool FlushDevice(DeviceHandle device);

// GetLastError: the code of the calling thread's last failed call.
uint32_t LastErrorCode();

}  // namespace vu::plat
