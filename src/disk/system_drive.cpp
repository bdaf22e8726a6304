// The system-drive rule; see system_drive.h.
#include "disk/system_drive.h"

#include <algorithm>
#include <cctype>

#include "core/globals.h"
#include "disk/drive_layout.h"
#include "disk/system_disks.h"
#include "disk/volume_extents.h"
#include "platform/device_layouts.h"

namespace vu {

namespace {

char Upper(char c) { return char(std::toupper(static_cast<unsigned char>(c))); }

bool AnyIn(const std::vector<uint32_t>& numbers, const std::vector<uint32_t>& system) {
    return std::any_of(numbers.begin(), numbers.end(),
                       [&](uint32_t n) { return std::find(system.begin(), system.end(), n) != system.end(); });
}

// A partition of the Logical Disk Manager or of Storage Spaces: its disk's volumes are made of
// pieces of several disks, which a new table on one of them destroys.
bool IsPooled(const LayoutEntry& entry) {
    const uint8_t type = entry.Info.PartitionType;
    if (entry.GptType.empty())
        return type == PartitionTypeLdm || type == PartitionTypeSpaces || type == PartitionTypeSpacesData;
    return entry.GptType == GptTypeLdmMetadata || entry.GptType == GptTypeLdmData || entry.GptType == GptTypeSpaces;
}

}  // namespace

bool IsSystemDriveLetter(const std::string& letter) {
    return !letter.empty() && !SystemDriveLetter.empty() && Upper(letter[0]) == Upper(SystemDriveLetter[0]);
}

bool LettersHoldSystemDrive(const std::string& letters) {
    // Each letter is written with its colon and separated by a blank: "E: F:".
    for (size_t at = 0; at < letters.size(); ++at)
        if ((at == 0 || letters[at - 1] == ' ') && IsSystemDriveLetter(letters.substr(at, 1))) return true;
    return false;
}

WriteRefusal DiskWriteRefusal(int32_t diskNumber) {
    auto system = SystemDiskNumbers();
    if (!system) return WriteRefusal::SystemUnknown;
    if (AnyIn({uint32_t(diskNumber)}, *system)) return WriteRefusal::SystemDrive;
    plat::DeviceHandle drive = plat::OpenDevice("\\\\.\\PHYSICALDRIVE" + std::to_string(diskNumber), false);
    if (drive == plat::NoDevice) return WriteRefusal::None;
    auto layout = QueryDriveLayout(drive);
    plat::CloseDevice(drive);
    if (!layout) return WriteRefusal::UnreadableLayout;
    return std::any_of(layout->Entries.begin(), layout->Entries.end(), IsPooled) ? WriteRefusal::PooledDisk
                                                                                 : WriteRefusal::None;
}

WriteRefusal SelectedDiskWriteRefusal() {
    if (LettersHoldSystemDrive(SelectedDisk.Letters)) return WriteRefusal::SystemDrive;
    return DiskWriteRefusal(SelectedDisk.DiskNumber);
}

WriteRefusal VolumeWriteRefusal(plat::DeviceHandle volume) {
    auto system = SystemDiskNumbers();
    if (!system) return WriteRefusal::SystemUnknown;
    auto disks = VolumeDiskNumbers(volume);
    return !disks || AnyIn(*disks, *system) ? WriteRefusal::SystemDrive : WriteRefusal::None;
}

std::string RefusalStatusText(WriteRefusal refusal, int32_t diskNumber) {
    std::string disk = "Disk" + std::to_string(diskNumber);
    switch (refusal) {
        case WriteRefusal::UnreadableLayout:
            return "WARNING - write access to " + disk + " disabled: its partition table can't be read!";
        case WriteRefusal::PooledDisk:
            return "WARNING - write access to " + disk + " disabled: it is a dynamic disk or in a storage pool!";
        case WriteRefusal::SystemUnknown:
            return "WARNING - write access disabled: the disks of Windows can't be told!";
        case WriteRefusal::None:
        case WriteRefusal::SystemDrive:
            break;
    }
    return "WARNING - write access to System Drive disabled!";
}

std::string RefusalBoxText(WriteRefusal refusal) {
    switch (refusal) {
        case WriteRefusal::UnreadableLayout:
            return "Sorry, operation not permitted!\r\nThe partition table of the selected disk can't be read.";
        case WriteRefusal::PooledDisk:
            return "Sorry, operation not permitted!\r\n"
                   "The selected disk is a dynamic disk or belongs to a storage pool.";
        case WriteRefusal::SystemUnknown:
            return "Sorry, operation not permitted!\r\n"
                   "The disks that Windows needs can't be told apart from the others.";
        case WriteRefusal::None:
        case WriteRefusal::SystemDrive:
            break;
    }
    return "Sorry, operation not permitted!\r\nYou selected a System Drive.";
}

}  // namespace vu
