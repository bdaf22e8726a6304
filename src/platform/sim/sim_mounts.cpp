// Raw writes into mounted volumes of the simulated PC; see sim_mounts.h.
#include "platform/sim/sim_mounts.h"

#include <vector>

#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_fs_probe.h"

namespace vu::sim::detail {

namespace {

bool HoldsFileSystem(const SimDisk& disk, const ByteRange& range) {
    return ProbeFileSystem([&](int64_t offset, void* buffer, size_t size) {
               return offset >= 0 && offset + int64_t(size) <= range.length &&
                      ReadImage(disk, range.offset + offset, buffer, int64_t(size)) == int64_t(size);
           }).has_value();
}

}  // namespace

bool RawWriteAllowed(int disk, int64_t offset, int64_t length, const VolumeLocked& locked) {
    auto& state = Disks();
    auto written = state.disks.find(disk);
    if (written == state.disks.end()) return true;
    for (const auto& [letter, volume] : state.letters) {
        if (volume.disk < 0 || locked(volume.disk, volume.partition)) continue;
        // The pieces of the volume: where its letter points, and those of a spanned volume.
        std::vector<SimLetter> pieces = {volume};
        if (auto span = state.spans.find(letter); span != state.spans.end())
            pieces.insert(pieces.end(), span->second.begin(), span->second.end());
        bool overlaps = false;
        for (const SimLetter& piece : pieces) {
            if (piece.disk != disk) continue;
            auto range = PartitionRange(written->second, piece.partition);
            overlaps = overlaps || (range && offset < range->offset + range->length && range->offset < offset + length);
        }
        if (!overlaps) continue;
        // Mounted means a file system Windows recognises, read where the volume begins.
        auto first = state.disks.find(volume.disk);
        auto firstRange = first == state.disks.end() ? std::nullopt : PartitionRange(first->second, volume.partition);
        if (firstRange && HoldsFileSystem(first->second, *firstRange)) return false;
    }
    return true;
}

}  // namespace vu::sim::detail
