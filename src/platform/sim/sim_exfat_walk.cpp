// The exFAT directory walker of the simulated PC; see sim_exfat_walk.h.
#include "platform/sim/sim_exfat_walk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "platform/common/utf16_text.h"

namespace vu::sim::detail {
namespace {

constexpr uint8_t FileEntry = 0x85, StreamEntry = 0xC0, NameEntry = 0xC1;
constexpr uint32_t FirstCluster = 2;
constexpr uint64_t MaxDirectoryBytes = 256ull << 20;  // the format's own limit
constexpr int MaxDepth = 128;

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t U64(const uint8_t* p) { return uint64_t(U32(p)) | uint64_t(U32(p + 4)) << 32; }

// The checksum of an entry set: every byte but the checksum field itself (bytes 2 and 3).
uint16_t SetChecksum(const uint8_t* set, size_t entries) {
    uint16_t sum = 0;
    for (size_t i = 0; i < entries * 32; ++i) {
        if (i == 2 || i == 3) continue;
        sum = uint16_t(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + set[i]);
    }
    return sum;
}

class Volume {
public:
    bool Open(const std::string& file, int64_t offset, bool forWrite, std::string* error) {
        error_ = error;
        offset_ = offset;
        fd_ = open(file.c_str(), forWrite ? O_RDWR : O_RDONLY);
        if (fd_ < 0) return Fail("cannot open " + file);
        uint8_t boot[512];
        if (!Read(0, boot, sizeof boot)) return false;
        if (std::memcmp(boot + 3, "EXFAT   ", 8) != 0) return Fail("no exFAT boot sector");
        uint8_t sectorShift = boot[108], clusterShift = boot[109];
        if (sectorShift < 9 || sectorShift > 12 || sectorShift + clusterShift > 25) return Fail("bad exFAT geometry");
        sectorBytes_ = 1u << sectorShift;
        clusterBytes_ = sectorBytes_ << clusterShift;
        fatAt_ = uint64_t(U32(boot + 80)) * sectorBytes_;
        heapAt_ = uint64_t(U32(boot + 88)) * sectorBytes_;
        clusterCount_ = U32(boot + 92);
        rootCluster_ = U32(boot + 96);
        return true;
    }
    ~Volume() {
        if (fd_ >= 0) close(fd_);
    }

    using Visitor = std::function<bool(const std::string& path, uint8_t* fileEntry, size_t entries)>;

    // Calls `visit` for every entry set, depth first; the visitor returns true when it changed
    // the set, which is then written back.
    bool WalkRoot(const Visitor& visit) { return Walk(rootCluster_, 0, false, "", visit, 0); }

private:
    bool Fail(const std::string& reason) {
        if (error_) *error_ = reason;
        return false;
    }

    bool Read(uint64_t at, void* buffer, size_t size) {
        if (pread(fd_, buffer, size, off_t(offset_ + int64_t(at))) != ssize_t(size)) return Fail("short read in exFAT");
        return true;
    }
    bool Write(uint64_t at, const void* buffer, size_t size) {
        if (pwrite(fd_, buffer, size, off_t(offset_ + int64_t(at))) != ssize_t(size)) return Fail("short write in exFAT");
        return true;
    }

    bool ValidCluster(uint32_t cluster) const { return cluster >= FirstCluster && cluster - FirstCluster < clusterCount_; }
    uint64_t ClusterAt(uint32_t cluster) const { return heapAt_ + uint64_t(cluster - FirstCluster) * clusterBytes_; }

    // The clusters of a directory: contiguous when the stream says so, else the FAT chain.
    bool Clusters(uint32_t first, uint64_t length, bool contiguous, std::vector<uint32_t>& clusters) {
        if (length > MaxDirectoryBytes) return Fail("exFAT directory too long");
        if (contiguous) {
            for (uint64_t n = 0; n * clusterBytes_ < length; ++n) {
                if (!ValidCluster(first + uint32_t(n))) return Fail("exFAT directory outside the cluster heap");
                clusters.push_back(first + uint32_t(n));
            }
            return true;
        }
        for (uint32_t cluster = first; cluster < 0xFFFFFFF8;) {
            if (!ValidCluster(cluster)) return Fail("broken exFAT cluster chain");
            if (clusters.size() * clusterBytes_ >= MaxDirectoryBytes) return Fail("exFAT cluster chain loops");
            clusters.push_back(cluster);
            uint8_t next[4];
            if (!Read(fatAt_ + uint64_t(cluster) * 4, next, 4)) return false;
            cluster = U32(next);
        }
        return true;
    }

    bool Walk(uint32_t first, uint64_t length, bool contiguous, const std::string& prefix, const Visitor& visit,
              int depth) {
        if (depth > MaxDepth) return Fail("exFAT folders nested too deeply");
        if (first == 0) return true;  // an empty folder has no clusters
        std::vector<uint32_t> clusters;
        if (!Clusters(first, length, contiguous, clusters)) return false;
        std::vector<uint8_t> bytes(clusters.size() * clusterBytes_);
        for (size_t i = 0; i < clusters.size(); ++i)
            if (!Read(ClusterAt(clusters[i]), bytes.data() + i * clusterBytes_, clusterBytes_)) return false;
        bool changed = false;
        struct Folder {
            std::string path;
            uint32_t first;
            uint64_t length;
            bool contiguous;
        };
        std::vector<Folder> folders;
        size_t count = bytes.size() / 32;
        for (size_t i = 0; i < count; ++i) {
            uint8_t* entry = bytes.data() + i * 32;
            if (entry[0] == 0) break;  // end of directory
            if (entry[0] != FileEntry) continue;
            size_t secondaries = entry[1];
            if (secondaries < 2 || i + secondaries >= count || entry[32] != StreamEntry)
                return Fail("bad exFAT entry set in " + (prefix.empty() ? "/" : prefix));
            const uint8_t* stream = entry + 32;
            size_t nameLength = stream[3];
            std::vector<uint16_t> name;
            for (size_t k = 2; k <= secondaries && name.size() < nameLength; ++k) {
                const uint8_t* part = entry + k * 32;
                if (part[0] != NameEntry) break;
                for (size_t c = 0; c < 15 && name.size() < nameLength; ++c) name.push_back(U16(part + 2 + 2 * c));
            }
            if (name.size() != nameLength) return Fail("bad exFAT file name in " + (prefix.empty() ? "/" : prefix));
            std::string path = prefix + Utf16ToUtf8(name);
            if (visit(path, entry, secondaries + 1)) {
                uint16_t sum = SetChecksum(entry, secondaries + 1);
                entry[2] = uint8_t(sum);
                entry[3] = uint8_t(sum >> 8);
                changed = true;
            }
            if (U16(entry + 4) & ExFatDirectory)
                folders.push_back({path, U32(stream + 20), U64(stream + 24), (stream[1] & 0x02) != 0});
            i += secondaries;
        }
        if (changed)
            for (size_t i = 0; i < clusters.size(); ++i)
                if (!Write(ClusterAt(clusters[i]), bytes.data() + i * clusterBytes_, clusterBytes_)) return false;
        // Each level may hold a folder of up to the format's limit; none is kept while descending.
        std::vector<uint8_t>().swap(bytes);
        for (const auto& folder : folders)
            if (!Walk(folder.first, folder.length, folder.contiguous, folder.path + "/", visit, depth + 1)) return false;
        return true;
    }

    int fd_ = -1;
    int64_t offset_ = 0;
    std::string* error_ = nullptr;
    uint32_t sectorBytes_ = 512, clusterBytes_ = 4096, clusterCount_ = 0, rootCluster_ = 0;
    uint64_t fatAt_ = 0, heapAt_ = 0;
};

}  // namespace

bool ListExFat(const std::string& file, int64_t offset, std::vector<ExFatEntry>& entries, std::string* error) {
    Volume volume;
    if (!volume.Open(file, offset, false, error)) return false;
    entries.clear();
    return volume.WalkRoot([&](const std::string& path, uint8_t* set, size_t) {
        entries.push_back({path, U16(set + 4), U64(set + 32 + 24)});
        return false;
    });
}

bool HideInExFat(const std::string& file, int64_t offset, const std::set<std::string>& paths, std::string* error) {
    if (paths.empty()) return true;
    Volume volume;
    if (!volume.Open(file, offset, true, error)) return false;
    std::set<std::string> missing = paths;
    bool walked = volume.WalkRoot([&](const std::string& path, uint8_t* set, size_t) {
        if (!missing.erase(path)) return false;
        set[4] |= ExFatHidden;
        return true;
    });
    if (!walked) return false;
    if (!missing.empty()) {
        if (error) *error = "not in the exFAT file system: " + *missing.begin();
        return false;
    }
    return true;
}

}  // namespace vu::sim::detail
