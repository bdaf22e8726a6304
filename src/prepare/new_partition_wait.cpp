// The wait for the new partition's volume; see new_partition_wait.h.
#include "prepare/new_partition_wait.h"

#include <string>

#include "disk/inventory.h"
#include "disk/volume_extents.h"
#include "disk/volume_letters.h"
#include "platform/clock.h"
#include "platform/disk_device.h"

namespace vu {

namespace {

bool Refreshed(int32_t diskNumber) {
    ScanDisks();
    for (const DiskRecord& disk : DiskList)
        if (disk.DiskNumber == diskNumber) {
            SelectedDisk = disk;
            SelectedDisk.SelectedPartition = 0;
            return true;
        }
    return false;
}

// Whether the letter's volume is exactly partition 1 of SelectedDisk: a stale letter still names
// the old partition's volume, whose extents say so.
bool NamesPartition(const std::string& letter) {
    plat::DeviceHandle volume = plat::OpenDevice("\\\\.\\" + letter.substr(0, 2), false);
    if (volume == plat::NoDevice) return false;
    auto extents = QueryVolumeExtents(volume);
    plat::CloseDevice(volume);
    return extents && IsPartition(*extents, SelectedDisk.DiskNumber, SelectedDisk.Partitions[0].Info);
}

}  // namespace

NewPartitionWait WaitForNewPartition(int32_t diskNumber, const PartitionExtent& planned, uint32_t sectorBytes) {
    const int64_t start = plat::TickCount();
    int64_t letterless = -1;  // since when the partition is there without a letter
    for (;;) {
        PartitionSlot& slot = SelectedDisk.Partitions[0];
        bool placed = Refreshed(diskNumber) && slot.Info.StartingOffset == planned.start * int64_t(sectorBytes) &&
                      slot.Info.PartitionLength == planned.count * int64_t(sectorBytes);
        if (placed && !slot.Letter.empty() && NamesPartition(slot.Letter)) return NewPartitionWait::Ready;
        letterless = placed && slot.Letter.empty() ? (letterless < 0 ? plat::TickCount() : letterless) : -1;
        // Windows gives a new volume a letter of its own as a rule; a second one from here would
        // leave the volume with two.
        if (letterless >= 0 && plat::TickCount() - letterless >= WindowsLetterWaitMs) {
            std::string letter =
                AssignDriveLetter("\\device\\harddisk" + std::to_string(diskNumber) + "\\partition1");
            if (letter.empty()) return NewPartitionWait::NoLetter;
            slot.Letter = SelectedDisk.Letters = letter;
            if (NamesPartition(letter)) return NewPartitionWait::Ready;
        }
        if (plat::TickCount() - start >= NewPartitionTimeoutMs) return NewPartitionWait::NotShown;
        plat::Sleep(NewPartitionPollMs);
    }
}

}  // namespace vu
