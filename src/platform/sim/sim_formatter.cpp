// The simulated formatter: really creates the requested file system inside the partition of the
// disk image (mkfs.fat, mkfs.exfat, mkntfs on a copy of the partition, written back), reporting
// progress to the callback as FormatEx does; or reports what a test scripted instead.
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <unistd.h>

#include "platform/formatter.h"
#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_host_tool.h"
#include "platform/sim/sim_state.h"
#include "platform/sim/sim_volume_sync_hooks.h"
#include "platform/sim/sim_volumes.h"
#include "prepare/exfat_boot.h"

namespace fs = std::filesystem;

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

std::optional<Target> TargetOf(const std::string& volume) {
    DiskLock lock(Disks().lock);
    if (volume.size() < 2 || volume[1] != ':') return std::nullopt;
    auto letter = Disks().letters.find(char(std::toupper(static_cast<unsigned char>(volume[0]))));
    if (letter == Disks().letters.end() || letter->second.disk < 0) return std::nullopt;
    auto disk = Disks().disks.find(letter->second.disk);
    if (disk == Disks().disks.end()) return std::nullopt;
    auto range = sim::detail::PartitionRange(disk->second, letter->second.partition);
    if (!range) return std::nullopt;
    return Target{disk->second, *range, letter->first, letter->second.partition};
}

bool CopyRange(const sim::detail::SimDisk& disk, int64_t offset, int64_t length, const std::string& file, bool out) {
    constexpr int64_t Chunk = 1 << 20;
    std::vector<char> buffer(Chunk);
    FILE* f = std::fopen(file.c_str(), out ? "wb" : "rb");
    if (!f) return false;
    bool ok = true;
    for (int64_t done = 0; ok && done < length; done += Chunk) {
        int64_t n = std::min(Chunk, length - done);
        if (out) ok = sim::detail::ReadImage(disk, offset + done, buffer.data(), n) == n &&
                      std::fwrite(buffer.data(), 1, size_t(n), f) == size_t(n);
        else ok = std::fread(buffer.data(), 1, size_t(n), f) == size_t(n) &&
                  sim::detail::WriteImage(disk, offset + done, buffer.data(), n) == n;
    }
    std::fclose(f);
    return ok;
}

// Windows records the partition's start in an exFAT boot region; exfatprogs on a plain file
// writes 0, so the field is set here and the boot checksum renewed, for both boot regions.
bool SetExFatPartitionOffset(const std::string& file, uint64_t startSector, uint32_t bytesPerSector) {
    FILE* f = std::fopen(file.c_str(), "r+b");
    if (!f) return false;
    std::vector<uint8_t> region(12 * bytesPerSector);
    bool ok = true;
    for (long base : {0L, long(12 * bytesPerSector)}) {
        ok = ok && std::fseek(f, base, SEEK_SET) == 0 && std::fread(region.data(), 1, region.size(), f) == region.size();
        if (!ok) break;
        for (int i = 0; i < 8; ++i) region[64 + i] = uint8_t(startSector >> (8 * i));
        WriteExFatChecksumSector(region.data(), bytesPerSector);
        ok = std::fseek(f, base, SEEK_SET) == 0 && std::fwrite(region.data(), 1, region.size(), f) == region.size();
    }
    return std::fclose(f) == 0 && ok;
}

bool MakeFileSystem(const Target& target, const std::string& fileSystem, const std::string& label,
                    uint32_t clusterSize, const std::string& file) {
    uint32_t sectorBytes = sim::detail::SectorBytes(target.disk);
    uint64_t startSector = uint64_t(target.range.offset) / sectorBytes;
    std::vector<std::string> argv;
    if (fileSystem == "FAT32" || fileSystem == "FAT") {
        argv = {"mkfs.fat", "-F", fileSystem == "FAT32" ? "32" : "16", "-S", std::to_string(sectorBytes), "-h",
                std::to_string(startSector), "-g", "255/63", "-n", label.empty() ? "NO NAME" : label};
        if (clusterSize) argv.insert(argv.end(), {"-s", std::to_string(clusterSize / sectorBytes)});
    } else if (fileSystem == "exFAT") {
        argv = {"mkfs.exfat", "-L", label};
        if (clusterSize) argv.insert(argv.end(), {"-c", std::to_string(clusterSize)});
    } else if (fileSystem == "NTFS") {
        argv = {"mkntfs", "-Q", "-F", "-L", label, "-p", std::to_string(startSector), "-H", "255", "-S", "63",
                "-s", std::to_string(sectorBytes)};
        if (clusterSize) argv.insert(argv.end(), {"-c", std::to_string(clusterSize)});
    } else {
        return false;
    }
    argv.push_back(file);
    if (sim::detail::RunHostTool(argv) != 0) return false;
    return fileSystem != "exFAT" || SetExFatPartitionOffset(file, startSector, sectorBytes);
}

}  // namespace

namespace plat {

FormatterRun RunFormatter(const std::string& volume, const std::string& fileSystem, const std::string& label,
                          bool quick, uint32_t clusterSize, FormatCallback callback) {
    std::vector<std::pair<uint32_t, uint32_t>> script;
    {
        std::lock_guard<std::mutex> l(F().lock);
        F().calls.push_back("format " + volume + " " + fileSystem + " label " + label + " quick " +
                            std::to_string(int(quick)) + " cluster " + std::to_string(clusterSize));
        if (F().availability == sim::FormatterAvailability::NoLibrary) return FormatterRun::NoLibrary;
        if (F().availability == sim::FormatterAvailability::NoEntryPoint) return FormatterRun::NoEntryPoint;
        script.swap(F().script);
    }
    if (!script.empty()) {
        for (auto [command, argument] : script)
            if (!Report(callback, command, argument)) break;
        return FormatterRun::Ran;
    }

    auto target = TargetOf(volume);
    if (!target) {
        Report(callback, 20, 0);  // no media in drive
        return FormatterRun::Ran;
    }
    for (uint32_t percent = 0; percent <= 40; percent += 20)
        if (!Report(callback, 0, percent)) return FormatterRun::Ran;
    std::string file = (fs::temp_directory_path() / ("vu-format-" + std::to_string(getpid()) + "-" +
                                                     std::to_string(target->disk.number) + ".img")).string();
    bool made = CopyRange(target->disk, target->range.offset, target->range.length, file, true) &&
                MakeFileSystem(*target, fileSystem, label, clusterSize, file);
    for (uint32_t percent = 60; made && percent <= 100; percent += 20)
        if (!Report(callback, 0, percent)) {
            std::remove(file.c_str());
            return FormatterRun::Ran;
        }
    if (made && !Report(callback, 15, 0)) made = false;
    made = made && CopyRange(target->disk, target->range.offset, target->range.length, file, false);
    std::remove(file.c_str());
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
