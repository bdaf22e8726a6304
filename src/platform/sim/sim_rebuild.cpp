// Windows takes in a disk's new partition table only when asked to reread it, and rebuilds the
// volumes in its own time after that: until then its volumes, and the letters that name them,
// keep the old partitions' bytes (sim_disk_model.h, windowsView). Called with the disk lock held.
#include "platform/sim/sim.h"
#include "platform/sim/sim_disk_model.h"

namespace vu::sim::detail {

std::optional<ByteRange> VolumeRange(const SimDisk& disk, uint32_t partition) {
    if (!disk.windowsView || partition == 0) return PartitionRange(disk, partition);
    auto it = disk.windowsView->find(partition);
    if (it == disk.windowsView->end()) return std::nullopt;
    return it->second;
}

std::optional<ByteRange> LetterRange(const SimLetter& where) {
    auto disk = Disks().disks.find(where.disk);
    if (disk == Disks().disks.end()) return std::nullopt;
    return VolumeRange(disk->second, where.partition);
}

void FreezeWindowsView(SimDisk& disk) {
    if (disk.windowsView) return;
    disk.windowsView.emplace();
    disk.rereadAt = -1;
    auto layout = ReadLayout(disk);
    if (!layout) return;
    for (const auto& entry : layout->entries)
        if (entry.PartitionNumber > 0 && entry.PartitionLength > 0)
            (*disk.windowsView)[entry.PartitionNumber] = {entry.StartingOffset, entry.PartitionLength};
}

void TableReread(SimDisk& disk) {
    if (disk.windowsView) disk.rereadAt = Now();
}

void SettleRebuilds() {
    for (auto& [number, disk] : Disks().disks) {
        if (!disk.windowsView || disk.rereadAt < 0 || Now() - disk.rereadAt < disk.staleLettersMs) continue;
        disk.windowsView.reset();
        disk.rereadAt = -1;
    }
}

}  // namespace vu::sim::detail
