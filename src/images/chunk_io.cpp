// Chunk reads and writes on devices and image files; see chunk_io.h.
#include "images/chunk_io.h"

#include "platform/transfer_io.h"

namespace vu {

namespace {

ChunkIo Outcome(int64_t moved, int64_t length) {
    if (moved < 0) return {false, 0, plat::LastErrorCode()};
    if (moved != length) return {false, moved, ErrorHandleEof};
    return {true, moved, 0};
}

}  // namespace

// One device call moves the whole chunk: chunks are far below the 4 GiB a call can take.
ChunkIo ReadDeviceChunk(plat::DeviceHandle device, int64_t offset, uint8_t* buffer, int64_t length) {
    if (!plat::SeekDevice(device, offset)) return {false, 0, plat::LastErrorCode()};
    return Outcome(plat::ReadDevice(device, buffer, uint32_t(length)), length);
}

ChunkIo WriteDeviceChunk(plat::DeviceHandle device, int64_t offset, const uint8_t* buffer, int64_t length) {
    if (!plat::SeekDevice(device, offset)) return {false, 0, plat::LastErrorCode()};
    return Outcome(plat::WriteDevice(device, buffer, uint32_t(length)), length);
}

ChunkIo ReadFileChunk(plat::FileHandle file, uint8_t* buffer, int64_t length) {
    return Outcome(plat::ReadFileData(file, buffer, length), length);
}

ChunkIo WriteFileChunk(plat::FileHandle file, const uint8_t* buffer, int64_t length) {
    return Outcome(plat::WriteFileData(file, buffer, length), length);
}

}  // namespace vu
