// Our own FAT32 formatter and the choice of formatter; see fat32_format.h.
#include "prepare/fat32_format.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

#include "core/globals.h"
#include "core/status_bar.h"
#include "disk/inventory.h"
#include "disk/raw_access.h"
#include "disk/volume_extents.h"
#include "prepare/file_system.h"

namespace vu {

namespace {

// Lets sector I/O on the volume handle reach the whole partition, whatever file system Windows
// still has in mind for it. Not needed on a volume Windows sees as RAW, so its refusal is no error.
constexpr uint32_t FsctlAllowExtendedDasdIo = 0x00090083;

struct Extent {
    uint64_t first = 0, count = 0;
};

// The formatter's progress texts and failures, in the words of the system formatter's reports.
bool Report(uint32_t command, uint32_t argument = 0) { return FormatProgress(command, 0, &argument) != 0; }

int32_t Fail(const std::string& text) {
    DrawProgressBar(StatusBarGadget, text, 0);
    FormatFailed = 1;
    return 0;
}

// The label, the serial and the label entry's time from the clock, the geometry from the drive.
Fat32Identity IdentityOf(const std::string& labelText) {
    Fat32Identity identity;
    identity.label.fill(' ');
    std::copy(labelText.begin(), labelText.end(), identity.label.begin());
    identity.hasLabel = !labelText.empty();

    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    if (const std::tm* t = std::localtime(&seconds)) local = *t;
    int year = std::max(local.tm_year + 1900, 1980), month = local.tm_mon + 1, day = std::max(local.tm_mday, 1);
    auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    int hundredths = int(milliseconds % 1000 / 10);
    identity.serial = Fat32Serial(year, month, day, local.tm_hour, local.tm_min, local.tm_sec, hundredths);
    identity.date = uint16_t((year - 1980) << 9 | month << 5 | day);
    identity.time = uint16_t(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);

    const DiskGeometryEx& geometry = SelectedDisk.Geometry;
    if (geometry.SectorsPerTrack > 0 && geometry.SectorsPerTrack < 0x10000)
        identity.sectorsPerTrack = uint16_t(geometry.SectorsPerTrack);
    if (geometry.TracksPerCylinder > 0 && geometry.TracksPerCylinder < 0x10000)
        identity.heads = uint16_t(geometry.TracksPerCylinder);
    return identity;
}

// Our formatter on partition 1 of SelectedDisk, with the reports the system's formatter would make;
// the volume stays locked in `kept` when the file system is written.
int32_t FormatOwnFat32(const std::string& volumeName, const std::string& label, bool quickFormat,
                       uint32_t clusterBytes, plat::DeviceHandle& kept) {
    if (!Report(15)) return 0;  // "Creating file system"; a cancel stops here
    auto labelText = Fat32LabelText(label);
    if (!labelText) return Report(12), 0;  // "Bad label"

    uint32_t sectorBytes = SelectedDisk.Geometry.BytesPerSector;
    const PartitionInformation& partition = SelectedDisk.Partitions[0].Info;
    if (sectorBytes == 0) return Report(3), 0;  // "Incompatible File System"
    Fat32Plan plan = PlanFat32(uint64_t(partition.PartitionLength) / sectorBytes, sectorBytes,
                               uint64_t(partition.StartingOffset) / sectorBytes, clusterBytes);
    switch (plan.fit) {
        case Fat32Fit::Fits: break;
        case Fat32Fit::TooSmall: return Fail("Volume is too small");
        case Fat32Fit::TooBig: return Report(19), 0;
        case Fat32Fit::UnsupportedClusterSize: return Report(16), 0;
        case Fat32Fit::UnsupportedSectorSize: return Report(3), 0;
    }

    PartitionVolumeError error;
    plat::DeviceHandle volume = OpenPartitionVolume(volumeName, SelectedDisk.DiskNumber, partition, true, &error);
    if (volume == plat::NoDevice)
        return Fail(error == PartitionVolumeError::NotThePartition
                        ? NotThePartitionText(volumeName, SelectedDisk.DiskNumber, 0)
                        : "Error open volume " + volumeName + " With lock");
    plat::DeviceControl(volume, FsctlAllowExtendedDasdIo, nullptr, 0, nullptr, 0);
    Fat32WriteResult result = WriteFat32(volume, plan.layout, IdentityOf(*labelText), quickFormat,
                                         [](int percent) { return Report(0, uint32_t(percent)); });
    if (result == Fat32WriteResult::Done && Report(11, 1)) {  // "Creating file system completed"
        kept = volume;
        return 1;
    }
    // Windows mounts what is now on the volume at its next use.
    DismountVolume(volume);
    UnlockVolume(volume);
    plat::CloseDevice(volume);
    return result == Fat32WriteResult::WriteFailed ? Fail("Error writing to the volume " + volumeName) : 0;
}

}  // namespace

Fat32WriteResult WriteFat32(plat::DeviceHandle volume, const Fat32Layout& layout, const Fat32Identity& identity,
                            bool quickFormat, const std::function<bool(int percent)>& progress) {
    uint32_t sectorBytes = layout.bytesPerSector;
    uint64_t fatStart = layout.reservedSectors, dataStart = layout.DataStart();
    std::vector<Extent> zeroed = {{0, layout.reservedSectors}, {fatStart, layout.fatSectors},
                                  {fatStart + layout.fatSectors, layout.fatSectors}};
    if (!quickFormat) zeroed.push_back({dataStart, layout.totalSectors - dataStart});

    uint64_t total = 0, done = 0, largest = 0;
    for (const Extent& e : zeroed) total += e.count, largest = std::max(largest, e.count);
    uint64_t blockSectors = std::min<uint64_t>(Fat32ZeroBlockBytes / sectorBytes, largest);
    std::vector<uint8_t> zero(size_t(blockSectors) * sectorBytes, 0);
    if (!progress(0)) return Fat32WriteResult::Cancelled;
    for (const Extent& e : zeroed)
        for (uint64_t at = e.first, end = e.first + e.count; at < end;) {
            uint64_t count = std::min(blockSectors, end - at);
            if (WriteSectors(volume, sectorBytes, int64_t(at), int64_t(count), zero.data()) == 0)
                return Fat32WriteResult::WriteFailed;
            at += count, done += count;
            if (!progress(int(done * 100 / total))) return Fat32WriteResult::Cancelled;
        }

    std::vector<uint8_t> root = Fat32RootCluster(layout, identity), fat = Fat32FirstFatSector(layout);
    std::vector<uint8_t> info = Fat32InfoSector(layout), boot = Fat32BootSector(layout, identity);
    struct Piece {
        uint64_t sector;
        const std::vector<uint8_t>& bytes;
    };
    // The boot sector last: until it is written the volume claims no file system.
    const Piece pieces[] = {{dataStart, root}, {fatStart, fat}, {fatStart + layout.fatSectors, fat}, {1, info},
                            {Fat32BackupSector, boot}, {Fat32BackupSector + 1, info}, {0, boot}};
    for (const Piece& piece : pieces)
        if (WriteSectors(volume, sectorBytes, int64_t(piece.sector), int64_t(piece.bytes.size() / sectorBytes),
                         piece.bytes.data()) == 0)
            return Fat32WriteResult::WriteFailed;
    return Fat32WriteResult::Done;
}

int32_t CreateFileSystem(const std::string& volumeName, const std::string& fileSystemName, const std::string& label,
                         int32_t quickFormat, int32_t clusterSize, plat::DeviceHandle& volume) {
    bool fat32 = fileSystemName == "FAT32";
    uint64_t volumeBytes = uint64_t(SelectedDisk.Partitions[0].Info.PartitionLength);
    if (fat32 && volumeBytes > SystemFat32LimitBytes)
        return FormatOwnFat32(volumeName, label, quickFormat != 0, uint32_t(clusterSize), volume);
    if (FormatVolume(volumeName, fileSystemName, label, quickFormat, clusterSize)) return 1;
    if (!fat32 || !FormatterFoundVolumeTooBig()) return 0;
    // The refusal set FormatFailed; a cancel pressed meanwhile still counts.
    FormatFailed = 0;
    if (AbortRequested) return FormatFailed = 1, 0;
    return FormatOwnFat32(volumeName, label, quickFormat != 0, uint32_t(clusterSize), volume);
}

}  // namespace vu
