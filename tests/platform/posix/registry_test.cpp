#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace platform;
namespace fs = std::filesystem;

namespace {

const std::u16string kUninstallKey =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelvano\u5728\u7ebf";

class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zelvano-registry-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        setenv("ZELVANO_REGISTRY_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ZELVANO_REGISTRY_DIR");
        fs::remove_all(dir_);
    }
    static std::string Slurp(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::path dir_;
};

}  // namespace

TEST_F(RegistryStore, KeyFileLivesBelowTheRootFolderOfTheStore) {
    TRegistry reg;
    EXPECT_EQ(reg.KeyFileName(kUninstallKey),
              dir_.string() + "/HKEY_LOCAL_MACHINE/SOFTWARE/Wow6432Node/Microsoft/Windows/CurrentVersion/"
                              "Uninstall/Zelvano\xe5\x9c\xa8\xe7\xba\xbf.json");
    // Names that would leave the store or name nothing are refused.
    for (const std::u16string bad : {u"", u"\\", u"A\\..\\B", u"A\\.", u"A/B", u"..\\x"}) {
        EXPECT_EQ(reg.KeyFileName(bad), "") << std::string(bad.begin(), bad.end());
        EXPECT_FALSE(reg.OpenKey(bad, true));
    }
    EXPECT_FALSE(fs::exists(dir_.parent_path() / "B.json"));
}

TEST_F(RegistryStore, OpenKeyCreatesOnlyWhenAsked) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(u"Software\\Missing", false));
    EXPECT_FALSE(reg.KeyExists(u"Software\\Missing"));
    ASSERT_TRUE(reg.OpenKey(u"Software\\Missing", true));
    EXPECT_TRUE(reg.KeyExists(u"Software\\Missing"));
    EXPECT_TRUE(reg.Values().empty());
    TRegistry again;
    EXPECT_TRUE(again.OpenKey(u"Software\\Missing", false));
}

TEST_F(RegistryStore, ValuesSurviveAReopenInOrderAndRewritesKeepOneEntry) {
    const std::u16string tricky = u"C:\\Program Files\\\"q\"\t\u5728\U0001F600\x01/";
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kUninstallKey, true));
        reg.WriteString(u"DisplayIcon", u"first");
        reg.WriteString(u"HelpLink", u"");
        reg.WriteString(u"Publisher", tricky);
        reg.WriteString(u"DisplayIcon", u"second");
        reg.CloseKey();
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kUninstallKey, false));
    TRegistryValues expected = {{u"DisplayIcon", u"second"}, {u"HelpLink", u""}, {u"Publisher", tricky}};
    EXPECT_EQ(reg.Values(), expected);
    EXPECT_TRUE(reg.ValueExists(u"HelpLink"));
    EXPECT_FALSE(reg.ValueExists(u"Nothing"));
    EXPECT_EQ(reg.ReadString(u"Nothing"), u"");
    // The file is ASCII and nothing temporary is left beside it.
    std::string text = Slurp(reg.KeyFileName(kUninstallKey));
    for (char c : text) EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80);
    EXPECT_FALSE(fs::exists(reg.KeyFileName(kUninstallKey) + ".tmp"));
}

TEST_F(RegistryStore, AValueThatCannotBeStoredRaisesAndLeavesTheKeyUnchanged) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(u"Software\\Locked", true));
    reg.WriteString(u"DisplayName", u"kept");
    std::string file = reg.KeyFileName(u"Software\\Locked");
    std::string before = Slurp(file);
    // A folder in the temporary file's place makes the write fail, even for root.
    fs::create_directory(file + ".tmp");
    try {
        reg.WriteString(u"DisplayVersion", u"1.0.1");
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), u"Failed to set data for 'DisplayVersion'");
    }
    EXPECT_EQ(Slurp(file), before);
    EXPECT_FALSE(reg.ValueExists(u"DisplayVersion"));

    TRegistry closed;
    EXPECT_THROW(closed.WriteString(u"X", u"y"), ERegistryException);
}

TEST_F(RegistryStore, AForeignOrDamagedKeyFileIsNotOpened) {
    TRegistry reg;
    std::string file = reg.KeyFileName(u"Software\\Broken");
    fs::create_directories(fs::path(file).parent_path());
    std::ofstream(file) << "{\"a\": \"unterminated}";
    EXPECT_FALSE(reg.OpenKey(u"Software\\Broken", true));
    EXPECT_EQ(Slurp(file), "{\"a\": \"unterminated}");
}

TEST(RegistryFormat, ReaderAcceptsWhatTheWriterWritesAndJsonEscapesOnly) {
    TRegistryValues v;
    EXPECT_TRUE(ParseRegistryValues(FormatRegistryValues({}), v));
    EXPECT_TRUE(v.empty());
    struct Case {
        const char* text;
        bool ok;
        std::u16string value;
    } cases[] = {
        {R"({"k":"a\u00e9\n\/"})", true, u"a\u00e9\n/"},
        {"{\"k\":\"\xe5\x9c\xa8\"}", true, u"\u5728"},
        {R"( { "k" : "\ud83d\ude00" } )", true, u"\U0001F600"},
        {R"({"k":"x"} trailing)", false, u""},
        {R"({"k":1})", false, u""},
        {R"({"k":"\q"})", false, u""},
        {R"({"k":"\u12"})", false, u""},
        {"{\"k\":\"raw\ncontrol\"}", false, u""},
        {R"({"k":"x",})", false, u""},
        {R"(["k"])", false, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseRegistryValues(c.text, v), c.ok);
        if (c.ok) {
            ASSERT_EQ(v.size(), 1u);
            EXPECT_EQ(v[0].second, c.value);
        }
    }
}
