// The simulated PC's raw devices: physical drives and volumes over the image files of
// sim_disk_model.h, with the device requests the program sends and the faults a test injects.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/disk_device.h"
#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_disks.h"
#include "platform/sim/sim_fs_probe.h"
#include "platform/sim/sim_last_error.h"
#include "platform/sim/sim_layout_requests.h"
#include "platform/sim/sim_mounts.h"
#include "platform/sim/sim_state.h"
#include "platform/sim/sim_volume_sync_hooks.h"
#include "platform/transfer_io.h"

namespace vu {

using sim::detail::DiskLock;
using sim::detail::Disks;
using sim::detail::SimDisk;

namespace {

struct SimHandle {
    std::string path;
    int disk = -1;           // -1: a letter that is not on a disk
    bool volume = false;
    uint32_t partition = 0;  // of a volume
    bool forWrite = false;
    bool locked = false;
    int64_t position = 0;
    bool wroteBootSector = false;  // through this volume handle
    int plugId = 0;                // the attachment of the disk it was opened on
};

struct Handles {
    std::map<plat::DeviceHandle, SimHandle> open;
    plat::DeviceHandle next = 0x100;
};

Handles& H() {
    static Handles handles;
    return handles;
}

constexpr uint32_t FileDeviceCdRom = 2;

bool Failed(uint32_t error) {
    sim::detail::SetLastErrorCode(error);
    return false;
}

// A request that reports its own error code through `error`.
template <typename Request>
bool WithError(Request request) {
    uint32_t error = 0;
    bool ok = request(&error);
    if (!ok) sim::detail::SetLastErrorCode(error);
    return ok;
}
constexpr char kPhysicalPrefix[] = "\\\\.\\PHYSICALDRIVE";

void Log(const std::string& entry) { Disks().log.push_back(entry); }

SimHandle* FindHandle(plat::DeviceHandle device) {
    auto it = H().open.find(device);
    return it == H().open.end() ? nullptr : &it->second;
}

SimDisk* FindDisk(int number) {
    auto it = Disks().disks.find(number);
    return it == Disks().disks.end() ? nullptr : &it->second;
}

bool Failing(const SimDisk& disk, const char* request) { return disk.failing.count(request) != 0; }

// The stick is pulled out: the disk and its letters are gone, and with them whatever the letters
// held that had not reached the stick yet.
void Vanish(int number) {
    auto& state = Disks();
    Log("vanish disk " + std::to_string(number));
    state.vanished.insert(state.disks.extract(number));
    std::erase_if(state.letters, [&](const auto& entry) {
        if (entry.second.disk != number) return false;
        state.spans.erase(entry.first);
        sim::detail::DropDriveFolder(entry.first);
        return true;
    });
    sim::detail::ForgetVolumesOfDisk(number);
}

// Counts one request to the disk; false when the stick is gone by now. The first request beyond
// its vanish-after count pulls it out, so `disk` must not be used after a false.
bool Answered(SimDisk& disk) {
    if (++disk.requestsSeen <= disk.vanishAfter || disk.vanishAfter <= 0) return true;
    Vanish(disk.number);
    return false;
}

// The disk behind a handle, for one counted request; nullptr, with the thread's last error set,
// when the handle is unknown or its stick is gone.
SimDisk* Answering(const SimHandle* h) {
    SimDisk* disk = h && h->disk >= 0 ? FindDisk(h->disk) : nullptr;
    // Another disk that took the number since is not the device the handle was opened on.
    bool replaced = disk && disk->plugId != h->plugId;
    if (disk && !replaced && Answered(*disk)) return disk;
    bool gone = h && h->disk >= 0 && (disk || Disks().vanished.count(h->disk) || Disks().unplugged.count(h->disk));
    sim::detail::SetLastErrorCode(gone ? sim::detail::ErrorDeviceNotConnected : sim::detail::ErrorInvalidParameter);
    return nullptr;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

// "\\.\PHYSICALDRIVE<n>" followed by `tail`: the disk number, or -1.
int PhysicalNumber(const std::string& path, const std::string& tail) {
    if (!StartsWithNoCase(path, kPhysicalPrefix)) return -1;
    std::string rest = path.substr(sizeof kPhysicalPrefix - 1);
    if (rest.size() < tail.size() || rest.compare(rest.size() - tail.size(), tail.size(), tail) != 0) return -1;
    rest.resize(rest.size() - tail.size());
    if (rest.empty() || rest.size() > 4 || !std::all_of(rest.begin(), rest.end(), ::isdigit)) return -1;
    return std::stoi(rest);
}

// The letter of "X:", "X:\" or "\\.\X:"; 0 when the path is none of these.
char LetterOf(const std::string& path) {
    std::string p = StartsWithNoCase(path, "\\\\.\\") ? path.substr(4) : path;
    if ((p.size() == 2 || (p.size() == 3 && p[2] == '\\')) && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0])))
        return char(std::toupper(static_cast<unsigned char>(p[0])));
    return 0;
}

// The bytes of the device behind a handle: the whole disk or the volume's partition.
std::optional<sim::detail::ByteRange> RangeOf(const SimHandle& h, const SimDisk& disk) {
    return sim::detail::PartitionRange(disk, h.volume ? h.partition : 0);
}

std::vector<uint8_t> Descriptor(const SimDisk& disk) {
    constexpr uint32_t kHead = 40;  // STORAGE_DEVICE_DESCRIPTOR up to its first raw byte, aligned
    std::vector<uint8_t> d(kHead, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (8 * i));
    };
    auto addText = [&](const std::string& text, size_t fieldAt) {
        if (text.empty()) return;
        put32(fieldAt, uint32_t(d.size()));
        d.insert(d.end(), text.begin(), text.end());
        d.push_back(0);
    };
    d[10] = disk.driveType == 2;  // RemovableMedia
    addText(disk.vendor, DescriptorVendorIdOffsetAt);
    addText(disk.product, DescriptorProductIdOffsetAt);
    addText("1.00", 20);  // product revision
    addText(disk.serial, DescriptorSerialNumberOffsetAt);
    put32(DescriptorBusTypeAt, uint32_t(disk.busType));
    put32(0, kHead);  // Version
    put32(4, uint32_t(d.size()));
    return d;
}

int64_t Fail(uint32_t code) {
    sim::detail::SetLastErrorCode(code);
    return -1;
}

// Raw devices move whole sectors from a sector boundary only.
bool WholeSectors(const SimHandle& h, const SimDisk& disk, uint32_t length) {
    uint32_t bytes = sim::detail::SectorBytes(disk);
    return h.position % bytes == 0 && length % bytes == 0;
}

bool Lock(SimHandle& h, SimDisk& disk) {
    bool refused = ++disk.locksSeen == disk.refuseLock || disk.lockRefusals != 0;
    if (disk.lockRefusals > 0) --disk.lockRefusals;
    Log("lock " + h.path + (refused ? " refused" : ""));
    if (!refused) h.locked = true;
    return !refused;
}

bool Control(SimHandle& h, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize) {
    if (h.disk < 0) {
        if (code != IoctlStorageGetDeviceNumber || outSize < DeviceNumberSize) return Failed(ErrorInvalidFunction);
        DeviceNumber number{FileDeviceCdRom, 0, 0};
        std::memcpy(out, &number, sizeof number);
        return true;
    }
    SimDisk* disk = Answering(&h);
    if (!disk) return false;
    switch (code) {
        case IoctlDiskGetLengthInfo: {
            auto range = RangeOf(h, *disk);
            if (Failing(*disk, "length") || !range || outSize < LengthInfoSize) return false;
            std::memcpy(out, &range->length, sizeof range->length);
            return true;
        }
        case IoctlStorageQueryProperty: {
            static const uint8_t kStandardQuery[8] = {};
            if (Failing(*disk, "descriptor") || inSize < StoragePropertyQuerySize ||
                std::memcmp(in, kStandardQuery, sizeof kStandardQuery) != 0 || outSize < 40)
                return false;
            std::vector<uint8_t> d = Descriptor(*disk);
            std::memcpy(out, d.data(), std::min<size_t>(outSize, d.size()));
            return true;
        }
        case IoctlDiskGetDriveGeometryEx: {
            if (Failing(*disk, "geometry") || outSize < 32) return false;
            DiskGeometryEx g = sim::detail::GeometryOf(*disk);
            std::memcpy(out, &g, std::min<size_t>(outSize, sizeof g));
            return true;
        }
        case IoctlDiskGetDriveLayout: {
            // The request predates GPT: it knows only MBR disks.
            auto layout = sim::detail::ReadLayout(*disk);
            if (Failing(*disk, "layout") || !layout || layout->style == PartitionStyleGpt)
                return Failed(ErrorInvalidFunction);
            size_t needed = 8 + layout->entries.size() * sizeof(PartitionInformation);
            if (outSize < needed || outSize < 8) return Failed(ErrorInsufficientBuffer);
            uint32_t head[2] = {uint32_t(layout->entries.size()), layout->signature};
            std::memcpy(out, head, sizeof head);
            if (!layout->entries.empty())
                std::memcpy(static_cast<uint8_t*>(out) + 8, layout->entries.data(), needed - 8);
            return true;
        }
        case IoctlDiskGetDriveLayoutEx:
            return h.volume ? Failed(ErrorInvalidFunction)
                            : WithError([&](uint32_t* error) { return sim::detail::DriveLayoutEx(*disk, out, outSize, error); });
        case IoctlVolumeGetVolumeDiskExtents:
            return h.volume ? WithError([&](uint32_t* error) {
                                  return sim::detail::VolumeDiskExtents(LetterOf(h.path), out, outSize, error);
                              })
                            : Failed(ErrorInvalidFunction);
        case IoctlStorageGetDeviceNumber: {
            if (Failing(*disk, "device-number") || outSize < DeviceNumberSize) return false;
            DeviceNumber number{FileDeviceDisk, uint32_t(h.disk), h.volume ? h.partition : 0};
            std::memcpy(out, &number, sizeof number);
            return true;
        }
        case FsctlLockVolume:
            return Lock(h, *disk);
        case FsctlUnlockVolume:
            if (!h.locked) return false;
            h.locked = false;
            Log("unlock " + h.path);
            return true;
        case IoctlDiskUpdateProperties:
            Log("update properties " + h.path);
            return true;
        case FsctlDismountVolume:
            if (!h.volume) return false;
            Log("dismount " + h.path);
            // A boot sector the program wrote itself may start a new file system, which the next
            // mount finds; otherwise the volume's files reach the image before raw writes follow.
            if (h.wroteBootSector) sim::detail::RemountIfReformatted(h.disk, h.partition);
            sim::detail::SyncChangedVolume(h.disk, h.partition);
            return true;
        default:
            return Failed(ErrorInvalidFunction);
    }
}

// Whether an open handle of the volume at (disk, partition) holds its lock.
bool VolumeLocked(int disk, uint32_t partition) {
    for (const auto& [handle, h] : H().open)
        if (h.volume && h.locked && h.disk == disk && h.partition == partition) return true;
    return false;
}

}  // namespace

namespace plat {


DeviceHandle OpenDevice(const std::string& path, bool forWrite) {
    auto& state = Disks();
    DiskLock lock(state.lock);
    SimHandle h;
    h.path = path;
    h.forWrite = forWrite;
    if (int number = PhysicalNumber(path, ""); number >= 0) {
        SimDisk* disk = FindDisk(number);
        if (!disk || !Answered(*disk)) {
            Fail(sim::detail::ErrorFileNotFound);
            return NoDevice;
        }
        if (Failing(*disk, "open")) return NoDevice;
        h.disk = number;
    } else if (char letter = path.size() == 6 ? LetterOf(path) : 0) {
        auto it = state.letters.find(letter);
        if (it == state.letters.end()) return NoDevice;
        h.volume = true;
        h.disk = it->second.disk;
        h.partition = it->second.partition;
        SimDisk* disk = h.disk >= 0 ? FindDisk(h.disk) : nullptr;
        if (h.disk >= 0 && (!disk || !Answered(*disk))) {
            Fail(sim::detail::ErrorFileNotFound);
            return NoDevice;
        }
        if (h.disk >= 0 && !RangeOf(h, *disk)) return NoDevice;
    } else {
        return NoDevice;
    }
    if (SimDisk* disk = h.disk >= 0 ? FindDisk(h.disk) : nullptr) h.plugId = disk->plugId;
    DeviceHandle handle = H().next;
    H().next += 4;
    H().open[handle] = h;
    Log("open " + path + (forWrite ? " rw" : " r"));
    return handle;
}

void CloseDevice(DeviceHandle device) {
    DiskLock lock(Disks().lock);
    auto it = H().open.find(device);
    if (it == H().open.end()) return;
    Log("close " + it->second.path);
    H().open.erase(it);
}

bool DeviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize) {
    DiskLock lock(Disks().lock);
    SimHandle* h = FindHandle(device);
    return h && Control(*h, code, in, inSize, out, outSize);
}

bool SeekDevice(DeviceHandle device, int64_t offset) {
    DiskLock lock(Disks().lock);
    SimHandle* h = FindHandle(device);
    if (!h || offset < 0) {
        Fail(sim::detail::ErrorInvalidParameter);
        return false;
    }
    h->position = offset;
    return true;
}

int64_t ReadDevice(DeviceHandle device, void* buffer, uint32_t length) {
    DiskLock lock(Disks().lock);
    SimHandle* h = FindHandle(device);
    SimDisk* disk = Answering(h);
    if (!disk) return -1;
    if (++disk->readsSeen == disk->failRead) return Fail(sim::detail::ErrorCrc);
    if (!WholeSectors(*h, *disk, length)) return Fail(sim::detail::ErrorInvalidParameter);
    auto range = RangeOf(*h, *disk);
    if (!range) return Fail(sim::detail::ErrorInvalidParameter);
    int64_t size = std::clamp<int64_t>(range->length - h->position, 0, length);
    if (disk->shortReads || disk->readsSeen == disk->shortRead) size = std::min<int64_t>(size, length / 2);
    int64_t moved = sim::detail::ReadImage(*disk, range->offset + h->position, buffer, size);
    if (moved < 0) return Fail(sim::detail::ErrorReadFault);
    Log("read " + h->path + " at " + std::to_string(h->position) + " length " + std::to_string(moved));
    h->position += moved;
    return moved;
}

int64_t WriteDevice(DeviceHandle device, const void* buffer, uint32_t length) {
    DiskLock lock(Disks().lock);
    SimHandle* h = FindHandle(device);
    SimDisk* disk = Answering(h);
    if (!disk) return -1;
    if (!h->forWrite) return Fail(sim::detail::ErrorAccessDenied);
    if (disk->readOnly) return Fail(sim::detail::ErrorWriteProtect);
    if (++disk->writesSeen == disk->failWrite) return Fail(sim::detail::ErrorIoDevice);
    if (!WholeSectors(*h, *disk, length)) return Fail(sim::detail::ErrorInvalidParameter);
    auto range = RangeOf(*h, *disk);
    if (!range) return Fail(sim::detail::ErrorInvalidParameter);
    int64_t size = std::clamp<int64_t>(range->length - h->position, 0, length);
    if (!sim::detail::RawWriteAllowed(h->disk, range->offset + h->position, size, VolumeLocked)) {
        Log("write " + h->path + " at " + std::to_string(h->position) + " length " + std::to_string(size) +
            " denied");
        return Fail(sim::detail::ErrorAccessDenied);
    }
    Log("write " + h->path + " at " + std::to_string(h->position) + " length " + std::to_string(size));
    if (h->volume && h->position == 0) h->wroteBootSector = true;
    // A stick that loses a write it acknowledged: only reading back shows it.
    int64_t moved = disk->writesSeen == disk->dropWrite
                        ? size
                        : sim::detail::WriteImage(*disk, range->offset + h->position, buffer, size);
    if (moved < 0) return Fail(sim::detail::ErrorWriteFault);
    h->position += moved;
    return moved;
}

bool FlushDevice(DeviceHandle device) {
    DiskLock lock(Disks().lock);
    SimHandle* h = FindHandle(device);
    if (!h || (h->disk >= 0 && !Answering(h))) return false;
    // Writes reach the image at once; the flush is only recorded.
    Log("flush " + h->path);
    return true;
}

uint32_t DriveTypeOf(const std::string& path) {
    constexpr uint32_t kNoRootDir = 1, kCdRom = 5;
    auto& state = Disks();
    DiskLock lock(state.lock);
    int number = PhysicalNumber(path, "\\");
    if (number < 0) {
        auto it = state.letters.find(LetterOf(path));
        if (it == state.letters.end()) return kNoRootDir;
        if (it->second.disk < 0) return kCdRom;
        number = it->second.disk;
    }
    SimDisk* disk = FindDisk(number);
    return disk ? disk->driveType : kNoRootDir;
}

bool LogicalDriveStrings(std::string& strings) {
    auto& state = Disks();
    DiskLock lock(state.lock);
    strings.clear();
    if (state.failDriveStrings) return false;
    for (const auto& [letter, where] : state.letters) {
        strings += letter;
        strings += ":\\";
        strings += '\0';
    }
    return !strings.empty();
}

bool VolumeInformation(const std::string& root, std::string* label, std::string* fileSystem) {
    auto& state = Disks();
    DiskLock lock(state.lock);
    auto it = state.letters.find(LetterOf(root));
    if (it == state.letters.end() || it->second.disk < 0) return false;
    SimDisk* disk = FindDisk(it->second.disk);
    auto range = disk ? sim::detail::PartitionRange(*disk, it->second.partition) : std::nullopt;
    if (!range) return false;
    auto info = sim::ProbeFileSystem([&](int64_t offset, void* buffer, size_t size) {
        return offset >= 0 && offset + int64_t(size) <= range->length &&
               sim::detail::ReadImage(*disk, range->offset + offset, buffer, int64_t(size)) == int64_t(size);
    });
    if (!info) return false;
    if (label) *label = info->label;
    if (fileSystem) *fileSystem = info->name;
    return true;
}

// The simulated PC's system code page is UTF-8.
std::string FromSystemCodePage(const std::string& bytes) { return bytes; }

}  // namespace plat

namespace sim {

void ClearDisks() {
    auto& state = Disks();
    DiskLock lock(state.lock);
    state.disks.clear();
    state.vanished.clear();
    state.unplugged.clear();
    state.unpluggedLetters.clear();
    state.letters.clear();
    state.spans.clear();
    state.failDriveStrings = false;
    state.log.clear();
    H().open.clear();
}

std::vector<std::string> DeviceLog() {
    DiskLock lock(Disks().lock);
    return Disks().log;
}

void ClearDeviceLog() {
    DiskLock lock(Disks().lock);
    Disks().log.clear();
}

int OpenDeviceCount() {
    DiskLock lock(Disks().lock);
    return int(H().open.size());
}

DiskRequests RequestCounts(int disk) {
    DiskLock lock(Disks().lock);
    SimDisk* d = FindDisk(disk);
    if (!d) {
        auto gone = Disks().vanished.find(disk);
        d = gone == Disks().vanished.end() ? nullptr : &gone->second;
    }
    return d ? DiskRequests{d->requestsSeen, d->readsSeen, d->writesSeen, d->locksSeen} : DiskRequests{};
}

bool DiskVanished(int disk) {
    DiskLock lock(Disks().lock);
    return Disks().vanished.count(disk) != 0;
}

void detail::ResetDisks() { ClearDisks(); }

void detail::CountLetterRequest(char letter) {
    DiskLock lock(Disks().lock);
    auto it = Disks().letters.find(char(std::toupper(static_cast<unsigned char>(letter))));
    if (it == Disks().letters.end() || it->second.disk < 0) return;
    if (SimDisk* disk = FindDisk(it->second.disk)) Answered(*disk);
}

}  // namespace sim
}  // namespace vu
