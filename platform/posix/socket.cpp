#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

int SocketErrorFromErrno(int e) {
    switch (e) {
        case EINTR: return 10004;
        case EBADF: return 10009;
        case EACCES: return 10013;
        case EPERM: return 10013;
        case EFAULT: return 10014;
        case EINVAL: return 10022;
        case EMFILE: return 10024;
        case ENFILE: return 10024;
        case EAGAIN: return 10035;
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK: return 10035;
#endif
        case EINPROGRESS: return 10036;
        case EALREADY: return 10037;
        case ENOTSOCK: return 10038;
        case EDESTADDRREQ: return 10039;
        case EMSGSIZE: return 10040;
        case EPROTOTYPE: return 10041;
        case ENOPROTOOPT: return 10042;
        case EPROTONOSUPPORT: return 10043;
        case ESOCKTNOSUPPORT: return 10044;
        case EOPNOTSUPP: return 10045;
        case EPFNOSUPPORT: return 10046;
        case EAFNOSUPPORT: return 10047;
        case EADDRINUSE: return 10048;
        case EADDRNOTAVAIL: return 10049;
        case ENETDOWN: return 10050;
        case ENETUNREACH: return 10051;
        case ENETRESET: return 10052;
        case ECONNABORTED: return 10053;
        case ECONNRESET: return 10054;
        // Writing to a connection the peer has reset.
        case EPIPE: return 10054;
        case ENOBUFS: return 10055;
        case ENOMEM: return 10055;
        case EISCONN: return 10056;
        case ENOTCONN: return 10057;
        case ESHUTDOWN: return 10058;
        case ETOOMANYREFS: return 10059;
        case ETIMEDOUT: return 10060;
        case ECONNREFUSED: return 10061;
        case ELOOP: return 10062;
        case ENAMETOOLONG: return 10063;
        case EHOSTDOWN: return 10064;
        case EHOSTUNREACH: return 10065;
        case ENOTEMPTY: return 10066;
        default: return e;
    }
}

std::string SocketAddress::ToString() const {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(Family == SocketFamily::IPv6 ? AF_INET6 : AF_INET, Bytes, text, sizeof text);
    return text;
}

void StartSockets() {}

int ResolverError(int gaiError) {
    switch (gaiError) {
        case EAI_MEMORY: return 10055;
        case EAI_FAMILY: return 10047;
        case EAI_SYSTEM: return errno ? SocketErrorFromErrno(errno) : kSocketErrorHostNotFound;
        // Unknown names, names without an address of the family, and a
        // resolver that cannot be reached all mean the host cannot be found.
        default: return kSocketErrorHostNotFound;
    }
}

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

int Socket::Create(SocketFamily family) {
    Close();
    handle_ = ::socket(family == SocketFamily::IPv6 ? AF_INET6 : AF_INET,
                       SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (handle_ < 0) return SocketErrorFromErrno(errno);
    return 0;
}

int Socket::Connect(const SocketAddress& address, uint16_t port, int timeoutMs) {
    sockaddr_storage storage{};
    socklen_t length;
    if (address.Family == SocketFamily::IPv6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        std::memcpy(&a->sin6_addr, address.Bytes, 16);
        length = sizeof(sockaddr_in6);
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        std::memcpy(&a->sin_addr, address.Bytes, 4);
        length = sizeof(sockaddr_in);
    }
    const auto* target = reinterpret_cast<const sockaddr*>(&storage);
    if (timeoutMs <= 0) {
        while (::connect(handle_, target, length) != 0) {
            if (errno == EINTR) continue;
            return SocketErrorFromErrno(errno);
        }
        return 0;
    }
    // A time limit: connect without blocking and wait for the outcome.
    const int flags = fcntl(handle_, F_GETFL, 0);
    fcntl(handle_, F_SETFL, flags | O_NONBLOCK);
    int result = 0;
    if (::connect(handle_, target, length) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            result = SocketErrorFromErrno(errno);
        } else {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            for (;;) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now())
                                .count();
                if (left <= 0) {
                    result = kConnectTimedOut;
                    break;
                }
                pollfd p{handle_, POLLOUT, 0};
                int n = ::poll(&p, 1, static_cast<int>(left));
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    result = SocketErrorFromErrno(errno);
                    break;
                }
                if (n == 0) continue;
                int error = 0;
                socklen_t len = sizeof error;
                getsockopt(handle_, SOL_SOCKET, SO_ERROR, &error, &len);
                result = error ? SocketErrorFromErrno(error) : 0;
                break;
            }
        }
    }
    fcntl(handle_, F_SETFL, flags);
    return result;
}

Socket::WaitResult Socket::WaitReadable(int timeoutMs, int& error) {
    error = 0;
    if (handle_ < 0) {
        error = 10038;
        return wrError;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p{handle_, POLLIN, 0};
        int n = ::poll(&p, 1, wait);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = SocketErrorFromErrno(errno);
            return wrError;
        }
        if (n == 0) return wrTimeout;
        if (p.revents & POLLNVAL) {
            error = 10038;
            return wrError;
        }
        // Input, the end of input and errors are all found by the receive.
        return wrReadable;
    }
}

int64_t Socket::Receive(void* buffer, size_t count, int& error) {
    error = 0;
    for (;;) {
        ssize_t n = ::recv(handle_, buffer, count, 0);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        error = SocketErrorFromErrno(errno);
        return -1;
    }
}

int64_t Socket::ReceiveIfWaiting(void* buffer, size_t count, int& error) {
    error = 0;
    for (;;) {
        ssize_t n = ::recv(handle_, buffer, count, MSG_DONTWAIT);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return kNothingWaiting;
        error = SocketErrorFromErrno(errno);
        return -1;
    }
}

int64_t Socket::Send(const void* buffer, size_t count, int& error) {
    error = 0;
    for (;;) {
        ssize_t n = ::send(handle_, buffer, count, MSG_NOSIGNAL);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        error = SocketErrorFromErrno(errno);
        return -1;
    }
}

void Socket::ShutdownSend() {
    if (handle_ >= 0) ::shutdown(handle_, SHUT_WR);
}

void Socket::Close() {
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
}

int Socket::Pair(Socket& first, Socket& second) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return SocketErrorFromErrno(errno);
    first = Socket(fds[0]);
    second = Socket(fds[1]);
    return 0;
}

}  // namespace platform
