// What both TLS implementations (posix/tls.cpp, win32/tls.cpp) share: moving
// encrypted bytes between the session and the socket, with one time limit
// across the several waits of a handshake or a record. Not for other users.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "platform/socket.h"
#include "platform/tls.h"

namespace platform::tls_transport {

// A limit in ms (below 0: none) and what is left of it.
class Deadline {
public:
    explicit Deadline(int timeoutMs)
        : limited_(timeoutMs >= 0),
          end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0)) {}
    // Milliseconds left (0 when passed), or −1 without a limit.
    int Remaining() const {
        if (!limited_) return -1;
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    }

private:
    bool limited_;
    std::chrono::steady_clock::time_point end_;
};

// The failure of a call on a session that is not open (socket error 10038,
// as for a closed socket).
inline void NotOpen(TlsError& error) {
    error.Failure = TlsFailure::Transport;
    error.SocketError = 10038;
}

// Sends all bytes; false with `error` set (Transport) on failure.
inline bool SendAll(Socket& socket, const char* data, size_t count, TlsError& error) {
    while (count > 0) {
        int socketError = 0;
        int64_t sent = socket.Send(data, count, socketError);
        if (sent <= 0) {
            error.Failure = TlsFailure::Transport;
            error.SocketError = sent < 0 ? socketError : kSocketErrorConnReset;
            return false;
        }
        data += sent;
        count -= static_cast<size_t>(sent);
    }
    return true;
}

// Receives encrypted bytes into `chunk` within the deadline: bytes (> 0), 0
// when the peer has closed, −1 with `error` set, TlsConnection::kTimedOut.
inline int64_t ReceiveCipher(Socket& socket, char* chunk, size_t size, const Deadline& deadline, TlsError& error) {
    int socketError = 0;
    int64_t n = ReceiveWithin(socket, chunk, size, deadline.Remaining(), socketError);
    if (n == Socket::kNothingWaiting) return TlsConnection::kTimedOut;
    if (n < 0) {
        error.Failure = TlsFailure::Transport;
        error.SocketError = socketError;
    }
    return n;
}

}  // namespace platform::tls_transport
