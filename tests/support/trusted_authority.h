// Makes a certificate authority trusted by this process's TLS connections for
// the life of the object, the way the system's own TLS learns of one:
//
//   zelvano_test::TestAuthority authority;
//   zelvano_test::TrustedAuthority trust(authority.CertificateFile());
//   ... https requests to servers with certificates of `authority` ...
//
// Linux (posix/trusted_authority.cpp): OpenSSL reads SSL_CERT_FILE, and
// SSL_CERT_DIR names the certificate's own folder, so nothing of the
// machine's store counts. Windows (win32/trusted_authority.cpp): Schannel's
// verification trusts the system stores only, so the certificate goes into
// the local machine's "Root" store through CryptoAPI and is deleted from it
// by the destructor. The test program needs the rights to change that store
// (under Wine it has them).
#pragma once

#include <filesystem>
#include <memory>

namespace zelvano_test {

class TrustedAuthority {
 public:
  // `certificate` is a PEM file holding one certificate. Throws
  // std::runtime_error when it cannot be trusted.
  explicit TrustedAuthority(const std::filesystem::path& certificate);
  ~TrustedAuthority();
  TrustedAuthority(const TrustedAuthority&) = delete;
  TrustedAuthority& operator=(const TrustedAuthority&) = delete;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace zelvano_test
