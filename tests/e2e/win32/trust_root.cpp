// zelvano-test-root add|remove CERTIFICATE.pem
//
// Puts a test authority's certificate into the local machine's "Root" store
// (add) or takes it out again (remove), for the end-to-end run under Wine,
// whose setup program must reach an https server of that authority. Each
// change is committed at once: Wine keeps a system store's changes in the
// handle until then. Exit status 0 when done, 1 with a message otherwise.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "zelvano-test-root: %s (error 0x%08lX)\n", what, GetLastError());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "add") != 0 && std::strcmp(argv[1], "remove") != 0)) {
        std::fprintf(stderr, "usage: zelvano-test-root add|remove CERTIFICATE.pem\n");
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string pem = text.str();
    DWORD size = 0;
    if (pem.empty() || !CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                             nullptr, &size, nullptr, nullptr))
        return Fail("no PEM certificate");
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                              &size, nullptr, nullptr))
        return Fail("no PEM certificate");
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store) return Fail("cannot open the local machine's Root store");
    bool done;
    if (std::strcmp(argv[1], "add") == 0) {
        done = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    } else {
        PCCERT_CONTEXT certificate = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
        PCCERT_CONTEXT found =
            certificate ? CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate,
                                                     nullptr)
                        : nullptr;
        // Deleting frees the context found; a certificate not there is gone already.
        done = certificate && (!found || CertDeleteCertificateFromStore(found));
        if (certificate) CertFreeCertificateContext(certificate);
    }
    if (!done) {
        CertCloseStore(store, 0);
        return Fail("cannot change the Root store");
    }
    if (!CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr)) {
        CertCloseStore(store, 0);
        return Fail("cannot save the Root store");
    }
    CertCloseStore(store, 0);
    return 0;
}
