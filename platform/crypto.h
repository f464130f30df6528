// The few cryptographic primitives the extraction of WinZip AES entries needs:
// AES encryption of whole blocks (the entry's counter mode is built on it),
// HMAC-SHA1 and PBKDF2 with HMAC-SHA1; and SHA-256, the digest a release
// statement gives of its archive. The system library does the work
// (libcrypto on Linux, CNG on Windows); nothing here is written by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

// AES with a 128-, 192- or 256-bit key, encrypting independent 16-byte
// blocks (electronic code book, no padding).
class TAesBlockCipher {
public:
    TAesBlockCipher();
    ~TAesBlockCipher();
    TAesBlockCipher(const TAesBlockCipher&) = delete;
    TAesBlockCipher& operator=(const TAesBlockCipher&) = delete;

    // Sets the key (16, 24 or 32 bytes); false for another length or when
    // the system refuses the key.
    bool SetKey(const uint8_t* key, size_t keyLength);
    // Encrypts `blocks` 16-byte blocks from `in` to `out` (which may be `in`).
    void EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// An HMAC-SHA1 computed over data given in pieces.
class THmacSha1 {
public:
    static constexpr size_t kDigestSize = 20;
    THmacSha1();
    ~THmacSha1();
    THmacSha1(const THmacSha1&) = delete;
    THmacSha1& operator=(const THmacSha1&) = delete;

    // Starts a new code with `key`; false when the system refuses.
    bool Start(const uint8_t* key, size_t keyLength);
    void Update(const uint8_t* data, size_t length);
    // The 20-byte code of everything given since Start.
    void Finish(uint8_t digest[kDigestSize]);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A SHA-256 digest computed over data given in pieces.
class TSha256 {
public:
    static constexpr size_t kDigestSize = 32;
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    // False when the system offers no SHA-256 (Update and Finish then do nothing).
    bool Ready() const;
    void Update(const uint8_t* data, size_t length);
    // The digest of everything given since construction.
    void Finish(uint8_t digest[kDigestSize]);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// PBKDF2 with HMAC-SHA1: `outLength` bytes derived from the password and the
// salt in `iterations` rounds. False when the system cannot derive them.
bool Pbkdf2HmacSha1(const void* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, unsigned iterations, uint8_t* out, size_t outLength);

}  // namespace platform
