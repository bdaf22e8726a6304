// Chunk decoders; see udif_chunks.h.
#include "tools/udif_chunks.h"

#include <bzlib.h>
#include <libdeflate.h>
#include <lzma.h>

#include <cstring>

#include "tools/lzfse_decode.h"

namespace vu {

namespace {

std::string SectorsText(size_t outLength) { return std::to_string(outLength / UdifSectorSize) + " sectors"; }

std::string TooShort(size_t outLength) { return "decodes to fewer bytes than its " + SectorsText(outLength); }
std::string TooLong(size_t outLength) { return "decodes to more bytes than its " + SectorsText(outLength); }

// ADC: a byte with the top bit set starts a literal run of (low 7 bits + 1) bytes; 01xxxxxx
// copies (x + 4) bytes from a 16-bit distance; 00xxxxyy copies (x + 3) bytes from a 10-bit
// distance (yy and the next byte). Distances count back from the byte before the output's end.
bool DecodeAdc(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength, std::string& error) {
    size_t i = 0, o = 0;
    while (o < outLength) {
        if (i >= inLength) return error = TooShort(outLength), false;
        uint8_t b = in[i++];
        if (b & 0x80) {
            size_t run = (b & 0x7F) + 1u;
            if (run > inLength - i) return error = "ADC data ends inside a literal run", false;
            if (run > outLength - o) return error = TooLong(outLength), false;
            std::memcpy(out + o, in + i, run);
            i += run, o += run;
            continue;
        }
        size_t length, distance;
        if (b & 0x40) {
            if (inLength - i < 2) return error = "ADC data ends inside a copy", false;
            length = (b & 0x3F) + 4u;
            distance = size_t(in[i]) << 8 | in[i + 1];
            i += 2;
        } else {
            if (inLength - i < 1) return error = "ADC data ends inside a copy", false;
            length = ((b >> 2) & 0x0F) + 3u;
            distance = size_t(b & 3) << 8 | in[i];
            i += 1;
        }
        if (distance >= o) return error = "ADC data copies from before its start", false;
        if (length > outLength - o) return error = TooLong(outLength), false;
        // Byte by byte: source and destination overlap for runs.
        const uint8_t* from = out + o - distance - 1;
        for (size_t k = 0; k < length; ++k) out[o + k] = from[k];
        o += length;
    }
    if (i != inLength) return error = "ADC data goes on past its " + SectorsText(outLength), false;
    return true;
}

// libdeflate decodes whole buffers about twice as fast as zlib's streaming inflate.
bool DecodeZlib(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength, std::string& error) {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    if (!d) return error = "out of memory", false;
    size_t used = 0, produced = 0;
    libdeflate_result status = libdeflate_zlib_decompress_ex(d, in, inLength, out, outLength, &used, &produced);
    libdeflate_free_decompressor(d);
    if (status == LIBDEFLATE_SUCCESS && produced == outLength && used == inLength) return true;
    if (status == LIBDEFLATE_INSUFFICIENT_SPACE) error = TooLong(outLength);
    else if (status != LIBDEFLATE_SUCCESS) error = "zlib data is damaged";
    else if (produced < outLength) error = TooShort(outLength);
    else error = "zlib data goes on past its end of stream";
    return false;
}

bool DecodeBzip2(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength, std::string& error) {
    bz_stream s{};
    if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) return error = "bzip2 cannot start", false;
    s.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(in));
    s.avail_in = unsigned(inLength);
    s.next_out = reinterpret_cast<char*>(out);
    s.avail_out = unsigned(outLength);
    int status = BZ_OK;
    bool stuck = false;
    while (status == BZ_OK && s.avail_out > 0 && !stuck) {
        unsigned inBefore = s.avail_in, outBefore = s.avail_out;
        status = BZ2_bzDecompress(&s);
        stuck = status == BZ_OK && s.avail_in == inBefore && s.avail_out == outBefore;
    }
    size_t produced = outLength - s.avail_out;
    bool overflow = false;
    // A full buffer before the end of stream: one more byte of room tells whether more follows.
    if (status == BZ_OK && s.avail_out == 0) {
        char extra;
        s.next_out = &extra;
        s.avail_out = 1;
        do {
            unsigned inBefore = s.avail_in;
            status = BZ2_bzDecompress(&s);
            stuck = status == BZ_OK && s.avail_in == inBefore && s.avail_out == 1;
        } while (status == BZ_OK && s.avail_out == 1 && !stuck);
        overflow = s.avail_out == 0;
    }
    size_t left = s.avail_in;
    BZ2_bzDecompressEnd(&s);
    if (status == BZ_STREAM_END && produced == outLength && left == 0 && !overflow) return true;
    if (overflow) error = TooLong(outLength);
    else if (status == BZ_STREAM_END && left) error = "bzip2 data goes on past its end of stream";
    else if (status == BZ_STREAM_END) error = TooShort(outLength);
    else if (status == BZ_OK) error = "bzip2 data ends early";
    else error = "bzip2 data is damaged";
    return false;
}

bool DecodeLzma(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength, std::string& error) {
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_auto_decoder(&s, ChunkDecoderMemory(UdifLzma), 0) != LZMA_OK) return error = "LZMA cannot start", false;
    s.next_in = in;
    s.avail_in = inLength;
    s.next_out = out;
    s.avail_out = outLength;
    lzma_ret status;
    do status = lzma_code(&s, LZMA_FINISH);
    while (status == LZMA_OK && s.avail_out > 0);
    size_t produced = outLength - s.avail_out;
    bool overflow = false;
    if (status == LZMA_OK) {
        uint8_t extra;
        s.next_out = &extra;
        s.avail_out = 1;
        do status = lzma_code(&s, LZMA_FINISH);
        while (status == LZMA_OK && s.avail_out > 0);
        overflow = s.avail_out == 0;
    }
    size_t left = s.avail_in;
    lzma_end(&s);
    if (status == LZMA_STREAM_END && produced == outLength && left == 0 && !overflow) return true;
    if (overflow) error = TooLong(outLength);
    else if (status == LZMA_MEMLIMIT_ERROR) error = "LZMA data needs more than 65 MiB of memory";
    else if (status == LZMA_STREAM_END && left) error = "LZMA data goes on past its end of stream";
    else if (status == LZMA_STREAM_END) error = TooShort(outLength);
    else if (status == LZMA_BUF_ERROR) error = "LZMA data ends early";
    else error = "LZMA data is damaged";
    return false;
}

}  // namespace

bool IsCompressedChunkType(uint32_t type) {
    return type == UdifAdc || type == UdifZlib || type == UdifBzip2 || type == UdifLzfse || type == UdifLzma;
}

bool DecodeChunk(uint32_t type, const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength,
                 std::string& error) {
    switch (type) {
        case UdifAdc: return DecodeAdc(in, inLength, out, outLength, error);
        case UdifZlib: return DecodeZlib(in, inLength, out, outLength, error);
        case UdifBzip2: return DecodeBzip2(in, inLength, out, outLength, error);
        case UdifLzfse: return DecodeLzfse(in, inLength, out, outLength, error);
        case UdifLzma: return DecodeLzma(in, inLength, out, outLength, error);
    }
    error = UdifChunkTypeName(type) + " chunks are not supported";
    return false;
}

}  // namespace vu
