// After a format run's new partition table, Windows rebuilds the disk's volumes in its own time:
// for a while a letter may still name the old partition's volume, and the new volume arrives
// without a letter, or with one of Windows' own choosing. The run waits for partition 1 as it was
// planned, with a letter whose volume is exactly that partition, instead of trusting the letter
// after a fixed pause. Runs on the format pipeline's thread.
#pragma once
#include <cstdint>

#include "prepare/partition_table.h"

namespace vu {

constexpr int NewPartitionPollMs = 500;
constexpr int NewPartitionTimeoutMs = 30000;
// How long a partition without a letter is left to Windows before the run gives it one.
constexpr int WindowsLetterWaitMs = 2000;

enum class NewPartitionWait { Ready, NotShown, NoLetter };

// Rescans until the inventory shows partition 1 of `diskNumber` at `planned` (sectors of
// `sectorBytes`) under a letter that names it; SelectedDisk then holds the fresh record, the whole
// disk selected, and partition 1's letter. NotShown when that did not happen in time, NoLetter
// when the partition got no letter and none could be given.
NewPartitionWait WaitForNewPartition(int32_t diskNumber, const PartitionExtent& planned, uint32_t sectorBytes);

}  // namespace vu
