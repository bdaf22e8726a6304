// GPT disks of the simulated PC: the table read from the image as Windows reports it, and a new
// table written by sfdisk when a disk's description asks for one; see sim_disk_model.h.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_host_tool.h"

namespace vu::sim::detail {

namespace {

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t U64(const uint8_t* p) { return uint64_t(U32(p)) | uint64_t(U32(p + 4)) << 32; }

constexpr uint32_t kMostEntries = 1024;

bool Zero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

}  // namespace

std::optional<Layout> ReadGptLayout(const SimDisk& disk) {
    uint32_t sectorBytes = SectorBytes(disk);
    std::vector<uint8_t> header(sectorBytes);
    if (ReadImage(disk, sectorBytes, header.data(), sectorBytes) != sectorBytes) return std::nullopt;
    uint32_t headerSize = U32(&header[12]);
    if (std::memcmp(header.data(), "EFI PART", 8) != 0 || headerSize < 92 || headerSize > sectorBytes)
        return std::nullopt;
    uint32_t storedCrc = U32(&header[16]);
    std::memset(&header[16], 0, 4);
    if (crc32(0, header.data(), headerSize) != storedCrc) return std::nullopt;

    uint64_t entriesAt = U64(&header[72]);
    uint32_t count = U32(&header[80]), entrySize = U32(&header[84]);
    if (count > kMostEntries || entrySize < 128 || entrySize > 4096 || entrySize % 8 != 0) return std::nullopt;
    std::vector<uint8_t> entries(size_t(count) * entrySize);
    if (ReadImage(disk, int64_t(entriesAt * sectorBytes), entries.data(), int64_t(entries.size())) !=
            int64_t(entries.size()) ||
        crc32(0, entries.data(), uInt(entries.size())) != U32(&header[88]))
        return std::nullopt;

    Layout layout;
    layout.style = PartitionStyleGpt;
    std::memcpy(layout.diskId, &header[56], 16);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = &entries[size_t(i) * entrySize];
        uint64_t first = U64(e + 32), last = U64(e + 40);
        if (Zero(e, 16) || last < first) continue;
        PartitionInformation info;
        info.StartingOffset = int64_t(first * sectorBytes);
        info.PartitionLength = int64_t((last - first + 1) * sectorBytes);
        info.PartitionNumber = uint32_t(layout.entries.size() + 1);
        layout.entries.push_back(info);
        GptFields fields;
        std::memcpy(fields.type, e, 16);
        std::memcpy(fields.id, e + 16, 16);
        fields.attributes = U64(e + 48);
        for (size_t c = 0; c < 36; ++c) fields.name[c] = char16_t(e[56 + 2 * c] | e[57 + 2 * c] << 8);
        layout.gpt.push_back(fields);
    }
    return layout;
}

bool WriteGptTable(const SimDisk& disk, const std::string& partitions, std::string* error) {
    std::string script = disk.image + ".gpt-" + std::to_string(getpid());
    std::ofstream(script) << "label: gpt\n" << partitions << "\n";
    std::string output;
    // sfdisk reads its script from standard input.
    int code = RunHostTool({"sh", "-c", "exec sfdisk -q \"$0\" < \"$1\"", disk.image, script}, &output);
    std::filesystem::remove(script);
    if (code != 0 && error) *error = "sfdisk could not write the GPT of " + disk.image + ": " + output;
    return code == 0;
}

}  // namespace vu::sim::detail
