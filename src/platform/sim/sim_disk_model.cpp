// The simulated PC's disks: the model, image access, the MBR layout and the description file;
// see sim_disk_model.h and sim_disks.h.
#include "platform/sim/sim_disk_model.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/sim/sim.h"
#include "platform/sim/sim_disks.h"
#include "platform/sim/sim_volume_sync_hooks.h"

namespace vu::sim {
namespace detail {

DiskState& Disks() {
    static DiskState state;
    return state;
}

int64_t ImageSize(const SimDisk& disk) {
    struct stat st;
    return stat(disk.image.c_str(), &st) == 0 ? int64_t(st.st_size) : 0;
}

uint32_t SectorBytes(const SimDisk& disk) {
    return disk.geometryGiven && disk.geometry.BytesPerSector ? disk.geometry.BytesPerSector : 512;
}

DiskGeometryEx GeometryOf(const SimDisk& disk) {
    DiskGeometryEx g = disk.geometry;
    g.DiskSize = ImageSize(disk);
    if (!disk.geometryGiven) {
        g.MediaType = disk.driveType == 2 ? 11 : 12;  // RemovableMedia, FixedMedia
        g.TracksPerCylinder = 255;
        g.SectorsPerTrack = 63;
        g.BytesPerSector = 512;
        g.Cylinders = g.DiskSize / (255 * 63 * 512);
    }
    return g;
}

int64_t ReadImage(const SimDisk& disk, int64_t offset, void* buffer, int64_t size) {
    int fd = open(disk.image.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    int64_t done = 0;
    while (done < size) {
        ssize_t n = pread(fd, static_cast<char*>(buffer) + done, size_t(size - done), off_t(offset + done));
        if (n < 0) {
            close(fd);
            return -1;
        }
        if (n == 0) break;
        done += n;
    }
    close(fd);
    return done;
}

namespace {

// Zeroing writes of a formatter; a smaller one is written as it is.
bool IsLargeZeroBlock(const void* buffer, int64_t size) {
    constexpr int64_t Large = 64 << 10;
    auto bytes = static_cast<const unsigned char*>(buffer);
    return size >= Large && bytes[0] == 0 && std::memcmp(bytes, bytes + 1, size_t(size - 1)) == 0;
}

}  // namespace

int64_t WriteImage(const SimDisk& disk, int64_t offset, const void* buffer, int64_t size) {
    // Writes stay inside the disk: an image does not grow.
    int64_t end = ImageSize(disk);
    if (offset >= end) return 0;
    if (offset + size > end) size = end - offset;
    int fd = open(disk.image.c_str(), O_WRONLY);
    if (fd < 0) return -1;
    if (IsLargeZeroBlock(buffer, size) &&
        fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(offset), off_t(size)) == 0) {
        close(fd);
        return size;
    }
    int64_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, static_cast<const char*>(buffer) + done, size_t(size - done), off_t(offset + done));
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += n;
    }
    close(fd);
    return done;
}

namespace {

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool IsExtended(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

bool IsRecognized(uint8_t type) {
    switch (type) {
        case 0x01: case 0x04: case 0x06: case 0x07: case 0x0B: case 0x0C: case 0x0E: return true;
        default: return false;
    }
}

// One table entry of a boot record; `base` is the sector its start is counted from.
PartitionInformation Entry(const uint8_t* e, uint64_t base, uint32_t sectorBytes, uint32_t& lastNumber) {
    PartitionInformation p;
    uint8_t type = e[4];
    uint32_t start = U32(e + 8), count = U32(e + 12);
    if (type == 0 || count == 0) return p;
    p.StartingOffset = int64_t((base + start) * sectorBytes);
    p.PartitionLength = int64_t(uint64_t(count) * sectorBytes);
    p.HiddenSectors = start;
    p.PartitionType = type;
    p.BootIndicator = e[0] == 0x80;
    p.RecognizedPartition = IsRecognized(type);
    if (!IsExtended(type)) p.PartitionNumber = ++lastNumber;
    return p;
}

// The boot record and its signature are the first 512 bytes of the sector, whatever size the
// description gives the sectors.
bool ReadBootRecord(const SimDisk& disk, uint64_t sector, std::vector<uint8_t>& record) {
    record.assign(512, 0);
    return ReadImage(disk, int64_t(sector * SectorBytes(disk)), record.data(), 512) == 512 && record[510] == 0x55 &&
           record[511] == 0xAA;
}

}  // namespace

std::optional<Layout> ReadLayout(const SimDisk& disk) {
    // More logical partitions than this are a broken chain, not a table.
    constexpr size_t kMostEntries = 1024;
    Layout layout;
    std::vector<uint8_t> record;
    if (!ReadBootRecord(disk, 0, record)) return layout;
    if (record[446 + 4] == 0xEE) return ReadGptLayout(disk);
    uint32_t sectorBytes = SectorBytes(disk), lastNumber = 0;
    layout.style = PartitionStyleMbr;
    layout.signature = U32(&record[440]);
    uint64_t extendedStart = 0;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* e = &record[446 + 16 * i];
        layout.entries.push_back(Entry(e, 0, sectorBytes, lastNumber));
        if (IsExtended(e[4]) && extendedStart == 0) extendedStart = U32(e + 8);
    }
    // Logical partitions: a chain of extended boot records, each reported as four entries.
    uint64_t ebr = extendedStart;
    while (ebr != 0 && ReadBootRecord(disk, ebr, record)) {
        if (layout.entries.size() + 4 > kMostEntries) return std::nullopt;
        layout.entries.push_back(Entry(&record[446], ebr, sectorBytes, lastNumber));
        const uint8_t* link = &record[446 + 16];
        uint32_t unused = 0;
        layout.entries.push_back(IsExtended(link[4]) ? Entry(link, extendedStart, sectorBytes, unused)
                                                     : PartitionInformation{});
        layout.entries.push_back({});
        layout.entries.push_back({});
        uint64_t next = IsExtended(link[4]) ? extendedStart + U32(link + 8) : 0;
        ebr = next > ebr ? next : 0;  // a chain only moves forward; anything else ends it
    }
    return layout;
}

std::optional<ByteRange> PartitionRange(const SimDisk& disk, uint32_t partition) {
    if (partition == 0) return ByteRange{0, ImageSize(disk)};
    auto layout = ReadLayout(disk);
    if (!layout) return std::nullopt;
    for (const auto& p : layout->entries)
        if (p.PartitionNumber == partition && p.PartitionLength > 0) return ByteRange{p.StartingOffset, p.PartitionLength};
    return std::nullopt;
}

}  // namespace detail

namespace {

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
    return value;
}

bool ParseLetter(const std::string& word, char& letter) {
    if (word.size() < 2 || !std::isalpha(static_cast<unsigned char>(word[0])) || word[1] != ':') return false;
    letter = char(std::toupper(static_cast<unsigned char>(word[0])));
    return true;
}

// "C: 0:3 2:1": the letter's volume lies on partition 3 of disk 0 and partition 1 of disk 2.
bool ParseSpan(const std::string& value, std::map<char, detail::SimLetter>& letters,
               std::map<char, std::vector<detail::SimLetter>>& spans) {
    std::istringstream words(value);
    std::string word;
    char letter;
    if (!(words >> word) || !ParseLetter(word, letter) || word.size() != 2) return false;
    std::vector<detail::SimLetter> pieces;
    while (words >> word) {
        detail::SimLetter piece;
        char colon = 0;
        if (std::sscanf(word.c_str(), "%d%c%u", &piece.disk, &colon, &piece.partition) != 3 || colon != ':' ||
            piece.disk < 0)
            return false;
        pieces.push_back(piece);
    }
    if (pieces.size() < 2) return false;
    letters[letter] = pieces.front();
    spans[letter].assign(pieces.begin() + 1, pieces.end());
    return true;
}

// Applies one key of a [disk] section; false when the key or its value is not understood.
bool ApplyDiskKey(detail::SimDisk& disk, int letterDisk, const std::string& key, const std::string& value,
                  std::map<char, detail::SimLetter>& letters) {
    std::istringstream words(value);
    std::string word;
    try {
        if (key == "image") disk.image = value;
        else if (key == "bus") disk.busType = std::stoi(value);
        else if (key == "vendor") disk.vendor = value;
        else if (key == "product") disk.product = value;
        else if (key == "serial") disk.serial = value;
        else if (key == "present") disk.present = value != "no";
        else if (key == "drive-type") disk.driveType = uint32_t(std::stoul(value));
        else if (key == "short-reads") disk.shortReads = value == "yes";
        else if (key == "read-only") disk.readOnly = value == "yes";
        else if (key == "fail-write") disk.failWrite = std::stoi(value);
        else if (key == "fail-read") disk.failRead = std::stoi(value);
        else if (key == "drop-write") disk.dropWrite = std::stoi(value);
        else if (key == "lock-refusals") disk.lockRefusals = std::stoi(value);
        else if (key == "short-read") disk.shortRead = std::stoi(value);
        else if (key == "refuse-lock") disk.refuseLock = std::stoi(value);
        else if (key == "vanish-after") disk.vanishAfter = std::stoi(value);
        else if (key == "gpt") disk.gptPartitions = value;
        else if (key == "fail") {
            while (words >> word) disk.failing.insert(word);
        } else if (key == "geometry") {
            int64_t cylinders;
            uint32_t tracks, sectors, bytes;
            if (!(words >> cylinders >> tracks >> sectors >> bytes)) return false;
            disk.geometry.Cylinders = cylinders;
            disk.geometry.TracksPerCylinder = tracks;
            disk.geometry.SectorsPerTrack = sectors;
            disk.geometry.BytesPerSector = bytes;
            disk.geometry.MediaType = disk.driveType == 2 ? 11 : 12;
            disk.geometryGiven = true;
        } else if (key == "letters") {
            while (words >> word) {
                char letter;
                if (!ParseLetter(word, letter)) return false;
                uint32_t partition = word.size() > 2 ? uint32_t(std::stoul(word.substr(2))) : 0;
                letters[letter] = {letterDisk, partition};
            }
        } else {
            return false;
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace

bool LoadPc(const std::string& descriptionFile, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::ifstream in(descriptionFile);
    if (!in) return fail("cannot read " + descriptionFile);

    std::map<int, detail::SimDisk> disks;
    std::map<char, detail::SimLetter> letters;
    std::map<char, std::vector<detail::SimLetter>> spans;
    bool failDriveStrings = false;
    std::string systemDrive;
    detail::SimDisk* current = nullptr;
    std::string line;
    for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
        std::string where = descriptionFile + ":" + std::to_string(lineNumber) + ": ";
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[') {
            int number;
            if (std::sscanf(line.c_str(), "[disk %d]", &number) != 1 || number < 0) return fail(where + line);
            current = &disks[number];
            current->number = number;
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) return fail(where + line);
        std::string key = Trim(line.substr(0, equals)), value = Unquote(Trim(line.substr(equals + 1)));
        if (current) {
            if (!ApplyDiskKey(*current, current->number, key, value, letters)) return fail(where + line);
        } else if (key == "system-drive") {
            systemDrive = value;
        } else if (key == "drive-strings") {
            failDriveStrings = value == "fail";
        } else if (key == "span") {
            if (!ParseSpan(value, letters, spans)) return fail(where + line);
        } else if (key == "foreign-letters") {
            std::istringstream words(value);
            std::string word;
            char letter;
            while (words >> word) {
                if (!ParseLetter(word, letter)) return fail(where + line);
                letters[letter] = {-1, 0};
            }
        } else {
            return fail(where + line);
        }
    }
    for (const auto& [number, disk] : disks) {
        if (disk.image.empty()) return fail("disk " + std::to_string(number) + " has no image");
        std::string partitions = disk.gptPartitions;
        std::replace(partitions.begin(), partitions.end(), ';', '\n');
        std::string why;
        if (!partitions.empty() && !detail::WriteGptTable(disk, partitions, &why)) return fail(why);
    }

    ClearDisks();
    std::set<char> writeProtected;
    for (const auto& [letter, where] : letters)
        if (where.disk >= 0 && disks.count(where.disk) && disks.at(where.disk).readOnly) writeProtected.insert(letter);
    detail::RenewDriveStates(writeProtected);
    {
        auto& state = detail::Disks();
        detail::DiskLock lock(state.lock);
        state.disks = std::move(disks);
        state.letters = std::move(letters);
        state.spans = std::move(spans);
        state.failDriveStrings = failDriveStrings;
        detail::HoldBackAbsentDisks(state);
    }
    if (!systemDrive.empty()) SetSystemDirectory(systemDrive.substr(0, 1) + ":\\Windows\\system32");
    return true;
}

}  // namespace vu::sim
