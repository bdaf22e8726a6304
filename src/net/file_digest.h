// MD5 and SHA-1 digests, for checking a downloaded file against the digest its download list
// names (32 hexadecimal digits: MD5; 40: SHA-1). The hashing is the platform's (core/digest.h).
// Any thread.
#pragma once
#include <string>
#include <string_view>

namespace vu {

enum class DigestKind { None, Md5, Sha1 };

// The kind a list's digest text names by its length, None for any other text.
DigestKind DigestKindOf(const std::string& digest);

// Lower-case digits; "" when the platform could not hash.
std::string DigestHex(DigestKind kind, std::string_view bytes);

// The digest of a file, read through the platform's file API; "" when it cannot be read or hashed.
std::string FileDigestHex(DigestKind kind, const std::string& path);

// Digest texts compare without regard to the case of their hexadecimal letters.
bool SameDigest(const std::string& a, const std::string& b);

}  // namespace vu
