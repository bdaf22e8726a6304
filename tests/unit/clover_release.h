// Bootloader releases as the download host publishes them, made with libarchive's writers: an
// ISO 9660 image (Rock Ridge and Joliet) inside a tar, compressed as LZMA-alone.
#pragma once
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vu::test {

using Entries = std::vector<std::pair<std::string, std::string>>;  // name ("x/" for a folder), bytes

inline void WriteEntries(archive* a, const Entries& entries) {
    for (const auto& [name, bytes] : entries) {
        archive_entry* entry = archive_entry_new();
        bool folder = !name.empty() && name.back() == '/';
        archive_entry_set_pathname(entry, folder ? name.substr(0, name.size() - 1).c_str() : name.c_str());
        archive_entry_set_filetype(entry, folder ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry, folder ? 0755 : 0644);
        archive_entry_set_size(entry, folder ? 0 : la_int64_t(bytes.size()));
        archive_entry_set_mtime(entry, 1512086400, 0);
        EXPECT_EQ(archive_write_header(a, entry), ARCHIVE_OK) << archive_error_string(a);
        if (!folder) {
            EXPECT_EQ(archive_write_data(a, bytes.data(), bytes.size()), la_ssize_t(bytes.size()));
        }
        archive_entry_free(entry);
    }
}

inline std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// An ISO image of `entries`, made in `scratch` (a host file path).
inline std::string IsoImage(const Entries& entries, const std::string& scratch) {
    archive* a = archive_write_new();
    archive_write_set_format_iso9660(a);
    EXPECT_EQ(archive_write_open_filename(a, scratch.c_str()), ARCHIVE_OK);
    WriteEntries(a, entries);
    archive_write_close(a);
    archive_write_free(a);
    std::string bytes = ReadHostFile(scratch);
    std::remove(scratch.c_str());
    return bytes;
}

// A tar of `entries` at the host path `path`, compressed as LZMA-alone unless `plain`.
inline void WriteRelease(const std::string& path, const Entries& entries, bool plain = false) {
    archive* a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    if (!plain) archive_write_add_filter_lzma(a);
    EXPECT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
    WriteEntries(a, entries);
    archive_write_close(a);
    archive_write_free(a);
}

// The bootloader's files in the ISO of a test release: loaders, a configuration, a driver to copy,
// a folder spelt in another case than the fixed tree, and what the unpacking leaves out.
inline Entries CloverIsoEntries(const std::string& boot6) {
    return {
        {"EFI/CLOVER/config.plist", "<plist>config</plist>"},
        {"EFI/CLOVER/drivers-Off/drivers64UEFI/OsxAptioFixDrv-64.efi", "aptio"},
        {"EFI/CLOVER/drivers64UEFI/HFSPlus.efi", "hfs"},
        {"efi/clover/Kexts/Other/FakeSMC.kext", "smc"},
        {"usr/standalone/i386/ia32/boot3", "ia32-3"},
        {"usr/standalone/i386/ia32/boot7", "ia32-7"},
        {"usr/standalone/i386/x64/boot6", boot6},
        {"usr/standalone/i386/x64/boot7", "x64-7"},
        {"[BOOT]/Bootable_NoEmulation.img", "eltorito"},
        {"nested.iso", "an image at the top"},
        {"notes.tar", "kept"},
    };
}

}  // namespace vu::test
