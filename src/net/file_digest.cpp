// MD5 (RFC 1321) and SHA-1 (FIPS 180-4); see file_digest.h.
#include "net/file_digest.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "platform/files.h"

namespace vu {

namespace {

uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t LoadLe(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint32_t LoadBe(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]); }

// MD5's per-step shifts and sines.
const int kMd5Shift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,
                           14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                           4,  11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
const uint32_t kMd5Sine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

bool IsHex(const std::string& text) {
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

DigestKind DigestKindOf(const std::string& digest) {
    if (!IsHex(digest)) return DigestKind::None;
    if (digest.size() == 32) return DigestKind::Md5;
    if (digest.size() == 40) return DigestKind::Sha1;
    return DigestKind::None;
}

DigestHasher::DigestHasher(DigestKind kind) : kind_(kind) {
    const uint32_t start[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
    std::memcpy(state_, start, sizeof state_);
}

void DigestHasher::Block(const uint8_t* block) {
    uint32_t w[80];
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    if (kind_ == DigestKind::Md5) {
        for (int i = 0; i < 16; i++) w[i] = LoadLe(block + 4 * i);
        for (int i = 0; i < 64; i++) {
            uint32_t f;
            int g;
            if (i < 16) f = (b & c) | (~b & d), g = i;
            else if (i < 32) f = (d & b) | (~d & c), g = (5 * i + 1) % 16;
            else if (i < 48) f = b ^ c ^ d, g = (3 * i + 5) % 16;
            else f = c ^ (b | ~d), g = (7 * i) % 16;
            uint32_t next = b + Rotl(a + f + kMd5Sine[i] + w[g], kMd5Shift[i]);
            a = d;
            d = c;
            c = b;
            b = next;
        }
        state_[0] += a, state_[1] += b, state_[2] += c, state_[3] += d;
        return;
    }
    uint32_t e = state_[4];
    for (int i = 0; i < 16; i++) w[i] = LoadBe(block + 4 * i);
    for (int i = 16; i < 80; i++) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    for (int i = 0; i < 80; i++) {
        uint32_t f, k;
        if (i < 20) f = (b & c) | (~b & d), k = 0x5a827999;
        else if (i < 40) f = b ^ c ^ d, k = 0x6ed9eba1;
        else if (i < 60) f = (b & c) | (b & d) | (c & d), k = 0x8f1bbcdc;
        else f = b ^ c ^ d, k = 0xca62c1d6;
        uint32_t next = Rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = next;
    }
    state_[0] += a, state_[1] += b, state_[2] += c, state_[3] += d, state_[4] += e;
}

void DigestHasher::Add(const void* data, size_t size) {
    auto* bytes = static_cast<const uint8_t*>(data);
    length_ += size;
    while (size > 0) {
        size_t n = std::min(size, sizeof pending_ - pendingSize_);
        std::memcpy(pending_ + pendingSize_, bytes, n);
        pendingSize_ += n;
        bytes += n;
        size -= n;
        if (pendingSize_ == sizeof pending_) {
            Block(pending_);
            pendingSize_ = 0;
        }
    }
}

std::string DigestHasher::Hex() {
    // The padding: 0x80, zeros to 56 bytes of the last block, the length in bits (little-endian
    // for MD5, big-endian for SHA-1).
    uint64_t bits = length_ * 8;
    uint8_t tail[72] = {0x80};
    size_t padding = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
    for (int i = 0; i < 8; i++)
        tail[padding + i] = uint8_t(kind_ == DigestKind::Md5 ? bits >> (8 * i) : bits >> (56 - 8 * i));
    Add(tail, padding + 8);
    static const char* const kHex = "0123456789abcdef";
    std::string hex;
    int words = kind_ == DigestKind::Md5 ? 4 : 5;
    for (int i = 0; i < words; i++)
        for (int byte = 0; byte < 4; byte++) {
            uint8_t v = uint8_t(kind_ == DigestKind::Md5 ? state_[i] >> (8 * byte) : state_[i] >> (24 - 8 * byte));
            hex += kHex[v >> 4];
            hex += kHex[v & 15];
        }
    return hex;
}

std::string DigestHex(DigestKind kind, std::string_view bytes) {
    DigestHasher digest(kind);
    digest.Add(bytes.data(), bytes.size());
    return digest.Hex();
}

std::string FileDigestHex(DigestKind kind, const std::string& path) {
    plat::FileHandle file = plat::OpenFile(path, plat::FileMode::Read);
    if (!file) return "";
    DigestHasher digest(kind);
    std::vector<char> buffer(1 << 20);
    int64_t n;
    while ((n = plat::ReadFileData(file, buffer.data(), int64_t(buffer.size()))) > 0) digest.Add(buffer.data(), size_t(n));
    plat::CloseFile(file);
    return n < 0 ? "" : digest.Hex();
}

bool SameDigest(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace vu
