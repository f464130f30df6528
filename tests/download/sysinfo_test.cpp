// System information: the version table, the version record taken from the
// environment, bitness, addresses and the hardware address.
#include <gtest/gtest.h>


#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "app/SystemInfoU.h"
#include "platform/socket.h"
#include "platform/sysinfo.h"
#include "tests/support/test_system.h"

namespace {

using platform::TOSVersionRecord;

constexpr uint16_t kAmd64 = platform::PROCESSOR_ARCHITECTURE_AMD64;
constexpr uint16_t kIntel = platform::PROCESSOR_ARCHITECTURE_INTEL;

struct VersionRow {
    uint32_t major, minor;
    uint8_t productType;
    uint16_t suiteMask;
    uint16_t architecture;
    bool serverR2;
    const char* expected;
};

TEST(SysInfoVersionTable, EveryRow) {
    const VersionRow rows[] = {
        {4, 0, 1, 0, kIntel, false, "Windows 95"},
        {4, 1, 1, 0, kIntel, false, "Windows 98"},
        {4, 9, 1, 0, kIntel, false, "Windows Me"},
        {4, 2, 1, 0, kIntel, false, "Windows None"},
        {5, 0, 1, 0, kIntel, false, "Windows 2000"},
        {5, 0, 3, 0, kIntel, false, "Windows Server 2000"},
        {5, 1, 1, 0, kIntel, false, "Windows Xp"},
        {5, 1, 3, 0, kAmd64, true, "Windows Xp"},
        {5, 2, 1, 0, kAmd64, false, "Windows Xp 64"},
        {5, 2, 1, 0x8000, kAmd64, true, "Windows Xp 64"},
        {5, 2, 1, 0, kIntel, false, "Windows Server 2003"},
        {5, 2, 3, 0, kAmd64, false, "Windows Server 2003"},
        {5, 2, 3, 0, kIntel, true, "Windows Server 2003 R2"},
        {5, 2, 3, 0x8000, kIntel, false, "Windows Home Server"},
        {5, 2, 3, 0x8000, kIntel, true, "Windows Home Server"},
        {5, 2, 3, 0x8010, kIntel, false, "Windows Server 2003"},
        {5, 2, 3, 0x8010, kIntel, true, "Windows Server 2003 R2"},
        {5, 3, 1, 0, kIntel, false, "Windows None"},
        {6, 0, 1, 0, kAmd64, false, "Windows Vista"},
        {6, 0, 3, 0, kAmd64, false, "Windows Server 2008"},
        {6, 1, 1, 0, kAmd64, false, "Windows 7"},
        {6, 1, 2, 0, kAmd64, false, "Windows Server 2008 R2"},
        {6, 2, 1, 0, kAmd64, false, "Windows 8"},
        {6, 2, 3, 0, kAmd64, false, "Windows Server 2012"},
        {6, 3, 1, 0, kAmd64, false, "Windows 8.1"},
        {6, 3, 3, 0, kAmd64, false, "Windows Server 2012 R2"},
        {6, 4, 1, 0, kAmd64, false, "Windows None"},
        {10, 0, 1, 0, kAmd64, false, "Windows 10"},
        {10, 7, 3, 0, kIntel, false, "Windows 10"},
        {3, 51, 1, 0, kIntel, false, "Windows None"},
        {7, 0, 1, 0, kIntel, false, "Windows None"},
        {11, 0, 1, 0, kAmd64, false, "Windows None"},
    };
    for (const auto& row : rows) {
        TOSVersionRecord info;
        info.MajorVersion = row.major;
        info.MinorVersion = row.minor;
        info.ProductType = row.productType;
        info.SuiteMask = row.suiteMask;
        EXPECT_EQ(TMySystemInfo::VersionName(info, row.architecture, row.serverR2), row.expected)
            << row.major << "." << row.minor << " type " << int(row.productType) << " suite "
            << row.suiteMask << " arch " << row.architecture << " r2 " << row.serverR2;
    }
}

TEST(SysInfoVersionRecord, ParsesTheEnvironmentForm) {
    struct Case {
        const char* text;
        std::optional<TOSVersionRecord> expected;
    };
    const Case cases[] = {
        {"5.1", TOSVersionRecord{5, 1, 0, 1}},
        {"6.1.3", TOSVersionRecord{6, 1, 0, 3}},
        {"5.2.3.32768", TOSVersionRecord{5, 2, 0x8000, 3}},
        {"5.2.3.0x8000", TOSVersionRecord{5, 2, 0x8000, 3}},
        {"10.0.1.0", TOSVersionRecord{10, 0, 0, 1}},
        {"", std::nullopt},
        {"5", std::nullopt},
        {"5.", std::nullopt},
        {"5.1.", std::nullopt},
        {"a.b", std::nullopt},
        {"5.1 ", std::nullopt},
        {"-5.1", std::nullopt},
        {"5.1.256", std::nullopt},
        {"5.1.1.65536", std::nullopt},
        {"5.1.1.0.0", std::nullopt},
    };
    for (const auto& c : cases) {
        auto parsed = platform::ParseOSVersion(c.text);
        ASSERT_EQ(parsed.has_value(), c.expected.has_value()) << c.text;
        if (!parsed) continue;
        EXPECT_EQ(parsed->MajorVersion, c.expected->MajorVersion) << c.text;
        EXPECT_EQ(parsed->MinorVersion, c.expected->MinorVersion) << c.text;
        EXPECT_EQ(parsed->ProductType, c.expected->ProductType) << c.text;
        EXPECT_EQ(parsed->SuiteMask, c.expected->SuiteMask) << c.text;
    }
}

#ifndef _WIN32
// Sets $ZELVANO_WINDOWS_VERSION for one scope (unset for nullptr); the
// variable stands in for the version query on Linux only.
class VersionEnvironment {
public:
    explicit VersionEnvironment(const char* value) {
        if (const char* old = std::getenv(kName)) saved_ = old;
        if (value)
            zelvano_test::SetEnv(kName, value);
        else
            zelvano_test::UnsetEnv(kName);
    }
    ~VersionEnvironment() {
        if (saved_)
            zelvano_test::SetEnv(kName, *saved_);
        else
            zelvano_test::UnsetEnv(kName);
    }

private:
    static constexpr const char* kName = "ZELVANO_WINDOWS_VERSION";
    std::optional<std::string> saved_;
};

TEST(SysInfoVersionQuery, XpAndTheNameFollowTheVersionRecord) {
    struct Case {
        const char* env;
        bool xp;
        const char* name;
    };
    const bool amd64 = platform::ProcessArchitecture() == kAmd64;
    const Case cases[] = {
        {nullptr, false, "Windows None"},
        {"garbage", false, "Windows None"},
        {"5.0", true, "Windows 2000"},
        {"5.0.3", true, "Windows Server 2000"},
        {"5.1", true, "Windows Xp"},
        {"5.2.1", true, amd64 ? "Windows Xp 64" : "Windows Server 2003"},
        {"5.2.3", true, "Windows Server 2003"},
        {"5.2.3.0x8000", true, "Windows Home Server"},
        {"6.1", false, "Windows 7"},
        {"10.0", false, "Windows 10"},
        {"4.0", false, "Windows 95"},
    };
    for (const auto& c : cases) {
        VersionEnvironment env(c.env);
        EXPECT_EQ(TMySystemInfo::IsWindowXP(), c.xp) << (c.env ? c.env : "(unset)");
        EXPECT_EQ(TMySystemInfo::GetSysVersion(), c.name) << (c.env ? c.env : "(unset)");
    }
}

#else
// Windows answers the version query itself (GetVersionExW).
TEST(SysInfoVersionQuery, TheSystemsOwnVersion) {
    auto version = platform::QueryOSVersion();
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(TMySystemInfo::IsWindowXP(), version->MajorVersion == 5);
    EXPECT_NE(TMySystemInfo::GetSysVersion(), "Windows None");
    // A new Wine prefix reports Windows 7.
    if (version->MajorVersion == 6 && version->MinorVersion == 1)
        EXPECT_EQ(TMySystemInfo::GetSysVersion(), "Windows 7");
}
#endif

TEST(SysInfoBits, SixtyFourBitProgramsRunOnSixtyFourBitSystems) {
    // A 64-bit program can only run on a 64-bit system.
    if (sizeof(void*) == 8) {
        EXPECT_EQ(TMySystemInfo::SysBits(), 64);
    }
    EXPECT_TRUE(TMySystemInfo::SysBits() == 32 || TMySystemInfo::SysBits() == 64);
}

TEST(SysInfoAddresses, LocalAddressAndReverseLookup) {
    // The host name is in /etc/hosts on test machines; whatever it resolves
    // to must be one dotted IPv4 address.
    std::string ip = TMySystemInfo::GetLocalIP();
    if (!ip.empty()) {
        platform::SocketAddress parsed;
        EXPECT_EQ(platform::ResolveHost(ip, platform::SocketFamily::IPv4, parsed), 0) << ip;
        EXPECT_EQ(parsed.ToString(), ip);
        EXPECT_EQ(ip, platform::ResolveFirstIPv4(platform::LocalHostName()));
    }
    EXPECT_EQ(platform::ResolveFirstIPv4("localhost"), "127.0.0.1");
    EXPECT_EQ(platform::ResolveFirstIPv4("no-such-host.invalid"), "");
    EXPECT_EQ(platform::ResolveFirstIPv4(""), "");

    EXPECT_EQ(TMySystemInfo::GetNameByIPAddr("127.0.0.1"), "localhost");
    EXPECT_EQ(TMySystemInfo::GetNameByIPAddr(""), "");
    EXPECT_EQ(TMySystemInfo::GetNameByIPAddr("not an address"), "");
}

// The first non-loopback interface (by index) with a non-zero 6-byte address,
// read from /sys independently of the code under test.
std::string HardwareAddressFromSys() {
    std::map<int, std::string> byIndex;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net", ec)) {
        int index = 0, type = 0;
        std::string address;
        std::ifstream(entry.path() / "ifindex") >> index;
        std::ifstream(entry.path() / "type") >> type;
        std::ifstream(entry.path() / "address") >> address;
        if (type == 772 /* loopback */ || address.size() != 17 ||
            address == "00:00:00:00:00:00")
            continue;
        for (char& c : address) c = c == ':' ? '-' : static_cast<char>(std::toupper(c));
        byIndex.emplace(index, address);
    }
    return byIndex.empty() ? "" : byIndex.begin()->second;
}

TEST(SysInfoMacAddress, FirstNonLoopbackInterface) {
    if (!std::filesystem::exists("/sys/class/net")) GTEST_SKIP() << "no /sys/class/net";
    std::string mac = TMySystemInfo::GetMacAddress();
    EXPECT_EQ(mac, HardwareAddressFromSys());
    if (!mac.empty()) {
        EXPECT_EQ(mac.size(), 17u);
    }
}

}  // namespace
