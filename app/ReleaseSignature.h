// Signed releases: the publisher's public key built into the program, and the
// check of a downloaded archive against the signature of the update reply.
#pragma once

#include <string>

// The key built into this program (PEM; empty when the build names none),
// defined by the source that cmake/ReleaseKey.cmake writes for each program.
extern const char kBuiltInReleaseKey[];

namespace release {

// Set once at start by the program's entry; empty leaves archives unchecked.
void SetPublicKey(std::string pem);
const std::string& PublicKey();

// True when no key is set, or when `signatureBase64` (the update reply's
// `signature`) is a valid signature of the archive's bytes under the key. The
// archive is read in pieces.
bool ArchiveAccepted(const std::u16string& archive, const std::string& signatureBase64);

}  // namespace release
