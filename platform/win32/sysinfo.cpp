// System information from the Win32 calls.
#include "platform/sysinfo.h"

#include <cstring>
#include <io.h>

#include "platform/win32/win32.h"

#include <rpc.h>

namespace platform {

std::optional<TOSVersionRecord> QueryOSVersion() {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return std::nullopt;
#pragma GCC diagnostic pop
    TOSVersionRecord record;
    record.MajorVersion = info.dwMajorVersion;
    record.MinorVersion = info.dwMinorVersion;
    record.SuiteMask = info.wSuiteMask;
    record.ProductType = info.wProductType;
    return record;
}

uint16_t ProcessArchitecture() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.wProcessorArchitecture;
}

uint16_t NativeArchitecture() {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture;
}

bool IsWow64Process() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool IsServerR2() { return GetSystemMetrics(SM_SERVERR2) != 0; }

std::string LocalHostName() {
    win32::EnsureWinsock();
    char buffer[64] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return {};
    return buffer;
}

std::string ResolveFirstIPv4(const std::string& hostName) {
    if (hostName.empty()) return {};
    win32::EnsureWinsock();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return {};
    std::string result;
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET) continue;
        auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        const auto* bytes = reinterpret_cast<const uint8_t*>(&address->sin_addr.s_addr);
        result = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
                 std::to_string(bytes[3]);
        break;
    }
    freeaddrinfo(found);
    return result;
}

std::string HostNameOfIPv4(const std::string& dottedAddress) {
    win32::EnsureWinsock();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    // inet_addr takes the same forms as inet_aton; the broadcast address is
    // also its failure value, so that one is checked by its text.
    address.sin_addr.s_addr = inet_addr(dottedAddress.c_str());
    if (address.sin_addr.s_addr == INADDR_NONE && dottedAddress != "255.255.255.255") return {};
    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host, sizeof host, nullptr, 0,
                    NI_NAMEREQD) != 0)
        return {};
    return host;
}

std::optional<std::array<uint8_t, 6>> FirstHardwareAddress() {
    UUID uuid;
    if (UuidCreateSequential(&uuid) != RPC_S_OK) return std::nullopt;
    std::array<uint8_t, 6> bytes;
    std::memcpy(bytes.data(), uuid.Data4 + 2, 6);
    bool zero = true;
    for (uint8_t b : bytes) zero = zero && b == 0;
    if (zero) return std::nullopt;
    return bytes;
}

bool IsTerminal(int standardStream) {
    return standardStream >= 0 && standardStream <= 2 && _isatty(standardStream) != 0;
}

}  // namespace platform
