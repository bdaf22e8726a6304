// Control of the simulated PC's disks, for tests. A test describes the PC in a small text file:
//
//     # comment
//     system-drive = C              (sets the system directory to C:\Windows\system32)
//     foreign-letters = Z:          (letters that are not on a disk, such as a CD drive)
//     drive-strings = fail          (GetLogicalDriveStringsW fails)
//
//     [disk 1]
//     image = /tmp/t/stick.img      (host path; the MBR and file systems in it are what the PC sees)
//     bus = 7                       (STORAGE_BUS_TYPE: 7 USB, 11 SATA, ...)
//     vendor = "Acme    "           (quotes keep blanks)
//     product = Stick
//     drive-type = 2                (GetDriveTypeW: 2 Removable, 3 Fixed)
//     geometry = 1869 255 63 512    (cylinders, tracks per cylinder, sectors per track, bytes per sector)
//     letters = E:1 F:2             (letter:partition number; 0 is the whole disk)
//     fail = descriptor geometry    (requests that fail: open length descriptor geometry layout device-number)
//     short-reads = yes             (reads move fewer bytes than asked)
//     read-only = yes               (writes fail)
//     fail-write = 3                (the third write to this disk fails)
//     fail-read = 2                 (the second read from this disk fails)
//     drop-write = 2                (the second write is acknowledged but not stored)
//     lock-refusals = 5             (lock requests refused before one succeeds; -1 for ever)
//
// Every key but image is optional. Writes go into the image files. Reads and writes count from the
// description's loading on; a failing one sets the thread's last error as Windows would (ERROR_CRC
// for a read, ERROR_IO_DEVICE for a write, ERROR_WRITE_PROTECT on a read-only stick), and a raw
// transfer that is not in whole sectors fails with ERROR_INVALID_PARAMETER. Thread-safe.
#pragma once
#include <string>
#include <vector>

namespace vu::sim {

// Replaces the simulated disks and letters by those of the description; false (and the reason
// in *error) when the file cannot be read or a line is not understood.
bool LoadPc(const std::string& descriptionFile, std::string* error = nullptr);
// Removes every disk and letter (also part of Reset).
void ClearDisks();

// What the program did to the devices, in order: "open \\.\E: rw", "close \\.\E:", "lock \\.\E: refused",
// "unlock \\.\E:", "dismount \\.\E:", "write \\.\PHYSICALDRIVE1 at 0 length 512", "flush \\.\E:".
std::vector<std::string> DeviceLog();
void ClearDeviceLog();
// Device handles the program holds open.
int OpenDeviceCount();

}  // namespace vu::sim
