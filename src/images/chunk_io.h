// The chunk steps of partition transfers on devices and image files: one chunk read or written at
// an absolute device offset, or at the image file's current position, with the platform's error
// code when the call failed. A call that moves fewer bytes than asked counts as failed, with
// ERROR_HANDLE_EOF: what was not moved is not there. Any thread; a handle on one thread at a time.
#pragma once
#include <cstdint>

#include "images/chunk_pipeline.h"
#include "platform/disk_device.h"
#include "platform/files.h"

namespace vu {

constexpr uint32_t ErrorHandleEof = 38;

ChunkIo ReadDeviceChunk(plat::DeviceHandle device, int64_t offset, uint8_t* buffer, int64_t length);
ChunkIo WriteDeviceChunk(plat::DeviceHandle device, int64_t offset, const uint8_t* buffer, int64_t length);
ChunkIo ReadFileChunk(plat::FileHandle file, uint8_t* buffer, int64_t length);
ChunkIo WriteFileChunk(plat::FileHandle file, const uint8_t* buffer, int64_t length);

}  // namespace vu
