// Links every cross-built third-party library into one Windows console program and does one
// small real job with each: proves the static archives, their link order, their "static"
// defines and the codecs compiled into libarchive. Prints one line per library; exits 1 on the
// first library that misbehaves. Single-threaded; run under Wine by the Windows test build.
#include <archive.h>
#include <bzlib.h>
#include <expat.h>
#include <libdeflate.h>
#include <lzma.h>
#include <pcre2.h>
#include <zip.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Report(const char* library, const std::string& version, bool ok, const char* what) {
    std::printf("%-10s %-40s %s\n", library, version.c_str(), ok ? "ok" : what);
    if (!ok) ++failures;
}

std::string Sample() {
    std::string text;
    for (int i = 0; i < 200; ++i) text += "EFI/CLOVER/drivers/UEFI/ApfsDriverLoader.efi\n";
    return text;
}

bool ZlibRoundTrip() {
    const std::string in = Sample();
    std::vector<Bytef> packed(compressBound(in.size()));
    uLongf packed_size = packed.size();
    if (compress(packed.data(), &packed_size, reinterpret_cast<const Bytef*>(in.data()), in.size()) != Z_OK)
        return false;
    std::string out(in.size(), '\0');
    uLongf out_size = out.size();
    return uncompress(reinterpret_cast<Bytef*>(out.data()), &out_size, packed.data(), packed_size) == Z_OK &&
           out_size == in.size() && out == in && packed_size < in.size();
}

bool Bzip2RoundTrip() {
    std::string in = Sample();
    std::vector<char> packed(in.size() + in.size() / 100 + 600);
    unsigned packed_size = packed.size();
    if (BZ2_bzBuffToBuffCompress(packed.data(), &packed_size, in.data(), in.size(), 9, 0, 0) != BZ_OK)
        return false;
    std::string out(in.size(), '\0');
    unsigned out_size = out.size();
    return BZ2_bzBuffToBuffDecompress(out.data(), &out_size, packed.data(), packed_size, 0, 0) == BZ_OK &&
           out_size == in.size() && out == in;
}

bool LzmaRoundTrip() {
    const std::string in = Sample();
    std::vector<uint8_t> packed(lzma_stream_buffer_bound(in.size()));
    size_t packed_size = 0;
    if (lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const uint8_t*>(in.data()),
                                in.size(), packed.data(), &packed_size, packed.size()) != LZMA_OK)
        return false;
    std::string out(in.size(), '\0');
    uint64_t memlimit = UINT64_MAX;
    size_t in_pos = 0, out_pos = 0;
    return lzma_stream_buffer_decode(&memlimit, 0, nullptr, packed.data(), &in_pos, packed_size,
                                     reinterpret_cast<uint8_t*>(out.data()), &out_pos, out.size()) == LZMA_OK &&
           out_pos == in.size() && out == in;
}

bool LibdeflateDecodesZlib() {
    const std::string in = Sample();
    std::vector<Bytef> packed(compressBound(in.size()));
    uLongf packed_size = packed.size();
    if (compress(packed.data(), &packed_size, reinterpret_cast<const Bytef*>(in.data()), in.size()) != Z_OK)
        return false;
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    if (!decompressor) return false;
    std::string out(in.size(), '\0');
    size_t out_size = 0;
    const bool ok = libdeflate_zlib_decompress(decompressor, packed.data(), packed_size, out.data(), out.size(),
                                               &out_size) == LIBDEFLATE_SUCCESS;
    libdeflate_free_decompressor(decompressor);
    return ok && out == in &&
           libdeflate_crc32(0, in.data(), in.size()) == crc32(0, reinterpret_cast<const Bytef*>(in.data()), uInt(in.size()));
}

void XMLCALL CountStart(void* data, const XML_Char*, const XML_Char**) { ++*static_cast<int*>(data); }

bool ExpatParses() {
    const char doc[] = "<plist version=\"1.0\"><dict><key>a</key><string>b</string></dict></plist>";
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) return false;
    int elements = 0;
    XML_SetUserData(parser, &elements);
    XML_SetStartElementHandler(parser, CountStart);
    const bool ok = XML_Parse(parser, doc, static_cast<int>(std::strlen(doc)), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok && elements == 4;
}

bool Pcre2Matches(std::string& capture) {
    const char pattern[] = "Clover_v2\\.5k_r(\\d+)";
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, 0, &error,
                                     &offset, nullptr);
    if (!code) return false;
    pcre2_match_data* match = pcre2_match_data_create_from_pattern(code, nullptr);
    const char subject[] = "Clover_v2.5k_r5160.zip";
    const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject), std::strlen(subject), 0, 0, match,
                               nullptr);
    if (rc == 2) {
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(match);
        capture.assign(subject + ov[2], ov[3] - ov[2]);
    }
    pcre2_match_data_free(match);
    pcre2_code_free(code);
    return capture == "5160";
}

bool LibzipOpensEmptyBuffer() {
    // With ZIP_CREATE an empty buffer opens as a new, empty archive: the source and open paths
    // run without touching the file system.
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!source) return false;
    zip_t* archive = zip_open_from_source(source, ZIP_CREATE, &error);
    if (!archive) {
        zip_source_free(source);
        zip_error_fini(&error);
        return false;
    }
    const bool empty = zip_get_num_entries(archive, 0) == 0;
    zip_discard(archive);
    zip_error_fini(&error);
    return empty;
}

bool LibarchiveHasCodecsAndXar(std::string& details) {
    details = archive_version_details();
    bool ok = details.find("zlib/") != std::string::npos && details.find("liblzma/") != std::string::npos &&
              details.find("bz2lib/") != std::string::npos;
    archive* reader = archive_read_new();
    // Without an XML parser compiled in, this returns ARCHIVE_WARN ("not supported").
    ok = ok && archive_read_support_format_xar(reader) == ARCHIVE_OK &&
         archive_read_support_filter_xz(reader) == ARCHIVE_OK &&
         archive_read_support_filter_bzip2(reader) == ARCHIVE_OK;
    archive_read_free(reader);
    return ok;
}

}  // namespace

int main() {
    Report("zlib", zlibVersion(), ZlibRoundTrip(), "round trip failed");
    Report("bzip2", BZ2_bzlibVersion(), Bzip2RoundTrip(), "round trip failed");
    Report("liblzma", lzma_version_string(), LzmaRoundTrip(), "round trip failed");
    Report("libdeflate", LIBDEFLATE_VERSION_STRING, LibdeflateDecodesZlib(), "zlib stream or CRC-32 differs");
    Report("expat", XML_ExpatVersion(), ExpatParses(), "parse failed");
    std::string capture;
    const bool matched = Pcre2Matches(capture);
    char pcre2_version[64] = "";
    pcre2_config(PCRE2_CONFIG_VERSION, pcre2_version);
    Report("pcre2", pcre2_version, matched, "match failed");
    Report("libzip", zip_libzip_version(), LibzipOpensEmptyBuffer(), "in-memory archive failed");
    std::string details;
    const bool archive_ok = LibarchiveHasCodecsAndXar(details);
    Report("libarchive", archive_version_string(), archive_ok, "codec or xar missing");
    std::printf("%s\n", details.c_str());
    return failures == 0 ? 0 : 1;
}
