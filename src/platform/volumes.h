// The seam's volume manager: mount points, DOS device names, the logical-drive mask, the list of
// volumes, the hosts of virtual disks, and the device-installation calls that eject a removable
// device. Remount, letter assignment and the volume list run on the disk workers, the eject on
// the main thread.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/disk_device.h"

namespace vu::plat {

// GetVolumeNameForVolumeMountPointW with a 100-character buffer.
std::optional<std::string> VolumeNameForMountPoint(const std::string& mountPoint);
bool DeleteMountPoint(const std::string& mountPoint);                               // DeleteVolumeMountPointW
bool SetMountPoint(const std::string& mountPoint, const std::string& volumeName);  // SetVolumeMountPointW
// DefineDosDeviceW with DDD_RAW_TARGET_PATH, and its removal with DDD_REMOVE_DEFINITION |
// DDD_EXACT_MATCH_ON_REMOVE.
bool DefineRawDosDevice(const std::string& letter, const std::string& devicePath);
bool RemoveRawDosDevice(const std::string& letter, const std::string& devicePath);
uint32_t LogicalDrivesMask();                                         // GetLogicalDrives
std::optional<std::string> QueryDosDeviceName(const std::string& volume);  // QueryDosDeviceW, 260 characters
// FindFirstVolumeW / FindNextVolumeW: the name of every volume, "\\?\Volume{GUID}\"; nullopt when
// the list cannot be read. A volume opens as a device by its name without the last backslash.
std::optional<std::vector<std::string>> VolumeNames();
// The volumes that hold the file of the virtual disk (a VHD) behind `disk`, a physical-drive handle
// (GetStorageDependencyInformation of "virtdisk.dll", asked for the host volumes of a disk), by
// their names; nullopt when that cannot be learnt.
std::optional<std::vector<std::string>> StorageHostVolumes(DeviceHandle disk);

// The device-installation functions, looked up in "setupapi.dll" at run time.
enum class DeviceInterfaceClass { Disk, CdRom, Floppy };
struct SetupApi;
SetupApi* LoadSetupApi();  // null when the library or a function cannot be had
void UnloadSetupApi(SetupApi* api);
// The device instance whose interface of `interfaceClass` has IOCTL_STORAGE_GET_DEVICE_NUMBER
// equal to deviceNumber.
std::optional<uint32_t> FindDeviceInstance(SetupApi* api, DeviceInterfaceClass interfaceClass, uint32_t deviceNumber);
std::optional<uint32_t> ParentDevice(SetupApi* api, uint32_t instance);  // CM_Get_Parent
// Why an eject was refused: the PNP_VETO_TYPE and the name of what refused (a program, a service,
// a device instance), as CM_Request_Device_EjectW reports them.
struct EjectVeto {
    uint32_t type = 0;
    std::string name;
};
// CM_Request_Device_EjectW; 0 = accepted. Given `veto`, the system reports a refusal there
// instead of showing a box of its own.
uint32_t RequestDeviceEject(SetupApi* api, uint32_t instance, EjectVeto* veto = nullptr);

}  // namespace vu::plat
