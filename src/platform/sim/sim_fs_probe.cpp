// File-system recognition of the simulated PC; see sim_fs_probe.h.
#include "platform/sim/sim_fs_probe.h"

#include <cstring>
#include <vector>

#include "platform/common/utf16_text.h"

namespace vu::sim {

namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return uint32_t(U16(p)) | uint32_t(U16(p + 2)) << 16; }
uint64_t U64(const uint8_t* p) { return uint64_t(U32(p)) | uint64_t(U32(p + 4)) << 32; }

// Labels are short; a damaged chain must not keep the probe walking.
constexpr int kMaxDirectoryClusters = 4096;

std::string Utf16LeText(const uint8_t* p, size_t units) {
    std::vector<uint16_t> text(units);
    for (size_t i = 0; i < units; ++i) text[i] = U16(p + 2 * i);
    return Utf16ToUtf8(text);
}

// A FAT label: eleven bytes of the OEM code page, blank-padded; bytes above 0x7F are taken as Latin-1.
std::string FatLabel(const uint8_t* name) {
    std::string out;
    for (int i = 0; i < 11; ++i) AppendUtf8(out, i == 0 && name[0] == 0x05 ? 0xE5 : name[i]);
    size_t end = out.find_last_not_of(' ');
    return end == std::string::npos ? "" : out.substr(0, end + 1);
}

// Looks for the volume-label entry in a block of FAT directory entries; false at the end marker.
bool ScanFatEntries(const std::vector<uint8_t>& block, std::string& label, bool& found) {
    for (size_t at = 0; at + 32 <= block.size(); at += 32) {
        const uint8_t* e = block.data() + at;
        if (e[0] == 0x00) return false;
        if (e[0] == 0xE5 || e[11] == 0x0F) continue;
        if (e[11] & 0x08) {
            label = FatLabel(e);
            found = true;
            return false;
        }
    }
    return true;
}

std::optional<FileSystemInfo> ProbeFat(const VolumeReader& read, const uint8_t* bs) {
    uint32_t bytesPerSector = U16(bs + 11), sectorsPerCluster = bs[13], reserved = U16(bs + 14);
    uint32_t fats = bs[16], rootEntries = U16(bs + 17);
    if (bs[0] != 0xEB && bs[0] != 0xE9) return std::nullopt;
    if (bytesPerSector != 512 && bytesPerSector != 1024 && bytesPerSector != 2048 && bytesPerSector != 4096)
        return std::nullopt;
    if (sectorsPerCluster == 0 || (sectorsPerCluster & (sectorsPerCluster - 1)) != 0 || reserved == 0 || fats == 0)
        return std::nullopt;
    uint64_t fatSize = U16(bs + 22) ? U16(bs + 22) : U32(bs + 36);
    uint64_t totalSectors = U16(bs + 19) ? U16(bs + 19) : U32(bs + 32);
    uint64_t rootSectors = (uint64_t(rootEntries) * 32 + bytesPerSector - 1) / bytesPerSector;
    uint64_t firstData = reserved + fats * fatSize + rootSectors;
    if (fatSize == 0 || firstData >= totalSectors) return std::nullopt;
    uint64_t clusters = (totalSectors - firstData) / sectorsPerCluster;

    FileSystemInfo info;
    std::string label;
    bool found = false;
    // Like Windows' FAT driver: FAT32 is told by a zero 16-bit FAT size, whatever the cluster count.
    if (U16(bs + 22) != 0) {
        info.name = "FAT";
        std::vector<uint8_t> root(rootSectors * bytesPerSector);
        if (read(int64_t(reserved + fats * fatSize) * bytesPerSector, root.data(), root.size()))
            ScanFatEntries(root, label, found);
    } else {
        info.name = "FAT32";
        uint64_t clusterBytes = uint64_t(sectorsPerCluster) * bytesPerSector;
        uint32_t cluster = U32(bs + 44) & 0x0FFFFFFF;
        std::vector<uint8_t> block(clusterBytes);
        for (int n = 0; n < kMaxDirectoryClusters && cluster >= 2 && cluster < clusters + 2; ++n) {
            if (!read(int64_t((firstData + (cluster - 2) * uint64_t(sectorsPerCluster)) * bytesPerSector), block.data(),
                      block.size()))
                break;
            if (!ScanFatEntries(block, label, found)) break;
            uint8_t entry[4];
            if (!read(int64_t(uint64_t(reserved) * bytesPerSector + cluster * 4ull), entry, 4)) break;
            cluster = U32(entry) & 0x0FFFFFFF;
        }
    }
    if (found) info.label = label;
    return info;
}

std::optional<FileSystemInfo> ProbeExFat(const VolumeReader& read, const uint8_t* bs) {
    uint32_t sectorShift = bs[108], clusterShift = bs[109];
    if (sectorShift < 9 || sectorShift > 12 || sectorShift + clusterShift > 25) return std::nullopt;
    uint64_t sectorBytes = 1ull << sectorShift, clusterBytes = sectorBytes << clusterShift;
    uint64_t fatOffset = U32(bs + 80), heapOffset = U32(bs + 88);
    uint32_t clusterCount = U32(bs + 92), cluster = U32(bs + 96);
    FileSystemInfo info{"exFAT", ""};
    std::vector<uint8_t> block(clusterBytes);
    for (int n = 0; n < kMaxDirectoryClusters && cluster >= 2 && cluster < clusterCount + 2; ++n) {
        if (!read(int64_t(heapOffset * sectorBytes + (cluster - 2) * clusterBytes), block.data(), block.size())) break;
        for (size_t at = 0; at + 32 <= block.size(); at += 32) {
            const uint8_t* e = block.data() + at;
            if (e[0] == 0x00) return info;
            if (e[0] == 0x83) {
                info.label = Utf16LeText(e + 2, e[1] > 11 ? 11 : e[1]);
                return info;
            }
        }
        uint8_t entry[4];
        if (!read(int64_t(fatOffset * sectorBytes + cluster * 4ull), entry, 4)) break;
        cluster = U32(entry);
    }
    return info;
}

// The label is the $VOLUME_NAME attribute of MFT record 3 ($Volume).
std::string NtfsLabel(const VolumeReader& read, const uint8_t* bs) {
    uint32_t bytesPerSector = U16(bs + 11);
    // Negative sizes are powers of two; a shift beyond these is no NTFS volume (and no valid shift).
    if ((bs[13] > 0x80 && 256 - bs[13] > 24) || int8_t(bs[64]) < -16) return "";
    uint32_t sectorsPerCluster = bs[13] > 0x80 ? 1u << (256 - bs[13]) : bs[13];
    int8_t recordScale = int8_t(bs[64]);
    uint64_t clusterBytes = uint64_t(sectorsPerCluster) * bytesPerSector;
    uint64_t recordBytes = recordScale < 0 ? 1ull << -recordScale : uint64_t(recordScale) * clusterBytes;
    if (bytesPerSector < 512 || recordBytes < 512 || recordBytes > 65536 || recordBytes % 512 != 0) return "";
    std::vector<uint8_t> record(recordBytes);
    if (!read(int64_t(U64(bs + 48) * clusterBytes + 3 * recordBytes), record.data(), record.size())) return "";
    if (std::memcmp(record.data(), "FILE", 4) != 0) return "";
    // Undo the update sequence: the last two bytes of every 512-byte stride.
    uint32_t usaOffset = U16(&record[4]), usaCount = U16(&record[6]);
    if (usaOffset + 2ull * usaCount > recordBytes || usaCount == 0 || (usaCount - 1) * 512ull > recordBytes) return "";
    for (uint32_t i = 1; i < usaCount; ++i) std::memcpy(&record[i * 512 - 2], &record[usaOffset + 2 * i], 2);
    for (uint32_t at = U16(&record[20]); at + 24 <= recordBytes;) {
        uint32_t type = U32(&record[at]), length = U32(&record[at + 4]);
        if (type == 0xFFFFFFFF || length < 24 || at + length > recordBytes) break;
        if (type == 0x60 && record[at + 8] == 0) {
            uint32_t valueLength = U32(&record[at + 16]), valueOffset = U16(&record[at + 20]);
            if (valueOffset + valueLength > length) break;
            return Utf16LeText(&record[at + valueOffset], valueLength / 2);
        }
        at += length;
    }
    return "";
}

}  // namespace

std::optional<FileSystemInfo> ProbeFileSystem(const VolumeReader& read) {
    uint8_t bs[512];
    if (!read(0, bs, sizeof bs) || bs[510] != 0x55 || bs[511] != 0xAA) return std::nullopt;
    if (std::memcmp(bs + 3, "EXFAT   ", 8) == 0) return ProbeExFat(read, bs);
    if (std::memcmp(bs + 3, "NTFS    ", 8) == 0) return FileSystemInfo{"NTFS", NtfsLabel(read, bs)};
    return ProbeFat(read, bs);
}

}  // namespace vu::sim
