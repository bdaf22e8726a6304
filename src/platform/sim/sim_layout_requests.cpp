// Layout and extent requests of the simulated PC; see sim_layout_requests.h.
#include "platform/sim/sim_layout_requests.h"

#include <cstring>
#include <vector>

namespace vu::sim::detail {

namespace {

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Put64(uint8_t* p, int64_t v) {
    Put32(p, uint32_t(uint64_t(v)));
    Put32(p + 4, uint32_t(uint64_t(v) >> 32));
}

bool Fail(uint32_t* error, uint32_t code) {
    *error = code;
    return false;
}

}  // namespace

bool DriveLayoutEx(const SimDisk& disk, void* out, uint32_t outSize, uint32_t* error) {
    auto layout = ReadLayout(disk);
    if (disk.failing.count("layout") || !layout) return Fail(error, ErrorInvalidFunction);
    size_t needed = LayoutExHeadSize + layout->entries.size() * PartitionExSize;
    if (outSize < needed) return Fail(error, ErrorInsufficientBuffer);
    std::vector<uint8_t> bytes(needed, 0);
    Put32(&bytes[0], layout->style);
    Put32(&bytes[4], uint32_t(layout->entries.size()));
    if (layout->style == PartitionStyleMbr) Put32(&bytes[LayoutExMbrSignatureAt], layout->signature);
    if (layout->style == PartitionStyleGpt) std::memcpy(&bytes[LayoutExGptDiskIdAt], layout->diskId, 16);
    for (size_t i = 0; i < layout->entries.size(); ++i) {
        const PartitionInformation& p = layout->entries[i];
        uint8_t* e = &bytes[LayoutExHeadSize + i * PartitionExSize];
        Put32(e, layout->style);
        Put64(e + PartitionExStartingOffsetAt, p.StartingOffset);
        Put64(e + PartitionExLengthAt, p.PartitionLength);
        Put32(e + PartitionExNumberAt, p.PartitionNumber);
        if (layout->style == PartitionStyleGpt) {
            const GptFields& g = layout->gpt[i];
            std::memcpy(e + PartitionExGptTypeAt, g.type, 16);
            std::memcpy(e + PartitionExGptIdAt, g.id, 16);
            Put64(e + PartitionExGptAttributesAt, int64_t(g.attributes));
            for (uint32_t c = 0; c < PartitionExGptNameChars; ++c) {
                e[PartitionExGptNameAt + 2 * c] = uint8_t(g.name[c]);
                e[PartitionExGptNameAt + 2 * c + 1] = uint8_t(g.name[c] >> 8);
            }
        } else {
            e[PartitionExMbrTypeAt] = p.PartitionType;
            e[PartitionExMbrBootAt] = p.BootIndicator;
            e[PartitionExMbrRecognizedAt] = p.RecognizedPartition;
            Put32(e + PartitionExMbrHiddenSectorsAt, p.HiddenSectors);
        }
    }
    std::memcpy(out, bytes.data(), needed);
    return true;
}

bool VolumeDiskExtents(char letter, const SimLetter& where, void* out, uint32_t outSize, uint32_t* error) {
    auto& state = Disks();
    auto lettered = letter ? state.letters.find(letter) : state.letters.end();
    bool byLetter = lettered != state.letters.end() && lettered->second.disk == where.disk &&
                    lettered->second.partition == where.partition;
    if (where.disk < 0) return Fail(error, ErrorInvalidFunction);
    std::vector<SimLetter> pieces = {byLetter ? lettered->second : where};
    if (auto span = byLetter ? state.spans.find(letter) : state.spans.end(); span != state.spans.end())
        pieces.insert(pieces.end(), span->second.begin(), span->second.end());
    std::vector<uint8_t> bytes(DiskExtentsHeadSize + pieces.size() * DiskExtentSize, 0);
    Put32(&bytes[0], uint32_t(pieces.size()));
    for (size_t i = 0; i < pieces.size(); ++i) {
        auto range = LetterRange(pieces[i]);
        if (!range) return Fail(error, ErrorInvalidFunction);
        uint8_t* e = &bytes[DiskExtentsHeadSize + i * DiskExtentSize];
        Put32(e, uint32_t(pieces[i].disk));
        Put64(e + 8, range->offset);
        Put64(e + 16, range->length);
    }
    if (outSize < DiskExtentsHeadSize) return Fail(error, ErrorInsufficientBuffer);
    if (outSize < bytes.size()) {
        // Windows tells how many extents there are, so that the caller can ask again.
        std::memcpy(out, bytes.data(), DiskExtentsHeadSize);
        return Fail(error, ErrorMoreData);
    }
    std::memcpy(out, bytes.data(), bytes.size());
    return true;
}

}  // namespace vu::sim::detail
