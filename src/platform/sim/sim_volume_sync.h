// Control of the simulated PC's volume sync, for tests and the image tool.
//
// The file API keeps each drive letter's files in a host folder. Once the simulated formatter has
// made a FAT (FAT12/16/32) or exFAT file system on a letter's partition, or the program has written
// a new one raw and dismounted the volume, the letter is "backed by the image": its folder is
// emptied, and from then on the folder is written into the file system inside the disk image
// (mtools for FAT; exfat-fuse over a loop device for exFAT, the hidden attribute set by
// sim_exfat_walk.h) whenever it changed and
//   - SyncVolumes() is called (at the end of a scenario),
//   - the program dismounts the volume (FSCTL_DISMOUNT_VOLUME), or
//   - an eject of its disk is accepted.
// The file system then holds exactly the folder's tree: files, folders, contents and the hidden
// attribute the program set. Letters never formatted since the last reset, and NTFS volumes, are
// not written anywhere: their folders stay host folders only. Only changes made through the file
// API (including files written by libraries through plat::LibraryPath) mark a letter as changed.
// A sync replaces the whole tree of the volume, so raw writes the program made to the data area
// of a backed volume after its last sync are lost when the folder changes again; boot sectors
// are kept. The exFAT sync needs root, /dev/fuse and a free loop device.
#pragma once
#include <string>

namespace vu::sim {

// Writes every changed backed letter into its image now; false, with the reasons (also of failed
// syncs at dismounts and ejects since the last call) in *reason, when a sync failed.
bool SyncVolumes(std::string* reason = nullptr);

}  // namespace vu::sim
