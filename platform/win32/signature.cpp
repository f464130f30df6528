// Release signatures through CNG: the PEM key decoded by CryptoAPI, imported
// as an ECDSA P-256 public key, the data hashed with SHA-256 in pieces and the
// DER signature turned into the r || s form BCryptVerifySignature takes.
#include "platform/signature.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace platform {

namespace {

constexpr int64_t kPiece = 1 << 16;
constexpr size_t kCoordinate = 32;  // bytes of one P-256 coordinate
// The DER body of the object identifier of the P-256 curve (1.2.840.10045.3.1.7).
constexpr unsigned char kP256Oid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};

struct Algorithm {
    BCRYPT_ALG_HANDLE Handle = nullptr;
    explicit Algorithm(const wchar_t* name) {
        if (BCryptOpenAlgorithmProvider(&Handle, name, nullptr, 0) != 0) Handle = nullptr;
    }
    ~Algorithm() {
        if (Handle) BCryptCloseAlgorithmProvider(Handle, 0);
    }
};

struct Key {
    BCRYPT_KEY_HANDLE Handle = nullptr;
    ~Key() {
        if (Handle) BCryptDestroyKey(Handle);
    }
};

struct Hash {
    BCRYPT_HASH_HANDLE Handle = nullptr;
    ~Hash() {
        if (Handle) BCryptDestroyHash(Handle);
    }
};

// The public point (X and Y) of a P-256 key in PEM form; false for anything else.
bool ReadPublicPoint(std::string_view pem, std::vector<unsigned char>& point) {
    if (pem.empty()) return false;
    DWORD derSize = 0;
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &derSize, nullptr, nullptr))
        return false;
    // CRYPT_STRING_BASE64HEADER takes any "-----BEGIN ...-----" block: only a
    // public key will do.
    if (std::string_view::npos == pem.find("-----BEGIN PUBLIC KEY-----")) return false;
    std::vector<BYTE> der(derSize);
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                              &derSize, nullptr, nullptr))
        return false;
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(), derSize, CRYPT_DECODE_ALLOC_FLAG,
                             nullptr, &info, &infoSize))
        return false;
    bool ok = std::strcmp(info->Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) == 0;
    // The curve: its identifier as a DER OBJECT IDENTIFIER.
    const CRYPT_OBJID_BLOB& curve = info->Algorithm.Parameters;
    ok = ok && curve.cbData == 2 + sizeof kP256Oid && curve.pbData[0] == 0x06 && curve.pbData[1] == sizeof kP256Oid &&
         std::memcmp(curve.pbData + 2, kP256Oid, sizeof kP256Oid) == 0;
    // An uncompressed point: 0x04, X, Y.
    const CRYPT_BIT_BLOB& bits = info->PublicKey;
    ok = ok && bits.cbData == 1 + 2 * kCoordinate && bits.pbData[0] == 0x04;
    if (ok) point.assign(bits.pbData + 1, bits.pbData + bits.cbData);
    LocalFree(info);
    return ok;
}

// One DER INTEGER at `p` as a 32-byte big-endian number; advances `p`.
bool ReadInteger(const unsigned char*& p, const unsigned char* end, unsigned char* out) {
    if (end - p < 2 || p[0] != 0x02) return false;
    size_t length = p[1];
    p += 2;
    if (length == 0 || length > static_cast<size_t>(end - p)) return false;
    const unsigned char* digits = p;
    p += length;
    // A positive number: at most one leading zero, there only before a high bit.
    if (digits[0] & 0x80) return false;
    if (length > 1 && digits[0] == 0 && !(digits[1] & 0x80)) return false;
    if (digits[0] == 0 && length > 1) {
        ++digits;
        --length;
    }
    if (length > kCoordinate) return false;
    std::memset(out, 0, kCoordinate);
    std::memcpy(out + kCoordinate - length, digits, length);
    return true;
}

// A DER ECDSA signature (SEQUENCE of two INTEGERs, nothing after it) as r || s.
bool DerToRaw(const std::string& der, unsigned char* raw) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    const unsigned char* end = p + der.size();
    if (end - p < 2 || p[0] != 0x30) return false;
    size_t length = p[1];
    p += 2;
    if (length & 0x80) {
        if (length != 0x81 || end - p < 1 || p[0] < 0x80) return false;
        length = *p++;
    }
    if (length != static_cast<size_t>(end - p)) return false;
    return ReadInteger(p, end, raw) && ReadInteger(p, end, raw + kCoordinate) && p == end;
}

}  // namespace

SignatureCheck VerifySignature(std::string_view publicKeyPem, TStream& data, std::string_view signatureBase64) {
    std::vector<unsigned char> point;
    if (!ReadPublicPoint(publicKeyPem, point)) return SignatureCheck::BadKey;
    std::string der;
    unsigned char raw[2 * kCoordinate];
    if (!DecodeBase64(signatureBase64, der) || !DerToRaw(der, raw)) return SignatureCheck::MalformedSignature;

    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + point.size());
    auto* header = reinterpret_cast<BCRYPT_ECCKEY_BLOB*>(blob.data());
    header->dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header->cbKey = kCoordinate;
    std::memcpy(blob.data() + sizeof(BCRYPT_ECCKEY_BLOB), point.data(), point.size());
    Key key;
    if (!ecdsa.Handle || BCryptImportKeyPair(ecdsa.Handle, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key.Handle, blob.data(),
                                             static_cast<ULONG>(blob.size()), 0) != 0)
        return SignatureCheck::BadKey;

    Algorithm sha256(BCRYPT_SHA256_ALGORITHM);
    Hash hash;
    if (!sha256.Handle || BCryptCreateHash(sha256.Handle, &hash.Handle, nullptr, 0, nullptr, 0, 0) != 0)
        return SignatureCheck::Unreadable;
    std::unique_ptr<unsigned char[]> piece(new unsigned char[kPiece]);
    try {
        for (;;) {
            int64_t n = data.Read(piece.get(), kPiece);
            if (n <= 0) break;
            if (BCryptHashData(hash.Handle, piece.get(), static_cast<ULONG>(n), 0) != 0)
                return SignatureCheck::Unreadable;
        }
    } catch (const Exception&) {
        return SignatureCheck::Unreadable;
    }
    unsigned char digest[32];
    if (BCryptFinishHash(hash.Handle, digest, sizeof digest, 0) != 0) return SignatureCheck::Unreadable;
    return BCryptVerifySignature(key.Handle, nullptr, digest, sizeof digest, raw, sizeof raw, 0) == 0
               ? SignatureCheck::Valid
               : SignatureCheck::Mismatch;
}

}  // namespace platform
