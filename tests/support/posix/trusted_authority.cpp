// Trust through OpenSSL's environment: SSL_CERT_FILE names the authority's
// certificate, SSL_CERT_DIR its folder (which holds no hashed certificate
// links), so the machine's own authorities do not count while it lasts.
#include "tests/support/trusted_authority.h"

#include <cstdlib>

namespace zelvano_test {

struct TrustedAuthority::State {};

TrustedAuthority::TrustedAuthority(const std::filesystem::path& certificate) {
    ::setenv("SSL_CERT_FILE", certificate.c_str(), 1);
    ::setenv("SSL_CERT_DIR", certificate.parent_path().c_str(), 1);
}

TrustedAuthority::~TrustedAuthority() {
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("SSL_CERT_DIR");
}

}  // namespace zelvano_test
