// Verification of release signatures: an ECDSA signature on the P-256 curve
// over the SHA-256 digest of the data, given as the base64 of its DER form
// (what "openssl dgst -sha256 -sign key.pem file | base64 -w0" prints), checked
// with the publisher's public key in PEM form ("-----BEGIN PUBLIC KEY-----").
//
// Linux: OpenSSL's libcrypto. Windows: CNG.
#pragma once

#include <string_view>

#include "platform/stream.h"

namespace platform {

enum class SignatureCheck {
    Valid,
    Mismatch,            // well formed, but not made by this key over these bytes
    MalformedSignature,  // not base64, or not a DER ECDSA signature
    BadKey,              // the public key is not a P-256 key in PEM form
    Unreadable,          // the data could not be read
};

// Reads `data` from its position to its end in pieces (never whole) and checks
// the signature over those bytes.
SignatureCheck VerifySignature(std::string_view publicKeyPem, TStream& data, std::string_view signatureBase64);

// Strict base64 (RFC 4648, with padding, no line breaks): false for any other
// text. Shared by both systems' verifiers so that they accept the same input.
bool DecodeBase64(std::string_view text, std::string& bytes);

}  // namespace platform
