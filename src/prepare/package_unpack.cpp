// Decoding of a packed package into a temporary file; see package_unpack.h.
#include "prepare/package_unpack.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "platform/files.h"
#include "platform/gui.h"

namespace vu {

namespace {

constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kPropertiesSize = 5;
// The packages the program carries unpack to a few megabytes; a header that claims more than
// this is damaged, and is refused before memory is set aside for it.
constexpr uint32_t kMaxUnpackedSize = 64u << 20;

uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Decodes the raw LZMA stream after the properties into exactly `size` bytes of `out`. Whether
// the stream carries an end marker does not matter: decoding stops when the output is full.
bool DecodeLzma(const unsigned char* properties, const unsigned char* stream, std::size_t streamSize,
                unsigned char* out, std::size_t size) {
    unsigned bits = properties[0];
    if (bits >= 9 * 5 * 5) return false;
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, 0)) return false;
    options.lc = bits % 9;
    options.lp = (bits / 9) % 5;
    options.pb = bits / 45;
    // No match reaches further back than the output: a larger dictionary would be memory for nothing.
    options.dict_size = uint32_t(std::min<std::size_t>(Le32(properties + 1), size));
    if (options.dict_size < LZMA_DICT_SIZE_MIN) options.dict_size = LZMA_DICT_SIZE_MIN;

    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream decoder = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&decoder, filters) != LZMA_OK) return false;
    decoder.next_in = stream;
    decoder.avail_in = streamSize;
    decoder.next_out = out;
    decoder.avail_out = size;
    lzma_ret result = LZMA_OK;
    while (decoder.avail_out != 0 && result == LZMA_OK) result = lzma_code(&decoder, LZMA_RUN);
    bool complete = decoder.avail_out == 0;
    lzma_end(&decoder);
    return complete;
}

uint32_t Crc32(const unsigned char* data, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        uInt chunk = size > 0x40000000 ? 0x40000000u : uInt(size);
        crc = crc32(crc, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return uint32_t(crc);
}

void ShowError(const char* what) {
    plat::MessageBox("Error", std::string("Error UnpackInternalMemoryToTempFile: ") + what,
                     plat::MbOk | plat::MbIconError);
}

}  // namespace

std::string UnpackInternalMemoryToTempFile(const unsigned char* start, std::size_t length, WorkFolder& folder) {
    if (!start || length == 0) return "";
    if (folder.Path().empty() && !folder.Create()) return "";
    if (length < kHeaderSize + kPropertiesSize) return "";

    uint32_t unpackedSize = Le32(start);
    if (unpackedSize == 0 || unpackedSize > kMaxUnpackedSize) return "";
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[unpackedSize]);
    if (!buffer) return "";

    const unsigned char* properties = start + kHeaderSize;
    if (!DecodeLzma(properties, properties + kPropertiesSize, length - kHeaderSize - kPropertiesSize,
                    buffer.get(), unpackedSize)) {
        return "";
    }
    if (Crc32(buffer.get(), unpackedSize) != Le32(start + 8)) {
        ShowError("CRC32 Error");
        return "";
    }

    std::string name = NewTempFileName(folder.Path());
    plat::FileHandle file = plat::OpenFile(name, plat::FileMode::Create);
    bool written = file && plat::WriteFileData(file, buffer.get(), unpackedSize) == int64_t(unpackedSize);
    if (file) plat::CloseFile(file);
    if (!written) {
        plat::DeleteFile(name);
        ShowError("WriteData Error");
        return "";
    }
    return name;
}

}  // namespace vu
