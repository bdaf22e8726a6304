// The drive list of the main window (tree gadget 140): offered disks (USB, and fixed disks when
// enabled) on level 0 and their first four partitions on level 1, rebuilt from a fresh scan.
// Called from the main thread and from the one worker that holds OperationBusy.
#pragma once
#include <cstdint>
#include <string>

#include "disk/inventory.h"

namespace vu {

constexpr int DiskIconImage = 6;
constexpr int PartitionIconImage = 7;

// Rescans and rebuilds the tree; returns what ScanDisks returned.
int32_t FillDriveList();
// 1 when a disk or partition line is selected and SelectedDisk now holds its record, else 0.
int32_t GetSelectedDrive();

// The texts of a disk line and of the line of partition slot `slot` (0..3).
std::string DiskLineText(const DiskRecord& disk);
std::string PartitionLineText(const DiskRecord& disk, int slot);

}  // namespace vu
