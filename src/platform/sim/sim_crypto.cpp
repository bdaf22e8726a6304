// The simulated PC's cryptography: OpenSSL's libcrypto through its EVP interface.
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include "platform/crypto.h"

namespace vu::plat {

namespace {

const EVP_MD* Method(HashKind kind) {
    switch (kind) {
        case HashKind::Md5: return EVP_md5();
        case HashKind::Sha1: return EVP_sha1();
        case HashKind::Sha256: return EVP_sha256();
    }
    return nullptr;
}

EVP_MD_CTX* Context(HashHandle hash) { return reinterpret_cast<EVP_MD_CTX*>(hash); }

// The public key (modulus, 65537) as OpenSSL 3 builds keys from parameters; nullptr on failure.
EVP_PKEY* PublicKey(const uint8_t* modulus) {
    BIGNUM* n = BN_bin2bn(modulus, 256, nullptr);
    BIGNUM* e = BN_new();
    OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
    OSSL_PARAM* params = nullptr;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* key = nullptr;
    bool built = n && e && build && context && BN_set_word(e, RSA_F4) &&
                 OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, n) &&
                 OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_E, e) && (params = OSSL_PARAM_BLD_to_param(build)) &&
                 EVP_PKEY_fromdata_init(context) == 1 && EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params) == 1;
    if (!built) EVP_PKEY_free(key), key = nullptr;
    EVP_PKEY_CTX_free(context);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(build);
    BN_free(e);
    BN_free(n);
    return key;
}

}  // namespace

HashHandle OpenHash(HashKind kind) {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context && EVP_DigestInit_ex(context, Method(kind), nullptr) == 1) return reinterpret_cast<HashHandle>(context);
    EVP_MD_CTX_free(context);
    return 0;
}

bool AddToHash(HashHandle hash, const void* data, size_t size) {
    return hash && EVP_DigestUpdate(Context(hash), data, size) == 1;
}

bool FinishHash(HashHandle hash, uint8_t* digest) {
    return hash && EVP_DigestFinal_ex(Context(hash), digest, nullptr) == 1;
}

void CloseHash(HashHandle hash) { EVP_MD_CTX_free(Context(hash)); }

bool VerifyRsa2048Sha256(const uint8_t* modulus, const uint8_t* digest, const uint8_t* signature) {
    EVP_PKEY* key = PublicKey(modulus);
    if (!key) return ERR_clear_error(), false;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
    bool valid = context && EVP_PKEY_verify_init(context) == 1 &&
                 EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
                 EVP_PKEY_CTX_set_signature_md(context, EVP_sha256()) == 1 &&
                 EVP_PKEY_verify(context, signature, 256, digest, 32) == 1;
    EVP_PKEY_CTX_free(context);
    EVP_PKEY_free(key);
    // A refused signature leaves its reasons in this thread's error queue, where libcurl's
    // OpenSSL would find them later.
    if (!valid) ERR_clear_error();
    return valid;
}

}  // namespace vu::plat
