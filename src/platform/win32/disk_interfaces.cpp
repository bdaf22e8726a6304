// The device interface paths of the present disks, through SetupAPI: the path names the device
// itself, where "\\.\PHYSICALDRIVE<n>" passes to the next disk that arrives once this one is gone.
// Any thread.
#include <windows.h>
#include <setupapi.h>
#include <winioctl.h>

#include "platform/disk_device.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace {

// GUID_DEVINTERFACE_DISK
const GUID DiskInterfaceGuid = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// The interface's device number; -1 when the device cannot be opened or does not answer.
int64_t DeviceNumberOfPath(const wchar_t* path) {
    // No access rights: the query works on a disk another program holds open or locked.
    HANDLE device = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return -1;
    STORAGE_DEVICE_NUMBER number = {};
    DWORD returned = 0;
    bool ok = DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &returned,
                              nullptr);
    CloseHandle(device);
    return ok ? int64_t(number.DeviceNumber) : -1;
}

}  // namespace

std::map<uint32_t, std::string> DiskInterfacePaths() {
    std::map<uint32_t, std::string> paths;
    HDEVINFO set = SetupDiGetClassDevsW(&DiskInterfaceGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return paths;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData = {};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &DiskInterfaceGuid, index, &interfaceData)) break;
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::string storage(size, '\0');
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, size, nullptr, nullptr)) continue;
        int64_t number = DeviceNumberOfPath(detail->DevicePath);
        if (number >= 0) paths[uint32_t(number)] = Narrow(detail->DevicePath, wcslen(detail->DevicePath));
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

}  // namespace vu::plat
