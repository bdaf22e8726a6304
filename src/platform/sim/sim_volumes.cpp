// The simulated volume manager: letters of the simulated disks as mount points, temporary raw DOS
// devices, and the device tree that the eject walks.
#include <cctype>
#include <cstdio>
#include <map>

#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_state.h"
#include "platform/sim/sim_volume_sync_hooks.h"
#include "platform/sim/sim_volumes.h"
#include "platform/volumes.h"

namespace vu {
namespace {

using sim::detail::Disks;
using sim::detail::DiskLock;
using sim::detail::SimLetter;

struct VolumeState {
    std::map<char, SimLetter> rawDevices;  // temporary DOS devices by letter
    std::map<char, std::string> rawTargets;
    bool failSetupApi = false;
    std::map<int, int> vetoes;
    std::map<int, plat::EjectVeto> vetoReasons;
    std::vector<std::string> ejects;
    int systemVetoBoxes = 0;
};

VolumeState& V() {
    static VolumeState state;
    return state;
}

char LetterOf(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' ? char(std::toupper(static_cast<unsigned char>(path[0]))) : 0;
}

std::string VolumeName(const SimLetter& where) {
    return "\\\\?\\Volume{" + std::to_string(where.disk) + "-" + std::to_string(where.partition) + "}\\";
}

bool PartitionExists(const SimLetter& where) {
    auto it = Disks().disks.find(where.disk);
    return it != Disks().disks.end() && sim::detail::PartitionRange(it->second, where.partition).has_value();
}

std::optional<SimLetter> ParseVolumeName(const std::string& name) {
    SimLetter where;
    if (std::sscanf(name.c_str(), "\\\\?\\Volume{%d-%u}\\", &where.disk, &where.partition) != 2) return std::nullopt;
    return where;
}

std::optional<SimLetter> ParseDevicePath(const std::string& path) {
    std::string lower;
    for (char c : path) lower += char(std::tolower(static_cast<unsigned char>(c)));
    SimLetter where;
    if (std::sscanf(lower.c_str(), "\\device\\harddisk%d\\partition%u", &where.disk, &where.partition) != 2)
        return std::nullopt;
    return where;
}

}  // namespace

namespace plat {

std::optional<std::string> VolumeNameForMountPoint(const std::string& mountPoint) {
    DiskLock lock(Disks().lock);
    char letter = LetterOf(mountPoint);
    auto it = Disks().letters.find(letter);
    if (it != Disks().letters.end()) {
        if (it->second.disk < 0 || !PartitionExists(it->second)) return std::nullopt;
        return VolumeName(it->second);
    }
    auto raw = V().rawDevices.find(letter);
    if (raw != V().rawDevices.end() && PartitionExists(raw->second)) return VolumeName(raw->second);
    return std::nullopt;
}

bool DeleteMountPoint(const std::string& mountPoint) {
    DiskLock lock(Disks().lock);
    return Disks().letters.erase(LetterOf(mountPoint)) != 0;
}

bool SetMountPoint(const std::string& mountPoint, const std::string& volumeName) {
    DiskLock lock(Disks().lock);
    char letter = LetterOf(mountPoint);
    auto where = ParseVolumeName(volumeName);
    if (!letter || !where || Disks().letters.count(letter) || V().rawDevices.count(letter)) return false;
    if (!PartitionExists(*where)) return false;
    Disks().letters[letter] = *where;
    return true;
}

bool DefineRawDosDevice(const std::string& letter, const std::string& devicePath) {
    DiskLock lock(Disks().lock);
    char l = LetterOf(letter);
    auto where = ParseDevicePath(devicePath);
    if (!l || !where || V().rawDevices.count(l)) return false;
    V().rawDevices[l] = *where;
    V().rawTargets[l] = devicePath;
    return true;
}

bool RemoveRawDosDevice(const std::string& letter, const std::string& devicePath) {
    DiskLock lock(Disks().lock);
    char l = LetterOf(letter);
    if (!V().rawTargets.count(l) || V().rawTargets[l] != devicePath) return false;
    V().rawDevices.erase(l);
    V().rawTargets.erase(l);
    return true;
}

uint32_t LogicalDrivesMask() {
    DiskLock lock(Disks().lock);
    uint32_t mask = 0;
    for (auto& [letter, where] : Disks().letters) mask |= 1u << (letter - 'A');
    for (auto& [letter, where] : V().rawDevices) mask |= 1u << (letter - 'A');
    return mask;
}

std::optional<std::string> QueryDosDeviceName(const std::string& volume) {
    DiskLock lock(Disks().lock);
    char letter = LetterOf(volume);
    if (V().rawTargets.count(letter)) return V().rawTargets[letter];
    auto it = Disks().letters.find(letter);
    if (it == Disks().letters.end()) return std::nullopt;
    if (it->second.disk < 0) return "\\Device\\CdRom0";
    return "\\Device\\HarddiskVolume" + std::to_string(it->second.disk * 10 + int(it->second.partition));
}

struct SetupApi {
    int unused = 0;
};

SetupApi* LoadSetupApi() {
    DiskLock lock(Disks().lock);
    return V().failSetupApi ? nullptr : new SetupApi;
}

void UnloadSetupApi(SetupApi* api) { delete api; }

// Device instances: 1000 + disk number for a disk's interface. Its parent is the device that
// ejects: for a USB disk the USB device itself (2000 + disk number); for any other the storage
// controller of its bus (3000 + bus type), whose eject takes every disk on that bus with it.
std::optional<uint32_t> FindDeviceInstance(SetupApi*, DeviceInterfaceClass interfaceClass, uint32_t deviceNumber) {
    DiskLock lock(Disks().lock);
    if (interfaceClass != DeviceInterfaceClass::Disk || !Disks().disks.count(int(deviceNumber))) return std::nullopt;
    return 1000 + deviceNumber;
}

std::optional<uint32_t> ParentDevice(SetupApi*, uint32_t instance) {
    DiskLock lock(Disks().lock);
    auto disk = Disks().disks.find(int(instance) - 1000);
    if (instance < 1000 || instance >= 2000 || disk == Disks().disks.end()) return std::nullopt;
    return disk->second.busType == 7 ? instance + 1000 : 3000 + uint32_t(disk->second.busType);
}

uint32_t RequestDeviceEject(SetupApi*, uint32_t instance, EjectVeto* veto) {
    constexpr uint32_t RemoveVetoed = 0x17;
    DiskLock lock(Disks().lock);
    if (instance >= 3000) {
        int bus = int(instance) - 3000;
        V().ejects.push_back("eject controller of bus " + std::to_string(bus));
        for (const auto& [number, disk] : Disks().disks) {
            if (disk.busType != bus) continue;
            sim::detail::SyncChangedVolumesOfDisk(number);
            // A copy: clang 14 cannot capture a structured binding.
            std::erase_if(Disks().letters, [n = number](const auto& entry) { return entry.second.disk == n; });
        }
        return 0;
    }
    int disk = int(instance) - 2000;
    if (!Disks().disks.count(disk)) return RemoveVetoed;
    if (V().vetoes[disk] > 0) {
        V().vetoes[disk]--;
        // Without a veto buffer Windows shows the refusal in a box of its own.
        if (veto) *veto = V().vetoReasons[disk];
        else V().systemVetoBoxes++;
        return RemoveVetoed;
    }
    V().ejects.push_back("eject disk " + std::to_string(disk));
    sim::detail::SyncChangedVolumesOfDisk(disk);
    std::erase_if(Disks().letters, [&](const auto& entry) { return entry.second.disk == disk; });
    return 0;
}

}  // namespace plat

namespace sim {

void FailSetupApi(bool fail) {
    DiskLock lock(Disks().lock);
    V().failSetupApi = fail;
}

void VetoEjects(int diskNumber, int count, uint32_t vetoType, const std::string& vetoName) {
    DiskLock lock(Disks().lock);
    V().vetoes[diskNumber] = count;
    V().vetoReasons[diskNumber] = {vetoType, vetoName};
}

int SystemVetoBoxes() {
    DiskLock lock(Disks().lock);
    return V().systemVetoBoxes;
}

std::vector<std::string> EjectLog() {
    DiskLock lock(Disks().lock);
    return V().ejects;
}

void detail::ResetVolumes() {
    DiskLock lock(Disks().lock);
    V() = VolumeState{};
}

}  // namespace sim
}  // namespace vu
