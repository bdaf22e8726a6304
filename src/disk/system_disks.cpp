// The disks Windows needs; see system_disks.h.
#include "disk/system_disks.h"

#include <cctype>
#include <set>
#include <string>

#include "core/globals.h"
#include "disk/volume_extents.h"
#include "platform/device_layouts.h"
#include "platform/disk_device.h"
#include "platform/registry.h"
#include "platform/volumes.h"

namespace vu {

namespace {

const char* const SetupKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\Setup";
const char* const MemoryKey =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
// A virtual disk on a volume of a virtual disk on ...: deeper than this is a loop, not a PC.
constexpr int MostVirtualDiskLevels = 8;

std::string VolumeDevice(char letter) { return std::string("\\\\.\\") + letter + ":"; }

// The volume's device from its name: "\\?\Volume{...}\" opens without its last backslash.
std::string WithoutLastBackslash(std::string name) {
    if (!name.empty() && name.back() == '\\') name.pop_back();
    return name;
}

std::optional<uint16_t> BusType(plat::DeviceHandle drive) {
    uint8_t query[StoragePropertyQuerySize] = {};  // StorageDeviceProperty, PropertyStandardQuery
    uint8_t descriptor[StorageDescriptorBufferSize] = {};
    if (!plat::DeviceControl(drive, IoctlStorageQueryProperty, query, sizeof query, descriptor, sizeof descriptor))
        return std::nullopt;
    return uint16_t(descriptor[DescriptorBusTypeAt] | descriptor[DescriptorBusTypeAt + 1] << 8);
}

// The letter of a page file's path: "D:\pagefile.sys 0 0" or "\??\D:\pagefile.sys"; 0 for "?:"
// (the system chooses, and names its choice among the page files in use) or no letter at all.
char PageFileLetter(std::string path) {
    if (path.rfind("\\??\\", 0) == 0) path.erase(0, 4);
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) return 0;
    return char(std::toupper(static_cast<unsigned char>(path[0])));
}

class SystemDisks {
public:
    bool AddVolume(const std::string& device, int level, bool mayBeMissing = false) {
        plat::DeviceHandle volume = plat::OpenDevice(device, false);
        if (volume == plat::NoDevice) return mayBeMissing;
        auto numbers = VolumeDiskNumbers(volume);
        plat::CloseDevice(volume);
        if (!numbers) return false;
        for (uint32_t disk : *numbers)
            if (!AddDisk(disk, level)) return false;
        return true;
    }

    // The page files in use must be placed; a page file only configured on a drive that is not
    // there is not in use.
    bool AddPageFiles() {
        if (!plat::RegistryKeyExists(MemoryKey)) return false;
        struct Record {
            const char* value;
            bool inUse;
        };
        for (Record record : {Record{"ExistingPageFiles", true}, Record{"PagingFiles", false}}) {
            auto paths = plat::RegistryReadStrings(MemoryKey, record.value).value_or(std::vector<std::string>{});
            for (const std::string& path : paths)
                if (char letter = PageFileLetter(path); letter && !AddVolume(VolumeDevice(letter), 0, !record.inUse))
                    return false;
        }
        return true;
    }

    std::vector<uint32_t> Numbers() const { return {disks_.begin(), disks_.end()}; }

private:
    // A virtual disk's file lies on volumes of other disks, which Windows needs as much.
    bool AddDisk(uint32_t disk, int level) {
        if (!disks_.insert(disk).second) return true;
        plat::DeviceHandle drive = plat::OpenDevice("\\\\.\\PHYSICALDRIVE" + std::to_string(disk), false);
        if (drive == plat::NoDevice) return false;
        auto bus = BusType(drive);
        std::optional<std::vector<std::string>> hosts;
        if (bus == StorageBusFileBacked) hosts = plat::StorageHostVolumes(drive);
        else if (bus) hosts.emplace();
        plat::CloseDevice(drive);
        if (!hosts || (!hosts->empty() && level >= MostVirtualDiskLevels)) return false;
        for (const std::string& host : *hosts)
            if (!AddVolume(WithoutLastBackslash(host), level + 1)) return false;
        return true;
    }

    std::set<uint32_t> disks_;
};

}  // namespace

std::optional<std::vector<uint32_t>> SystemDiskNumbers() {
    if (SystemDriveLetter.empty()) return std::nullopt;
    SystemDisks system;
    if (!system.AddVolume(VolumeDevice(char(std::toupper(static_cast<unsigned char>(SystemDriveLetter[0])))), 0))
        return std::nullopt;
    // "\Device\HarddiskVolume1": a name in the kernel's namespace, which GLOBALROOT opens.
    auto systemPartition = plat::RegistryReadText(SetupKey, "SystemPartition");
    if (!systemPartition || systemPartition->rfind("\\", 0) != 0 ||
        !system.AddVolume("\\\\?\\GLOBALROOT" + *systemPartition, 0))
        return std::nullopt;
    if (!system.AddPageFiles()) return std::nullopt;
    return system.Numbers();
}

}  // namespace vu
