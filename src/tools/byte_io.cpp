// File and memory sources and sinks; see byte_io.h.
#include "tools/byte_io.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vu {

FileSource::FileSource(const std::string& path) {
    file_ = plat::OpenFile(path, plat::FileMode::Read);
    int64_t length = file_ ? plat::FileLength(file_) : -1;
    if (length < 0) {
        if (file_) plat::CloseFile(file_);
        file_ = 0;
        length = 0;
    }
    size_ = uint64_t(length);
}

FileSource::~FileSource() {
    if (file_) plat::CloseFile(file_);
}

bool FileSource::ReadAt(uint64_t offset, void* buffer, size_t length) {
    if (!file_ || offset > size_ || length > size_ - offset) return false;
    if (length == 0) return true;
    if (offset != position_ && !plat::SeekFile(file_, int64_t(offset))) {
        position_ = UINT64_MAX;
        return false;
    }
    bool ok = plat::ReadFileData(file_, buffer, int64_t(length)) == int64_t(length);
    position_ = ok ? offset + length : UINT64_MAX;
    return ok;
}

bool MemorySource::ReadAt(uint64_t offset, void* buffer, size_t length) {
    if (offset > size_ || length > size_ - offset) return false;
    if (length) std::memcpy(buffer, data_ + offset, length);
    return true;
}

FileSink::FileSink(const std::string& path) { file_ = plat::OpenFile(path, plat::FileMode::Create); }

FileSink::~FileSink() { Close(); }

void FileSink::Close() {
    if (file_) plat::CloseFile(file_);
    file_ = 0;
}

bool FileSink::Write(const void* data, size_t length) {
    if (!file_ || failed_) return false;
    if (filePosition_ != written_ && !plat::SeekFile(file_, int64_t(written_))) return failed_ = true, false;
    if (plat::WriteFileData(file_, data, int64_t(length)) != int64_t(length)) return failed_ = true, false;
    written_ += length;
    filePosition_ = written_;
    return true;
}

// The gap is left to the file system, which reads it back as zeros; Finish writes the last byte
// when the output ends in a gap, so that the file has its full length.
bool FileSink::WriteZeros(uint64_t length) {
    if (!file_ || failed_) return false;
    written_ += length;
    return true;
}

bool FileSink::Finish() {
    if (!file_ || failed_) return false;
    if (filePosition_ == written_) return true;
    const uint8_t zero = 0;
    written_ -= 1;
    return Write(&zero, 1);
}

bool MemorySink::Write(const void* data, size_t length) {
    if (length > limit_ - bytes.size()) return false;
    auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + length);
    return true;
}

bool MemorySink::WriteZeros(uint64_t length) {
    if (length > limit_ - bytes.size()) return false;
    bytes.resize(bytes.size() + size_t(length));
    return true;
}

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace vu
