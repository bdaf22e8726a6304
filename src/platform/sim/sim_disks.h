// Control of the simulated PC's disks, for tests. A test describes the PC in a small text file:
//
//     # comment
//     system-drive = C              (sets the system directory to C:\Windows\system32)
//     foreign-letters = Z:          (letters that are not on a disk, such as a CD drive)
//     drive-strings = fail          (GetLogicalDriveStringsW fails)
//     span = C: 0:3 2:1             (C: is one volume over partition 3 of disk 0 and partition 1
//                                    of disk 2, as a spanned dynamic volume)
//
//     [disk 1]
//     image = /tmp/t/stick.img      (host path; the MBR and file systems in it are what the PC sees)
//     bus = 7                       (STORAGE_BUS_TYPE: 7 USB, 11 SATA, ...)
//     vendor = "Acme    "           (quotes keep blanks)
//     product = Stick
//     serial = AA04012700012345     (the descriptor's serial number; none by default)
//     present = no                  (not attached when the PC is loaded: PlugDisk attaches it)
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
//     refuse-lock = 2               (the second lock request is refused)
//     short-read = 2                (the second read moves half of what it was asked)
//     vanish-after = 40             (the stick is pulled out after answering 40 requests: opens,
//                                    device controls, reads, writes and flushes of its devices,
//                                    file calls on its letters and the format of a volume;
//                                    from the next one on it and its letters are gone, opens fail
//                                    with ERROR_FILE_NOT_FOUND, requests on open handles with
//                                    ERROR_DEVICE_NOT_CONNECTED, file calls on its letters fail)
//     gpt = start=2048, size=409600, type=U; start=411648, type=H
//                                   (sfdisk writes this GPT into the image when the PC is loaded;
//                                    lines separated by ';', in sfdisk's script syntax, such as
//                                    "first-lba: 34" for the layout a Mac writes)
//
// Each disk has the device interface path Windows would give it: from its serial number when it
// has one, else from its image and number (the port it sits in); a handle stays with the disk it
// was opened on, so that after an unplug its requests fail even when another disk takes the number.
//
// Every key but image is optional. Writes go into the image files. Reads and writes count from the
// description's loading on; a failing one sets the thread's last error as Windows would (ERROR_CRC
// for a read, ERROR_IO_DEVICE for a write, ERROR_WRITE_PROTECT on a read-only stick), and a raw
// transfer that is not in whole sectors fails with ERROR_INVALID_PARAMETER. Thread-safe.
//
// The PC keeps Windows' rules for raw writes: a write through a disk or volume handle into a
// lettered volume that holds a file system fails with access denied (5) unless a handle that is
// open at the time holds that volume's lock (FSCTL_LOCK_VOLUME). A dismount lasts only while the
// volume stays locked: the shell looks at a dismounted volume as soon as nothing holds it locked,
// which mounts it again. IOCTL_DISK_GET_DRIVE_LAYOUT fails on GPT disks and on layouts its buffer
// cannot hold; IOCTL_DISK_GET_DRIVE_LAYOUT_EX reports MBR, GPT and RAW disks.
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
// "unlock \\.\E:", "dismount \\.\E:", "read \\.\E: at 0 length 512",
// "write \\.\PHYSICALDRIVE1 at 0 length 512", "flush \\.\E:", "vanish disk 1".
std::vector<std::string> DeviceLog();
void ClearDeviceLog();
// Device handles the program holds open.
int OpenDeviceCount();

// What the program asked of a disk since the description was loaded, counted as the fault keys
// count: a test runs an operation once cleanly to learn where each fault can strike.
struct DiskRequests {
    int requests = 0, reads = 0, writes = 0, locks = 0;
};
DiskRequests RequestCounts(int disk);
// Whether the disk was pulled out by its vanish-after fault.
bool DiskVanished(int disk);

// A disk arriving or leaving, with its letters, as Windows sees it; the program hears of it only
// through the device-change notification a test then sends. PlugDisk attaches a disk described
// with "present = no" (or unplugged before) under `asNumber` (by default its own number), as
// Windows gives an arriving disk a free number, often one below the disks already there. False
// when there is no such disk or the number is taken.
bool PlugDisk(int described, int asNumber = -1);
bool UnplugDisk(int number);

}  // namespace vu::sim
