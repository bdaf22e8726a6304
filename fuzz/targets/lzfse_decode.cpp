// The LZFSE decoder: raw, LZVN and LZFSE blocks. The input is the decoded size (32-bit
// little-endian, up to 4 MiB) and the stream. Each output buffer is exactly the size asked for,
// so that AddressSanitizer sees any write past it (and is left uninitialised, which is cheap).
// A stream fills exactly one size: one that decodes must fail 512 bytes shorter and 512 bytes
// longer, and every failure names LZFSE.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "tools/lzfse_decode.h"

namespace {

bool Decode(const uint8_t* stream, size_t length, size_t size) {
    auto out = std::make_unique_for_overwrite<uint8_t[]>(size);
    std::string error;
    bool decoded = vu::DecodeLzfse(stream, length, out.get(), size, error);
    if (!decoded && error.find("LZFSE") == std::string::npos) vu::fuzz::Fail("an error not naming LZFSE: " + error);
    return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    size_t declared = vu::fuzz::Le32(data) % ((4u << 20) + 1);
    const uint8_t* stream = data + 4;
    size_t length = size - 4;
    if (!Decode(stream, length, declared)) return 0;
    if (Decode(stream, length, declared + 512)) vu::fuzz::Fail("the stream also fills 512 bytes more");
    if (declared >= 512 && Decode(stream, length, declared - 512))
        vu::fuzz::Fail("the stream also fills 512 bytes less");
    return 0;
}
