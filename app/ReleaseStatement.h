// Signed releases. The publisher signs a small statement, not the archive:
//
//   {"product":"zelvano-student","version":"2.0.3","size":48211968,
//    "sha256":"<64 lowercase hex digits>","expires":"2027-01-10T00:00:00Z"}
//
// The update reply carries the statement's exact bytes in base64 (`release`)
// and the publisher's ECDSA P-256 signature over them (`signature`). The
// statement is checked before anything is ended or downloaded; the archive
// is then held open from the check of its size and digest to its extraction.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/stream.h"

// What the build trusts, defined by the source that cmake/ReleaseKey.cmake
// writes for each program: the publisher's public key (PEM), the product
// name statements must name, and the lowest version it installs (empty: no
// floor).
extern const char kBuiltInReleaseKey[];
extern const char kBuiltInProduct[];
extern const char kBuiltInMinimumRelease[];

namespace release {

struct TTrust {
    std::string PublicKey;       // PEM; an empty key trusts nothing
    std::string Product;         // the statement's `product` must equal it
    std::string MinimumRelease;  // dotted version, or empty
};

// Set once at start by the program's entry (tests set their own).
void SetTrust(TTrust trust);
const TTrust& Trust();

// A checked statement.
struct TRelease {
    std::string Product;
    std::string Version;
    int64_t Size = 0;
    std::string Sha256;  // 64 lowercase hex digits
    int64_t Expires = 0;  // seconds since 1970-01-01 UTC
};

enum class TVerdict {
    Accepted,
    Unsigned,      // no statement or no signature (the old form of the reply)
    BadSignature,  // not base64, not a signature, or not the trusted key's over these bytes
    Malformed,     // signed, but not a statement of the form above
    OtherProduct,
    Expired,
    Older,  // lower than the installed version or than the build's minimum
    PlainArchiveAddress,  // a reply that came over https names an http archive
};

// The release statement of an update reply, checked against the trust at
// `now` (seconds since 1970-01-01 UTC) and the version installed (empty:
// none). `release` receives the statement when it is accepted.
TVerdict CheckStatement(const std::string& statementBase64, const std::string& signatureBase64,
                        const std::string& installedVersion, int64_t now, TRelease& release);

// Dotted decimal versions ("2", "2.0.3"); missing parts count as 0.
bool IsVersion(const std::string& text);
// <0, 0, >0 as a is lower than, equal to or higher than b (both versions).
int CompareVersions(const std::string& a, const std::string& b);

// "YYYY-MM-DDTHH:MM:SSZ" as seconds since 1970-01-01 UTC; false for any
// other text.
bool ParseUtcTime(const std::string& text, int64_t& seconds);

// The downloaded archive, opened once: other writers are denied (on Windows
// also renames and deletes; on Linux the descriptor stays bound to the file
// that was opened, whatever is renamed over its path). It is read to its end
// once, hashed as it is read, and then handed on through Stream(), positioned
// at its beginning, to be extracted from: nothing reopens the path between
// the check and the extraction.
class TVerifiedArchive {
public:
    TVerifiedArchive(const std::u16string& path, const TRelease& release);
    ~TVerifiedArchive();
    TVerifiedArchive(const TVerifiedArchive&) = delete;
    TVerifiedArchive& operator=(const TVerifiedArchive&) = delete;

    // True when the file opened, and its size and SHA-256 are the statement's.
    bool Accepted() const { return accepted_; }
    platform::TStream& Stream() { return *stream_; }
    // Closes the file (so that it can be deleted).
    void Close() { stream_.reset(); }

private:
    std::unique_ptr<platform::TStream> stream_;
    bool accepted_ = false;
};

}  // namespace release
