// The real registry: a key written through TRegistry is read back with the
// registry API and with the system's own "reg query".
#include "platform/registry.h"

#include <gtest/gtest.h>

#include "tests/platform/win32/win32_test_util.h"

using namespace win32test;

namespace {

const std::u16string kUninstallKey =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelvano\u5728\u7ebf";

std::u16string QueryString(HKEY root, const std::u16string& key, const std::u16string& name) {
    wchar_t data[512] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegGetValueW(root, W(key), W(name), RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS) return u"<missing>";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    return T(data);
}

}  // namespace

TEST(Registry, UninstallKeyIsWrittenToTheSystemRegistry) {
    platform::TRegistry cleanup;
    cleanup.DeleteKey(kUninstallKey);

    {
        platform::TRegistry reg;
        EXPECT_FALSE(reg.OpenKey(kUninstallKey, false));
        ASSERT_TRUE(reg.OpenKey(kUninstallKey, true));
        reg.WriteString(u"DisplayName", u"Zelvano\u5728\u7ebf\u76f4\u64ad\u4e00\u5bf9\u4e00");
        reg.WriteString(u"DisplayVersion", u"1.0.1");
        reg.WriteString(u"UninstallString", u"C:\\Zelvano\\Uninstall.exe");
        reg.WriteString(u"DisplayVersion", u"1.0.2");  // a rewrite replaces the value
        EXPECT_EQ(reg.ReadString(u"DisplayVersion"), u"1.0.2");
    }

    // Through the registry API, as another program sees it.
    HKEY machine = HKEY_LOCAL_MACHINE;
    EXPECT_EQ(QueryString(machine, kUninstallKey, u"DisplayName"), u"Zelvano\u5728\u7ebf\u76f4\u64ad\u4e00\u5bf9\u4e00");
    EXPECT_EQ(QueryString(machine, kUninstallKey, u"DisplayVersion"), u"1.0.2");
    EXPECT_EQ(QueryString(machine, kUninstallKey, u"UninstallString"), u"C:\\Zelvano\\Uninstall.exe");

    // Through the system's reg tool (its output is in the OEM code page, so
    // the ASCII values are compared).
    std::string listing = RunAndRead(u"reg.exe query \"HKLM\\" + kUninstallKey + u"\"");
    EXPECT_NE(listing.find("DisplayVersion"), std::string::npos) << listing;
    EXPECT_NE(listing.find("REG_SZ"), std::string::npos) << listing;
    EXPECT_NE(listing.find("1.0.2"), std::string::npos) << listing;
    EXPECT_NE(listing.find("C:\\Zelvano\\Uninstall.exe"), std::string::npos) << listing;

    // Reopening reads the stored values back.
    platform::TRegistry again;
    ASSERT_TRUE(again.OpenKey(kUninstallKey, false));
    EXPECT_EQ(again.ReadString(u"UninstallString"), u"C:\\Zelvano\\Uninstall.exe");
    EXPECT_TRUE(again.ValueExists(u"DisplayName"));
    EXPECT_FALSE(again.ValueExists(u"Publisher"));

    EXPECT_TRUE(again.DeleteKey(kUninstallKey));
    EXPECT_FALSE(again.KeyExists(kUninstallKey));
    EXPECT_FALSE(again.HasCurrentKey());
}

TEST(Registry, WritingWithoutAnOpenKeyOrAnUnusableNameFails) {
    platform::TRegistry reg;
    try {
        reg.WriteString(u"DisplayName", u"x");
        FAIL() << "no exception";
    } catch (const platform::ERegistryException& e) {
        EXPECT_EQ(e.Message(), u"Failed to set data for 'DisplayName'");
    }
    EXPECT_FALSE(reg.OpenKey(u"SOFTWARE\\..\\Zelvano", true));
    EXPECT_FALSE(reg.OpenKey(u"", true));
    platform::TRegistry unknownRoot(u"HKEY_NOWHERE");
    EXPECT_FALSE(unknownRoot.OpenKey(u"SOFTWARE\\Zelvano", true));
}
