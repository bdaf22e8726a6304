// The drive layout request; see drive_layout.h.
#include "disk/drive_layout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vu {

namespace {

// Room for four entries first; no layout the system reports is larger than this.
constexpr uint32_t kFirstBufferSize = LayoutExHeadSize + 4 * PartitionExSize;
constexpr uint32_t kLargestBufferSize = 4u << 20;

uint32_t Read32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
int64_t Read64(const uint8_t* p) { return int64_t(uint64_t(Read32(p)) | uint64_t(Read32(p + 4)) << 32); }

LayoutEntry ParseEntry(const uint8_t* e, uint32_t style) {
    LayoutEntry entry;
    PartitionInformation& info = entry.Info;
    info.StartingOffset = Read64(e + PartitionExStartingOffsetAt);
    info.PartitionLength = Read64(e + PartitionExLengthAt);
    info.PartitionNumber = Read32(e + PartitionExNumberAt);
    info.RewritePartition = e[PartitionExRewriteAt];
    if (style == PartitionStyleMbr) {
        info.PartitionType = e[PartitionExMbrTypeAt];
        info.BootIndicator = e[PartitionExMbrBootAt];
        info.RecognizedPartition = e[PartitionExMbrRecognizedAt];
        info.HiddenSectors = Read32(e + PartitionExMbrHiddenSectorsAt);
    } else if (style == PartitionStyleGpt) {
        entry.GptType = GuidText(e + PartitionExGptTypeAt);
    }
    return entry;
}

}  // namespace

std::string GuidText(const uint8_t* g) {
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", Read32(g),
                  unsigned(g[4] | g[5] << 8), unsigned(g[6] | g[7] << 8), g[8], g[9], g[10], g[11], g[12], g[13],
                  g[14], g[15]);
    return text;
}

std::optional<DriveLayout> QueryDriveLayout(plat::DeviceHandle drive) {
    std::vector<uint8_t> buffer(kFirstBufferSize);
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), 0);
        if (plat::DeviceControl(drive, IoctlDiskGetDriveLayoutEx, nullptr, 0, buffer.data(), uint32_t(buffer.size())))
            break;
        uint32_t error = plat::LastDeviceError();
        if ((error != ErrorInsufficientBuffer && error != ErrorMoreData) || buffer.size() >= kLargestBufferSize)
            return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
    DriveLayout layout;
    layout.Style = Read32(buffer.data());
    uint32_t count = Read32(buffer.data() + 4);
    // A count the buffer cannot hold is a report that cannot be trusted, not a shorter layout.
    if (count > (buffer.size() - LayoutExHeadSize) / PartitionExSize) return std::nullopt;
    if (layout.Style == PartitionStyleMbr) layout.Signature = Read32(buffer.data() + LayoutExMbrSignatureAt);
    for (uint32_t i = 0; i < count; ++i)
        layout.Entries.push_back(ParseEntry(buffer.data() + LayoutExHeadSize + i * PartitionExSize, layout.Style));
    return layout;
}

}  // namespace vu
