// Raw writes into mounted volumes of the simulated PC; see sim_mounts.h.
#include "platform/sim/sim_mounts.h"

#include <algorithm>
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
    if (!state.disks.count(disk)) return true;
    auto overlaps = [&](const SimLetter& piece) {
        auto range = piece.disk == disk ? LetterRange(piece) : std::nullopt;
        return range && offset < range->offset + range->length && range->offset < offset + length;
    };
    // Mounted means a file system Windows recognises, read where the volume begins.
    auto mounted = [&](const SimLetter& first) {
        auto where = state.disks.find(first.disk);
        if (where == state.disks.end()) return false;
        if (where->second.bitLocker.count(first.partition)) return true;
        auto range = LetterRange(first);
        return range && HoldsFileSystem(where->second, *range);
    };
    for (const auto& [letter, volume] : state.letters) {
        if (volume.disk < 0 || locked(volume.disk, volume.partition)) continue;
        // The pieces of the volume: where its letter points, and those of a spanned volume.
        std::vector<SimLetter> pieces = {volume};
        if (auto span = state.spans.find(letter); span != state.spans.end())
            pieces.insert(pieces.end(), span->second.begin(), span->second.end());
        if (std::any_of(pieces.begin(), pieces.end(), overlaps) && mounted(volume)) return false;
    }
    for (uint32_t partition : state.disks.at(disk).mountedWithoutLetter) {
        SimLetter volume{disk, partition};
        if (!locked(disk, partition) && overlaps(volume) && mounted(volume)) return false;
    }
    return true;
}

}  // namespace vu::sim::detail
