// SHA-256 (FIPS 180-4), for the chunk lists that come with recovery images. Callable from any
// thread; each object hashes one message.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace vu {

class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t length);
    std::array<uint8_t, 32> Final();

private:
    void Block(const uint8_t* p);
    uint32_t state_[8];
    uint8_t buffer_[64];
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};

}  // namespace vu
