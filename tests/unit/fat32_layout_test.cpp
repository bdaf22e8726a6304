// The layout of our own FAT32 formatter at its boundaries, checked against the rules of the format
// and against what mkfs.fat computes for the same volume, cluster size and reserved area.
#include <gtest/gtest.h>

#include <fstream>

#include "prepare/fat32_layout.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

// The rules every layout keeps, computed here from the format's definitions.
void ExpectSound(const Fat32Layout& l) {
    uint64_t alignment = (1u << 20) / l.bytesPerSector, perFatSector = l.bytesPerSector / 4;
    EXPECT_EQ((l.hiddenSectors + l.DataStart()) % alignment, 0u) << "data region off the disk's MiB boundaries";
    EXPECT_GE(l.reservedSectors, 32u);
    EXPECT_LT(l.reservedSectors, 32 + 2 * alignment + 256);
    EXPECT_EQ(l.clusterCount, (l.totalSectors - l.DataStart()) / l.sectorsPerCluster);
    EXPECT_LE(l.clusterCount + 2ull, l.fatSectors * perFatSector) << "the FAT cannot hold every cluster";
    uint64_t withOneLess = (l.totalSectors - l.reservedSectors - 2ull * (l.fatSectors - 1)) / l.sectorsPerCluster;
    EXPECT_GT(withOneLess + 2, (l.fatSectors - 1) * perFatSector) << "a FAT sector smaller would do";
}

// A volume size whose layout has exactly `clusters` clusters.
// Counts rise by at most one a sector and drop only where the reserved area grows to the next
// boundary, so a walk of single sectors reaches every count.
uint64_t TotalWith(uint64_t clusters, uint32_t sectorBytes, uint32_t perCluster, uint64_t hidden) {
    uint64_t total = clusters * perCluster + 2 * (clusters * 4 / sectorBytes + 1) + 32;
    for (int step = 0; step < 20000; ++step) {
        uint64_t count = Fat32LayoutFor(total, sectorBytes, hidden, perCluster).clusterCount;
        if (count == clusters) return total;
        total += count < clusters ? 1 : -1;
    }
    ADD_FAILURE() << "no size gives " << clusters << " clusters";
    return 0;
}

TEST(Fat32Layout, ClusterLimitsAreTakenExactly) {
    struct Row {
        const char* name;
        uint64_t clusters;                 // of the volume size, with clusters of `sizedBy` bytes
        uint32_t sectorBytes, sizedBy, requested;
        Fat32Fit fit;
        uint32_t cluster;                  // chosen, when it fits
    } rows[] = {
        {"fewest clusters", Fat32MinClusters, 512, 512, 512, Fat32Fit::Fits, 512},
        {"one too few, as asked", Fat32MinClusters - 1, 512, 512, 512, Fat32Fit::UnsupportedClusterSize, 0},
        {"one too few, by the table", Fat32MinClusters - 1, 512, 512, 0, Fat32Fit::TooSmall, 0},
        {"most clusters", Fat32MaxClusters, 512, 512, 512, Fat32Fit::Fits, 512},
        {"one too many, as asked", Fat32MaxClusters + 1ull, 512, 512, 512, Fat32Fit::UnsupportedClusterSize, 0},
        {"one too many, by the table", Fat32MaxClusters + 1ull, 512, 512, 0, Fat32Fit::Fits, 32768},
        {"4 KiB sectors, fewest", Fat32MinClusters, 4096, 4096, 0, Fat32Fit::Fits, 4096},
        {"4 KiB sectors, most of 32 KiB", Fat32MaxClusters, 4096, 32768, 32768, Fat32Fit::Fits, 32768},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        uint64_t total = TotalWith(row.clusters, row.sectorBytes, row.sizedBy / row.sectorBytes, 2048);
        Fat32Plan plan = PlanFat32(total, row.sectorBytes, 2048, row.requested);
        EXPECT_EQ(plan.fit, row.fit);
        if (row.fit != Fat32Fit::Fits || plan.fit != Fat32Fit::Fits) continue;
        EXPECT_EQ(plan.layout.ClusterBytes(), row.cluster);
        ExpectSound(plan.layout);
    }
    // 64 KiB clusters only where 32 KiB ones exceed the limit: 4 KiB sectors beyond 8 TiB.
    uint64_t limit = TotalWith(Fat32MaxClusters, 4096, 8, 0);
    EXPECT_EQ(PlanFat32(limit, 4096, 0, 0).layout.ClusterBytes(), 32768u);
    Fat32Plan beyond = PlanFat32(limit + 8, 4096, 0, 0);
    EXPECT_EQ(beyond.fit, Fat32Fit::Fits);
    EXPECT_EQ(beyond.layout.ClusterBytes(), 65536u);
    ExpectSound(beyond.layout);
    EXPECT_EQ(PlanFat32(1ull << 32, 4096, 0, 0).fit, Fat32Fit::TooBig) << "sectors beyond the 32-bit count";
}

TEST(Fat32Layout, TheTableSizesTheClustersAndTheDataRegionIsAligned) {
    struct Row {
        uint64_t bytes;
        uint32_t sectorBytes, hidden, cluster;
    } rows[] = {
        {40ull << 20, 512, 63, 512},         {200ull << 20, 512, 2048, 2048},     {8ull << 30, 512, 2048, 4096},
        {16ull << 30, 512, 1, 8192},         {32ull << 30, 512, 2047, 16384},     {(32ull << 30) + 512, 512, 63, 32768},
        {(2ull << 40) - 512, 512, 2048, 32768}, {300ull << 20, 4096, 255, 4096},  {64ull << 30, 4096, 8, 32768},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.bytes) + " bytes after " + std::to_string(row.hidden));
        Fat32Plan plan = PlanFat32(row.bytes / row.sectorBytes, row.sectorBytes, row.hidden, 0);
        ASSERT_EQ(plan.fit, Fat32Fit::Fits);
        EXPECT_EQ(plan.layout.ClusterBytes(), row.cluster);
        ExpectSound(plan.layout);
    }
}

// mkfs.fat, given the same size, cluster size and reserved area (-a keeps it from aligning),
// sizes the FAT as we do. At the top it differs: it takes 2^28 - 10 clusters, whose last number
// is the bad-cluster mark 0x0FFFFFF7, where we stop one short; and its FATs there are 2 GiB to
// write. So the limits are checked above, not here.
TEST(Fat32Layout, FatSizeAndClusterCountAgreeWithMkfsFat) {
    test::ScratchFolder folder;
    struct Row {
        uint64_t total;
        uint32_t sectorBytes, perCluster, hidden;
    } rows[] = {
        {TotalWith(Fat32MinClusters, 512, 1, 2048), 512, 1, 2048},
        {TotalWith(130046, 512, 1, 63), 512, 1, 63},  // 130048 entries fill 1016 FAT sectors exactly
        {TotalWith(130047, 512, 1, 63), 512, 1, 63},  // one more entry takes a sector more
        {(40ull << 30) / 512, 512, 64, 2048},
        {(64ull << 30) / 512 - 63, 512, 64, 63},
        {TotalWith(Fat32MinClusters, 4096, 1, 256), 4096, 1, 256},
        {(64ull << 30) / 4096, 4096, 8, 256},
    };
    for (const Row& row : rows) {
        Fat32Layout ours = Fat32LayoutFor(row.total, row.sectorBytes, row.hidden, row.perCluster);
        SCOPED_TRACE(std::to_string(row.total) + " sectors of " + std::to_string(row.sectorBytes));
        ExpectSound(ours);
        std::string image = test::BlankImage(folder, "mkfs.img", 0);
        std::filesystem::resize_file(image, row.total * row.sectorBytes);
        ASSERT_EQ(test::Shell("mkfs.fat -F 32 -a -R " + std::to_string(ours.reservedSectors) + " -s " +
                              std::to_string(row.perCluster) + " -S " + std::to_string(row.sectorBytes) + " '" +
                              image + "'"),
                  0);
        uint8_t bs[512];
        std::ifstream(image, std::ios::binary).read(reinterpret_cast<char*>(bs), sizeof bs);
        auto u32 = [&](int at) {
            return uint32_t(bs[at]) | bs[at + 1] << 8 | bs[at + 2] << 16 | uint32_t(bs[at + 3]) << 24;
        };
        uint32_t reserved = uint32_t(bs[14] | bs[15] << 8), fat = u32(36), total = u32(32);
        EXPECT_EQ(total, row.total);
        EXPECT_EQ(reserved, ours.reservedSectors);
        EXPECT_EQ(fat, ours.fatSectors);
        EXPECT_EQ((total - reserved - 2 * fat) / row.perCluster, ours.clusterCount);
        std::filesystem::remove(image);
    }
}

TEST(Fat32Layout, LabelsAreUpperCasedOrRefused) {
    struct Row {
        const char* label;
        const char* text;  // nullptr: refused
    } rows[] = {
        {"CLOVER", "CLOVER"}, {"clover 2", "CLOVER 2"}, {"", ""},          {"ELEVEN CHAR", "ELEVEN CHAR"},
        {"TWELVE CHARS", nullptr}, {"TRAIL  ", "TRAIL"}, {" LEAD", nullptr}, {"A.B", nullptr},
        {"A*", nullptr},      {"\xC3\x9C" "BER", nullptr},
    };
    for (const Row& row : rows) {
        auto text = Fat32LabelText(row.label);
        EXPECT_EQ(text.has_value(), row.text != nullptr) << row.label;
        if (text && row.text) {
            EXPECT_EQ(*text, row.text) << row.label;
        }
    }
}

}  // namespace
}  // namespace vu
