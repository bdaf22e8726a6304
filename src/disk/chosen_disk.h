// The disk the user chose, told from other disks by the device itself rather than by its number:
// Windows gives an arriving disk the lowest free number, so the lines of the drive list move when
// disks come or go, and the number of a chosen disk can pass to another one before a run writes.
#pragma once
#include <cstdint>
#include <string>

#include "disk/inventory.h"

namespace vu {

struct DiskIdentity {
    std::string devicePath, serialNumber, vendorId, productId;
    int64_t length = 0;
};

DiskIdentity IdentityOf(const DiskRecord& disk);
// The same device: the same length and device interface path, or, where a path is missing, the
// same serial number, vendor and product.
bool SameDisk(const DiskIdentity& a, const DiskIdentity& b);

// Reads the disk now at SelectedDisk's number. True when it is still the one SelectedDisk was read
// from; otherwise the run that asked is refused, in a box and on the status bar. A worker calls it
// right before its first write, after every question it asked.
bool SelectedDiskStillThere();

}  // namespace vu
