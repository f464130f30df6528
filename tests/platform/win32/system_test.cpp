// System information and code pages come from the real calls.
#include "platform/codepage.h"
#include "platform/sysinfo.h"

#include <gtest/gtest.h>

#include "tests/platform/win32/win32_test_util.h"

using namespace platform;

TEST(SystemInfo, ArchitecturesAndVersionFromTheSystem) {
    SYSTEM_INFO native{};
    GetNativeSystemInfo(&native);
    EXPECT_EQ(NativeArchitecture(), native.wProcessorArchitecture);
    if (sizeof(void*) == 8) {
        EXPECT_EQ(ProcessArchitecture(), PROCESSOR_ARCHITECTURE_AMD64);
        EXPECT_FALSE(IsWow64Process());
    } else {
        // A 32-bit program: on a 64-bit system (a 64-bit Wine prefix) it runs
        // under WoW64, where the system also sets PROCESSOR_ARCHITEW6432 to the
        // native architecture; on a 32-bit system (a win32 prefix) neither.
        EXPECT_EQ(ProcessArchitecture(), PROCESSOR_ARCHITECTURE_INTEL);
        const bool onWow64 = GetEnvironmentVariableW(L"PROCESSOR_ARCHITEW6432", nullptr, 0) > 0;
        EXPECT_EQ(IsWow64Process(), onWow64);
        EXPECT_EQ(NativeArchitecture(), onWow64 ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL);
    }
    auto version = QueryOSVersion();
    ASSERT_TRUE(version.has_value());
    EXPECT_GE(version->MajorVersion, 5u);
    EXPECT_EQ(version->ProductType, VER_NT_WORKSTATION);
    EXPECT_FALSE(IsServerR2());
}

TEST(SystemInfo, NamesAndAddresses) {
    std::string host = LocalHostName();
    EXPECT_FALSE(host.empty());
    EXPECT_EQ(ResolveFirstIPv4("localhost"), "127.0.0.1");
    EXPECT_EQ(ResolveFirstIPv4(""), "");
    EXPECT_EQ(HostNameOfIPv4("not an address"), "");
    auto mac = FirstHardwareAddress();
    if (mac) {
        bool zero = true;
        for (auto b : *mac) zero = zero && b == 0;
        EXPECT_FALSE(zero);
    }
}

TEST(CodePage, SystemCodePagesAreTheSystemsOwn) {
    EXPECT_EQ(AnsiCodePage(), GetACP());
    EXPECT_EQ(OemCodePage(), GetOEMCP());
    // The variables that name them on Linux mean nothing here.
    SetEnvironmentVariableW(L"ZELVANO_ANSI_CODEPAGE", L"936");
    EXPECT_EQ(AnsiCodePage(), GetACP());
    SetEnvironmentVariableW(L"ZELVANO_ANSI_CODEPAGE", nullptr);
    // Conversions go through the system's tables.
    EXPECT_TRUE(CodePageAvailable(936));
    EXPECT_EQ(BytesToText(936, "\xD6\xD0\xCE\xC4"), u"\u4e2d\u6587");
    EXPECT_EQ(TextToBytes(936, u"\u4e2d\u6587"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(TextToBytes(437, u"\u00e9\u4e2d", '#'), "\x82#");
}
