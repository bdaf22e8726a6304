// MD5 and SHA-1 digests, for checking a downloaded file against the digest its download list
// names (32 hexadecimal digits: MD5; 40: SHA-1). Our own small implementations: the libraries the
// program links do not export theirs portably. Any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vu {

enum class DigestKind { None, Md5, Sha1 };

// The kind a list's digest text names by its length, None for any other text.
DigestKind DigestKindOf(const std::string& digest);

// Incremental digest of either kind: Add the bytes in pieces, then Hex gives lower-case digits.
class DigestHasher {
public:
    explicit DigestHasher(DigestKind kind);
    void Add(const void* data, size_t size);
    std::string Hex();

private:
    void Block(const uint8_t* block);

    DigestKind kind_;
    uint32_t state_[5];
    uint64_t length_ = 0;  // bytes added
    uint8_t pending_[64];
    size_t pendingSize_ = 0;
};

std::string DigestHex(DigestKind kind, std::string_view bytes);

// The digest of a file, read through the platform's file API; "" when it cannot be read.
std::string FileDigestHex(DigestKind kind, const std::string& path);

// Digest texts compare without regard to the case of their hexadecimal letters.
bool SameDigest(const std::string& a, const std::string& b);

}  // namespace vu
