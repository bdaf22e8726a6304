// Whether a chunk list comes from whom it should: its signature (method 1: RSA-2048, PKCS#1 v1.5
// with SHA-256, exponent 65537, over the SHA-256 of header and table; the 256 bytes are stored
// little-endian) checked against the trusted keys. Those are Apple's two chunk-list keys and the
// keys of the file that the environment variable VU_CHUNKLIST_KEYS names: one RSA-2048 modulus a
// line as 512 hexadecimal digits, most significant first, exponent 65537; blank lines and lines
// starting with "#" are ignored. A file that cannot be read, or any other line in it, makes every
// signed list fail with a message that names the file and the line: a key its owner meant to
// trust is never dropped in silence. Callable from any thread.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/chunklist.h"

namespace vu {

struct ChunklistKey {
    std::string name;                  // "Apple's key 1", "line 3 of keys.txt"
    std::array<uint8_t, 256> modulus;  // big-endian
};

// Apple's two keys, Apple's key 1 first.
const std::vector<ChunklistKey>& AppleChunklistKeys();

// The keys of a key file's `text`; false with `error` naming the first line that is not a comment,
// not blank and not a 2048-bit modulus (512 digits, top bit set, odd).
bool ReadChunklistKeys(const std::string& text, const std::string& fileName, std::vector<ChunklistKey>& keys,
                       std::string& error);

// Apple's keys and those of VU_CHUNKLIST_KEYS (when set and not empty); false with `error` when
// that file cannot be read or holds a line that is not a key.
bool TrustedChunklistKeys(std::vector<ChunklistKey>& keys, std::string& error);

enum class ChunklistTrust {
    Signed,        // method 1 and a trusted key verifies the signature
    Unsigned,      // method 2: a bare SHA-256 of header and table, which anyone can make
    BadSignature,  // method 1 and no trusted key verifies it: the list was changed after it was
                   // signed, or was signed by a key that is not trusted (a signature alone
                   // cannot tell these apart: the list does not name its key)
    Unusable,      // not a chunk list that can be read, or the key file cannot be used
};

// Parses `bytes` into `list` and checks its signature against `keys`; `message` says what was
// found ("signed by Apple's key 1", or why it is not trusted).
ChunklistTrust VerifyChunklist(const std::string& bytes, const std::vector<ChunklistKey>& keys, Chunklist& list,
                               std::string& message);
// The same against the trusted keys.
ChunklistTrust VerifyChunklist(const std::string& bytes, Chunklist& list, std::string& message);

}  // namespace vu
