// Internal to the simulated PC: the hooks through which the formatter, the file API, the raw
// devices and the volume manager drive the volume sync of sim_volume_sync.h. Lock order: the
// disk lock, then the file API's lock, then the sync's own lock.
#pragma once
#include <cstdint>
#include <set>
#include <string>

namespace vu::sim::detail {

// The formatter made `fileSystem` on the partition lettered `letter`: empties the letter's folder
// and, for FAT and exFAT, backs the letter by the partition.
void BackLetterByImage(char letter, int disk, uint32_t partition, const std::string& fileSystem);
// The program wrote the boot sector of a volume raw and dismounted it: a letter of the volume
// whose file system is no longer the one it is backed by (or a letter not backed at all, now on
// FAT or exFAT) is backed afresh by what is there, as the next mount would find it.
void RemountIfReformatted(int disk, uint32_t partition);
// The file API changed something under the letter's folder.
void MarkLetterChanged(char letter);
// Sync the changed backed letters of a volume being dismounted, or of a disk being ejected; a
// failure is kept for the next SyncVolumes().
void SyncChangedVolume(int disk, uint32_t partition);
void SyncChangedVolumesOfDisk(int disk);
// The disk was pulled out: what its letters held and was not synced yet is lost.
void ForgetVolumesOfDisk(int disk);

// Provided by the file API (sim_files.cpp).
void EmptyDriveFolder(char letter);
// The letter's drive is gone: every file call on its paths fails from now on.
void DropDriveFolder(char letter);
// New disks were loaded: no drive is gone, and changes fail on the drives of read-only sticks.
void RenewDriveStates(const std::set<char>& writeProtected);
std::set<std::string> HiddenUnderDrive(char letter);  // "EFI/x", relative to the letter's root

}  // namespace vu::sim::detail
