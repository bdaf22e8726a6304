// The partition table of a format run; see partition_table.h.
#include "prepare/partition_table.h"

namespace vu {

namespace {

void Put16(uint8_t* at, uint16_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

// The end fields of an entry whose partition ends before sector `end`.
ChsAddress EndChs(int64_t end, uint32_t sectorsPerTrack) {
    if (end < ChsLimitSectors) return ChsOf(end - 1, sectorsPerTrack);
    return {0xFE, 0xFFFF};
}

void PutEntry(uint8_t* entry, bool active, int64_t start, int64_t count, int64_t end, uint32_t sectorsPerTrack) {
    ChsAddress first = ChsOf(start, sectorsPerTrack), last = EndChs(end, sectorsPerTrack);
    entry[0] = active ? 0x80 : 0x00;
    entry[1] = first.head;
    Put16(entry + 2, first.word);
    entry[4] = 0x06;
    entry[5] = last.head;
    Put16(entry + 6, last.word);
    Put32(entry + 8, uint32_t(start));
    Put32(entry + 12, uint32_t(count));
}

}  // namespace

ChsAddress ChsOf(int64_t lba, uint32_t sectorsPerTrack) {
    if (sectorsPerTrack == 0) return {};
    int64_t sector = lba % sectorsPerTrack + 1;
    int64_t head = (lba / sectorsPerTrack) % ChsHeads;
    int64_t cylinder = lba / (int64_t(sectorsPerTrack) * ChsHeads);
    // Cylinder bits above bit 9 drop out of the masks.
    uint16_t word = uint16_t(sector + ((cylinder & 0x300) >> 2) + ((cylinder & 0xFF) << 8));
    return {uint8_t(head), word};
}

PartitionPlan PlanPartitions(const PartitionTableInput& input) {
    PartitionPlan plan;
    int64_t total = input.bytesPerSector ? input.diskSize / input.bytesPerSector : 0;
    int64_t start = input.requestedStart;
    if (start >= input.chsSectors) start = 63;
    plan.first.start = start;
    if (input.multiPartitions) {
        plan.first.count = input.bytesPerSector ? input.bootPartitionMiB * 1024 * 1024 / input.bytesPerSector : 0;
        plan.firstEnd = start + plan.first.count;
        plan.second.start = plan.first.start + plan.first.count;
        plan.second.count = total - start - plan.first.count;
    } else {
        plan.first.count = total - start;
        plan.firstEnd = input.chsSectors;
    }
    return plan;
}

bool PlanFitsDisk(const PartitionTableInput& input, const PartitionPlan& plan) {
    int64_t total = input.bytesPerSector ? input.diskSize / input.bytesPerSector : 0;
    auto fits = [&](const PartitionExtent& p) {
        return p.start > 0 && p.count > 0 && p.start + p.count <= total && p.start <= 0xFFFFFFFFLL &&
               p.count <= 0xFFFFFFFFLL;
    };
    return fits(plan.first) && (!input.multiPartitions || fits(plan.second));
}

std::array<uint8_t, PartitionTableBytes> BuildPartitionTable(const PartitionTableInput& input) {
    std::array<uint8_t, PartitionTableBytes> table{};
    PartitionPlan plan = PlanPartitions(input);
    PutEntry(&table[0], true, plan.first.start, plan.first.count, plan.firstEnd, input.sectorsPerTrack);
    if (input.multiPartitions)
        PutEntry(&table[16], false, plan.second.start, plan.second.count, input.chsSectors, input.sectorsPerTrack);
    table[64] = 0x55;
    table[65] = 0xAA;
    return table;
}

}  // namespace vu
