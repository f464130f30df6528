// TCP sockets over Winsock 2. Socket error numbers come straight from
// WSAGetLastError (the numbering this layer uses on every system); waits are
// select() calls with the time limit.
#include "platform/socket.h"

#include <cerrno>
#include <cstring>

#include "platform/win32/win32.h"

namespace platform {

int SocketErrorFromErrno(int e) {
    // Winsock numbers are already socket error numbers; the C library's
    // errno values that sockets can meet are mapped as on Linux.
    switch (e) {
        case EINTR: return 10004;
        case EBADF: return 10009;
        case EACCES: return 10013;
        case EFAULT: return 10014;
        case EINVAL: return 10022;
        case EMFILE: return 10024;
        case ENOMEM: return 10055;
        case EPIPE: return 10054;
        default: return e;
    }
}

std::string SocketAddress::ToString() const {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(Family == SocketFamily::IPv6 ? AF_INET6 : AF_INET, const_cast<unsigned char*>(Bytes), text,
              sizeof text);
    return text;
}

namespace {

timeval ToTimeval(long milliseconds) {
    timeval tv;
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = (milliseconds % 1000) * 1000;
    return tv;
}

}  // namespace

void StartSockets() { win32::EnsureWinsock(); }

int ResolverError(int resolverError) { return resolverError != 0 ? resolverError : kSocketErrorHostNotFound; }

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
    win32::EnsureWinsock();
    Close();
    SOCKET s = win32::OpenUninheritedSocket(family == SocketFamily::IPv6 ? AF_INET6 : AF_INET);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    handle_ = win32::SocketToInt(s);
    return 0;
}

int Socket::Connect(const SocketAddress& address, uint16_t port, int timeoutMs) {
    sockaddr_storage storage{};
    int length;
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
    const SOCKET s = win32::IntToSocket(handle_);
    const auto* target = reinterpret_cast<const sockaddr*>(&storage);
    if (timeoutMs <= 0) return ::connect(s, target, length) == 0 ? 0 : WSAGetLastError();

    // A time limit: connect without blocking and select() for the outcome.
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    int result = 0;
    if (::connect(s, target, length) != 0) {
        int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            result = error;
        } else {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval limit = ToTimeval(timeoutMs);
            int n = ::select(0, nullptr, &writable, &failed, &limit);
            if (n < 0) {
                result = WSAGetLastError();
            } else if (n == 0) {
                result = kConnectTimedOut;
            } else {
                int soError = 0;
                int soLength = sizeof soError;
                getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &soLength);
                result = soError != 0 ? soError : FD_ISSET(s, &failed) ? WSAECONNREFUSED : 0;
            }
        }
    }
    nonBlocking = 0;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    return result;
}

Socket::WaitResult Socket::WaitReadable(int timeoutMs, int& error) {
    error = 0;
    if (handle_ == -1) {
        error = WSAENOTSOCK;
        return wrError;
    }
    const SOCKET s = win32::IntToSocket(handle_);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval limit;
    if (timeoutMs >= 0) limit = ToTimeval(timeoutMs);
    int n = ::select(0, &readable, nullptr, nullptr, timeoutMs >= 0 ? &limit : nullptr);
    if (n < 0) {
        error = WSAGetLastError();
        return wrError;
    }
    // Input, the end of input and errors are all found by the receive.
    return n == 0 ? wrTimeout : wrReadable;
}

int64_t Socket::Receive(void* buffer, size_t count, int& error) {
    error = 0;
    int n = ::recv(win32::IntToSocket(handle_), static_cast<char*>(buffer),
                   count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(count), 0);
    if (n >= 0) return n;
    error = WSAGetLastError();
    return -1;
}

int64_t Socket::ReceiveIfWaiting(void* buffer, size_t count, int& error) {
    error = 0;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(win32::IntToSocket(handle_), &readable);
    timeval now{0, 0};
    int n = ::select(0, &readable, nullptr, nullptr, &now);
    if (n < 0) {
        error = WSAGetLastError();
        return -1;
    }
    if (n == 0) return kNothingWaiting;
    return Receive(buffer, count, error);
}

int64_t Socket::Send(const void* buffer, size_t count, int& error) {
    error = 0;
    int n = ::send(win32::IntToSocket(handle_), static_cast<const char*>(buffer),
                   count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(count), 0);
    if (n >= 0) return n;
    error = WSAGetLastError();
    return -1;
}

void Socket::ShutdownSend() {
    if (handle_ != -1) ::shutdown(win32::IntToSocket(handle_), SD_SEND);
}

void Socket::Close() {
    if (handle_ != -1) {
        ::closesocket(win32::IntToSocket(handle_));
        handle_ = -1;
    }
}

int Socket::Pair(Socket& first, Socket& second) {
    // Windows has no socketpair(): a listener on a free loopback port takes
    // the one connection made to it.
    win32::EnsureWinsock();
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) return WSAGetLastError();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    int error = 0;
    Socket client;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ::listen(listener, 1) != 0) {
        error = WSAGetLastError();
    } else if ((error = client.Create(SocketFamily::IPv4)) == 0) {
        if (::connect(win32::IntToSocket(client.handle_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            error = WSAGetLastError();
        } else {
            SOCKET server = ::accept(listener, nullptr, nullptr);
            if (server == INVALID_SOCKET) {
                error = WSAGetLastError();
            } else {
                first = std::move(client);
                second = Socket(win32::SocketToInt(server));
            }
        }
    }
    ::closesocket(listener);
    return error;
}

}  // namespace platform
