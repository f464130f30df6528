// Trust through the system: the certificate added to the local machine's
// "Root" store, where CertGetCertificateChain finds trusted roots, and
// deleted from it again by the destructor. The local machine's store takes a
// certificate without asking (the current user's "Root" store would show a
// confirmation dialog on Windows) but needs an administrator's rights.
// Each change is committed at once: Wine keeps a system store's changes in
// the handle until then, so neither the chain engine nor a later run would
// see them (Windows writes them through anyway).
#include "tests/support/trusted_authority.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/test_system.h"

namespace zelvano_test {

namespace {

std::string Failure(const std::string& what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", GetLastError());
    return what + " (error " + code + ")";
}

}  // namespace

struct TrustedAuthority::State {
    HCERTSTORE Store = nullptr;
    PCCERT_CONTEXT Added = nullptr;
};

TrustedAuthority::TrustedAuthority(const std::filesystem::path& certificate) : state_(new State) {
    const std::string pem = ReadWholeFile(certificate);
    DWORD size = 0;
    if (pem.empty() || !CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                             nullptr, &size, nullptr, nullptr))
        throw std::runtime_error(Failure("no PEM certificate in " + certificate.string()));
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                              &size, nullptr, nullptr))
        throw std::runtime_error(Failure("no PEM certificate in " + certificate.string()));
    state_->Store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!state_->Store) throw std::runtime_error(Failure("cannot open the local machine's Root store"));
    if (!CertAddEncodedCertificateToStore(state_->Store, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_NEW,
                                          &state_->Added)) {
        const std::string message = Failure("cannot add " + certificate.string() + " to the Root store");
        CertCloseStore(state_->Store, 0);
        throw std::runtime_error(message);
    }
    if (!CertControlStore(state_->Store, 0, CERT_STORE_CTRL_COMMIT, nullptr)) {
        const std::string message = Failure("cannot save the Root store with " + certificate.string());
        CertDeleteCertificateFromStore(state_->Added);
        CertCloseStore(state_->Store, 0);
        throw std::runtime_error(message);
    }
}

TrustedAuthority::~TrustedAuthority() {
    // Deleting frees the context as well.
    CertDeleteCertificateFromStore(state_->Added);
    CertControlStore(state_->Store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(state_->Store, 0);
}

}  // namespace zelvano_test
