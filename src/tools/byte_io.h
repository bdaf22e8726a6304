// Input and output of the disk-image readers: random-access reads from a file through the
// seam or from memory, and sequential writes to a file or to memory. A source is read by one
// thread at a time; a sink is written by one thread at a time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace vu {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly `length` bytes at `offset`; false when any of them lies past the end or the
    // read fails.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t length) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const void* data, size_t length) = 0;
    // Appends `length` zero bytes; a file leaves them as a gap that reads back as zeros.
    virtual bool WriteZeros(uint64_t length) = 0;
    // Makes a trailing gap part of the output. True when everything was written.
    virtual bool Finish() = 0;
    virtual uint64_t Written() const = 0;
};

// A file opened for reading through the seam; Size() is -1 (as uint64) when it could not be
// opened, which makes every read fail.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    bool IsOpen() const { return file_ != 0; }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override;

private:
    plat::FileHandle file_ = 0;
    uint64_t size_ = 0;
    uint64_t position_ = UINT64_MAX;  // where the next read starts without a seek
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override;

private:
    const uint8_t* data_;
    size_t size_;
};

// A new file (created or truncated) written through the seam.
class FileSink : public ByteSink {
public:
    explicit FileSink(const std::string& path);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    bool IsOpen() const { return file_ != 0; }
    bool Write(const void* data, size_t length) override;
    bool WriteZeros(uint64_t length) override;
    bool Finish() override;
    uint64_t Written() const override { return written_; }
    void Close();

private:
    plat::FileHandle file_ = 0;
    uint64_t written_ = 0, filePosition_ = 0;
    bool failed_ = false;
};

// Keeps what it is given, up to `limit` bytes; beyond that every write fails.
class MemorySink : public ByteSink {
public:
    explicit MemorySink(uint64_t limit = UINT64_MAX) : limit_(limit) {}
    bool Write(const void* data, size_t length) override;
    bool WriteZeros(uint64_t length) override;
    bool Finish() override { return true; }
    uint64_t Written() const override { return bytes.size(); }
    std::vector<uint8_t> bytes;

private:
    uint64_t limit_;
};

// Big-endian and little-endian fields of on-disk structures.
inline uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
inline uint64_t Be64(const uint8_t* p) { return uint64_t(Be32(p)) << 32 | Be32(p + 4); }
inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[1] << 8 | p[0]); }
inline uint32_t Le32(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }
inline uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p + 4)) << 32 | Le32(p); }

// "4.3 MB" style sizes in error texts are the callers'; this names a number in hexadecimal.
std::string Hex32(uint32_t value);

}  // namespace vu
