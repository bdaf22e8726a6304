// The chosen disk; see chosen_disk.h.
#include "disk/chosen_disk.h"

#include "core/status_bar.h"
#include "platform/gui.h"

namespace vu {

DiskIdentity IdentityOf(const DiskRecord& disk) {
    return {disk.DevicePath, disk.SerialNumber, disk.VendorId, disk.ProductId, disk.DiskLength};
}

bool SameDisk(const DiskIdentity& a, const DiskIdentity& b) {
    if (a.length != b.length) return false;
    if (!a.devicePath.empty() && !b.devicePath.empty()) return a.devicePath == b.devicePath;
    return a.serialNumber == b.serialNumber && a.vendorId == b.vendorId && a.productId == b.productId;
}

bool SelectedDiskStillThere() {
    DiskRecord now;
    if (IdentifyDisk(SelectedDisk.DiskNumber, now) && SameDisk(IdentityOf(now), IdentityOf(SelectedDisk)))
        return true;
    plat::MessageBox("Error",
                     "The selected disk was removed or replaced by another disk since you chose it.\r\n"
                     "Nothing was written to it.\r\n\r\nSelect the disk again, please.",
                     plat::MbIconWarning);
    ShowStatus("Error : The selected Disk was removed or replaced", 0);
    return false;
}

}  // namespace vu
