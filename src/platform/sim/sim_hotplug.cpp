// Disks arriving and leaving while the program runs, and the device interface paths that tell one
// disk from another whatever number it has; see sim_disks.h.
#include <cctype>
#include <functional>

#include "platform/disk_device.h"
#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_disks.h"
#include "platform/sim/sim_volume_sync_hooks.h"

namespace vu {

using sim::detail::DiskLock;
using sim::detail::Disks;
using sim::detail::DiskState;
using sim::detail::SimDisk;

namespace sim {

namespace detail {

void HoldBackAbsentDisks(DiskState& state) {
    for (auto it = state.disks.begin(); it != state.disks.end();) {
        SimDisk& disk = it->second;
        disk.plugId = ++state.plugs;
        if (disk.present) {
            ++it;
            continue;
        }
        std::erase_if(state.letters, [&](const auto& entry) {
            if (entry.second.disk != disk.number) return false;
            state.unpluggedLetters.insert(entry);
            return true;
        });
        state.unplugged.insert(state.disks.extract(it++));
    }
}

// As Windows builds it from the hardware ids: a device with a serial number keeps its path on any
// port; one without gets a path of the port it sits in, here of its image and number.
std::string InterfacePath(const SimDisk& disk) {
    auto id = [](const std::string& text) {
        std::string out;
        for (char c : text) out += c == ' ' ? '_' : char(std::tolower(static_cast<unsigned char>(c)));
        return out;
    };
    std::string instance = !disk.serial.empty()
                               ? id(disk.serial) + "&0"
                               : "7&" + std::to_string(std::hash<std::string>{}(disk.image) % 0xFFFFFFF) + "&0&" +
                                     std::to_string(disk.number);
    return std::string(disk.busType == 7 ? "\\\\?\\usbstor#disk" : "\\\\?\\scsi#disk") + "&ven_" + id(disk.vendor) +
           "&prod_" + id(disk.product) + "&rev_1.00#" + instance + "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

}  // namespace detail

bool PlugDisk(int described, int asNumber) {
    auto& state = Disks();
    DiskLock lock(state.lock);
    if (asNumber < 0) asNumber = described;
    auto found = state.unplugged.find(described);
    if (found == state.unplugged.end() || state.disks.count(asNumber)) return false;
    SimDisk disk = std::move(found->second);
    state.unplugged.erase(found);
    disk.number = asNumber;
    disk.plugId = ++state.plugs;
    state.vanished.erase(asNumber);
    std::erase_if(state.unpluggedLetters, [&](const auto& entry) {
        if (entry.second.disk != described) return false;
        state.letters[entry.first] = {asNumber, entry.second.partition};
        return true;
    });
    state.disks[asNumber] = std::move(disk);
    state.log.push_back("plug disk " + std::to_string(asNumber));
    return true;
}

bool UnplugDisk(int number) {
    auto& state = Disks();
    DiskLock lock(state.lock);
    auto found = state.disks.find(number);
    if (found == state.disks.end() || state.unplugged.count(number)) return false;
    detail::SyncChangedVolumesOfDisk(number);
    std::erase_if(state.letters, [&](const auto& entry) {
        if (entry.second.disk != number) return false;
        state.unpluggedLetters.insert(entry);
        return true;
    });
    state.unplugged.insert(state.disks.extract(found));
    state.log.push_back("unplug disk " + std::to_string(number));
    return true;
}

}  // namespace sim

namespace plat {

std::map<uint32_t, std::string> DiskInterfacePaths() {
    DiskLock lock(Disks().lock);
    std::map<uint32_t, std::string> paths;
    for (const auto& [number, disk] : Disks().disks) paths[uint32_t(number)] = sim::detail::InterfacePath(disk);
    return paths;
}

}  // namespace plat
}  // namespace vu
