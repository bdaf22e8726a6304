// The chunk-list header and signature block checked against the trusted keys, and the key file
// that adds to them. The input is a 16-bit little-endian length, that many bytes of key file, and
// the chunk list. A key file that is refused leaves Apple's keys alone to check against.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "tools/chunklist_trust.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t length = size_t(data[0]) | size_t(data[1]) << 8;
    if (length > size - 2) return 0;
    std::vector<vu::ChunklistKey> keys = vu::AppleChunklistKeys();
    std::string error;
    if (!vu::ReadChunklistKeys(std::string(reinterpret_cast<const char*>(data + 2), length), "keys", keys, error)) {
        if (error.empty()) vu::fuzz::Fail("a refused key file without a reason");
        keys.resize(2);
    }
    vu::Chunklist list;
    std::string message;
    vu::ChunklistTrust trust =
        vu::VerifyChunklist(std::string(reinterpret_cast<const char*>(data + 2 + length), size - 2 - length), keys, list, message);
    if (message.empty()) vu::fuzz::Fail("a verdict without a message");
    // The verdict follows the list's method: only method 1 carries a signature.
    bool signedMethod = list.signatureMethod == 1;
    if ((trust == vu::ChunklistTrust::Signed || trust == vu::ChunklistTrust::BadSignature) != signedMethod &&
        trust != vu::ChunklistTrust::Unusable)
        vu::fuzz::Fail("a verdict that does not fit the signature method");
    if (trust == vu::ChunklistTrust::Signed && message.rfind("signed by ", 0) != 0) vu::fuzz::Fail("a key not named");
    return 0;
}
