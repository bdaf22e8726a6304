// Reads and changes the attributes of files and folders in an exFAT file system lying at a byte
// offset of a host file (a disk image), by walking the directory entry sets directly: the FUSE
// driver that writes the simulated volumes' files cannot set the hidden attribute. Used by the
// volume sync and by tests; callers serialise access to the file.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace vu::sim::detail {

constexpr uint16_t ExFatHidden = 0x02;
constexpr uint16_t ExFatDirectory = 0x10;

struct ExFatEntry {
    std::string path;  // "EFI/CLOVER/config.plist", names as stored
    uint16_t attributes = 0;
    uint64_t size = 0;
};

// Every file and folder, parents before their contents; false (with the reason in *error) when
// the file system cannot be read.
bool ListExFat(const std::string& file, int64_t offset, std::vector<ExFatEntry>& entries, std::string* error);

// Sets the hidden attribute of each of `paths` and renews the checksum of its entry set; false
// (with the reason) when the file system cannot be read or written, or a path is not in it.
bool HideInExFat(const std::string& file, int64_t offset, const std::set<std::string>& paths, std::string* error);

}  // namespace vu::sim::detail
