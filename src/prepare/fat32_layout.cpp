// The FAT32 layout and its describing sectors; see fat32_layout.h.
#include "prepare/fat32_layout.h"

#include <cstring>

namespace vu {

namespace {

constexpr uint32_t FatEntryBytes = 4;
constexpr uint32_t NumberOfFats = 2;
constexpr uint32_t RootCluster = 2;
constexpr uint8_t MediaFixed = 0xF8;
constexpr uint32_t EndOfChain = 0x0FFFFFFF;

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

bool IsSectorSize(uint32_t bytes) { return bytes == 512 || bytes == 1024 || bytes == 2048 || bytes == 4096; }

uint64_t ClustersOf(uint64_t sectors, uint32_t fatSectors, uint32_t sectorsPerCluster) {
    uint64_t fats = uint64_t(NumberOfFats) * fatSectors;
    return sectors > fats ? (sectors - fats) / sectorsPerCluster : 0;
}

// Characters a FAT short name (and so a label) must not hold, besides controls and DEL.
bool ForbiddenInLabel(unsigned char c) {
    return c < 0x20 || c == 0x7F || std::strchr("\"*+,./:;<=>?[\\]|", c) != nullptr;
}

}  // namespace

uint32_t Fat32DefaultClusterBytes(uint64_t volumeBytes) {
    constexpr uint64_t MiB = 1ull << 20, GiB = 1ull << 30;
    if (volumeBytes <= 64 * MiB) return 512;
    if (volumeBytes <= 128 * MiB) return 1024;
    if (volumeBytes <= 256 * MiB) return 2048;
    if (volumeBytes <= 8 * GiB) return 4096;
    if (volumeBytes <= 16 * GiB) return 8192;
    if (volumeBytes <= 32 * GiB) return 16384;
    return Fat32TableClusterLimit;
}

uint32_t Fat32FatSectors(uint64_t sectors, uint32_t sectorsPerCluster, uint32_t bytesPerSector) {
    uint64_t entriesPerSector = bytesPerSector / FatEntryBytes;
    // Covers: the clusters that remain once these FAT sectors are taken, plus the two reserved entries.
    auto covers = [&](uint64_t fat) {
        return ClustersOf(sectors, uint32_t(fat), sectorsPerCluster) + 2 <= fat * entriesPerSector;
    };
    // A FAT for every sector as a cluster always covers; the answer lies between 1 and that.
    uint64_t low = 1, high = (sectors / sectorsPerCluster + 2 + entriesPerSector - 1) / entriesPerSector;
    if (high < 1) high = 1;
    while (low < high) {
        uint64_t middle = low + (high - low) / 2;
        if (covers(middle)) high = middle;
        else low = middle + 1;
    }
    return uint32_t(low);
}

Fat32Layout Fat32LayoutFor(uint64_t totalSectors, uint32_t bytesPerSector, uint64_t hiddenSectors,
                           uint32_t sectorsPerCluster) {
    Fat32Layout layout;
    layout.bytesPerSector = bytesPerSector;
    layout.sectorsPerCluster = sectorsPerCluster;
    layout.totalSectors = uint32_t(totalSectors);
    layout.hiddenSectors = uint32_t(hiddenSectors);
    uint64_t alignment = bytesPerSector < Fat32AlignmentBytes ? Fat32AlignmentBytes / bytesPerSector : 1;
    // Padding the reserved area up to the next boundary can shrink the FATs, which moves the data
    // region back by two sectors per FAT sector saved; a few rounds settle it.
    uint64_t reserved = Fat32MinReservedSectors;
    for (int round = 0; round < 64 && reserved < totalSectors; ++round) {
        uint32_t fat = Fat32FatSectors(totalSectors - reserved, sectorsPerCluster, bytesPerSector);
        uint64_t off = (hiddenSectors + reserved + 2ull * fat) % alignment;
        if (off == 0) break;
        reserved += alignment - off;
    }
    if (reserved >= totalSectors || reserved > 0xFFFF) reserved = Fat32MinReservedSectors;
    layout.reservedSectors = uint32_t(reserved);
    uint64_t afterReserved = totalSectors > reserved ? totalSectors - reserved : 0;
    layout.fatSectors = Fat32FatSectors(afterReserved, sectorsPerCluster, bytesPerSector);
    uint64_t clusters = ClustersOf(afterReserved, layout.fatSectors, sectorsPerCluster);
    layout.clusterCount = clusters > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(clusters);
    return layout;
}

Fat32Plan PlanFat32(uint64_t totalSectors, uint32_t bytesPerSector, uint64_t hiddenSectors,
                    uint32_t requestedClusterBytes) {
    Fat32Plan plan;
    if (!IsSectorSize(bytesPerSector)) return plan.fit = Fat32Fit::UnsupportedSectorSize, plan;
    // The boot sector counts sectors, and the partition start, in 32 bits.
    if (totalSectors > 0xFFFFFFFFull || hiddenSectors > 0xFFFFFFFFull) return plan.fit = Fat32Fit::TooBig, plan;
    auto fits = [](const Fat32Layout& l) {
        return l.clusterCount >= Fat32MinClusters && l.clusterCount <= Fat32MaxClusters;
    };

    if (requestedClusterBytes != 0) {
        bool power = (requestedClusterBytes & (requestedClusterBytes - 1)) == 0;
        if (!power || requestedClusterBytes < bytesPerSector || requestedClusterBytes > 65536)
            return plan.fit = Fat32Fit::UnsupportedClusterSize, plan;
        uint32_t perCluster = requestedClusterBytes / bytesPerSector;
        plan.layout = Fat32LayoutFor(totalSectors, bytesPerSector, hiddenSectors, perCluster);
        plan.fit = fits(plan.layout) ? Fat32Fit::Fits : Fat32Fit::UnsupportedClusterSize;
        return plan;
    }

    uint32_t cluster = Fat32DefaultClusterBytes(totalSectors * bytesPerSector);
    if (cluster < bytesPerSector) cluster = bytesPerSector;
    for (;;) {
        plan.layout = Fat32LayoutFor(totalSectors, bytesPerSector, hiddenSectors, cluster / bytesPerSector);
        if (fits(plan.layout)) return plan.fit = Fat32Fit::Fits, plan;
        // The cluster limits span a factor of 4096, so a size cannot be too small and its double too large.
        if (plan.layout.clusterCount > Fat32MaxClusters) {
            if (cluster >= 2 * Fat32TableClusterLimit) return plan.fit = Fat32Fit::TooBig, plan;
            cluster *= 2;
        } else {
            if (cluster <= bytesPerSector) return plan.fit = Fat32Fit::TooSmall, plan;
            cluster /= 2;
        }
    }
}

std::optional<std::string> Fat32LabelText(const std::string& label) {
    std::string text = label;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.size() > 11 || (!text.empty() && text[0] == ' ')) return std::nullopt;
    for (char& c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || ForbiddenInLabel(u)) return std::nullopt;
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    }
    return text;
}

uint32_t Fat32Serial(int year, int month, int day, int hour, int minute, int second, int hundredths) {
    uint32_t low = uint32_t((month << 8 | day) + (second << 8 | hundredths)) & 0xFFFF;
    uint32_t high = uint32_t((hour << 8 | minute) + year) & 0xFFFF;
    return high << 16 | low;
}

std::vector<uint8_t> Fat32BootSector(const Fat32Layout& layout, const Fat32Identity& identity) {
    std::vector<uint8_t> b(layout.bytesPerSector, 0);
    // The jump reaches the code at 90; a volume without a loader of its own hands the boot back
    // to the firmware (INT 18h) and halts should it return.
    static const uint8_t jump[3] = {0xEB, 0x58, 0x90}, code[] = {0xCD, 0x18, 0xFA, 0xF4, 0xEB, 0xFD};
    std::memcpy(&b[0], jump, sizeof jump);
    std::memcpy(&b[3], "MSWIN4.1", 8);
    Put16(b, 11, layout.bytesPerSector);
    b[13] = uint8_t(layout.sectorsPerCluster);
    Put16(b, 14, layout.reservedSectors);
    b[16] = NumberOfFats;
    b[21] = MediaFixed;
    Put16(b, 24, identity.sectorsPerTrack);
    Put16(b, 26, identity.heads);
    Put32(b, 28, layout.hiddenSectors);
    Put32(b, 32, layout.totalSectors);
    Put32(b, 36, layout.fatSectors);
    Put32(b, 44, RootCluster);
    Put16(b, 48, 1);  // FSInfo sector
    Put16(b, 50, Fat32BackupSector);
    b[64] = 0x80;  // drive number
    b[66] = 0x29;  // extended boot signature: serial, label and type follow
    Put32(b, 67, identity.serial);
    if (identity.hasLabel) std::memcpy(&b[71], identity.label.data(), 11);
    else std::memcpy(&b[71], "NO NAME    ", 11);
    std::memcpy(&b[82], "FAT32   ", 8);
    std::memcpy(&b[90], code, sizeof code);
    b[510] = 0x55, b[511] = 0xAA;
    return b;
}

std::vector<uint8_t> Fat32InfoSector(const Fat32Layout& layout) {
    std::vector<uint8_t> b(layout.bytesPerSector, 0);
    Put32(b, 0, 0x41615252);
    Put32(b, 484, 0x61417272);
    Put32(b, 488, layout.clusterCount - 1);  // all free but the root's cluster
    Put32(b, 492, RootCluster + 1);          // where a search for a free cluster may start
    Put32(b, 508, 0xAA550000);
    return b;
}

std::vector<uint8_t> Fat32FirstFatSector(const Fat32Layout& layout) {
    std::vector<uint8_t> b(layout.bytesPerSector, 0);
    Put32(b, 0, 0x0FFFFF00 | MediaFixed);
    Put32(b, 4, EndOfChain);  // also the clean-shutdown and no-error bits
    Put32(b, 8, EndOfChain);  // the root directory: one cluster
    return b;
}

std::vector<uint8_t> Fat32RootCluster(const Fat32Layout& layout, const Fat32Identity& identity) {
    std::vector<uint8_t> b(layout.ClusterBytes(), 0);
    if (!identity.hasLabel) return b;
    std::memcpy(&b[0], identity.label.data(), 11);
    b[11] = 0x08;  // volume label
    Put16(b, 22, identity.time);
    Put16(b, 24, identity.date);
    return b;
}

}  // namespace vu
