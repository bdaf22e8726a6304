// xar through libarchive; see xar_entry.h.
#include "tools/xar_entry.h"

#include <archive.h>
#include <archive_entry.h>
// On Windows libarchive's header brings <windows.h>, whose DeleteFile macro would rename the seam's.
#undef DeleteFile

#include <cctype>
#include <cstdio>
#include <vector>

#include "platform/files.h"
#include "tools/byte_io.h"

namespace vu {

namespace {

// The archive read through the seam; the seam seeks only from the start, so the position is
// kept here for libarchive's relative seeks (which it also uses to skip).
struct Reader {
    plat::FileHandle file = 0;
    int64_t position = 0;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(1 << 20);
};

la_ssize_t Read(archive*, void* data, const void** block) {
    auto* r = static_cast<Reader*>(data);
    *block = r->buffer.data();
    int64_t got = plat::ReadFileData(r->file, r->buffer.data(), int64_t(r->buffer.size()));
    if (got < 0) return ARCHIVE_FATAL;
    r->position += got;
    return la_ssize_t(got);
}

la_int64_t Seek(archive*, void* data, la_int64_t offset, int whence) {
    auto* r = static_cast<Reader*>(data);
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? r->position : plat::FileLength(r->file);
    int64_t target = base + offset;
    if (base < 0 || target < 0 || !plat::SeekFile(r->file, target)) return ARCHIVE_FATAL;
    r->position = target;
    return target;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

std::string LastComponent(std::string path) {
    while (!path.empty() && path.back() == '/') path.pop_back();
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

XarCopy CopyXarEntry(const std::string& archivePath, const std::string& name, const std::string& target,
                     const std::function<bool(uint64_t, uint64_t)>& progress, std::string& error) {
    Reader reader;
    reader.file = plat::OpenFile(archivePath, plat::FileMode::Read);
    if (!reader.file) return error = "it cannot be opened", XarCopy::Failed;
    char magic[4] = {};
    bool isXar = plat::ReadFileData(reader.file, magic, 4) == 4 && std::string(magic, 4) == "xar!";
    if (!isXar || !plat::SeekFile(reader.file, 0)) {
        plat::CloseFile(reader.file);
        return error = "it is not a xar archive", XarCopy::NotXar;
    }

    archive* a = archive_read_new();
    archive_read_support_format_xar(a);
    archive_read_set_seek_callback(a, Seek);
    XarCopy result = XarCopy::NotFound;
    if (archive_read_open2(a, &reader, nullptr, Read, nullptr, nullptr) != ARCHIVE_OK) {
        error = std::string("its table of contents cannot be read: ") + archive_error_string(a);
        result = XarCopy::Failed;
    } else {
        archive_entry* entry = nullptr;
        int status;
        while ((status = archive_read_next_header(a, &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
            const char* path = archive_entry_pathname_utf8(entry);
            if (!path) path = archive_entry_pathname(entry);
            if (!path || archive_entry_filetype(entry) != AE_IFREG || !SameName(LastComponent(path), name)) continue;
            uint64_t total = archive_entry_size_is_set(entry) ? uint64_t(archive_entry_size(entry)) : 0;
            FileSink out(target);
            if (!out.IsOpen()) {
                error = "the copy cannot be created";
                result = XarCopy::Failed;
                break;
            }
            uint64_t done = 0;
            result = XarCopy::Copied;
            std::vector<uint8_t> buffer(1 << 20);
            for (;;) {
                la_ssize_t got = archive_read_data(a, buffer.data(), buffer.size());
                if (got == 0) break;
                if (got < 0) {
                    error = std::string(name) + " cannot be read: " + archive_error_string(a);
                    result = XarCopy::Failed;
                    break;
                }
                if (!out.Write(buffer.data(), size_t(got))) {
                    error = "the copy of " + name + " cannot be written";
                    result = XarCopy::Failed;
                    break;
                }
                done += uint64_t(got);
                if (progress && !progress(done, total)) {
                    result = XarCopy::Cancelled;
                    break;
                }
            }
            if (result == XarCopy::Copied && !out.Finish()) {
                error = "the copy of " + name + " cannot be written";
                result = XarCopy::Failed;
            }
            out.Close();
            if (result != XarCopy::Copied) plat::DeleteFile(target);
            break;
        }
        if (status == ARCHIVE_FATAL && result == XarCopy::NotFound) {
            error = std::string("it is damaged: ") + archive_error_string(a);
            result = XarCopy::Failed;
        }
    }
    archive_read_free(a);
    plat::CloseFile(reader.file);
    return result;
}

}  // namespace vu
