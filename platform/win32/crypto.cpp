// The cryptographic primitives over Windows CNG (bcrypt).
#include "platform/crypto.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

namespace platform {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// The algorithm providers are opened once and shared: CNG providers are
// safe to use from several threads, and opening one is costly.
BCRYPT_ALG_HANDLE OpenProvider(LPCWSTR algorithm, ULONG flags) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&provider, algorithm, nullptr, flags))) return nullptr;
    return provider;
}

BCRYPT_ALG_HANDLE AesEcbProvider() {
    static BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE p = OpenProvider(BCRYPT_AES_ALGORITHM, 0);
        if (p && !Succeeded(BCryptSetProperty(p, BCRYPT_CHAINING_MODE,
                                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                                              sizeof(BCRYPT_CHAIN_MODE_ECB), 0))) {
            BCryptCloseAlgorithmProvider(p, 0);
            p = nullptr;
        }
        return p;
    }();
    return provider;
}

BCRYPT_ALG_HANDLE HmacSha1Provider() {
    static BCRYPT_ALG_HANDLE provider = OpenProvider(BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
    return provider;
}

BCRYPT_ALG_HANDLE Sha256Provider() {
    static BCRYPT_ALG_HANDLE provider = OpenProvider(BCRYPT_SHA256_ALGORITHM, 0);
    return provider;
}

}  // namespace

struct TAesBlockCipher::Impl {
    BCRYPT_KEY_HANDLE key = nullptr;
    ~Impl() {
        if (key) BCryptDestroyKey(key);
    }
};

TAesBlockCipher::TAesBlockCipher() : impl_(std::make_unique<Impl>()) {}
TAesBlockCipher::~TAesBlockCipher() = default;

bool TAesBlockCipher::SetKey(const uint8_t* key, size_t keyLength) {
    if (impl_->key) {
        BCryptDestroyKey(impl_->key);
        impl_->key = nullptr;
    }
    if (keyLength != 16 && keyLength != 24 && keyLength != 32) return false;
    BCRYPT_ALG_HANDLE provider = AesEcbProvider();
    if (provider == nullptr) return false;
    return Succeeded(BCryptGenerateSymmetricKey(provider, &impl_->key, nullptr, 0, const_cast<PUCHAR>(key),
                                                static_cast<ULONG>(keyLength), 0));
}

void TAesBlockCipher::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) {
    if (impl_->key == nullptr || blocks == 0) return;
    ULONG written = 0;
    BCryptEncrypt(impl_->key, const_cast<PUCHAR>(in), static_cast<ULONG>(blocks * 16), nullptr, nullptr, 0, out,
                  static_cast<ULONG>(blocks * 16), &written, 0);
}

struct THmacSha1::Impl {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~Impl() {
        if (hash) BCryptDestroyHash(hash);
    }
};

THmacSha1::THmacSha1() : impl_(std::make_unique<Impl>()) {}
THmacSha1::~THmacSha1() = default;

bool THmacSha1::Start(const uint8_t* key, size_t keyLength) {
    if (impl_->hash) {
        BCryptDestroyHash(impl_->hash);
        impl_->hash = nullptr;
    }
    BCRYPT_ALG_HANDLE provider = HmacSha1Provider();
    if (provider == nullptr) return false;
    return Succeeded(BCryptCreateHash(provider, &impl_->hash, nullptr, 0, const_cast<PUCHAR>(key),
                                      static_cast<ULONG>(keyLength), 0));
}

void THmacSha1::Update(const uint8_t* data, size_t length) {
    // BCryptHashData takes at most 4 GiB at once.
    while (impl_->hash && length > 0) {
        ULONG piece = length > 0x40000000 ? 0x40000000 : static_cast<ULONG>(length);
        BCryptHashData(impl_->hash, const_cast<PUCHAR>(data), piece, 0);
        data += piece;
        length -= piece;
    }
}

void THmacSha1::Finish(uint8_t digest[kDigestSize]) {
    std::memset(digest, 0, kDigestSize);
    if (impl_->hash) BCryptFinishHash(impl_->hash, digest, kDigestSize, 0);
}

struct TSha256::Impl {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~Impl() {
        if (hash) BCryptDestroyHash(hash);
    }
};

TSha256::TSha256() : impl_(std::make_unique<Impl>()) {
    BCRYPT_ALG_HANDLE provider = Sha256Provider();
    if (provider && !Succeeded(BCryptCreateHash(provider, &impl_->hash, nullptr, 0, nullptr, 0, 0)))
        impl_->hash = nullptr;
}
TSha256::~TSha256() = default;

bool TSha256::Ready() const { return impl_->hash != nullptr; }

void TSha256::Update(const uint8_t* data, size_t length) {
    while (impl_->hash && length > 0) {
        ULONG piece = length > 0x40000000 ? 0x40000000 : static_cast<ULONG>(length);
        BCryptHashData(impl_->hash, const_cast<PUCHAR>(data), piece, 0);
        data += piece;
        length -= piece;
    }
}

void TSha256::Finish(uint8_t digest[kDigestSize]) {
    std::memset(digest, 0, kDigestSize);
    if (!impl_->hash) return;
    BCryptFinishHash(impl_->hash, digest, kDigestSize, 0);
    BCryptDestroyHash(impl_->hash);
    impl_->hash = nullptr;
}

bool Pbkdf2HmacSha1(const void* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, unsigned iterations, uint8_t* out, size_t outLength) {
    BCRYPT_ALG_HANDLE provider = HmacSha1Provider();
    if (provider == nullptr) return false;
    return Succeeded(BCryptDeriveKeyPBKDF2(provider, static_cast<PUCHAR>(const_cast<void*>(password)),
                                           static_cast<ULONG>(passwordLength), const_cast<PUCHAR>(salt),
                                           static_cast<ULONG>(saltLength), iterations, out,
                                           static_cast<ULONG>(outLength), 0));
}

}  // namespace platform
