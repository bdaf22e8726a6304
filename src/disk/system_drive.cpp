// The system-drive rule; see system_drive.h.
#include "disk/system_drive.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/globals.h"
#include "disk/drive_layout.h"
#include "platform/device_layouts.h"

namespace vu {

namespace {

char Upper(char c) { return char(std::toupper(static_cast<unsigned char>(c))); }

bool AnyIn(const std::vector<uint32_t>& numbers, const std::vector<uint32_t>& system) {
    return std::any_of(numbers.begin(), numbers.end(),
                       [&](uint32_t n) { return std::find(system.begin(), system.end(), n) != system.end(); });
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

std::optional<std::vector<uint32_t>> VolumeDiskNumbers(plat::DeviceHandle volume) {
    // One extent for a plain volume; a spanned or striped one reports how many it has.
    std::vector<uint8_t> buffer(DiskExtentsHeadSize + DiskExtentSize);
    for (int attempt = 0;; ++attempt) {
        std::fill(buffer.begin(), buffer.end(), 0);
        if (plat::DeviceControl(volume, IoctlVolumeGetVolumeDiskExtents, nullptr, 0, buffer.data(),
                                uint32_t(buffer.size())))
            break;
        uint32_t count;
        std::memcpy(&count, buffer.data(), 4);
        size_t needed = DiskExtentsHeadSize + size_t(count) * DiskExtentSize;
        if (plat::LastDeviceError() != ErrorMoreData || attempt == 2 || needed <= buffer.size() || count > 4096)
            return std::nullopt;
        buffer.resize(needed);
    }
    uint32_t count;
    std::memcpy(&count, buffer.data(), 4);
    if (count == 0 || count > (buffer.size() - DiskExtentsHeadSize) / DiskExtentSize) return std::nullopt;
    std::vector<uint32_t> disks;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t disk;
        std::memcpy(&disk, buffer.data() + DiskExtentsHeadSize + i * DiskExtentSize, 4);
        disks.push_back(disk);
    }
    return disks;
}

std::optional<std::vector<uint32_t>> SystemDiskNumbers() {
    if (SystemDriveLetter.empty()) return std::vector<uint32_t>{};
    plat::DeviceHandle volume = plat::OpenDevice("\\\\.\\" + std::string(1, Upper(SystemDriveLetter[0])) + ":", false);
    if (volume == plat::NoDevice) return std::nullopt;
    auto disks = VolumeDiskNumbers(volume);
    plat::CloseDevice(volume);
    return disks;
}

WriteRefusal DiskWriteRefusal(int32_t diskNumber) {
    auto system = SystemDiskNumbers();
    if (!system || AnyIn({uint32_t(diskNumber)}, *system)) return WriteRefusal::SystemDrive;
    plat::DeviceHandle drive = plat::OpenDevice("\\\\.\\PHYSICALDRIVE" + std::to_string(diskNumber), false);
    if (drive == plat::NoDevice) return WriteRefusal::None;
    bool readable = QueryDriveLayout(drive).has_value();
    plat::CloseDevice(drive);
    return readable ? WriteRefusal::None : WriteRefusal::UnreadableLayout;
}

WriteRefusal SelectedDiskWriteRefusal() {
    if (LettersHoldSystemDrive(SelectedDisk.Letters)) return WriteRefusal::SystemDrive;
    return DiskWriteRefusal(SelectedDisk.DiskNumber);
}

WriteRefusal VolumeWriteRefusal(plat::DeviceHandle volume) {
    auto disks = VolumeDiskNumbers(volume);
    auto system = SystemDiskNumbers();
    return !disks || !system || AnyIn(*disks, *system) ? WriteRefusal::SystemDrive : WriteRefusal::None;
}

std::string RefusalStatusText(WriteRefusal refusal, int32_t diskNumber) {
    if (refusal == WriteRefusal::UnreadableLayout)
        return "WARNING - write access to Disk" + std::to_string(diskNumber) +
               " disabled: its partition table can't be read!";
    return "WARNING - write access to System Drive disabled!";
}

std::string RefusalBoxText(WriteRefusal refusal) {
    if (refusal == WriteRefusal::UnreadableLayout)
        return "Sorry, operation not permitted!\r\nThe partition table of the selected disk can't be read.";
    return "Sorry, operation not permitted!\r\nYou selected a System Drive.";
}

}  // namespace vu
