// Digests of the platform's crypto (platform/crypto.h) with the handle kept by an object: the
// download lists' MD5 and SHA-1 and the chunk lists' SHA-256. Any thread; an object belongs to
// the thread that uses it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto.h"

namespace vu {

class Digest {
public:
    explicit Digest(plat::HashKind kind);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    void Add(const void* data, size_t size);
    // The digest, once; empty when the platform failed at any step.
    std::vector<uint8_t> Finish();

    static std::vector<uint8_t> Of(plat::HashKind kind, std::string_view bytes);

private:
    plat::HashKind kind_;
    plat::HashHandle hash_;
    bool failed_ = false;
};

// Lower-case hexadecimal digits of `bytes`.
std::string HexDigits(const std::vector<uint8_t>& bytes);

}  // namespace vu
