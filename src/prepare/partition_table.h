// The MBR partition table a format run writes: one primary partition, or a boot partition of a
// chosen size and a second one filling the rest of the disk, with CHS fields for 255 heads.
// Pure computation; any thread.
#pragma once
#include <array>
#include <cstdint>

namespace vu {

constexpr uint32_t ChsHeads = 255;
constexpr int64_t ChsLimitSectors = 1024LL * 255 * 63;  // 16450560: ends here or beyond get FE/FFFF
constexpr int PartitionTableBytes = 66;                 // four entries and the 55 AA signature
constexpr int PartitionTableOffset = 0x1BE;

struct ChsAddress {
    uint8_t head = 0;
    uint16_t word = 0;  // sector and cylinder bits 8-9 in the low byte, cylinder bits 0-7 in the high
};
ChsAddress ChsOf(int64_t lba, uint32_t sectorsPerTrack);

struct PartitionTableInput {
    int64_t diskSize = 0;  // bytes
    uint32_t bytesPerSector = 512;
    uint32_t sectorsPerTrack = 63;
    int64_t chsSectors = 0;  // cylinders x tracks per cylinder x sectors per track
    int64_t requestedStart = 63;
    bool multiPartitions = false;
    int64_t bootPartitionMiB = 200;
};

struct PartitionExtent {
    int64_t start = 0, count = 0;
};
struct PartitionPlan {
    PartitionExtent first, second;  // second.count is 0 for a single partition
    int64_t firstEnd = 0;           // the sector the CHS end of partition 1 is computed from
};

// Where the partitions go: the start falls back to 63 when the requested one is not below
// chsSectors; the single partition runs to the end of the disk.
PartitionPlan PlanPartitions(const PartitionTableInput& input);
// True when the plan fits the disk and an MBR can describe it: every partition inside the disk,
// non-empty, and every start and count below 2^32 sectors.
bool PlanFitsDisk(const PartitionTableInput& input, const PartitionPlan& plan);
// The 66 bytes copied to offset 0x1BE of the MBR.
std::array<uint8_t, PartitionTableBytes> BuildPartitionTable(const PartitionTableInput& input);

}  // namespace vu
