// The platform's crypto through the seam (known-answer vectors) and the chunk-list signature check,
// against lists that tests/apple/make_fixtures.py signs with keys made by openssl at build time.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/digest.h"
#include "tools/chunklist_trust.h"

namespace vu {
namespace {

using plat::HashKind;

std::string Fixture(const std::string& name) {
    std::ostringstream bytes;
    bytes << std::ifstream(std::string(VU_TEST_APPLE_DIR) + "/" + name, std::ios::binary).rdbuf();
    return bytes.str();
}

TEST(PlatformCrypto, KnownAnswerVectors) {
    const std::string abc448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", million = "million";
    const struct {
        HashKind kind;
        std::string input, hex;
    } cases[] = {
        {HashKind::Md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
        {HashKind::Md5, "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {HashKind::Md5, million, "7707d6ae4e027c70eea2a935c2296f21"},
        {HashKind::Sha1, abc448, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {HashKind::Sha1, million, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {HashKind::Sha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {HashKind::Sha256, abc448, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {HashKind::Sha256, million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    const std::string piece(997, 'a');
    for (const auto& c : cases) {
        Digest digest(c.kind);
        if (c.input != million) digest.Add(c.input.data(), c.input.size());
        for (size_t done = 0; c.input == million && done < 1000000; done += 997)  // in uneven pieces
            digest.Add(piece.data(), std::min<size_t>(997, 1000000 - done));
        EXPECT_EQ(HexDigits(digest.Finish()), c.hex) << c.input;
    }
}

// Each modulus written as 256 little-endian bytes has the SHA-256 that Apple's key is known by.
TEST(ChunklistTrust, AppleKeysAreTranscribedAsPublished) {
    const std::string published[] = {"c7a1b9362880de695762b7b65bec6bf156a55cf9247f22ef786235537f952b45",
                                     "7461898e6e62962edd64447145f0d9d02bcc9519492046671e1fcddd18dc9b8b"};
    ASSERT_EQ(AppleChunklistKeys().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const ChunklistKey& key = AppleChunklistKeys()[i];
        EXPECT_EQ(key.name, "Apple's key " + std::to_string(i + 1));
        EXPECT_EQ(HexDigits(Digest::Of(HashKind::Sha256, std::string(key.modulus.rbegin(), key.modulus.rend()))),
                  published[i]);
    }
}

class ChunklistSignatures : public ::testing::Test {
protected:
    void SetUp() override { setenv("VU_CHUNKLIST_KEYS", keyFile_.c_str(), 1); }
    void TearDown() override { unsetenv("VU_CHUNKLIST_KEYS"); }

    ChunklistTrust Verify(const std::string& bytes) {
        Chunklist list;
        return VerifyChunklist(bytes, list, message_);
    }

    const std::string keyFile_ = std::string(VU_TEST_APPLE_DIR) + "/chunklist-keys.txt";
    const std::string signed_ = Fixture("signed.chunklist");
    std::string message_;
};

TEST_F(ChunklistSignatures, OnlyTheUnchangedListSignedByATrustedKeyPasses) {
    EXPECT_EQ(Verify(signed_), ChunklistTrust::Signed);
    EXPECT_EQ(message_, "signed by line 3 of " + keyFile_);
    // One flipped bit in the header's pad byte, a chunk's size or digest, the signature's ends.
    for (size_t at : {size_t(11), size_t(0x24), signed_.size() - 257, signed_.size() - 256, signed_.size() - 1}) {
        std::string changed = signed_;
        changed[at] ^= 0x10;
        EXPECT_EQ(Verify(changed), ChunklistTrust::BadSignature) << at;
    }
    EXPECT_NE(message_.find("changed after it was signed, or was signed by a key that is not trusted"), std::string::npos);
    EXPECT_EQ(Verify(Fixture("other-key.chunklist")), ChunklistTrust::BadSignature);
    EXPECT_EQ(Verify(Fixture("unsigned.chunklist")), ChunklistTrust::Unsigned);
    EXPECT_EQ(message_, "it is not signed: it carries only a SHA-256 of its table, which anyone can make");
    unsetenv("VU_CHUNKLIST_KEYS");
    EXPECT_EQ(Verify(signed_), ChunklistTrust::BadSignature) << "the tests' key is trusted only through the file";
}

// A key file that cannot be used fails every signed list, naming the file and the line, whatever
// the other lines hold; comments, blank lines and CR LF endings are fine.
TEST_F(ChunklistSignatures, KeyFilesAreReadWholeOrNotAtAll) {
    const std::string good = Fixture("chunklist-keys.txt").substr(22, 512), notKey = " is not an RSA-2048 modulus";
    const std::pair<std::string, std::string> files[] = {
        {"  # comment\r\n\r\n\t" + good + " \r\n", ""},
        {good + "\n" + good.substr(1) + "\n", "line 2 of F" + notKey},
        {good.substr(0, 511) + "g", "line 1 of F" + notKey},
        {"7" + good.substr(1), "line 1 of F" + notKey},           // 2047 bits
        {good.substr(0, 511) + "4", "line 1 of F" + notKey},      // even
    };
    for (const auto& [text, error] : files) {
        std::vector<ChunklistKey> keys;
        std::string got;
        EXPECT_EQ(ReadChunklistKeys(text, "F", keys, got), error.empty()) << text;
        EXPECT_EQ(got.substr(0, error.size()), error);
        if (error.empty()) {
            EXPECT_EQ(keys.size(), 1u);
        }
    }
    std::string path = testing::TempDir() + "/bad-keys.txt";
    std::ofstream(path) << good << "\nnot a key\n";
    setenv("VU_CHUNKLIST_KEYS", path.c_str(), 1);
    EXPECT_EQ(Verify(signed_), ChunklistTrust::Unusable);
    EXPECT_EQ(message_, "line 2 of " + path + notKey + " of 512 hexadecimal digits");
    EXPECT_EQ(Verify(Fixture("unsigned.chunklist")), ChunklistTrust::Unsigned) << "no key is needed for it";
    setenv("VU_CHUNKLIST_KEYS", "/nonexistent/keys.txt", 1);
    EXPECT_EQ(Verify(signed_), ChunklistTrust::Unusable);
    EXPECT_EQ(message_, "VU_CHUNKLIST_KEYS names /nonexistent/keys.txt, which cannot be read");
}

}  // namespace
}  // namespace vu
