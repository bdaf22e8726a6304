// The volume sync of the simulated PC: writes the host folder of a backed drive letter into the
// file system inside its disk image; see sim_volume_sync.h. Any thread; holds the disk lock while
// it touches an image.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_exfat_walk.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_fs_probe.h"
#include "platform/sim/sim_host_tool.h"
#include "platform/sim/sim_state.h"
#include "platform/sim/sim_volume_sync.h"
#include "platform/sim/sim_volume_sync_hooks.h"

namespace fs = std::filesystem;

namespace vu::sim {
namespace {

using detail::DiskLock;
using detail::Disks;

struct Backed {
    int disk = 0;
    uint32_t partition = 0;
    bool exFat = false;
    bool changed = false;
    std::string identity;  // of the file system it is backed by: its name and volume serial
};

struct SyncState {
    std::mutex lock;
    std::map<char, Backed> letters;
    std::vector<std::string> failures;  // of syncs nobody asked for, kept for SyncVolumes
};

SyncState& S() {
    static SyncState state;
    return state;
}

using Lock = std::lock_guard<std::mutex>;

char Upper(char letter) { return char(std::toupper(static_cast<unsigned char>(letter))); }

int Mtools(const std::string& tool, const std::string& drive, const std::vector<std::string>& args) {
    // The skip check lets mtools accept the geometry fields Windows and mkfs leave as they are.
    std::vector<std::string> argv = {"env", "MTOOLS_SKIP_CHECK=1", tool, "-i", drive};
    argv.insert(argv.end(), args.begin(), args.end());
    return detail::RunHostTool(argv);
}

std::vector<std::string> TopLevel(const std::string& folder) {
    std::vector<std::string> entries;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(folder, ec)) entries.push_back(e.path().string());
    return entries;
}

bool MirrorFat(const std::string& image, int64_t offset, const std::string& folder,
               const std::set<std::string>& hidden, std::string& reason) {
    std::string drive = image + "@@" + std::to_string(offset);
    // mdeltree fails on a pattern that matches nothing, exactly as on a real fault; a folder made
    // first guarantees a match, so its exit code tells them apart.
    Mtools("mmd", drive, {"::/VUSYNC.TMP"});
    if (int code = Mtools("mdeltree", drive, {"::/*"}); code != 0)
        return reason = "mdeltree could not empty the volume (exit " + std::to_string(code) + ")", false;
    std::vector<std::string> args = {"-s", "-D", "o"};
    std::vector<std::string> entries = TopLevel(folder);
    if (!entries.empty()) {
        args.insert(args.end(), entries.begin(), entries.end());
        args.push_back("::/");
        if (int code = Mtools("mcopy", drive, args); code != 0)
            return reason = "mcopy failed (exit " + std::to_string(code) + ")", false;
    }
    if (!hidden.empty()) {
        args = {"+h"};
        for (const auto& path : hidden) args.push_back("::/" + path);
        if (int code = Mtools("mattrib", drive, args); code != 0)
            return reason = "mattrib +h failed (exit " + std::to_string(code) + ")", false;
    }
    return true;
}

// The tree of `from` copied into the empty folder `to`.
bool CopyTree(const std::string& from, const std::string& to, std::string& reason) {
    std::error_code ec;
    for (auto& e : fs::directory_iterator(to, ec)) {
        fs::remove_all(e.path(), ec);
        if (ec) return reason = "cannot remove " + e.path().filename().string() + ": " + ec.message(), false;
    }
    fs::copy(from, to, fs::copy_options::recursive, ec);
    if (ec) return reason = "cannot copy the files: " + ec.message(), false;
    return true;
}

// exfat-fuse refuses a plain file when run as root ("block device required"), so the partition
// is attached to a loop device for it.
bool MirrorExFat(const std::string& image, int64_t offset, int64_t length, const std::string& folder,
                 const std::set<std::string>& hidden, std::string& reason) {
    std::string device = detail::AttachLoopDevice(image, offset, length, &reason);
    if (device.empty()) return false;
    std::string pattern = (fs::temp_directory_path() / "vu-sync-XXXXXX").string();
    bool ok = mkdtemp(pattern.data()) != nullptr;
    std::string mountPoint = pattern;
    if (!ok) {
        reason = "cannot make a mount point";
    } else if (detail::RunHostTool({"mount.exfat-fuse", device, mountPoint}) != 0) {
        reason = "mount.exfat-fuse failed";
        ok = false;
    } else {
        ok = CopyTree(folder, mountPoint, reason);
        if (detail::RunHostTool({"umount", mountPoint}) != 0) {
            if (ok) reason = "umount failed";
            ok = false;
        }
    }
    if (!detail::DetachLoopDevice(device) && ok) {
        reason = "losetup -d " + device + " failed";
        ok = false;
    }
    std::error_code ec;
    fs::remove(mountPoint, ec);
    if (!ok) return false;
    // The FUSE driver keeps no attributes; they are set in the entry sets once it has let go.
    std::string error;
    if (!detail::HideInExFat(image, offset, hidden, &error)) return reason = "hidden attribute: " + error, false;
    return true;
}

// Called with the disk lock held.
bool SyncLetter(char letter, const Backed& backed, std::string& reason) {
    auto disk = Disks().disks.find(backed.disk);
    if (disk == Disks().disks.end()) return reason = "its disk is gone", false;
    auto range = detail::PartitionRange(disk->second, backed.partition);
    if (!range) return reason = "its partition is gone", false;
    std::string folder = DriveRoot(letter);
    std::set<std::string> hidden = detail::HiddenUnderDrive(letter);
    return backed.exFat ? MirrorExFat(disk->second.image, range->offset, range->length, folder, hidden, reason)
                        : MirrorFat(disk->second.image, range->offset, folder, hidden, reason);
}

// The file system now on a partition, and its identity: name and volume serial, "" for none.
std::pair<std::string, std::string> FileSystemNow(int diskNumber, uint32_t partition) {
    DiskLock disks(Disks().lock);
    auto disk = Disks().disks.find(diskNumber);
    if (disk == Disks().disks.end()) return {};
    auto range = detail::PartitionRange(disk->second, partition);
    if (!range) return {};
    auto read = [&](int64_t offset, void* buffer, size_t size) {
        return offset >= 0 && offset + int64_t(size) <= range->length &&
               detail::ReadImage(disk->second, range->offset + offset, buffer, int64_t(size)) == int64_t(size);
    };
    auto info = ProbeFileSystem(read);
    uint8_t boot[512];
    if (!info || !read(0, boot, sizeof boot)) return {};
    size_t serialAt = info->name == "FAT32" ? 67 : info->name == "FAT" ? 39 : info->name == "exFAT" ? 100 : 72;
    char serial[20];
    std::snprintf(serial, sizeof serial, "%02x%02x%02x%02x", boot[serialAt + 3], boot[serialAt + 2],
                  boot[serialAt + 1], boot[serialAt]);
    return {info->name, info->name + " " + serial};
}

// Syncs the changed backed letters that `which` selects; the reasons of failures, one a line.
template <typename Which>
std::vector<std::string> SyncChanged(Which which) {
    DiskLock disks(Disks().lock);
    std::vector<std::pair<char, Backed>> due;
    {
        Lock l(S().lock);
        for (auto& [letter, backed] : S().letters)
            if (backed.changed && which(backed)) {
                due.emplace_back(letter, backed);
                // Cleared first, so that a change made while the sync runs is synced next time.
                backed.changed = false;
            }
    }
    std::vector<std::string> failures;
    for (const auto& [letter, backed] : due) {
        std::string reason;
        if (SyncLetter(letter, backed, reason)) continue;
        failures.push_back(std::string(1, letter) + ": " + reason);
        Lock l(S().lock);
        auto it = S().letters.find(letter);
        if (it != S().letters.end()) it->second.changed = true;
    }
    return failures;
}

void Keep(const std::vector<std::string>& failures) {
    Lock l(S().lock);
    S().failures.insert(S().failures.end(), failures.begin(), failures.end());
}

}  // namespace

bool SyncVolumes(std::string* reason) {
    std::vector<std::string> failures = SyncChanged([](const Backed&) { return true; });
    {
        Lock l(S().lock);
        failures.insert(failures.begin(), S().failures.begin(), S().failures.end());
        S().failures.clear();
    }
    if (reason) {
        reason->clear();
        for (const auto& f : failures) *reason += (reason->empty() ? "" : "; ") + f;
    }
    return failures.empty();
}

namespace detail {

void BackLetterByImage(char letter, int disk, uint32_t partition, const std::string& fileSystem) {
    letter = Upper(letter);
    std::string identity = FileSystemNow(disk, partition).second;
    EmptyDriveFolder(letter);
    bool fat = fileSystem == "FAT32" || fileSystem == "FAT" || fileSystem == "FAT12" || fileSystem == "FAT16";
    Lock l(S().lock);
    if (fat || fileSystem == "exFAT") S().letters[letter] = Backed{disk, partition, !fat, false, identity};
    else S().letters.erase(letter);
}

void RemountIfReformatted(int disk, uint32_t partition) {
    DiskLock disks(Disks().lock);
    auto [name, identity] = FileSystemNow(disk, partition);
    for (const auto& [letter, where] : Disks().letters) {
        if (where.disk != disk || where.partition != partition) continue;
        bool same;
        {
            Lock l(S().lock);
            auto backed = S().letters.find(letter);
            same = backed != S().letters.end() ? backed->second.identity == identity
                                               : name != "FAT32" && name != "FAT" && name != "exFAT";
        }
        if (!same) BackLetterByImage(letter, disk, partition, name);
    }
}

void MarkLetterChanged(char letter) {
    Lock l(S().lock);
    auto it = S().letters.find(Upper(letter));
    if (it != S().letters.end()) it->second.changed = true;
}

void SyncChangedVolume(int disk, uint32_t partition) {
    Keep(SyncChanged([&](const Backed& b) { return b.disk == disk && b.partition == partition; }));
}

void SyncChangedVolumesOfDisk(int disk) {
    Keep(SyncChanged([&](const Backed& b) { return b.disk == disk; }));
}

void ForgetVolumesOfDisk(int disk) {
    Lock l(S().lock);
    std::erase_if(S().letters, [&](const auto& entry) { return entry.second.disk == disk; });
}

// Backing ends with the simulated PC; nothing is written on the way out.
void ResetVolumeSync() {
    Lock l(S().lock);
    S().letters.clear();
    S().failures.clear();
}

}  // namespace detail
}  // namespace vu::sim
