// TLS through OpenSSL's libssl. The session talks to memory buffers and this
// file moves the encrypted bytes between them and the socket, so that every
// wait goes through the socket layer with its time limit and its error
// numbers, as plain connections do.
#include "platform/tls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include "platform/tls_transport.h"

namespace platform {

using tls_transport::Deadline;

namespace {

constexpr size_t kCipherChunk = 65536;

std::string LastOpenSslError() {
    unsigned long code = ERR_peek_last_error();
    if (code == 0) return {};
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

bool IsAddressLiteral(const std::string& host) {
    unsigned char bytes[16];
    return inet_pton(AF_INET, host.c_str(), bytes) == 1 || inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

}  // namespace

struct TlsConnection::Session {
    SSL_CTX* Context = nullptr;
    SSL* Ssl = nullptr;
    BIO* Incoming = nullptr;  // encrypted bytes from the peer, owned by Ssl
    BIO* Outgoing = nullptr;  // encrypted bytes for the peer, owned by Ssl
    Socket* Transport = nullptr;
    bool PeerClosed = false;

    ~Session() {
        if (Ssl) SSL_free(Ssl);
        if (Context) SSL_CTX_free(Context);
    }

    // Sends what the session has written. False with `error` on failure.
    bool Flush(TlsError& error) {
        char chunk[kCipherChunk];
        for (;;) {
            int n = BIO_read(Outgoing, chunk, sizeof chunk);
            if (n <= 0) return true;
            if (!tls_transport::SendAll(*Transport, chunk, static_cast<size_t>(n), error)) return false;
        }
    }

    // Moves encrypted bytes from the socket into the session within the
    // deadline. 1: bytes came, 0: the peer closed, −1: failure, kTimedOut.
    int64_t Fill(const Deadline& deadline, TlsError& error) {
        char chunk[kCipherChunk];
        int64_t n = tls_transport::ReceiveCipher(*Transport, chunk, sizeof chunk, deadline, error);
        if (n == kTimedOut || n < 0) return n;
        if (n == 0) {
            PeerClosed = true;
            return 0;
        }
        BIO_write(Incoming, chunk, static_cast<int>(n));
        return 1;
    }

    // Sorts a failed handshake into the failures callers tell apart.
    void ClassifyHandshakeFailure(TlsError& error) {
        long verify = SSL_get_verify_result(Ssl);
        if (verify != X509_V_OK) {
            error.Detail = X509_verify_cert_error_string(verify);
            switch (verify) {
                case X509_V_ERR_HOSTNAME_MISMATCH:
                case X509_V_ERR_IP_ADDRESS_MISMATCH:
                    error.Failure = TlsFailure::NameMismatch;
                    return;
                case X509_V_ERR_CERT_HAS_EXPIRED:
                case X509_V_ERR_CERT_NOT_YET_VALID:
                    error.Failure = TlsFailure::Expired;
                    return;
                default:
                    error.Failure = TlsFailure::Untrusted;
                    return;
            }
        }
        error.Detail = LastOpenSslError();
        switch (ERR_GET_REASON(ERR_peek_last_error())) {
            case SSL_R_UNSUPPORTED_PROTOCOL:
            case SSL_R_NO_PROTOCOLS_AVAILABLE:
            case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
            case SSL_R_VERSION_TOO_LOW:
                error.Failure = TlsFailure::ProtocolVersion;
                return;
            default:
                error.Failure = TlsFailure::Handshake;
                return;
        }
    }
};

TlsConnection::TlsConnection() = default;
TlsConnection::~TlsConnection() = default;

bool TlsConnection::Handshake(Socket& socket, const std::string& host, int timeoutMs, TlsError& error) {
    error = TlsError{};
    ERR_clear_error();
    session_ = std::make_unique<Session>();
    Session& s = *session_;
    s.Transport = &socket;

    s.Context = SSL_CTX_new(TLS_client_method());
    if (!s.Context || !SSL_CTX_set_min_proto_version(s.Context, TLS1_2_VERSION) ||
        // The system's trust store; SSL_CERT_FILE and SSL_CERT_DIR replace it.
        !SSL_CTX_set_default_verify_paths(s.Context)) {
        error.Failure = TlsFailure::Handshake;
        error.Detail = LastOpenSslError();
        return false;
    }
    SSL_CTX_set_verify(s.Context, SSL_VERIFY_PEER, nullptr);
    // A peer that drops the connection is a close like any other; the HTTP
    // framing finds a body cut short.
    SSL_CTX_set_options(s.Context, SSL_OP_IGNORE_UNEXPECTED_EOF);

    s.Ssl = SSL_new(s.Context);
    s.Incoming = BIO_new(BIO_s_mem());
    s.Outgoing = BIO_new(BIO_s_mem());
    if (!s.Ssl || !s.Incoming || !s.Outgoing) {
        if (s.Incoming) BIO_free(s.Incoming);
        if (s.Outgoing) BIO_free(s.Outgoing);
        s.Incoming = s.Outgoing = nullptr;
        error.Failure = TlsFailure::Handshake;
        error.Detail = LastOpenSslError();
        return false;
    }
    SSL_set_bio(s.Ssl, s.Incoming, s.Outgoing);
    bool nameSet;
    if (IsAddressLiteral(host)) {
        // No server name indication for addresses; the certificate must
        // carry the address.
        nameSet = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(s.Ssl), host.c_str()) == 1;
    } else {
        // A wildcard stands for a whole label only ("*.example.test", not
        // "f*.example.test"), as on Windows.
        SSL_set_hostflags(s.Ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        nameSet = SSL_set_tlsext_host_name(s.Ssl, host.c_str()) == 1 && SSL_set1_host(s.Ssl, host.c_str()) == 1;
    }
    if (!nameSet) {
        error.Failure = TlsFailure::Handshake;
        error.Detail = LastOpenSslError();
        return false;
    }
    SSL_set_connect_state(s.Ssl);

    const Deadline deadline(timeoutMs > 0 ? timeoutMs : -1);
    for (;;) {
        int result = SSL_do_handshake(s.Ssl);
        // Whatever the outcome, the peer gets what the session wrote (an
        // alert on failure tells the server why).
        TlsError flushError;
        bool flushed = s.Flush(flushError);
        if (result == 1) {
            if (!flushed) error = flushError;
            return flushed;
        }
        int reason = SSL_get_error(s.Ssl, result);
        if (reason == SSL_ERROR_WANT_READ) {
            if (!flushed) {
                error = flushError;
                return false;
            }
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
            continue;
        }
        s.ClassifyHandshakeFailure(error);
        return false;
    }
}

int64_t TlsConnection::Receive(void* buffer, size_t count, int timeoutMs, TlsError& error) {
    error = TlsError{};
    if (!session_ || !session_->Ssl) {
        tls_transport::NotOpen(error);
        return -1;
    }
    Session& s = *session_;
    const Deadline deadline(timeoutMs);
    for (;;) {
        ERR_clear_error();
        size_t got = 0;
        int result = SSL_read_ex(s.Ssl, buffer, count, &got);
        // Reading may answer the peer (key updates, session tickets).
        if (!s.Flush(error)) return -1;
        if (result == 1) return static_cast<int64_t>(got);
        switch (SSL_get_error(s.Ssl, result)) {
            case SSL_ERROR_ZERO_RETURN:
                return 0;
            case SSL_ERROR_WANT_READ: {
                if (s.PeerClosed) return 0;
                int64_t filled = s.Fill(deadline, error);
                if (filled == kTimedOut || filled < 0) return filled;
                continue;  // bytes or the end of input: the session decides
            }
            case SSL_ERROR_SYSCALL:
                if (ERR_peek_error() == 0) return 0;  // the peer dropped the connection
                [[fallthrough]];
            default:
                error.Failure = TlsFailure::Protocol;
                error.Detail = LastOpenSslError();
                return -1;
        }
    }
}

bool TlsConnection::Send(const void* buffer, size_t count, TlsError& error) {
    error = TlsError{};
    if (!session_ || !session_->Ssl) {
        tls_transport::NotOpen(error);
        return false;
    }
    Session& s = *session_;
    const char* data = static_cast<const char*>(buffer);
    while (count > 0) {
        ERR_clear_error();
        size_t written = 0;
        int result = SSL_write_ex(s.Ssl, data, count, &written);
        if (!s.Flush(error)) return false;
        if (result == 1) {
            data += written;
            count -= written;
            continue;
        }
        if (SSL_get_error(s.Ssl, result) == SSL_ERROR_WANT_READ) {
            int64_t filled = s.Fill(Deadline(-1), error);
            if (filled < 0) return false;
            if (filled == 0) {
                error.Failure = TlsFailure::Transport;
                error.SocketError = kSocketErrorConnReset;
                return false;
            }
            continue;
        }
        error.Failure = TlsFailure::Protocol;
        error.Detail = LastOpenSslError();
        return false;
    }
    return true;
}

void TlsConnection::Shutdown() {
    if (!session_ || !session_->Ssl) return;
    if (SSL_is_init_finished(session_->Ssl) && !session_->PeerClosed) {
        SSL_shutdown(session_->Ssl);
        TlsError ignored;
        session_->Flush(ignored);
    }
    session_.reset();
}

}  // namespace platform
