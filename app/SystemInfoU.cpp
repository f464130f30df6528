#include "app/SystemInfoU.h"

#include <cstdio>

bool TMySystemInfo::GetOSVersionInfo(platform::TOSVersionRecord& Info) {
    Info = {};
    auto record = platform::QueryOSVersion();
    if (!record) return false;
    Info = *record;
    return true;
}

bool TMySystemInfo::IsWindowXP() {
    try {
        platform::TOSVersionRecord info;
        return GetOSVersionInfo(info) && info.MajorVersion == 5;
    } catch (...) {
        return false;
    }
}

std::string TMySystemInfo::VersionName(const platform::TOSVersionRecord& Info,
                                       uint16_t Architecture, bool ServerR2) {
    const bool workstation = Info.ProductType == platform::VER_NT_WORKSTATION;
    switch (Info.MajorVersion) {
    case 4:
        switch (Info.MinorVersion) {
        case 0: return "Windows 95";
        case 1: return "Windows 98";
        case 9: return "Windows Me";
        }
        break;
    case 5:
        switch (Info.MinorVersion) {
        case 0: return workstation ? "Windows 2000" : "Windows Server 2000";
        case 1: return "Windows Xp";
        case 2: {
            if (workstation && Architecture == platform::PROCESSOR_ARCHITECTURE_AMD64)
                return "Windows Xp 64";
            if (Info.SuiteMask == 0x8000) return "Windows Home Server";
            return ServerR2 ? "Windows Server 2003 R2" : "Windows Server 2003";
        }
        }
        break;
    case 6:
        switch (Info.MinorVersion) {
        case 0: return workstation ? "Windows Vista" : "Windows Server 2008";
        case 1: return workstation ? "Windows 7" : "Windows Server 2008 R2";
        case 2: return workstation ? "Windows 8" : "Windows Server 2012";
        case 3: return workstation ? "Windows 8.1" : "Windows Server 2012 R2";
        }
        break;
    case 10:
        return "Windows 10";
    }
    return "Windows None";
}

std::string TMySystemInfo::GetSysVersion() {
    std::string result = "Windows None";
    try {
        uint16_t architecture = platform::ProcessArchitecture();
        platform::TOSVersionRecord info;
        if (GetOSVersionInfo(info))
            result = VersionName(info, architecture, platform::IsServerR2());
    } catch (...) {
    }
    return result;
}

// True on a 64-bit system: for a 32-bit program running on a 64-bit kernel,
// and for a 64-bit program, which can only run on one.
bool TMySystemInfo::Is64BitWindows() {
    if (sizeof(void*) == 8) return true;
    if (!platform::IsWow64Process()) return false;
    uint16_t native = platform::NativeArchitecture();
    return native == platform::PROCESSOR_ARCHITECTURE_AMD64 ||
           native == platform::PROCESSOR_ARCHITECTURE_IA64 ||
           native == platform::PROCESSOR_ARCHITECTURE_ARM64;
}

int32_t TMySystemInfo::SysBits() { return Is64BitWindows() ? 64 : 32; }

std::string TMySystemInfo::GetLocalIP() {
    return platform::ResolveFirstIPv4(platform::LocalHostName());
}

std::string TMySystemInfo::GetNameByIPAddr(const std::string& IPAddr) {
    if (IPAddr.empty()) return {};
    return platform::HostNameOfIPv4(IPAddr);
}

std::string TMySystemInfo::GetMacAddress() {
    auto address = platform::FirstHardwareAddress();
    if (!address) return {};
    std::string result;
    for (size_t i = 0; i < address->size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", (*address)[i]);
        if (i > 0) result += '-';
        result += pair;
    }
    return result;
}
