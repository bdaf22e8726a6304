// The Format button's operation: turns the drive selected in the drive list into a bootable drive
// in one fixed sequence (guards and confirmation, wiping, a new partition table, the MBR boot
// sector, a file system on partition 1, the merged partition boot sector, the data set).
// FormatDrive runs on a worker thread of its own while OperationBusy keeps a second run out; the
// main thread only touches FormatFailed and AbortRequested, through the cancel button. The run
// works from the settings copied when it was started and changes none of them.
#pragma once
#include <cstdint>

#include "core/settings.h"
#include "platform/disk_device.h"

namespace vu {

void FormatDrive(int32_t installDataSet, const SettingsRecord& settings);

// A run that installs the downloaded data set holds the download slot from before its confirmation
// to its end. When another download job (the revision check, a list update) holds it, the run
// shows this text and waits up to DownloadSlotWaitMs; then it is refused with nothing written.
constexpr const char* WaitingForDownloadText = "A download is running ... Wait Please";
constexpr int DownloadSlotWaitMs = 60000;

// Zeroes the first and the last 128 sectors of the disk, where MBR and GPT structures live.
// 1 when all 256 writes succeeded; 0 when one failed or FormatFailed stopped the loop.
int32_t ClearDiskStructures(plat::DeviceHandle diskHandle, int64_t diskSizeBytes, uint32_t bytesPerSector);

}  // namespace vu
