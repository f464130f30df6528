// Release signatures through OpenSSL's libcrypto.
#include "platform/signature.h"

#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>
#include <string>

namespace platform {

namespace {

constexpr int64_t kPiece = 1 << 16;

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

// The P-256 public key in the PEM text, or null.
std::unique_ptr<EVP_PKEY, KeyFree> ReadPublicKey(std::string_view pem) {
    if (pem.empty()) return nullptr;
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) return nullptr;
    std::unique_ptr<EVP_PKEY, KeyFree> key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key || !EVP_PKEY_is_a(key.get(), "EC")) return nullptr;
    char curve[64] = {};
    size_t length = 0;
    if (!EVP_PKEY_get_utf8_string_param(key.get(), "group", curve, sizeof curve, &length)) return nullptr;
    if (std::string_view(curve, length) != "prime256v1") return nullptr;
    return key;
}

// A DER ECDSA signature: a SEQUENCE of two INTEGERs and nothing after it.
bool IsDerEcdsaSignature(const std::string& der) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size()));
    if (!sig) return false;
    const bool whole = p == reinterpret_cast<const unsigned char*>(der.data()) + der.size();
    ECDSA_SIG_free(sig);
    return whole;
}

}  // namespace

SignatureCheck VerifySignature(std::string_view publicKeyPem, TStream& data, std::string_view signatureBase64) {
    auto key = ReadPublicKey(publicKeyPem);
    if (!key) return SignatureCheck::BadKey;
    std::string der;
    if (!DecodeBase64(signatureBase64, der) || !IsDerEcdsaSignature(der)) return SignatureCheck::MalformedSignature;

    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
        return SignatureCheck::BadKey;
    std::unique_ptr<unsigned char[]> piece(new unsigned char[kPiece]);
    try {
        for (;;) {
            int64_t n = data.Read(piece.get(), kPiece);
            if (n <= 0) break;
            if (EVP_DigestVerifyUpdate(context.get(), piece.get(), static_cast<size_t>(n)) != 1)
                return SignatureCheck::Unreadable;
        }
    } catch (const Exception&) {
        return SignatureCheck::Unreadable;
    }
    int verdict = EVP_DigestVerifyFinal(context.get(), reinterpret_cast<const unsigned char*>(der.data()), der.size());
    return verdict == 1 ? SignatureCheck::Valid : SignatureCheck::Mismatch;
}

}  // namespace platform
