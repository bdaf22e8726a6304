// The drive list; see drive_list.h.
#include "disk/drive_list.h"

#include <vector>

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "core/transfer_progress.h"
#include "platform/gui.h"

namespace vu {

namespace {

// The level of each line of the tree, in line order; only FillDriveList adds lines to it.
std::vector<int> lineLevels;

bool Offered(const DiskRecord& disk) {
    return disk.BusTypeName == "USB" || (EnableFixedDisks && disk.DriveTypeCode == 3);
}

int AddLine(const std::string& text, int image, int level) {
    plat::AddGadgetItem(DriveListGadget, text, image, level);
    lineLevels.push_back(level);
    return int(lineLevels.size()) - 1;
}

}  // namespace

std::string DiskLineText(const DiskRecord& disk) {
    std::string text = disk.BusTypeName + ": ";
    if (!disk.VendorId.empty()) text += disk.VendorId + " ";
    if (!disk.ProductId.empty()) text += disk.ProductId + " ";
    if (disk.DiskLength != 0) text += SizeText(disk.DiskLength, 0) + " (";
    text += disk.Letters;
    return text + ")";
}

std::string PartitionLineText(const DiskRecord& disk, int slot) {
    const PartitionSlot& s = disk.Partitions[slot];
    std::string text = "Part" + std::to_string(slot + 1) + ": " + SizeText(s.Info.PartitionLength, 0) + " ";
    if (!s.FsName.empty()) text += s.FsName + " ";
    if (s.Info.BootIndicator != 0) text += "Act ";
    text += s.Label.empty() ? "<NONAME> " : "<" + s.Label + "> ";
    return text + s.Letter;
}

int32_t FillDriveList() {
    int32_t found = ScanDisks();
    plat::ClearGadgetItems(DriveListGadget);
    lineLevels.clear();
    for (DiskRecord& disk : DiskList) {
        if (!Offered(disk)) continue;
        disk.ListItem = AddLine(DiskLineText(disk), DiskIconImage, 0);
        for (int slot = 0; slot < ShownSlotCount; ++slot) {
            if (disk.Partitions[slot].Info.PartitionLength == 0) continue;
            disk.Partitions[slot].ListItem = AddLine(PartitionLineText(disk, slot), PartitionIconImage, 1);
        }
    }
    // Partition lines stay visible under their disks.
    plat::ExpandAllGadgetItems(DriveListGadget);
    if (!OperationBusy) {
        DrawProgressBar(StatusBarGadget,
                        lineLevels.empty() ? "Insert a USB Flash Drive ..." : "Select the USB Flash Drive, please", 0);
    }
    plat::SetGadgetState(DriveListGadget, 0);
    return found;
}

int32_t GetSelectedDrive() {
    SelectedDisk = DiskRecord{};
    SelectedDisk.ListItem = 0;
    int sel = plat::GetGadgetState(DriveListGadget);
    if (sel < 0 || sel >= int(lineLevels.size())) return 0;
    if (lineLevels[size_t(sel)] == 1) {
        for (const DiskRecord& disk : DiskList)
            for (int slot = 0; slot < ShownSlotCount; ++slot) {
                const PartitionSlot& s = disk.Partitions[slot];
                if (s.ListItem == sel && s.Info.PartitionLength != 0) {
                    SelectedDisk = disk;
                    SelectedDisk.SelectedPartition = uint8_t(slot + 1);
                    return 1;
                }
            }
        return 0;
    }
    for (const DiskRecord& disk : DiskList)
        if (disk.ListItem == sel) {
            SelectedDisk = disk;
            SelectedDisk.SelectedPartition = 0;
            return 1;
        }
    return 0;
}

}  // namespace vu
