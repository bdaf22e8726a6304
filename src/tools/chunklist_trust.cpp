// Chunk-list signatures and the keys they are checked against; see chunklist_trust.h.
#include "tools/chunklist_trust.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "core/digest.h"

namespace vu {

namespace {

constexpr const char* KeysVariable = "VU_CHUNKLIST_KEYS";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A 2048-bit modulus from 512 hexadecimal digits: the top bit set (2048 bits, not fewer) and odd,
// as every RSA modulus is.
bool ParseModulus(std::string_view hex, std::array<uint8_t, 256>& modulus) {
    if (hex.size() != 512) return false;
    for (size_t i = 0; i < 256; ++i) {
        int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        modulus[i] = uint8_t(high << 4 | low);
    }
    return (modulus[0] & 0x80) != 0 && (modulus[255] & 1) != 0;
}

ChunklistKey AppleKey(const char* name, const char* hex) {
    ChunklistKey key{name, {}};
    ParseModulus(hex, key.modulus);
    return key;
}

std::string_view Trimmed(std::string_view line) {
    size_t first = line.find_first_not_of(" \t\r"), last = line.find_last_not_of(" \t\r");
    return first == std::string_view::npos ? std::string_view() : line.substr(first, last - first + 1);
}

// The signature of a parsed list against `keys`.
ChunklistTrust CheckSignature(const std::string& bytes, const Chunklist& list, const std::vector<ChunklistKey>& keys,
                              std::string& message) {
    if (list.signatureMethod == 2)
        return message = "it is not signed: it carries only a SHA-256 of its table, which anyone can make",
               ChunklistTrust::Unsigned;
    // A signed list ends with its 256-byte signature, after header and table.
    size_t signedLength = bytes.size() - 256;
    std::vector<uint8_t> digest = Digest::Of(plat::HashKind::Sha256, std::string_view(bytes).substr(0, signedLength));
    if (digest.size() != 32) return message = "its table cannot be hashed", ChunklistTrust::Unusable;
    std::array<uint8_t, 256> signature;
    std::reverse_copy(bytes.begin() + signedLength, bytes.end(), signature.begin());
    for (const ChunklistKey& key : keys)
        if (plat::VerifyRsa2048Sha256(key.modulus.data(), digest.data(), signature.data()))
            return message = "signed by " + key.name, ChunklistTrust::Signed;
    return message = "its signature is not that of a trusted key (Apple's, or one of " + std::string(KeysVariable) +
                     "): the list was changed after it was signed, or was signed by a key that is not trusted",
           ChunklistTrust::BadSignature;
}

}  // namespace

const std::vector<ChunklistKey>& AppleChunklistKeys() {
    static const std::vector<ChunklistKey> keys = {
        AppleKey("Apple's key 1",
                 "C3E748CAD9CD384329E10E25A91E43E1A762FF529ADE578C935BDDF9B13F2179"
                 "D4855E6FC89E9E29CA12517D17DFA1EDCE0BEBF0EA7B461FFE61D94E2BDF72C1"
                 "96F89ACD3536B644064014DAE25A15DB6BB0852ECBD120916318D1CCDEA3C84C"
                 "92ED743FC176D0BACA920D3FCF3158AFF731F88CE0623182A8ED67E650515F75"
                 "745909F07D415F55FC15A35654D118C55A462D37A3ACDA08612F3F3F6571761E"
                 "FCCBCC299AEE99B3A4FD6212CCFFF5EF37A2C334E871191F7E1C31960E010A54"
                 "E86FA3F62E6D6905E1CD57732410A3EB0C6B4DEFDABE9F59BF1618758C751CD5"
                 "6CEF851D1C0EAA1C558E37AC108DA9089863D20E2E7E4BF475EC66FE6B3EFDCF"),
        AppleKey("Apple's key 2",
                 "B6C053820611F9582241438F4690A4F7283E54FC0ADCD1D087C9D4C52BC78C2B"
                 "45FFD25E94257429DE4FE63E2DCD4A746F6B7151556D6FED32DC410A5F19659D"
                 "B175FFD7739515416BAD2E932FBF1C56AC4E8C218072DBB76986BAFB6DDB6851"
                 "75F4BF6382F3CBB90426A634D391A43B7A3E7E3533F6EBD5D69FAE4FE3648340"
                 "3F0AEC8294C5FDA0A56CDB037819FC306150472FB7DA3C3A96A5F8EF553C4E8C"
                 "E7BC338DEC1EA21D03F142FAC8B39EE14A45973E5D7DB12FA68213B466A8A1B3"
                 "429398EBCDE556FF282D519C4F2931753B1A2A5111683839FFE2E00D253B3830"
                 "CED603E70E468EF89F17B5EABD6303DA299363AC1DC5673BE3B7442D88C20AE5"),
    };
    return keys;
}

bool ReadChunklistKeys(const std::string& text, const std::string& fileName, std::vector<ChunklistKey>& keys,
                       std::string& error) {
    std::string_view rest = text;
    for (int number = 1; !rest.empty(); ++number) {
        size_t end = rest.find('\n');
        std::string_view line = Trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.empty() || line[0] == '#') continue;
        ChunklistKey key{"line " + std::to_string(number) + " of " + fileName, {}};
        if (!ParseModulus(line, key.modulus))
            return error = key.name + " is not an RSA-2048 modulus of 512 hexadecimal digits", false;
        keys.push_back(key);
    }
    return true;
}

bool TrustedChunklistKeys(std::vector<ChunklistKey>& keys, std::string& error) {
    keys = AppleChunklistKeys();
    const char* file = std::getenv(KeysVariable);
    if (!file || !*file) return true;
    // The file is the host's, like the one SSL_CERT_FILE names, so it is read with the standard
    // library rather than through the simulated PC's drives.
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf()))
        return error = std::string(KeysVariable) + " names " + file + ", which cannot be read", false;
    return ReadChunklistKeys(text.str(), file, keys, error);
}

ChunklistTrust VerifyChunklist(const std::string& bytes, const std::vector<ChunklistKey>& keys, Chunklist& list,
                               std::string& message) {
    if (!ParseChunklist(bytes, list, message)) return ChunklistTrust::Unusable;
    return CheckSignature(bytes, list, keys, message);
}

ChunklistTrust VerifyChunklist(const std::string& bytes, Chunklist& list, std::string& message) {
    if (!ParseChunklist(bytes, list, message)) return ChunklistTrust::Unusable;
    std::vector<ChunklistKey> keys;
    if (list.signatureMethod == 1 && !TrustedChunklistKeys(keys, message)) return ChunklistTrust::Unusable;
    return CheckSignature(bytes, list, keys, message);
}

}  // namespace vu
