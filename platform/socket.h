// TCP sockets for the HTTP client: name lookup, connect with or without a time
// limit, waiting for input, receive and send. Failures come back as socket
// error numbers in the Windows socket numbering (10004 ... 10066, 11001 for a
// name that cannot be found), which the HTTP client turns into its messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

inline constexpr int kSocketErrorConnReset = 10054;
inline constexpr int kSocketErrorConnAborted = 10053;
inline constexpr int kSocketErrorShutdown = 10058;
inline constexpr int kSocketErrorTimedOut = 10060;
inline constexpr int kSocketErrorConnRefused = 10061;
inline constexpr int kSocketErrorHostNotFound = 11001;

// The socket error number for a POSIX errno value.
int SocketErrorFromErrno(int errnoValue);

enum class SocketFamily { IPv4, IPv6 };

// An IPv4 or IPv6 address, as the resolver gives it.
struct SocketAddress {
    SocketFamily Family = SocketFamily::IPv4;
    unsigned char Bytes[16] = {};
    // Dotted or colon text of the address.
    std::string ToString() const;
};

// "LOCALHOST" in any case is 127.0.0.1 (::1 for IPv6) without a lookup; an
// address literal is used as it stands; any other name goes to the resolver
// and the first address is taken. Returns 0 or a socket error number
// (11001 when the name cannot be found).
int ResolveHost(const std::string& host, SocketFamily family, SocketAddress& address);

// Each system's part of ResolveHost: starts its sockets (Winsock), and turns
// the resolver's failure (getaddrinfo's result, 0 when it found nothing)
// into a socket error number.
void StartSockets();
int ResolverError(int resolverError);

// One stream socket, closed by the destructor.
class Socket {
public:
    // Result of Connect when the time limit passed first.
    static constexpr int kConnectTimedOut = -1;
    // Result of WaitReadable.
    enum WaitResult { wrReadable, wrTimeout, wrError };

    Socket() = default;
    explicit Socket(int handle) : handle_(handle) {}
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool IsOpen() const { return handle_ >= 0; }
    int Handle() const { return handle_; }

    // Creates a TCP socket of the family; returns 0 or a socket error number.
    int Create(SocketFamily family);
    // Connects; timeoutMs 0 waits as long as the system does. Returns 0, a
    // socket error number or kConnectTimedOut.
    int Connect(const SocketAddress& address, uint16_t port, int timeoutMs);
    // Waits until bytes (or the end of the input) can be received; timeoutMs
    // below 0 waits without limit. On wrError `error` holds the number.
    WaitResult WaitReadable(int timeoutMs, int& error);
    // Bytes received (> 0), 0 when the peer has closed, −1 on error.
    int64_t Receive(void* buffer, size_t count, int& error);
    // As Receive, but returns kNothingWaiting at once when no byte is waiting,
    // so a reader with data already queued skips the wait.
    static constexpr int64_t kNothingWaiting = -2;
    int64_t ReceiveIfWaiting(void* buffer, size_t count, int& error);
    // Bytes sent (>= 0) or −1 on error. Never raises SIGPIPE.
    int64_t Send(const void* buffer, size_t count, int& error);
    void ShutdownSend();
    void Close();

    // Two connected local stream sockets (tests and fuzzing feed the client
    // through one end). Returns 0 or a socket error number.
    static int Pair(Socket& first, Socket& second);

private:
    int handle_ = -1;
};

// Receives what is already waiting, else waits at most timeoutMs (below 0:
// without limit) and receives once. Bytes received (> 0), 0 when the peer has
// closed, −1 on error (number in `error`), Socket::kNothingWaiting when the
// wait timed out.
inline int64_t ReceiveWithin(Socket& socket, void* buffer, size_t count, int timeoutMs, int& error) {
    int64_t n = socket.ReceiveIfWaiting(buffer, count, error);
    if (n != Socket::kNothingWaiting) return n;
    switch (socket.WaitReadable(timeoutMs, error)) {
        case Socket::wrTimeout:
            return Socket::kNothingWaiting;
        case Socket::wrError:
            return -1;
        case Socket::wrReadable:
            break;
    }
    return socket.Receive(buffer, count, error);
}

}  // namespace platform
