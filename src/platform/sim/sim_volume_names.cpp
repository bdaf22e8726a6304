// The simulated PC's volumes by name: every partition is a volume, found by its GUID name or its
// kernel device name; see sim_disk_model.h. Called with the disk lock held.
#include <cctype>
#include <cstdio>
#include <set>

#include "platform/sim/sim_disk_model.h"

namespace vu::sim::detail {

namespace {

bool IsExtended(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

std::string Lower(const std::string& text) {
    std::string lower;
    for (char c : text) lower += char(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

}  // namespace

std::string VolumeGuidName(int disk, uint32_t partition) {
    return "\\\\?\\Volume{" + std::to_string(disk) + "-" + std::to_string(partition) + "}\\";
}

// The kernel numbers volumes as they arrive; here partition P of disk D is volume 10 D + P.
std::string VolumeDeviceName(int disk, uint32_t partition) {
    return "\\Device\\HarddiskVolume" + std::to_string(disk * 10 + int(partition));
}

std::optional<SimLetter> ParseVolumeGuidName(const std::string& name) {
    SimLetter where;
    char close = 0;
    if (std::sscanf(name.c_str(), "\\\\?\\Volume{%d-%u%c", &where.disk, &where.partition, &close) != 3 ||
        close != '}' || where.disk < 0)
        return std::nullopt;
    std::string tail = name.substr(name.find('}') + 1);
    if (!tail.empty() && tail != "\\") return std::nullopt;
    return where;
}

std::optional<SimLetter> ParseVolumeDeviceName(const std::string& name) {
    const std::string prefix = "\\device\\harddiskvolume";
    std::string lower = Lower(name);
    if (lower.rfind(prefix, 0) != 0) return std::nullopt;
    std::string digits = lower.substr(prefix.size());
    if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    int number = std::stoi(digits);
    SimLetter where;
    where.disk = number / 10;
    where.partition = uint32_t(number % 10);
    return where;
}

std::vector<SimLetter> AllVolumes() {
    auto& state = Disks();
    std::vector<SimLetter> volumes;
    std::set<std::pair<int, uint32_t>> seen;
    auto add = [&](int disk, uint32_t partition) {
        if (seen.insert({disk, partition}).second) volumes.push_back({disk, partition});
    };
    for (const auto& [letter, where] : state.letters) {
        if (where.disk < 0) continue;
        add(where.disk, where.partition);
        // The further pieces of a spanned volume are not volumes of their own.
        if (auto span = state.spans.find(letter); span != state.spans.end())
            for (const SimLetter& piece : span->second) seen.insert({piece.disk, piece.partition});
    }
    for (const auto& [number, disk] : state.disks) {
        // The volumes Windows has, which follow the table only once it was reread.
        if (disk.windowsView) {
            for (const auto& [partition, range] : *disk.windowsView) add(number, partition);
            continue;
        }
        auto layout = ReadLayout(disk);
        if (!layout) continue;
        for (const auto& entry : layout->entries)
            if (entry.PartitionNumber > 0 && entry.PartitionLength > 0 && !IsExtended(entry.PartitionType))
                add(number, entry.PartitionNumber);
    }
    return volumes;
}

bool MountedWithoutLetter(int disk, uint32_t partition) {
    auto it = Disks().disks.find(disk);
    return it != Disks().disks.end() && it->second.mountedWithoutLetter.count(partition) != 0;
}

}  // namespace vu::sim::detail
