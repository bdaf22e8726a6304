// Digests and RSA signature checks on Windows: CNG's bcrypt.dll.
#include "platform/crypto.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <vector>

namespace vu::plat {

namespace {

struct Algorithm {
    BCRYPT_ALG_HANDLE handle = nullptr;
    ULONG objectLength = 0;  // the bytes a hash object of it needs
};

Algorithm OpenAlgorithm(const wchar_t* id, bool hash) {
    Algorithm algorithm;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm.handle, id, nullptr, 0))) return {};
    ULONG got = 0;
    if (hash && !BCRYPT_SUCCESS(BCryptGetProperty(algorithm.handle, BCRYPT_OBJECT_LENGTH,
                                                  reinterpret_cast<PUCHAR>(&algorithm.objectLength),
                                                  sizeof algorithm.objectLength, &got, 0))) {
        BCryptCloseAlgorithmProvider(algorithm.handle, 0);
        return {};
    }
    return algorithm;
}

// Each provider is opened on first use and kept for the process: opening one is slow, and CNG lets
// threads share it.
const Algorithm& HashAlgorithm(HashKind kind) {
    switch (kind) {
        case HashKind::Md5: {
            static const Algorithm md5 = OpenAlgorithm(BCRYPT_MD5_ALGORITHM, true);
            return md5;
        }
        case HashKind::Sha1: {
            static const Algorithm sha1 = OpenAlgorithm(BCRYPT_SHA1_ALGORITHM, true);
            return sha1;
        }
        case HashKind::Sha256: break;
    }
    static const Algorithm sha256 = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM, true);
    return sha256;
}

struct Hash {
    HashKind kind;
    BCRYPT_HASH_HANDLE handle = nullptr;
    // Windows 7 wants the caller to provide the hash object's memory.
    std::vector<UCHAR> object;
};

Hash* H(HashHandle hash) { return reinterpret_cast<Hash*>(hash); }

}  // namespace

HashHandle OpenHash(HashKind kind) {
    const Algorithm& algorithm = HashAlgorithm(kind);
    if (!algorithm.handle) return 0;
    auto* hash = new Hash{kind, nullptr, std::vector<UCHAR>(algorithm.objectLength)};
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm.handle, &hash->handle, hash->object.data(), algorithm.objectLength,
                                         nullptr, 0, 0))) {
        delete hash;
        return 0;
    }
    return reinterpret_cast<HashHandle>(hash);
}

bool AddToHash(HashHandle hash, const void* data, size_t size) {
    if (!hash) return false;
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    // BCryptHashData counts in ULONG.
    while (size > 0) {
        ULONG piece = ULONG(std::min<size_t>(size, 1u << 30));
        if (!BCRYPT_SUCCESS(BCryptHashData(H(hash)->handle, bytes, piece, 0))) return false;
        bytes += piece;
        size -= piece;
    }
    return true;
}

bool FinishHash(HashHandle hash, uint8_t* digest) {
    return hash && BCRYPT_SUCCESS(BCryptFinishHash(H(hash)->handle, digest, ULONG(HashLength(H(hash)->kind)), 0));
}

void CloseHash(HashHandle hash) {
    if (!hash) return;
    BCryptDestroyHash(H(hash)->handle);
    delete H(hash);
}

bool VerifyRsa2048Sha256(const uint8_t* modulus, const uint8_t* digest, const uint8_t* signature) {
    static const Algorithm rsa = OpenAlgorithm(BCRYPT_RSA_ALGORITHM, false);
    if (!rsa.handle) return false;
    // BCRYPT_RSAPUBLIC_BLOB: the header, then the exponent and the modulus, both big-endian.
    static const UCHAR exponent[] = {0x01, 0x00, 0x01};
    std::vector<UCHAR> blob(sizeof(BCRYPT_RSAKEY_BLOB) + sizeof exponent + 256);
    BCRYPT_RSAKEY_BLOB header{};
    header.Magic = BCRYPT_RSAPUBLIC_MAGIC;
    header.BitLength = 2048;
    header.cbPublicExp = sizeof exponent;
    header.cbModulus = 256;
    std::copy_n(reinterpret_cast<const UCHAR*>(&header), sizeof header, blob.begin());
    std::copy_n(exponent, sizeof exponent, blob.begin() + sizeof header);
    std::copy_n(modulus, 256, blob.begin() + sizeof header + sizeof exponent);
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(rsa.handle, nullptr, BCRYPT_RSAPUBLIC_BLOB, &key, blob.data(),
                                            ULONG(blob.size()), 0)))
        return false;
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
    NTSTATUS status = BCryptVerifySignature(key, &padding, const_cast<PUCHAR>(digest), 32,
                                            const_cast<PUCHAR>(signature), 256, BCRYPT_PAD_PKCS1);
    BCryptDestroyKey(key);
    return BCRYPT_SUCCESS(status);
}

}  // namespace vu::plat
