// Partition images: the main window's Backup and Restore operations. A backup copies one partition
// of the selected drive, sector for sector, into a headerless image file (.bin or .hfs); a restore
// writes such a file onto a partition from its first sector, reads it back to check it, and
// records the partition in the drive's MBR as HFS+ of the image's size.
//
// Each runs on a worker thread of its own while OperationBusy keeps a second disk operation out;
// the main thread only sets AbortRequested, through the Backup or Restore button, which reads
// "Backup Cancel" or "Restore Cancel" while the copy runs. A cancel before the copy begins writes
// nothing. The file dialogs are the main window's: it takes no clicks while they are open. The
// start argument is not used; the image folder comes from the settings copied at the start.
#pragma once
#include <cstdint>
#include <string>

#include "core/settings.h"

namespace vu {

void BackupPartition(int arg, const SettingsRecord& settings);
void RestorePartition(int arg, const SettingsRecord& settings);

// What the file dialogs of both offer: HFS/HFS+/Binary preselected, in the image folder.
extern const char* const ImageFilePattern;
constexpr int ImagePatternIndex = 2;
std::string DefaultImagePath(const SettingsRecord& settings);  // ZarnImageLocalRepo + "PartSave.bin"

// A restore reads the written range back and compares it with the image before it records the
// partition; on unless a tool switches it off to time the copy alone. Set before a run starts.
extern bool VerifyRestoredImage;

// Lets raw reads and writes reach the sectors past what the volume's file system claims.
constexpr uint32_t FsctlAllowExtendedDasdIo = 0x90083;

}  // namespace vu
