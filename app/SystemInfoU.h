// Questions about the machine the program runs on: the Windows version and
// its name, the system's bitness, the local IPv4 address, the host name of an
// address and a network hardware address. Every answer is 8-bit text in the
// ANSI code page (or a number); failures give the neutral answer ("Windows
// None", false, 32, empty text) and are never shown.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sysinfo.h"

class TMySystemInfo {
public:
    TMySystemInfo() = delete;

    static bool IsWindowXP();
    static std::string GetSysVersion();
    static int32_t SysBits();
    static std::string GetLocalIP();
    static std::string GetNameByIPAddr(const std::string& IPAddr);
    static std::string GetMacAddress();

    // The version table behind GetSysVersion, for one version record, the
    // processor architecture reported to the program and the server-R2 metric.
    static std::string VersionName(const platform::TOSVersionRecord& Info, uint16_t Architecture,
                                   bool ServerR2);

private:
    static bool Is64BitWindows();
    static bool GetOSVersionInfo(platform::TOSVersionRecord& Info);
};
