// The seam's cryptography: digests and RSA signature checks come from the platform, bcrypt.dll
// (CNG) on Windows and OpenSSL's libcrypto on the simulated PC, never from code of our own.
// Callable from any thread; a hash object belongs to the thread that uses it (separate objects
// hash on separate threads at once).
#pragma once
#include <cstddef>
#include <cstdint>

namespace vu::plat {

enum class HashKind { Md5, Sha1, Sha256 };

constexpr size_t HashLength(HashKind kind) { return kind == HashKind::Md5 ? 16 : kind == HashKind::Sha1 ? 20 : 32; }

// An incremental hash. 0 is no hash: OpenHash returns it when the platform cannot make one.
using HashHandle = intptr_t;
HashHandle OpenHash(HashKind kind);
bool AddToHash(HashHandle hash, const void* data, size_t size);
// Writes HashLength(kind) bytes to `digest`; the hash cannot be added to afterwards.
bool FinishHash(HashHandle hash, uint8_t* digest);
void CloseHash(HashHandle hash);

// Whether `signature` is an RSA PKCS#1 v1.5 signature with SHA-256 of `digest` by the 2048-bit key
// with `modulus` and the public exponent 65537. Modulus and signature are 256 big-endian bytes, the
// digest 32 bytes. False for any signature that does not verify, and when the key is unusable.
bool VerifyRsa2048Sha256(const uint8_t* modulus, const uint8_t* digest, const uint8_t* signature);

}  // namespace vu::plat
