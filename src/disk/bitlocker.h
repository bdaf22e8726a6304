// BitLocker volumes, told by the first sector of the partition as the disk stores it. Through an
// unlocked BitLocker volume Windows encrypts what is written and decrypts what is read, so raw
// partition images must go through the disk below it. Pure; any thread.
#pragma once
#include <cstdint>

namespace vu {

// The volume header of BitLocker: "-FVE-FS-" at offset 3 (Windows Vista and later, To Go on NTFS
// and exFAT), or "MSWIN4.1" there with BitLocker's identifier at offset 424 (To Go on FAT).
// `sector` holds at least 512 bytes.
bool IsBitLockerBootSector(const uint8_t* sector);

}  // namespace vu
