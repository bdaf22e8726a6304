// The MBR entry of a restored partition; see mbr_entry.h.
#include "images/mbr_entry.h"

namespace vu {

namespace {

constexpr uint8_t ProtectiveGptType = 0xEE;

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

}  // namespace

MbrEntryPlan PlanMbrEntryUpdate(const uint8_t* sector0, int64_t partitionFirstSector) {
    if (sector0[510] != 0x55 || sector0[511] != 0xAA) return {MbrEntryVerdict::NoTable, -1};
    for (int i = 0; i < 4; ++i)
        if (sector0[MbrTableOffset + 16 * i + 4] == ProtectiveGptType) return {MbrEntryVerdict::GptDisk, -1};
    for (int i = 0; i < 4; ++i) {
        const uint8_t* entry = sector0 + MbrTableOffset + 16 * i;
        if (entry[4] != 0 && U32(entry + 12) != 0 && int64_t(U32(entry + 8)) == partitionFirstSector)
            return {MbrEntryVerdict::Update, i};
    }
    return {MbrEntryVerdict::NotPrimary, -1};
}

void ApplyMbrEntryUpdate(uint8_t* sector0, int index, uint32_t sectorCount) {
    uint8_t* entry = sector0 + MbrTableOffset + 16 * index;
    entry[4] = HfsPlusPartitionType;
    for (int i = 0; i < 4; ++i) entry[12 + i] = uint8_t(sectorCount >> (8 * i));
}

}  // namespace vu
