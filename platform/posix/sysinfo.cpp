#include "platform/sysinfo.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netpacket/packet.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace platform {

namespace {

uint16_t ArchitectureOfMachine(std::string_view machine) {
    if (machine == "x86_64" || machine == "amd64") return PROCESSOR_ARCHITECTURE_AMD64;
    if (machine == "aarch64" || machine == "arm64") return PROCESSOR_ARCHITECTURE_ARM64;
    if (machine == "ia64") return PROCESSOR_ARCHITECTURE_IA64;
    if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86")
        return PROCESSOR_ARCHITECTURE_INTEL;
    if (machine.substr(0, 3) == "arm") return PROCESSOR_ARCHITECTURE_ARM;
    return PROCESSOR_ARCHITECTURE_UNKNOWN;
}

}  // namespace

std::optional<TOSVersionRecord> QueryOSVersion() {
    const char* value = std::getenv("ZELVANO_WINDOWS_VERSION");
    if (value == nullptr) return std::nullopt;
    return ParseOSVersion(value);
}

uint16_t ProcessArchitecture() {
#if defined(__x86_64__)
    return PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(__aarch64__)
    return PROCESSOR_ARCHITECTURE_ARM64;
#elif defined(__i386__)
    return PROCESSOR_ARCHITECTURE_INTEL;
#elif defined(__arm__)
    return PROCESSOR_ARCHITECTURE_ARM;
#else
    return PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
}

uint16_t NativeArchitecture() {
    utsname name{};
    if (uname(&name) != 0) return ProcessArchitecture();
    return ArchitectureOfMachine(name.machine);
}

bool IsWow64Process() {
    if (sizeof(void*) != 4) return false;
    uint16_t native = NativeArchitecture();
    return native == PROCESSOR_ARCHITECTURE_AMD64 || native == PROCESSOR_ARCHITECTURE_ARM64 ||
           native == PROCESSOR_ARCHITECTURE_IA64;
}

bool IsServerR2() { return false; }

std::string LocalHostName() {
    char buffer[64] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return {};
    return buffer;
}

std::string ResolveFirstIPv4(const std::string& hostName) {
    if (hostName.empty()) return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return {};
    std::string result;
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET) continue;
        auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        const auto* bytes = reinterpret_cast<const uint8_t*>(&address->sin_addr.s_addr);
        result = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                 std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
        break;
    }
    freeaddrinfo(found);
    return result;
}

std::string HostNameOfIPv4(const std::string& dottedAddress) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (inet_aton(dottedAddress.c_str(), &address.sin_addr) == 0) return {};
    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host, sizeof host,
                    nullptr, 0, NI_NAMEREQD) != 0)
        return {};
    return host;
}

std::optional<std::array<uint8_t, 6>> FirstHardwareAddress() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    std::map<int, std::array<uint8_t, 6>> byIndex;
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
        if (entry->ifa_flags & IFF_LOOPBACK) continue;
        auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        if (link->sll_halen != 6) continue;
        std::array<uint8_t, 6> bytes;
        std::memcpy(bytes.data(), link->sll_addr, 6);
        bool zero = true;
        for (uint8_t b : bytes) zero = zero && b == 0;
        if (!zero) byIndex.emplace(link->sll_ifindex, bytes);
    }
    freeifaddrs(list);
    if (byIndex.empty()) return std::nullopt;
    return byIndex.begin()->second;
}

bool IsTerminal(int standardStream) {
    return standardStream >= 0 && standardStream <= 2 && isatty(standardStream) == 1;
}

}  // namespace platform
