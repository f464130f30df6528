// The operating-system side of system information: the Windows version record
// (GetVersionExW on Windows; on Linux only when $ZELVANO_WINDOWS_VERSION
// supplies one), processor architectures (GetSystemInfo,
// GetNativeSystemInfo, IsWow64Process), local addresses and the network
// hardware address (UuidCreateSequential on Windows).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The fields of the extended version record that callers use.
struct TOSVersionRecord {
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint16_t SuiteMask = 0;
    uint8_t ProductType = 0;  // 1 = workstation
};

inline constexpr uint8_t VER_NT_WORKSTATION = 1;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_INTEL = 0;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_ARM = 5;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_IA64 = 6;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_AMD64 = 9;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_ARM64 = 12;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;

// The version query: GetVersionExW on Windows. Linux has no Windows, so it
// fails there unless $ZELVANO_WINDOWS_VERSION holds
// "major.minor[.producttype[.suitemask]]" (decimal numbers; the suite mask
// may also be written 0x...). A malformed value fails the query as well.
// Product type defaults to 1 (workstation), the suite mask to 0.
std::optional<TOSVersionRecord> QueryOSVersion();
// Parses the text form above; empty on any malformation.
std::optional<TOSVersionRecord> ParseOSVersion(const std::string& text);

// The architecture the calling program is built for, as the system reports it
// to that program.
uint16_t ProcessArchitecture();
// The architecture of the running kernel.
uint16_t NativeArchitecture();
// True when a 32-bit program runs on a 64-bit kernel.
bool IsWow64Process();
// Whether the system reports itself as the R2 release of its server version
// (GetSystemMetrics(SM_SERVERR2)); never on Linux.
bool IsServerR2();

// The local host name (at most 63 bytes), empty when it cannot be read.
std::string LocalHostName();
// The first IPv4 address `hostName` resolves to, in dotted decimal; empty
// when it does not resolve.
std::string ResolveFirstIPv4(const std::string& hostName);
// The host name registered for a dotted IPv4 address (the forms inet_aton
// accepts); empty when the text is no address or nothing is registered.
std::string HostNameOfIPv4(const std::string& dottedAddress);
// The 6-byte hardware address of the first non-loopback network interface
// (in interface index order) whose address is not all zeros; empty when there
// is none. Windows: the node of a sequential UUID (UuidCreateSequential),
// which is that address; empty when the UUID is local only.
std::optional<std::array<uint8_t, 6>> FirstHardwareAddress();

// Whether the standard stream with this number (0, 1, 2) is a terminal.
bool IsTerminal(int standardStream);

}  // namespace platform
