// Eject; see eject.h.
#include "disk/eject.h"

#include <cstring>

#include "disk/drive_list.h"
#include "disk/inventory.h"
#include "platform/clock.h"
#include "platform/device_layouts.h"
#include "platform/disk_device.h"
#include "platform/gui.h"
#include "platform/volumes.h"

namespace vu {

namespace {

constexpr uint32_t DriveRemovable = 2, DriveFixed = 3, DriveCdRom = 5;
constexpr int EjectAttempts = 5;

// IOCTL_STORAGE_GET_DEVICE_NUMBER of a volume; -1 when it cannot be had.
int64_t DeviceNumberOf(const std::string& volume) {
    plat::DeviceHandle handle = plat::OpenDevice("\\\\.\\" + volume, false);
    if (handle == plat::NoDevice) return -1;
    unsigned char number[DeviceNumberSize] = {};
    int64_t result = -1;
    if (plat::DeviceControl(handle, IoctlStorageGetDeviceNumber, nullptr, 0, number, sizeof number)) {
        uint32_t deviceNumber;
        std::memcpy(&deviceNumber, number + 4, 4);  // DeviceType, DeviceNumber, PartitionNumber
        result = deviceNumber;
    }
    plat::CloseDevice(handle);
    return result;
}

// Why Windows refused, by PNP_VETO_TYPE.
std::string VetoReason(const plat::EjectVeto& veto) {
    switch (veto.type) {
        case 1: return "a legacy device refuses to stop.";
        case 2: return "the device is still being closed.";
        case 3: return "a program refuses to let it go:";
        case 4: return "a service refuses to let it go:";
        case 5: return "files or folders on it are still open.";
        case 6: return "another device refuses to stop:";
        case 7: return "its driver refuses to stop:";
        case 8: return "the device does not support the request.";
        case 9: return "there is not enough power to change it.";
        case 10: return "the device cannot be stopped.";
        case 11: return "a legacy driver refuses to stop:";
        case 12: return "the program lacks the rights to do it.";
        case 13: return "it has been removed already.";
        default: return "Windows refused the request.";
    }
}

bool EjectWith(plat::SetupApi* api) {
    if (!GetSelectedDrive() || SelectedDisk.Letters.empty()) return false;
    char letter = SelectedDisk.Letters[0];
    if (letter < 'A' || letter > 'Z') return false;
    std::string volume = std::string(1, letter) + ":";
    std::string root = volume + "\\";

    int64_t deviceNumber = DeviceNumberOf(volume);
    if (deviceNumber < 0) return false;

    uint32_t driveType = plat::DriveTypeOf(root);
    // The parent of any other disk is its storage controller: ejecting that would stop every disk
    // on it, the system disk often among them.
    if (SelectedDisk.BusTypeName != "USB" && driveType != DriveRemovable) {
        plat::MessageBox("Warning",
                         "Only USB and removable drives can be ejected.\r\n" + volume +
                             " is on a fixed disk: ejecting it would stop its disk controller.",
                         plat::MbIconWarning);
        return false;
    }
    auto dosName = plat::QueryDosDeviceName(volume);
    if (!dosName) return false;
    bool isFloppy = dosName->find("\\Floppy") != std::string::npos;

    plat::DeviceInterfaceClass interfaceClass;
    switch (driveType) {
        case DriveRemovable:
            interfaceClass = isFloppy ? plat::DeviceInterfaceClass::Floppy : plat::DeviceInterfaceClass::Disk;
            break;
        case DriveFixed: interfaceClass = plat::DeviceInterfaceClass::Disk; break;
        case DriveCdRom: interfaceClass = plat::DeviceInterfaceClass::CdRom; break;
        default: return false;
    }

    auto instance = plat::FindDeviceInstance(api, interfaceClass, uint32_t(deviceNumber));
    if (!instance) return false;
    // The parent is the removable device itself: the USB device of a USB disk.
    auto parent = plat::ParentDevice(api, *instance);
    if (!parent) return false;
    // Asked with a buffer for the reason: without one, Windows shows a box of its own at every
    // refused attempt.
    plat::EjectVeto veto;
    for (int attempt = 1; attempt <= EjectAttempts; ++attempt) {
        if (plat::RequestDeviceEject(api, *parent, &veto) == 0) return true;
        if (attempt < EjectAttempts) plat::Sleep(500);
    }
    std::string text = "The drive " + volume + " can't be ejected now:\r\n" + VetoReason(veto);
    if (!veto.name.empty()) text += "\r\n" + veto.name;
    plat::MessageBox("Warning", text, plat::MbIconWarning);
    return false;
}

}  // namespace

bool EjectDrive() {
    plat::SetupApi* api = plat::LoadSetupApi();
    if (!api) return false;
    bool result = EjectWith(api);
    plat::UnloadSetupApi(api);
    return result;
}

}  // namespace vu
