// TLS client connections over a connected socket: TLS 1.2 or newer, the host
// name sent for server name indication, the server's certificate chain
// verified against the system's trust store and its name checked against the
// host. Verification has no switch: a connection either is verified or fails.
//
// Linux: the system's OpenSSL, whose trust store honours SSL_CERT_FILE and
// SSL_CERT_DIR. Windows: Schannel through SSPI.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/socket.h"

namespace platform {

// Why a TLS connection could not be made or broke.
enum class TlsFailure {
    None,
    Transport,        // the socket failed; TlsError::SocketError holds its number
    Closed,           // the peer closed the connection during the handshake
    Untrusted,        // the chain does not lead to a trusted authority
    Expired,          // a certificate of the chain is expired or not yet valid
    NameMismatch,     // the certificate does not name the host
    ProtocolVersion,  // the server offers no version of TLS 1.2 or newer
    Handshake,        // any other failure of the handshake
    Protocol,         // a broken record or alert after the handshake
};

struct TlsError {
    TlsFailure Failure = TlsFailure::None;
    int SocketError = 0;  // with TlsFailure::Transport
    std::string Detail;   // the TLS library's own words, for the message
};

// One TLS session on a socket it does not own. Every wait has a limit in ms:
// below 0 waits without limit, 0 does not wait.
class TlsConnection {
public:
    // Result of Receive when nothing arrived within the limit.
    static constexpr int64_t kTimedOut = -2;

    TlsConnection();
    ~TlsConnection();
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    // Runs the handshake with `host` (a name or an address literal) on the
    // connected socket. False with `error` set when it fails.
    bool Handshake(Socket& socket, const std::string& host, int timeoutMs, TlsError& error);
    // Decrypted bytes (> 0), 0 when the peer has closed, −1 on error (with
    // `error` set) or kTimedOut.
    int64_t Receive(void* buffer, size_t count, int timeoutMs, TlsError& error);
    // Encrypts and sends all bytes; false with `error` set on failure.
    bool Send(const void* buffer, size_t count, TlsError& error);
    // Tells the peer the session ends (best effort, never waits for it).
    void Shutdown();

    struct Session;

private:
    std::unique_ptr<Session> session_;
};

}  // namespace platform
