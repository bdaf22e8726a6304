// The volume manager on Windows: mount points, DOS devices, and SetupAPI for the eject.
#include <windows.h>
#include <initguid.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <winioctl.h>
#include <virtdisk.h>

#include <cstddef>

#include "platform/volumes.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace {
constexpr DWORD VolumeNameChars = 100;
constexpr DWORD DevicePathChars = 260;
}  // namespace

std::optional<std::string> VolumeNameForMountPoint(const std::string& mountPoint) {
    wchar_t name[VolumeNameChars] = {};
    if (!GetVolumeNameForVolumeMountPointW(Widen(mountPoint).c_str(), name, VolumeNameChars)) return std::nullopt;
    return Narrow(name, wcsnlen(name, VolumeNameChars));
}

bool DeleteMountPoint(const std::string& mountPoint) {
    return DeleteVolumeMountPointW(Widen(mountPoint).c_str()) != 0;
}

bool SetMountPoint(const std::string& mountPoint, const std::string& volumeName) {
    return SetVolumeMountPointW(Widen(mountPoint).c_str(), Widen(volumeName).c_str()) != 0;
}

bool DefineRawDosDevice(const std::string& letter, const std::string& devicePath) {
    return DefineDosDeviceW(DDD_RAW_TARGET_PATH, Widen(letter).c_str(), Widen(devicePath).c_str()) != 0;
}

bool RemoveRawDosDevice(const std::string& letter, const std::string& devicePath) {
    return DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                            Widen(letter).c_str(), Widen(devicePath).c_str()) != 0;
}

uint32_t LogicalDrivesMask() { return GetLogicalDrives(); }

std::optional<std::string> QueryDosDeviceName(const std::string& volume) {
    wchar_t target[DevicePathChars] = {};
    DWORD length = QueryDosDeviceW(Widen(volume).c_str(), target, DevicePathChars);
    if (length == 0) return std::nullopt;
    return Narrow(target, wcsnlen(target, DevicePathChars));
}

std::optional<std::vector<std::string>> VolumeNames() {
    wchar_t name[MAX_PATH] = {};
    HANDLE search = FindFirstVolumeW(name, MAX_PATH);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<std::string> names;
    bool complete = false;
    for (;;) {
        names.push_back(Narrow(name, wcsnlen(name, MAX_PATH)));
        if (FindNextVolumeW(search, name, MAX_PATH)) continue;
        complete = GetLastError() == ERROR_NO_MORE_FILES;
        break;
    }
    FindVolumeClose(search);
    if (!complete) return std::nullopt;
    return names;
}

// ---- Virtual disks -------------------------------------------------------------------------

namespace {

// The buffer holds the entries and, after them, the strings they point to.
static_assert(sizeof(void*) == 4 ? sizeof(STORAGE_DEPENDENCY_INFO_TYPE_2) == 48
                                 : sizeof(STORAGE_DEPENDENCY_INFO_TYPE_2) == 64);
static_assert(offsetof(STORAGE_DEPENDENCY_INFO, Version2Entries) == 8);

using GetStorageDependencyInformationFunction = DWORD(WINAPI*)(HANDLE, GET_STORAGE_DEPENDENCY_FLAG, ULONG,
                                                               PSTORAGE_DEPENDENCY_INFO, PULONG);

}  // namespace

std::optional<std::vector<std::string>> StorageHostVolumes(DeviceHandle disk) {
    // The library comes with Windows 7, the first Windows that boots from a VHD.
    HMODULE library = LoadLibraryW(L"virtdisk.dll");
    if (!library) return std::nullopt;
    auto query = reinterpret_cast<GetStorageDependencyInformationFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetStorageDependencyInformation")));
    std::optional<std::vector<std::string>> hosts;
    auto flags = GET_STORAGE_DEPENDENCY_FLAG(GET_STORAGE_DEPENDENCY_FLAG_HOST_VOLUMES |
                                             GET_STORAGE_DEPENDENCY_FLAG_DISK_HANDLE);
    std::vector<uint64_t> buffer(64);  // 8-byte units keep the pointers in it aligned
    for (int attempt = 0; query && attempt < 4; ++attempt) {
        auto* info = reinterpret_cast<STORAGE_DEPENDENCY_INFO*>(buffer.data());
        info->Version = STORAGE_DEPENDENCY_INFO_VERSION_2;
        ULONG size = ULONG(buffer.size() * sizeof(uint64_t)), used = 0;
        DWORD result = query(reinterpret_cast<HANDLE>(disk), flags, size, info, &used);
        if (result == ERROR_INSUFFICIENT_BUFFER && used > size) {
            buffer.assign((used + 7) / 8, 0);
            continue;
        }
        if (result != ERROR_SUCCESS) break;
        hosts.emplace();
        for (ULONG i = 0; i < info->NumberEntries; ++i) {
            const wchar_t* host = info->Version2Entries[i].HostVolumeName;
            if (host && *host) hosts->push_back(Narrow(host, wcslen(host)));
        }
        break;
    }
    FreeLibrary(library);
    return hosts;
}

// ---- SetupAPI ------------------------------------------------------------------------------

struct SetupApi {
    HMODULE library = nullptr;
    CONFIGRET(WINAPI* getParent)(DEVINST*, DEVINST, ULONG) = nullptr;
    CONFIGRET(WINAPI* requestEject)(DEVINST, PPNP_VETO_TYPE, LPWSTR, ULONG, ULONG) = nullptr;
    BOOL(WINAPI* enumInterfaces)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD, PSP_DEVICE_INTERFACE_DATA) = nullptr;
    BOOL(WINAPI* interfaceDetail)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA, PSP_DEVICE_INTERFACE_DETAIL_DATA_W, DWORD,
                                  PDWORD, PSP_DEVINFO_DATA) = nullptr;
};

namespace {

template <typename F>
bool Find(HMODULE library, const char* name, F& function) {
    function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return function != nullptr;
}

const GUID& ClassGuid(DeviceInterfaceClass interfaceClass) {
    static const GUID disk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
    static const GUID cdrom = {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
    static const GUID floppy = {0x53F56311, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
    switch (interfaceClass) {
        case DeviceInterfaceClass::CdRom: return cdrom;
        case DeviceInterfaceClass::Floppy: return floppy;
        case DeviceInterfaceClass::Disk: break;
    }
    return disk;
}

// Struct sizes the 32-bit SetupAPI checks (the program is a 32-bit one; the 64-bit build uses its own).
constexpr DWORD InterfaceDataSize = sizeof(SP_DEVICE_INTERFACE_DATA);
constexpr DWORD DevInfoDataSize = sizeof(SP_DEVINFO_DATA);
constexpr DWORD MaxDetailBytes = 2052;

}  // namespace

SetupApi* LoadSetupApi() {
    HMODULE library = LoadLibraryW(L"setupapi.dll");
    if (!library) return nullptr;
    auto* api = new SetupApi;
    api->library = library;
    if (!Find(library, "CM_Get_Parent", api->getParent) || !Find(library, "CM_Request_Device_EjectW", api->requestEject) ||
        !Find(library, "SetupDiEnumDeviceInterfaces", api->enumInterfaces) ||
        !Find(library, "SetupDiGetDeviceInterfaceDetailW", api->interfaceDetail)) {
        UnloadSetupApi(api);
        return nullptr;
    }
    return api;
}

void UnloadSetupApi(SetupApi* api) {
    if (!api) return;
    FreeLibrary(api->library);
    delete api;
}

std::optional<uint32_t> FindDeviceInstance(SetupApi* api, DeviceInterfaceClass interfaceClass, uint32_t deviceNumber) {
    const GUID& guid = ClassGuid(interfaceClass);
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<uint32_t> found;
    for (DWORD index = 0; !found; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData = {};
        interfaceData.cbSize = InterfaceDataSize;
        if (!api->enumInterfaces(set, nullptr, &guid, index, &interfaceData)) break;
        DWORD size = 0;
        api->interfaceDetail(set, &interfaceData, nullptr, 0, &size, nullptr);
        if (size == 0 || size > MaxDetailBytes) continue;
        std::string storage(size, '\0');
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA devInfo = {};
        devInfo.cbSize = DevInfoDataSize;
        if (!api->interfaceDetail(set, &interfaceData, detail, size, &size, &devInfo)) continue;
        HANDLE device = CreateFileW(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
        if (device == INVALID_HANDLE_VALUE) continue;
        STORAGE_DEVICE_NUMBER number = {};
        DWORD returned = 0;
        if (DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &returned,
                            nullptr) &&
            number.DeviceNumber == deviceNumber)
            found = devInfo.DevInst;
        CloseHandle(device);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

std::optional<uint32_t> ParentDevice(SetupApi* api, uint32_t instance) {
    DEVINST parent = 0;
    if (api->getParent(&parent, instance, 0) != CR_SUCCESS) return std::nullopt;
    return parent;
}

uint32_t RequestDeviceEject(SetupApi* api, uint32_t instance, EjectVeto* veto) {
    if (!veto) return api->requestEject(instance, nullptr, nullptr, 0, 0);
    PNP_VETO_TYPE type = PNP_VetoTypeUnknown;
    wchar_t name[MAX_PATH] = {};
    CONFIGRET result = api->requestEject(instance, &type, name, MAX_PATH, 0);
    veto->type = uint32_t(type);
    veto->name = Narrow(name, wcsnlen(name, MAX_PATH));
    return result;
}

}  // namespace vu::plat
