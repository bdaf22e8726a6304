// The layout of a FAT32 volume written by our own formatter, and the sectors that describe it:
// cluster size from the usual table by volume size, the FAT size, a reserved area grown so that
// the data region starts on a 1 MiB boundary of the disk, and the boot sector, FSInfo sector,
// first FAT sector and root directory cluster. Pure computation; any thread.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vu {

constexpr uint32_t Fat32MinClusters = 65525;       // fewer clusters make a FAT16 by the count rule
constexpr uint32_t Fat32MaxClusters = 0x0FFFFFF5;  // 2^28 - 11: cluster numbers stay below 0x0FFFFFF7
constexpr uint32_t Fat32MinReservedSectors = 32;
constexpr uint32_t Fat32BackupSector = 6;
constexpr uint32_t Fat32AlignmentBytes = 1 << 20;
constexpr uint32_t Fat32TableClusterLimit = 32768;  // the table's largest; 64 KiB only when this cannot fit

struct Fat32Layout {
    uint32_t bytesPerSector = 512;
    uint32_t sectorsPerCluster = 0;
    uint32_t reservedSectors = 0;
    uint32_t fatSectors = 0;     // of one of the two FATs
    uint32_t totalSectors = 0;   // of the volume
    uint32_t hiddenSectors = 0;  // the volume's first sector on the disk
    uint32_t clusterCount = 0;

    uint64_t DataStart() const { return uint64_t(reservedSectors) + 2ull * fatSectors; }
    uint32_t ClusterBytes() const { return sectorsPerCluster * bytesPerSector; }
};

enum class Fat32Fit { Fits, TooSmall, TooBig, UnsupportedClusterSize, UnsupportedSectorSize };

struct Fat32Plan {
    Fat32Fit fit = Fat32Fit::TooSmall;
    Fat32Layout layout;
};

// The default cluster size for a volume of that many bytes (512 bytes up to 64 MiB ... 32 KiB
// above 32 GiB), before it is raised to the sector size.
uint32_t Fat32DefaultClusterBytes(uint64_t volumeBytes);

// The smallest FAT, in sectors, that covers every cluster of the `sectors` that follow the
// reserved area once the two FATs are taken from them.
uint32_t Fat32FatSectors(uint64_t sectors, uint32_t sectorsPerCluster, uint32_t bytesPerSector);

// The layout for one cluster size: the reserved area grows from 32 sectors until the data region
// starts on a 1 MiB boundary of the disk. The cluster count is not checked against the limits.
Fat32Layout Fat32LayoutFor(uint64_t totalSectors, uint32_t bytesPerSector, uint64_t hiddenSectors,
                           uint32_t sectorsPerCluster);

// The layout for a volume: a requested cluster size (0 for the table's) must fit the cluster
// limits as it is; the table's is doubled up to 64 KiB when too many clusters, halved down to one
// sector when too few.
Fat32Plan PlanFat32(uint64_t totalSectors, uint32_t bytesPerSector, uint64_t hiddenSectors,
                    uint32_t requestedClusterBytes);

// What a volume says about itself besides its layout.
struct Fat32Identity {
    std::array<uint8_t, 11> label{};  // blank-padded
    bool hasLabel = false;            // else the boot sector reads "NO NAME" and no label entry is made
    uint32_t serial = 0;
    uint16_t sectorsPerTrack = 63, heads = 255;
    uint16_t date = 0, time = 0;      // FAT date and time of the label entry
};

// The label as the eleven bytes of a FAT label: upper-cased, blank-padded. Empty for no label;
// nullopt when it cannot be one (longer than 11, a leading blank, a character FAT names forbid,
// or a byte outside ASCII, whose OEM code page form this program cannot know).
std::optional<std::string> Fat32LabelText(const std::string& label);

// The DOS volume serial of a moment: date and time words added pairwise.
uint32_t Fat32Serial(int year, int month, int day, int hour, int minute, int second, int hundredths);

std::vector<uint8_t> Fat32BootSector(const Fat32Layout& layout, const Fat32Identity& identity);
std::vector<uint8_t> Fat32InfoSector(const Fat32Layout& layout);
// The first sector of each FAT: the media entry, the end-of-chain entry, and the root's one cluster.
std::vector<uint8_t> Fat32FirstFatSector(const Fat32Layout& layout);
// Cluster 2: the root directory, holding only the volume label entry.
std::vector<uint8_t> Fat32RootCluster(const Fat32Layout& layout, const Fat32Identity& identity);

}  // namespace vu
