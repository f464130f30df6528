// TLS through Schannel (SSPI). The handshake tokens and the records go
// through the socket layer with its time limits and error numbers; the
// server's chain is verified by CryptoAPI against the system's trust store
// with the SSL policy for the host name, which tells an untrusted authority,
// an expired certificate and another name apart.
#include "platform/tls.h"

#define SECURITY_WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>
#include <wininet.h>  // SECURITY_FLAG_IGNORE_CERT_CN_INVALID

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/tls_transport.h"

namespace platform {

using tls_transport::Deadline;

namespace {

// The SSL policy's flag that lets revocation errors pass (wininet's
// SECURITY_FLAG_IGNORE_REVOCATION); used only once a revoked certificate has
// been refused from the chain's own status.
constexpr DWORD kIgnoreRevocationUnknown = 0x00000080;

constexpr size_t kCipherChunk = 65536;

std::string StatusText(SECURITY_STATUS status) {
    char text[32];
    std::snprintf(text, sizeof text, "SSPI status 0x%08lX", static_cast<unsigned long>(status));
    return text;
}

// Whether the server's first bytes refuse TLS 1.2: a fatal protocol_version
// alert in a plain record (it takes none of the versions offered) or a
// ServerHello that picks an older version. Windows' Schannel says so with a
// status of its own (handled before this); Wine's reports such a handshake
// only as SEC_E_INTERNAL_ERROR, so there the bytes themselves tell.
bool ServerRefusedVersion(const std::vector<char>& start) {
    const auto* b = reinterpret_cast<const unsigned char*>(start.data());
    const size_t n = start.size();
    // Record header: type, version (2), length (2).
    if (n >= 7 && b[0] == 21) return b[5] == 2 && b[6] == 70;  // alert: fatal, protocol_version
    // Handshake record: message type, length (3), then the server's version.
    if (n >= 11 && b[0] == 22 && b[5] == 2) return (b[9] << 8 | b[10]) < 0x0303;  // ServerHello, below 1.2
    return false;
}

}  // namespace

struct TlsConnection::Session {
    CredHandle Credentials{};
    CtxtHandle Context{};
    bool HaveCredentials = false;
    bool HaveContext = false;
    bool Established = false;
    bool PeerClosed = false;
    Socket* Transport = nullptr;
    std::wstring Target;
    SecPkgContext_StreamSizes Sizes{};
    std::vector<char> Incoming;     // encrypted bytes not yet decrypted
    std::vector<char> ServerStart;  // the server's first bytes, for ServerRefusedVersion
    std::vector<char> Plain;        // decrypted bytes not yet handed out
    size_t PlainStart = 0;

    ~Session() {
        if (HaveContext) DeleteSecurityContext(&Context);
        if (HaveCredentials) FreeCredentialsHandle(&Credentials);
    }

    bool SendAll(const char* data, size_t count, TlsError& error) {
        return tls_transport::SendAll(*Transport, data, count, error);
    }

    // Moves encrypted bytes from the socket to Incoming within the deadline.
    // 1: bytes came, 0: the peer closed, −1: failure, kTimedOut.
    int64_t Fill(const Deadline& deadline, TlsError& error) {
        char chunk[kCipherChunk];
        int64_t n = tls_transport::ReceiveCipher(*Transport, chunk, sizeof chunk, deadline, error);
        if (n == kTimedOut || n < 0) return n;
        if (n == 0) {
            PeerClosed = true;
            return 0;
        }
        Incoming.insert(Incoming.end(), chunk, chunk + n);
        if (!Established && ServerStart.size() < 16)
            ServerStart.insert(ServerStart.end(), chunk, chunk + std::min<int64_t>(n, 16 - ServerStart.size()));
        return 1;
    }

    // One step of the handshake on what Incoming holds; sends the token it
    // makes and keeps the bytes it did not use.
    SECURITY_STATUS Step(TlsError& error) {
        const DWORD wanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                             ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                             ISC_REQ_MANUAL_CRED_VALIDATION;
        SecBuffer in[2] = {{static_cast<unsigned long>(Incoming.size()), SECBUFFER_TOKEN, Incoming.data()},
                           {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
        unsigned long granted = 0;
        SECURITY_STATUS status = InitializeSecurityContextW(
            &Credentials, HaveContext ? &Context : nullptr, Target.data(), wanted, 0, 0,
            HaveContext ? &inDesc : nullptr, 0, HaveContext ? nullptr : &Context, &outDesc, &granted, nullptr);
        HaveContext = true;
        if (status == SEC_E_INCOMPLETE_MESSAGE) return status;  // nothing used; wait for more
        bool sent = true;
        if (out[0].pvBuffer) {
            if (out[0].cbBuffer > 0) sent = SendAll(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer, error);
            FreeContextBuffer(out[0].pvBuffer);
        }
        if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0)
            Incoming.erase(Incoming.begin(), Incoming.end() - in[1].cbBuffer);
        else
            Incoming.clear();
        if (!sent) return SEC_E_INTERNAL_ERROR;
        return status;
    }

    // The chain of the server's certificate: every element valid now and
    // leading to a trusted root (checked on the chain itself, so that no
    // policy can let a partial chain pass), then the name: a host name under
    // the SSL policy, an address against the certificate's IP entries.
    bool VerifyServer(TlsError& error) {
        PCCERT_CONTEXT remote = nullptr;
        if (QueryContextAttributesW(&Context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote) != SEC_E_OK || !remote) {
            error.Failure = TlsFailure::Untrusted;
            error.Detail = "the server sent no certificate";
            return false;
        }
        char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
        LPSTR usages[] = {serverAuth};
        CERT_CHAIN_PARA chainPara{};
        chainPara.cbSize = sizeof chainPara;
        chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
        chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
        chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        // Revocation is asked for every certificate but the root. An answer
        // that cannot be had (no revocation address, offline) is let pass;
        // a certificate found revoked is refused below.
        const DWORD chainFlags = CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT;
        bool ok = CertGetCertificateChain(nullptr, remote, nullptr, remote->hCertStore, &chainPara, chainFlags, nullptr,
                                          &chain) != FALSE;
        if (!ok) {
            CertFreeCertificateContext(remote);
            error.Failure = TlsFailure::Untrusted;
            error.Detail = "no certificate chain could be built";
            return false;
        }
        const DWORD trust = chain->TrustStatus.dwErrorStatus;
        const DWORD untrusted = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                                CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_REVOKED |
                                CERT_TRUST_IS_NOT_VALID_FOR_USAGE | CERT_TRUST_IS_CYCLIC |
                                CERT_TRUST_INVALID_EXTENSION | CERT_TRUST_INVALID_BASIC_CONSTRAINTS |
                                CERT_TRUST_INVALID_NAME_CONSTRAINTS | CERT_TRUST_IS_EXPLICIT_DISTRUST |
                                // A name the issuer may not certify, or a
                                // constraint or critical extension the chain
                                // engine cannot check, is no trust either.
                                CERT_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT |
                                CERT_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT |
                                CERT_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT |
                                CERT_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT | CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT;
        if (trust & CERT_TRUST_IS_NOT_TIME_VALID) {
            error.Failure = TlsFailure::Expired;
            error.Detail = "certificate has expired or is not yet valid";
        } else if (trust & untrusted) {
            error.Failure = TlsFailure::Untrusted;
            error.Detail = (trust & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
                               ? "the chain does not lead to a trusted authority"
                               : "the chain is not valid";
        } else {
            unsigned char address[16];
            size_t addressSize = 0;
            const std::string narrow(Target.begin(), Target.end());
            if (InetPtonA(AF_INET, narrow.c_str(), address) == 1)
                addressSize = 4;
            else if (InetPtonA(AF_INET6, narrow.c_str(), address) == 1)
                addressSize = 16;
            SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
            ssl.cbSize = sizeof ssl;
            ssl.dwAuthType = AUTHTYPE_SERVER;
            ssl.pwszServerName = Target.data();
            // An address is matched below, not by the policy's name rules.
            if (addressSize) ssl.fdwChecks = SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
            // Revocation that could not be checked is no failure (a revoked
            // certificate was refused above).
            ssl.fdwChecks |= kIgnoreRevocationUnknown;
            CERT_CHAIN_POLICY_PARA policy{};
            policy.cbSize = sizeof policy;
            policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
            policy.pvExtraPolicyPara = &ssl;
            CERT_CHAIN_POLICY_STATUS verdict{};
            verdict.cbSize = sizeof verdict;
            ok = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &verdict) != FALSE;
            if (ok && verdict.dwError == 0 && addressSize && !NamesAddress(remote, address, addressSize))
                verdict.dwError = static_cast<DWORD>(CERT_E_CN_NO_MATCH);
            if (!ok || verdict.dwError != 0) {
                if (verdict.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) {
                    error.Failure = TlsFailure::NameMismatch;
                    error.Detail = "the certificate names another host";
                } else if (verdict.dwError == static_cast<DWORD>(CERT_E_EXPIRED)) {
                    error.Failure = TlsFailure::Expired;
                    error.Detail = "certificate has expired or is not yet valid";
                } else {
                    error.Failure = TlsFailure::Untrusted;
                    error.Detail = StatusText(static_cast<SECURITY_STATUS>(verdict.dwError));
                }
            }
        }
        CertFreeCertificateChain(chain);
        CertFreeCertificateContext(remote);
        return error.Failure == TlsFailure::None;
    }

    // The certificate carries the address among its subject alternative names.
    static bool NamesAddress(PCCERT_CONTEXT certificate, const unsigned char* address, size_t size) {
        PCERT_EXTENSION extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, certificate->pCertInfo->cExtension,
                                                      certificate->pCertInfo->rgExtension);
        if (!extension) return false;
        CERT_ALT_NAME_INFO* names = nullptr;
        DWORD namesSize = 0;
        if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                                 extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &namesSize))
            return false;
        bool found = false;
        for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
            const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
            found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == size &&
                    std::memcmp(entry.IPAddress.pbData, address, size) == 0;
        }
        LocalFree(names);
        return found;
    }
};

TlsConnection::TlsConnection() = default;
TlsConnection::~TlsConnection() = default;

bool TlsConnection::Handshake(Socket& socket, const std::string& host, int timeoutMs, TlsError& error) {
    error = TlsError{};
    session_ = std::make_unique<Session>();
    Session& s = *session_;
    s.Transport = &socket;
    const std::u16string wide = Utf8ToText(host);
    s.Target.assign(wide.begin(), wide.end());

    // TLS 1.2: the newest version every supported Windows offers through
    // these credentials; verification is ours (manual validation).
    SCHANNEL_CRED credentials{};
    credentials.dwVersion = SCHANNEL_CRED_VERSION;
    credentials.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    TimeStamp expiry;
    SECURITY_STATUS status = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                                       SECPKG_CRED_OUTBOUND, nullptr, &credentials, nullptr,
                                                       nullptr, &s.Credentials, &expiry);
    if (status != SEC_E_OK) {
        error.Failure = TlsFailure::Handshake;
        error.Detail = StatusText(status);
        return false;
    }
    s.HaveCredentials = true;

    const Deadline deadline(timeoutMs > 0 ? timeoutMs : -1);
    status = s.Step(error);  // the client hello
    for (;;) {
        if (error.Failure != TlsFailure::None) return false;
        if (status == SEC_E_OK) break;
        if (status != SEC_I_CONTINUE_NEEDED && status != SEC_E_INCOMPLETE_MESSAGE) {
            switch (status) {
                case SEC_E_UNSUPPORTED_FUNCTION:
                case SEC_E_ALGORITHM_MISMATCH:
                    error.Failure = TlsFailure::ProtocolVersion;
                    break;
                default:
                    error.Failure =
                        ServerRefusedVersion(s.ServerStart) ? TlsFailure::ProtocolVersion : TlsFailure::Handshake;
                    break;
            }
            error.Detail = StatusText(status);
            return false;
        }
        if (status == SEC_E_INCOMPLETE_MESSAGE || s.Incoming.empty()) {
            int64_t filled = s.Fill(deadline, error);
            if (filled == kTimedOut) {
                error.Failure = TlsFailure::Transport;
                error.SocketError = kSocketErrorTimedOut;
                return false;
            }
            if (filled < 0) return false;
            if (filled == 0) {
                error.Failure = TlsFailure::Closed;
                return false;
            }
        }
        status = s.Step(error);
    }
    if (!s.VerifyServer(error)) return false;
    status = QueryContextAttributesW(&s.Context, SECPKG_ATTR_STREAM_SIZES, &s.Sizes);
    if (status != SEC_E_OK) {
        error.Failure = TlsFailure::Handshake;
        error.Detail = StatusText(status);
        return false;
    }
    s.Established = true;
    return true;
}

int64_t TlsConnection::Receive(void* buffer, size_t count, int timeoutMs, TlsError& error) {
    error = TlsError{};
    if (!session_ || !session_->Established) {
        tls_transport::NotOpen(error);
        return -1;
    }
    Session& s = *session_;
    const Deadline deadline(timeoutMs);
    for (;;) {
        if (s.PlainStart < s.Plain.size()) {
            size_t n = std::min(count, s.Plain.size() - s.PlainStart);
            std::memcpy(buffer, s.Plain.data() + s.PlainStart, n);
            s.PlainStart += n;
            if (s.PlainStart == s.Plain.size()) {
                s.Plain.clear();
                s.PlainStart = 0;
            }
            return static_cast<int64_t>(n);
        }
        SECURITY_STATUS status = SEC_E_INCOMPLETE_MESSAGE;
        if (!s.Incoming.empty()) {
            SecBuffer buffers[4] = {{static_cast<unsigned long>(s.Incoming.size()), SECBUFFER_DATA, s.Incoming.data()},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
            status = DecryptMessage(&s.Context, &desc, 0, nullptr);
            if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED || status == SEC_I_RENEGOTIATE) {
                std::vector<char> extra;
                for (const SecBuffer& b : buffers) {
                    if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0)
                        s.Plain.insert(s.Plain.end(), static_cast<char*>(b.pvBuffer),
                                       static_cast<char*>(b.pvBuffer) + b.cbBuffer);
                    if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0)
                        extra.assign(static_cast<char*>(b.pvBuffer), static_cast<char*>(b.pvBuffer) + b.cbBuffer);
                }
                s.Incoming.swap(extra);
                if (status == SEC_I_CONTEXT_EXPIRED) {
                    // The peer's close notice: hand out what came before it.
                    s.PeerClosed = true;
                    if (s.Plain.empty()) return 0;
                }
                if (status == SEC_I_RENEGOTIATE) {
                    error.Failure = TlsFailure::Protocol;
                    error.Detail = "the server asked for a renegotiation";
                    return -1;
                }
                continue;
            }
            if (status != SEC_E_INCOMPLETE_MESSAGE) {
                error.Failure = TlsFailure::Protocol;
                error.Detail = StatusText(status);
                return -1;
            }
        }
        if (s.PeerClosed) return 0;
        int64_t filled = s.Fill(deadline, error);
        if (filled == kTimedOut || filled < 0) return filled;
        if (filled == 0) return 0;  // the peer dropped the connection
    }
}

bool TlsConnection::Send(const void* buffer, size_t count, TlsError& error) {
    error = TlsError{};
    if (!session_ || !session_->Established) {
        tls_transport::NotOpen(error);
        return false;
    }
    Session& s = *session_;
    const char* data = static_cast<const char*>(buffer);
    std::vector<char> record(s.Sizes.cbHeader + s.Sizes.cbMaximumMessage + s.Sizes.cbTrailer);
    while (count > 0) {
        const size_t n = std::min<size_t>(count, s.Sizes.cbMaximumMessage);
        std::memcpy(record.data() + s.Sizes.cbHeader, data, n);
        SecBuffer buffers[4] = {
            {s.Sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<unsigned long>(n), SECBUFFER_DATA, record.data() + s.Sizes.cbHeader},
            {s.Sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + s.Sizes.cbHeader + n},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = EncryptMessage(&s.Context, 0, &desc, 0);
        if (status != SEC_E_OK) {
            error.Failure = TlsFailure::Protocol;
            error.Detail = StatusText(status);
            return false;
        }
        if (!s.SendAll(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer, error))
            return false;
        data += n;
        count -= n;
    }
    return true;
}

void TlsConnection::Shutdown() {
    if (!session_) return;
    Session& s = *session_;
    if (s.Established && !s.PeerClosed) {
        DWORD token = SCHANNEL_SHUTDOWN;
        SecBuffer in[1] = {{sizeof token, SECBUFFER_TOKEN, &token}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 1, in};
        if (ApplyControlToken(&s.Context, &inDesc) == SEC_E_OK) {
            // The context now makes the close notice as its next token.
            SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
            unsigned long granted = 0;
            InitializeSecurityContextW(&s.Credentials, &s.Context, s.Target.data(),
                                       ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM, 0, 0,
                                       nullptr, 0, nullptr, &outDesc, &granted, nullptr);
            if (out[0].pvBuffer) {
                TlsError ignored;
                if (out[0].cbBuffer > 0) s.SendAll(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer, ignored);
                FreeContextBuffer(out[0].pvBuffer);
            }
        }
    }
    session_.reset();
}

}  // namespace platform
