// The simulated formatter: really creates the requested file system inside the partition of the
// disk image, in place (mkfs.fat at an offset; mkfs.exfat and mkntfs on a loop device over the
// partition), so a sparse image stays sparse; it reports progress to the callback as FormatEx
// does, and refuses FAT32 above 32 GiB as Windows does. Or it reports what a test scripted instead.
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/common/exfat_boot.h"
#include "platform/formatter.h"
#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_host_tool.h"
#include "platform/sim/sim_state.h"
#include "platform/sim/sim_volume_sync_hooks.h"
#include "platform/sim/sim_volumes.h"

namespace vu {
namespace {

using sim::detail::Disks;
using sim::detail::DiskLock;

struct FormatterState {
    std::mutex lock;
    sim::FormatterAvailability availability = sim::FormatterAvailability::Present;
    std::vector<std::pair<uint32_t, uint32_t>> script;
    std::function<void(uint32_t, uint32_t)> listener;
    std::vector<std::string> calls;
};

FormatterState& F() {
    static FormatterState state;
    return state;
}

// Reports to the program's callback; false when it asked to stop.
bool Report(plat::FormatCallback callback, uint32_t command, uint32_t argument) {
    std::function<void(uint32_t, uint32_t)> listener;
    {
        std::lock_guard<std::mutex> l(F().lock);
        listener = F().listener;
    }
    if (listener) listener(command, argument);
    return callback(command, 0, &argument) != 0;
}

struct Target {
    sim::detail::SimDisk disk;
    sim::detail::ByteRange range;
    char letter = 0;
    uint32_t partition = 0;
};

// The volume the letter names: a stale letter's is the old partition's.
std::optional<Target> TargetOf(const std::string& volume) {
    DiskLock lock(Disks().lock);
    sim::detail::SettleRebuilds();
    if (volume.size() < 2 || volume[1] != ':') return std::nullopt;
    auto letter = Disks().letters.find(char(std::toupper(static_cast<unsigned char>(volume[0]))));
    if (letter == Disks().letters.end() || letter->second.disk < 0) return std::nullopt;
    auto disk = Disks().disks.find(letter->second.disk);
    if (disk == Disks().disks.end()) return std::nullopt;
    auto range = sim::detail::LetterRange(letter->second);
    if (!range) return std::nullopt;
    return Target{disk->second, *range, letter->first, letter->second.partition};
}

// Windows records the partition's start in an exFAT boot region; exfatprogs writes 0 there, so
// the field is set here and the boot checksum renewed, for both boot regions.
bool SetExFatPartitionOffset(const Target& target, uint64_t startSector, uint32_t bytesPerSector) {
    std::vector<uint8_t> region(12 * bytesPerSector);
    for (int64_t base : {int64_t(0), int64_t(region.size())}) {
        int64_t at = target.range.offset + base, size = int64_t(region.size());
        if (sim::detail::ReadImage(target.disk, at, region.data(), size) != size) return false;
        for (int i = 0; i < 8; ++i) region[64 + i] = uint8_t(startSector >> (8 * i));
        WriteExFatChecksumSector(region.data(), bytesPerSector);
        if (sim::detail::WriteImage(target.disk, at, region.data(), size) != size) return false;
    }
    return true;
}

// The cluster size FormatEx takes when asked for its default. mkfs.fat would pick one for the size
// of the whole image file, not of the partition it formats at an offset.
uint32_t WindowsDefaultCluster(const std::string& fileSystem, int64_t volumeBytes) {
    constexpr int64_t MiB = 1 << 20;
    struct Row {
        int64_t upTo;
        uint32_t fat16, fat32;
    };
    static const Row rows[] = {{32 * MiB, 512, 512},      {64 * MiB, 1024, 512},      {128 * MiB, 2048, 1024},
                               {256 * MiB, 4096, 2048},   {512 * MiB, 8192, 4096},    {1024 * MiB, 16384, 4096},
                               {2048 * MiB, 32768, 4096}, {8192 * MiB, 65536, 4096},  {16384 * MiB, 65536, 8192},
                               {32768 * MiB, 65536, 16384}};
    for (const Row& row : rows)
        if (volumeBytes <= row.upTo) return fileSystem == "FAT32" ? row.fat32 : row.fat16;
    return fileSystem == "FAT32" ? 32768 : 65536;
}

// mkfs.exfat and mkntfs know no offset: they get the partition as a block device of its own, with
// the disk's sectors, whose size exFAT takes from the device.
bool MakeOnLoopDevice(const Target& target, std::vector<std::string> argv) {
    std::string device =
        sim::detail::AttachLoopDevice(target.disk.image, target.range.offset, target.range.length, nullptr,
                                      sim::detail::SectorBytes(target.disk));
    if (device.empty()) return false;
    argv.push_back(device);
    bool made = sim::detail::RunHostTool(argv) == 0;
    return sim::detail::DetachLoopDevice(device) && made;
}

bool MakeFileSystem(const Target& target, const std::string& fileSystem, const std::string& label,
                    uint32_t clusterSize) {
    uint32_t sectorBytes = sim::detail::SectorBytes(target.disk);
    uint64_t startSector = uint64_t(target.range.offset) / sectorBytes;
    if (fileSystem == "FAT32" || fileSystem == "FAT") {
        // The offset counts sectors of the -S size; the size counts KiB.
        std::vector<std::string> argv = {"mkfs.fat", "-F", fileSystem == "FAT32" ? "32" : "16",
                                         "-S", std::to_string(sectorBytes), "-h", std::to_string(startSector),
                                         "-g", "255/63", "-n", label.empty() ? "NO NAME" : label,
                                         "--offset=" + std::to_string(startSector)};
        uint32_t cluster = clusterSize ? clusterSize : WindowsDefaultCluster(fileSystem, target.range.length);
        argv.insert(argv.end(), {"-s", std::to_string(std::max(cluster / sectorBytes, 1u))});
        argv.insert(argv.end(), {target.disk.image, std::to_string(target.range.length / 1024)});
        return sim::detail::RunHostTool(argv) == 0;
    }
    if (fileSystem == "exFAT") {
        std::vector<std::string> argv = {"mkfs.exfat", "-L", label};
        if (clusterSize) argv.insert(argv.end(), {"-c", std::to_string(clusterSize)});
        return MakeOnLoopDevice(target, argv) && SetExFatPartitionOffset(target, startSector, sectorBytes);
    }
    if (fileSystem == "NTFS") {
        std::vector<std::string> argv = {"mkntfs", "-Q", "-F", "-L", label, "-p", std::to_string(startSector), "-H",
                                         "255", "-S", "63", "-s", std::to_string(sectorBytes)};
        if (clusterSize) argv.insert(argv.end(), {"-c", std::to_string(clusterSize)});
        return MakeOnLoopDevice(target, argv);
    }
    return false;
}

}  // namespace

namespace plat {

FormatterRun RunFormatter(const std::string& volume, uint32_t mediaType, const std::string& fileSystem,
                          const std::string& label, bool quick, uint32_t clusterSize, FormatCallback callback) {
    std::vector<std::pair<uint32_t, uint32_t>> script;
    {
        std::lock_guard<std::mutex> l(F().lock);
        F().calls.push_back("format " + volume + " " + fileSystem + " label " + label + " quick " +
                            std::to_string(int(quick)) + " cluster " + std::to_string(clusterSize) + " media " +
                            std::to_string(mediaType));
        if (F().availability == sim::FormatterAvailability::NoLibrary) return FormatterRun::NoLibrary;
        if (F().availability == sim::FormatterAvailability::NoEntryPoint) return FormatterRun::NoEntryPoint;
        script.swap(F().script);
    }
    if (!script.empty()) {
        for (auto [command, argument] : script)
            if (!Report(callback, command, argument)) break;
        return FormatterRun::Ran;
    }

    // The format counts as one request to the stick: one pulled out by it is no longer there.
    if (!volume.empty()) sim::detail::CountLetterRequest(volume[0]);
    auto target = TargetOf(volume);
    if (!target) {
        Report(callback, 20, 0);  // no media in drive
        return FormatterRun::Ran;
    }
    if (target->disk.readOnly) {
        Report(callback, 7, 0);  // media is write protected
        return FormatterRun::Ran;
    }
    if (target->disk.inUse.count(target->partition) || target->disk.held.count(target->partition)) {
        Report(callback, 8, 0);  // volume is in use: another program holds it open
        return FormatterRun::Ran;
    }
    if (fileSystem == "FAT32" && target->range.length > (int64_t(32) << 30)) {
        Report(callback, 19, 0);  // volume is too big; nothing is written
        return FormatterRun::Ran;
    }
    for (uint32_t percent = 0; percent <= 40; percent += 20)
        if (!Report(callback, 0, percent)) return FormatterRun::Ran;
    bool made = MakeFileSystem(*target, fileSystem, label, clusterSize);
    for (uint32_t percent = 60; made && percent <= 100; percent += 20)
        if (!Report(callback, 0, percent)) return FormatterRun::Ran;
    if (made && !Report(callback, 15, 0)) made = false;
    if (made) sim::detail::BackLetterByImage(target->letter, target->disk.number, target->partition, fileSystem);
    Report(callback, 11, made ? 1 : 0);
    return FormatterRun::Ran;
}

}  // namespace plat

namespace sim {

void SetFormatterAvailability(FormatterAvailability availability) {
    std::lock_guard<std::mutex> l(F().lock);
    F().availability = availability;
}

void ScriptFormatterReports(std::vector<std::pair<uint32_t, uint32_t>> reports) {
    std::lock_guard<std::mutex> l(F().lock);
    F().script = std::move(reports);
}

void OnFormatterReport(std::function<void(uint32_t, uint32_t)> listener) {
    std::lock_guard<std::mutex> l(F().lock);
    F().listener = std::move(listener);
}

std::vector<std::string> FormatterCalls() {
    std::lock_guard<std::mutex> l(F().lock);
    return F().calls;
}

void detail::ResetFormatter() {
    std::lock_guard<std::mutex> l(F().lock);
    F().availability = FormatterAvailability::Present;
    F().script.clear();
    F().listener = nullptr;
    F().calls.clear();
}

}  // namespace sim
}  // namespace vu
