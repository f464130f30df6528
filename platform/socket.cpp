// Name resolution, the same on both systems; the system parts are
// StartSockets and ResolverError in posix/ and win32/.
#include "platform/socket.h"

#include <cctype>
#include <cstring>

#ifdef _WIN32
#include "platform/win32/win32.h"
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace platform {
namespace {

bool EqualsIgnoreCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

int ResolveHost(const std::string& host, SocketFamily family, SocketAddress& address) {
    StartSockets();
    address = SocketAddress{};
    address.Family = family;
    const int af = family == SocketFamily::IPv6 ? AF_INET6 : AF_INET;
    if (EqualsIgnoreCase(host, "LOCALHOST")) {
        inet_pton(af, family == SocketFamily::IPv6 ? "::1" : "127.0.0.1", address.Bytes);
        return 0;
    }
    if (host.find('\0') != std::string::npos) return kSocketErrorHostNotFound;
    if (inet_pton(af, host.c_str(), address.Bytes) == 1) return 0;
    addrinfo hints{};
    hints.ai_family = af;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    int rc = getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0 || !result) return ResolverError(rc);
    if (af == AF_INET)
        std::memcpy(address.Bytes, &reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr, 4);
    else
        std::memcpy(address.Bytes, &reinterpret_cast<sockaddr_in6*>(result->ai_addr)->sin6_addr, 16);
    freeaddrinfo(result);
    return 0;
}

}  // namespace platform
