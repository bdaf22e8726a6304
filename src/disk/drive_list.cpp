// The drive list; see drive_list.h.
#include "disk/drive_list.h"

#include <optional>
#include <vector>

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "core/transfer_progress.h"
#include "disk/chosen_disk.h"
#include "platform/gui.h"

namespace vu {

namespace {

// What each line of the tree shows, in line order; only FillDriveList adds lines.
struct Line {
    int level = 0;
    DiskIdentity disk;
    int slot = -1;  // the partition slot of a level 1 line
};
std::vector<Line> lines;

// The line the user chose, kept across rebuilds by its disk: a line number would pass to another
// disk when disks come or go above it. Until a line has been selected once the first is taken.
struct Choice {
    DiskIdentity disk;
    int slot = -1;
};
std::optional<Choice> choice;

bool Offered(const DiskRecord& disk) {
    return disk.BusTypeName == "USB" || (EnableFixedDisks && disk.DriveTypeCode == 3);
}

int AddLine(const std::string& text, int image, const DiskRecord& disk, int slot) {
    int level = slot < 0 ? 0 : 1;
    plat::AddGadgetItem(DriveListGadget, text, image, level);
    lines.push_back({level, IdentityOf(disk), slot});
    return int(lines.size()) - 1;
}

// The line of the chosen disk's partition, or of the disk when that partition is gone; -1 when the
// disk is gone: another disk is never chosen for the user.
int ChosenLine() {
    if (!choice) return lines.empty() ? -1 : 0;
    int diskLine = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!SameDisk(lines[i].disk, choice->disk)) continue;
        if (lines[i].slot == choice->slot) return int(i);
        if (lines[i].level == 0) diskLine = int(i);
    }
    return diskLine;
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
    // A tree without the lines of the last rebuild is a new one: nothing was chosen in it yet.
    if (plat::CountGadgetItems(DriveListGadget) != int(lines.size())) {
        lines.clear();
        choice.reset();
    }
    int selected = plat::GetGadgetState(DriveListGadget);
    if (selected >= 0 && selected < int(lines.size()))
        choice = Choice{lines[size_t(selected)].disk, lines[size_t(selected)].slot};
    int32_t found = ScanDisks();
    plat::ClearGadgetItems(DriveListGadget);
    lines.clear();
    for (DiskRecord& disk : DiskList) {
        if (!Offered(disk)) continue;
        disk.ListItem = AddLine(DiskLineText(disk), DiskIconImage, disk, -1);
        for (int slot = 0; slot < ShownSlotCount; ++slot) {
            if (disk.Partitions[slot].Info.PartitionLength == 0) continue;
            disk.Partitions[slot].ListItem = AddLine(PartitionLineText(disk, slot), PartitionIconImage, disk, slot);
        }
    }
    // Partition lines stay visible under their disks.
    plat::ExpandAllGadgetItems(DriveListGadget);
    if (!OperationBusy) {
        DrawProgressBar(StatusBarGadget,
                        lines.empty() ? "Insert a USB Flash Drive ..." : "Select the USB Flash Drive, please", 0);
    }
    plat::SetGadgetState(DriveListGadget, ChosenLine());
    return found;
}

int32_t GetSelectedDrive() {
    SelectedDisk = DiskRecord{};
    SelectedDisk.ListItem = 0;
    int sel = plat::GetGadgetState(DriveListGadget);
    if (sel < 0 || sel >= int(lines.size())) return 0;
    if (lines[size_t(sel)].level == 1) {
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
