// The cryptographic primitives over OpenSSL's libcrypto.
#include "platform/crypto.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <cstring>

namespace platform {

struct TAesBlockCipher::Impl {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    ~Impl() { EVP_CIPHER_CTX_free(context); }
};

TAesBlockCipher::TAesBlockCipher() : impl_(std::make_unique<Impl>()) {}
TAesBlockCipher::~TAesBlockCipher() = default;

bool TAesBlockCipher::SetKey(const uint8_t* key, size_t keyLength) {
    const EVP_CIPHER* kind = keyLength == 16   ? EVP_aes_128_ecb()
                             : keyLength == 24 ? EVP_aes_192_ecb()
                             : keyLength == 32 ? EVP_aes_256_ecb()
                                               : nullptr;
    if (kind == nullptr || impl_->context == nullptr) return false;
    EVP_CIPHER_CTX_reset(impl_->context);
    if (EVP_EncryptInit_ex(impl_->context, kind, nullptr, key, nullptr) != 1) return false;
    EVP_CIPHER_CTX_set_padding(impl_->context, 0);
    return true;
}

void TAesBlockCipher::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) {
    int written = 0;
    EVP_EncryptUpdate(impl_->context, out, &written, in, static_cast<int>(blocks * 16));
}

struct THmacSha1::Impl {
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* context = nullptr;
    ~Impl() {
        EVP_MAC_CTX_free(context);
        EVP_MAC_free(mac);
    }
};

THmacSha1::THmacSha1() : impl_(std::make_unique<Impl>()) {}
THmacSha1::~THmacSha1() = default;

bool THmacSha1::Start(const uint8_t* key, size_t keyLength) {
    EVP_MAC_CTX_free(impl_->context);
    impl_->context = impl_->mac ? EVP_MAC_CTX_new(impl_->mac) : nullptr;
    if (impl_->context == nullptr) return false;
    char digest[] = "SHA1";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                           OSSL_PARAM_construct_end()};
    return EVP_MAC_init(impl_->context, key, keyLength, params) == 1;
}

void THmacSha1::Update(const uint8_t* data, size_t length) {
    if (impl_->context) EVP_MAC_update(impl_->context, data, length);
}

void THmacSha1::Finish(uint8_t digest[kDigestSize]) {
    uint8_t full[EVP_MAX_MD_SIZE] = {};
    size_t length = 0;
    if (impl_->context) EVP_MAC_final(impl_->context, full, &length, sizeof full);
    std::memcpy(digest, full, kDigestSize);
}

struct TSha256::Impl {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ready = context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
    ~Impl() { EVP_MD_CTX_free(context); }
};

TSha256::TSha256() : impl_(std::make_unique<Impl>()) {}
TSha256::~TSha256() = default;

bool TSha256::Ready() const { return impl_->ready; }

void TSha256::Update(const uint8_t* data, size_t length) {
    if (impl_->ready) EVP_DigestUpdate(impl_->context, data, length);
}

void TSha256::Finish(uint8_t digest[kDigestSize]) {
    std::memset(digest, 0, kDigestSize);
    unsigned length = 0;
    if (impl_->ready) EVP_DigestFinal_ex(impl_->context, digest, &length);
    impl_->ready = false;
}

bool Pbkdf2HmacSha1(const void* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, unsigned iterations, uint8_t* out, size_t outLength) {
    return PKCS5_PBKDF2_HMAC_SHA1(static_cast<const char*>(password), static_cast<int>(passwordLength),
                                  salt, static_cast<int>(saltLength), static_cast<int>(iterations),
                                  static_cast<int>(outLength), out) == 1;
}

}  // namespace platform
