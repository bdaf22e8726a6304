// Our LZFSE decoder against the reference encoder's streams (tests/fixtures/lzfse, with their
// decoded sizes and SHA-256 digests in manifest.json), one of them rewritten with plain "bvx1"
// tables by tests/apple/make_fixtures.py, and the faults a stream's own checks must catch. The
// damaged tables and payloads inside disk images are checked end to end by extract_test.py.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tools/lzfse_decode.h"

namespace vu {
namespace {

const std::string kVectors = VU_TEST_FIXTURE_DIR "/lzfse/";

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string Sha256Hex(const std::vector<uint8_t>& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

bool Decode(const std::string& stream, size_t size, std::vector<uint8_t>& out, std::string& error) {
    out.assign(size, 0);
    return DecodeLzfse(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), out.data(), size, error);
}

// The value of `"key": ` after `from` in the manifest (a string's without its quotes).
std::string Field(const std::string& json, const std::string& key, size_t from) {
    size_t at = json.find("\"" + key + "\": ", from) + key.size() + 4;
    size_t end = json.find_first_of(",\n", at);
    return json[at] == '"' ? json.substr(at + 1, end - at - 2) : json.substr(at, end - at);
}

TEST(LzfseDecode, EveryReferenceStreamDecodesToItsSizeAndDigest) {
    std::string manifest = FileBytes(kVectors + "manifest.json");
    int streams = 0;
    for (size_t at = manifest.find("\"name\""); at != std::string::npos; at = manifest.find("\"name\"", at + 1)) {
        std::string name = Field(manifest, "name", at), digest = Field(manifest, "decoded_sha256", at);
        std::vector<std::string> files = {kVectors + name};
        if (name == "text.lzfse") files.push_back(VU_TEST_APPLE_DIR "/text-plain.lzfse");
        for (const auto& file : files) {
            std::vector<uint8_t> out;
            std::string error;
            EXPECT_TRUE(Decode(FileBytes(file), std::stoul(Field(manifest, "decoded_size", at)), out, error))
                << file << ": " << error;
            EXPECT_EQ(Sha256Hex(out), digest) << file;
        }
        ++streams;
    }
    EXPECT_EQ(streams, 9);
}

TEST(LzfseDecode, AStreamThatBreaksItsOwnRulesFailsNamingTheFault) {
    std::string lzvn = FileBytes(kVectors + "small-text.lzfse");  // "bvxn": 2050 bytes, then "bvx$"
    std::string raw = FileBytes(kVectors + "one-byte.lzfse");     // "bvx-": 1 byte, then "bvx$"
    struct Case {
        std::string stream;
        size_t size;
        const char* words;
    } cases[] = {
        {raw, 2, "LZFSE data decodes to 1 bytes instead of 2"},
        {raw, 0, "LZFSE block 1: it claims 1 bytes, more than the 0 left of the output"},
        {raw + "x", 1, "LZFSE data goes on past its end of stream"},
        {raw.substr(0, 9), 1, "LZFSE data ends before its end-of-stream block"},
        {"bvxZ" + raw, 1, "LZFSE block 1: its magic number 0x5A787662 is unknown"},
        {lzvn.substr(0, 12) + "\x70" + lzvn.substr(13), 2050, "its LZVN data holds the invalid opcode 0x00000070"},
        {lzvn.substr(0, 12) + std::string("\x01\x00", 2) + lzvn.substr(14), 2050,
         "a match reaches before the start of the output"},
        {lzvn.substr(0, lzvn.size() - 5) + "\x01" + lzvn.substr(lzvn.size() - 4), 2050,
         "its LZVN end-of-stream opcode is damaged"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out;
        std::string error;
        EXPECT_FALSE(Decode(c.stream, c.size, out, error)) << c.words;
        EXPECT_NE(error.find(c.words), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace vu
