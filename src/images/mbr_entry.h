// The MBR entry that a restore rewrites: the one of the four primary entries whose first sector is
// the restored partition's, on a disk partitioned with an MBR. A GPT disk's protective MBR and the
// entries of logical partitions (which live in extended boot records) are never touched. Pure
// functions over a copy of sector 0; any thread.
#pragma once
#include <cstdint>

namespace vu {

constexpr int MbrTableOffset = 0x1BE;
constexpr uint8_t HfsPlusPartitionType = 0xAF;

enum class MbrEntryVerdict {
    Update,      // `index` is the entry to rewrite
    NoTable,     // sector 0 carries no boot signature
    GptDisk,     // a protective MBR (an entry of type 0xEE)
    NotPrimary,  // no primary entry starts at the partition's first sector
};

struct MbrEntryPlan {
    MbrEntryVerdict verdict = MbrEntryVerdict::NoTable;
    int index = -1;  // 0..3
};

// sector0 holds at least 512 bytes.
MbrEntryPlan PlanMbrEntryUpdate(const uint8_t* sector0, int64_t partitionFirstSector);

// Sets the entry's type byte to 0xAF and its sector count; nothing else changes.
void ApplyMbrEntryUpdate(uint8_t* sector0, int index, uint32_t sectorCount);

}  // namespace vu
