// Digests over the platform's crypto; see digest.h.
#include "core/digest.h"

namespace vu {

Digest::Digest(plat::HashKind kind) : kind_(kind), hash_(plat::OpenHash(kind)) {}

Digest::~Digest() { plat::CloseHash(hash_); }

void Digest::Add(const void* data, size_t size) {
    if (!failed_ && !plat::AddToHash(hash_, data, size)) failed_ = true;
}

std::vector<uint8_t> Digest::Finish() {
    std::vector<uint8_t> digest(plat::HashLength(kind_));
    if (failed_ || !plat::FinishHash(hash_, digest.data())) digest.clear();
    failed_ = true;
    return digest;
}

std::vector<uint8_t> Digest::Of(plat::HashKind kind, std::string_view bytes) {
    Digest digest(kind);
    digest.Add(bytes.data(), bytes.size());
    return digest.Finish();
}

std::string HexDigits(const std::vector<uint8_t>& bytes) {
    static const char* const kHex = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : bytes) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
    }
    return hex;
}

}  // namespace vu
