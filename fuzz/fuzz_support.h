// Helpers shared by the fuzz targets: files in memory that a host path can name, disk images
// rebuilt from a compact list of sectors, ZIP archives made in memory, and a simulated PC set up
// once per process. Header-only, so that each target stays one file of its own.
#pragma once
#include <sys/mman.h>
#include <unistd.h>
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/globals.h"
#include "platform/sim/sim.h"

namespace vu::fuzz {

// Stops the run with a message: a target's own check failed, which the fuzzer reports as a crash.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

// A file that exists only in memory (memfd) under the host path "/proc/self/fd/N", so a target
// can hand a file name to code that opens files without leaving anything on the host disk.
class MemoryFile {
public:
    explicit MemoryFile(const char* name) : fd_(memfd_create(name, 0)) {
        if (fd_ < 0) Fail("memfd_create");
    }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

    // Replaces the contents by `size` zero bytes (sparse) and then `data` at `at`.
    void Reset(int64_t size) {
        if (ftruncate(fd_, 0) != 0 || ftruncate(fd_, size) != 0) Fail("ftruncate");
    }
    void Put(int64_t at, const void* data, size_t size) {
        if (size && pwrite(fd_, data, size, at) != ssize_t(size)) Fail("pwrite");
    }
    void Assign(const void* data, size_t size) {
        Reset(0);
        Put(0, data, size);
    }

private:
    int fd_;
};

// A disk image given as its 512-byte blocks that are not zero, so that an input of a few
// kilobytes can place boot records and directories where real file systems have them:
//
//   0   4   size of the image in blocks (little-endian; limited to kMaxImageBlocks)
//   4   ..  records of 4 + 512 bytes: the block number (modulo the size), then its bytes
//
// A last record that is cut short is padded with zeros. fuzz/sector_seed.py writes this form
// from an image file.
constexpr uint32_t kMaxImageBlocks = 1u << 21;  // 1 GiB, sparse

inline uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Rebuilds the image into `file`; false when the input is too short to name a size.
inline bool LoadSectorImage(MemoryFile& file, const uint8_t* data, size_t size) {
    if (size < 4) return false;
    uint32_t blocks = Le32(data) % kMaxImageBlocks + 1;
    file.Reset(int64_t(blocks) * 512);
    for (size_t at = 4; at + 4 < size; at += 516) {
        uint32_t block = Le32(data + at) % blocks;
        uint8_t sector[512] = {};
        size_t available = size - at - 4 < 512 ? size - at - 4 : 512;
        for (size_t i = 0; i < available; ++i) sector[i] = data[at + 4 + i];
        file.Put(int64_t(block) * 512, sector, sizeof sector);
    }
    return true;
}

// A stored ZIP archive in memory with the given entries (name, contents), made by libzip. Entries
// that libzip refuses (an empty name, a name given twice) are removed from `entries`.
struct ZipEntry {
    std::string name, contents;
};
inline std::string MakeZip(std::vector<ZipEntry>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &error) : nullptr;
    if (!archive) Fail("zip_open_from_source");
    zip_source_keep(buffer);
    for (size_t i = 0; i < entries.size();) {
        const ZipEntry& entry = entries[i];
        zip_source_t* contents = zip_source_buffer(archive, entry.contents.data(), entry.contents.size(), 0);
        zip_int64_t index = contents ? zip_file_add(archive, entry.name.c_str(), contents, ZIP_FL_ENC_GUESS) : -1;
        if (index < 0) {
            zip_source_free(contents);
            entries.erase(entries.begin() + ptrdiff_t(i));
            continue;
        }
        zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
        ++i;
    }
    if (zip_close(archive) != 0) Fail("zip_close");
    std::string bytes;
    zip_stat_t stat;
    if (zip_source_stat(buffer, &stat) == 0 && zip_source_open(buffer) == 0) {
        bytes.resize(size_t(stat.size));
        if (zip_source_read(buffer, bytes.data(), stat.size) != zip_int64_t(stat.size)) bytes.clear();
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    return bytes;
}

// The entry names of a ZIP archive in memory as the program reads them (encoding guessed), in
// entry order; none when libzip cannot open it.
inline std::vector<std::string> ZipNames(const std::string& bytes) {
    std::vector<std::string> names;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        zip_source_free(source);
        return names;
    }
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        names.push_back(name ? name : "");
    }
    zip_discard(archive);
    return names;
}

// Splits `text` at `separator`.
inline std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t begin = 0;
    for (size_t end; (end = text.find(separator, begin)) != std::string::npos; begin = end + 1)
        parts.push_back(text.substr(begin, end - begin));
    parts.push_back(text.substr(begin));
    return parts;
}

// The simulated PC in its start state, with the program's identity read from it; once per process.
inline void StartSimulatedPc() {
    static bool started = [] {
        sim::Reset();
        ReadProgramIdentity();
        return true;
    }();
    (void)started;
}

}  // namespace vu::fuzz
