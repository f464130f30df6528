// A private certificate authority for TLS tests, made at test time with the
// openssl command in a temporary folder: its certificate (CertificateFile()),
// to be trusted with TrustedAuthority (trusted_authority.h) on either system,
// and server certificates it issues.
//
//   zelvano_test::TestAuthority authority;
//   auto server = authority.Issue("server", "DNS:localhost,IP:127.0.0.1");
//   zelvano_test::NginxServer nginx(root, "", server.Certificate, server.Key);
//   zelvano_test::TrustedAuthority trust(authority.CertificateFile());
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/nginx_server.h"

namespace zelvano_test {

class TestAuthority {
 public:
  struct Issued {
    std::filesystem::path Certificate;  // the server's certificate
    std::filesystem::path Key;
  };

  explicit TestAuthority(const std::string& name = "Zelvano Test Authority") : dir_("zelvano-ca") {
    RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30"
               " -subj " + ShellQuote("/CN=" + name) +
               " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign"
               " -keyout " + ShellQuote((dir_.Path() / "ca.key").string()) +
               " -out " + ShellQuote(CertificateFile().string()) + " 2>&1");
  }

  std::filesystem::path CertificateFile() const { return dir_.Path() / "ca.pem"; }

  // A server certificate for the subject alternative names (openssl's
  // notation, "DNS:localhost,IP:127.0.0.1"), valid for `days` from now; a
  // negative count gives one that has already expired.
  Issued Issue(const std::string& label, const std::string& altNames, int days = 30) {
    const auto base = dir_.Path() / label;
    Issued issued{base.string() + ".pem", base.string() + ".key"};
    const std::string csr = base.string() + ".csr", ext = base.string() + ".ext";
    std::ofstream(ext) << "subjectAltName=" << altNames << "\nextendedKeyUsage=serverAuth\n";
    RunCommand("openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=" + label +
               " -keyout " + ShellQuote(issued.Key.string()) + " -out " + ShellQuote(csr) + " 2>&1");
    RunCommand("openssl x509 -req -in " + ShellQuote(csr) + " -CA " + ShellQuote(CertificateFile().string()) +
               " -CAkey " + ShellQuote((dir_.Path() / "ca.key").string()) + " -CAcreateserial -days " +
               std::to_string(days) + " -extfile " + ShellQuote(ext) + " -out " +
               ShellQuote(issued.Certificate.string()) + " 2>&1");
    return issued;
  }

  // A server certificate issued through an intermediate authority whose
  // name constraints are `constraints` (openssl's notation,
  // "permitted;DNS:other.example"). The certificate file holds the server's
  // certificate and the intermediate's, as a server sends its chain.
  Issued IssueThroughIntermediate(const std::string& label, const std::string& altNames,
                                  const std::string& constraints) {
    const auto base = dir_.Path() / label;
    const std::string caKey = base.string() + "-ca.key", caCsr = base.string() + "-ca.csr",
                      caPem = base.string() + "-ca.pem", caExt = base.string() + "-ca.ext";
    std::ofstream(caExt) << "basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n"
                         << "nameConstraints=critical," << constraints << "\n";
    RunCommand("openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=" + label +
               "-intermediate -keyout " + ShellQuote(caKey) + " -out " + ShellQuote(caCsr) + " 2>&1");
    RunCommand("openssl x509 -req -in " + ShellQuote(caCsr) + " -CA " + ShellQuote(CertificateFile().string()) +
               " -CAkey " + ShellQuote((dir_.Path() / "ca.key").string()) + " -CAcreateserial -days 30 -extfile " +
               ShellQuote(caExt) + " -out " + ShellQuote(caPem) + " 2>&1");
    Issued issued{base.string() + ".pem", base.string() + ".key"};
    const std::string csr = base.string() + ".csr", ext = base.string() + ".ext", leaf = base.string() + "-leaf.pem";
    std::ofstream(ext) << "subjectAltName=" << altNames << "\nextendedKeyUsage=serverAuth\n";
    RunCommand("openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=" + label +
               " -keyout " + ShellQuote(issued.Key.string()) + " -out " + ShellQuote(csr) + " 2>&1");
    RunCommand("openssl x509 -req -in " + ShellQuote(csr) + " -CA " + ShellQuote(caPem) + " -CAkey " +
               ShellQuote(caKey) + " -CAcreateserial -days 30 -extfile " + ShellQuote(ext) + " -out " +
               ShellQuote(leaf) + " 2>&1");
    std::ofstream chain(issued.Certificate, std::ios::binary);
    chain << std::ifstream(leaf, std::ios::binary).rdbuf() << std::ifstream(caPem, std::ios::binary).rdbuf();
    return issued;
  }

 private:
  TempDir dir_;
};

}  // namespace zelvano_test
