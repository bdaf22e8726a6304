// The Windows side of the transfer calls: image files with the sequential-scan hint, end of file,
// flushing and the thread's last error. Any thread.
#include "platform/transfer_io.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace vu::plat {

namespace {

HANDLE Native(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

FileHandle Open(const std::string& path, DWORD access, DWORD sharing, DWORD disposition) {
    HANDLE file = CreateFileW(Widen(path).c_str(), access, sharing, nullptr, disposition, FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr);
    return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<FileHandle>(file);
}

}  // namespace

FileHandle CreateImageFile(const std::string& path) {
    return Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
}

FileHandle OpenImageFile(const std::string& path) {
    return Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
}

bool SetFileEnd(FileHandle file) { return ::SetEndOfFile(Native(file)) != 0; }

bool FlushFile(FileHandle file) { return FlushFileBuffers(Native(file)) != 0; }

bool FlushDevice(DeviceHandle device) { return FlushFileBuffers(Native(device)) != 0; }

uint32_t LastErrorCode() { return GetLastError(); }

}  // namespace vu::plat
