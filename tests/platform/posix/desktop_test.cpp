#include "platform/desktop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "platform/codepage.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

// Sets environment variables for one test and restores them afterwards.
class EnvGuard {
public:
    void Set(const char* name, const char* value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~EnvGuard() {
        for (auto& [name, value] : saved_) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

fs::path TempDir(const char* tag) {
    fs::path p = fs::temp_directory_path() / ("zelvano-desktop-" + std::to_string(getpid()) + "-" + tag);
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

std::string Slurp(const fs::path& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(Desktop, FolderComesFromOverrideThenXdgThenHome) {
    fs::path home = TempDir("home");
    fs::create_directories(home / ".config");
    std::ofstream(home / ".config/user-dirs.dirs") << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    EnvGuard env;
    env.Set("HOME", home.c_str());
    env.Set("XDG_CONFIG_HOME", nullptr);
    env.Set("XDG_DESKTOP_DIR", nullptr);
    env.Set("ZELVANO_DESKTOP_DIR", "/tmp/override/");
    EXPECT_EQ(DesktopFolder(), u"/tmp/override");
    env.Set("ZELVANO_DESKTOP_DIR", nullptr);
    EXPECT_EQ(DesktopFolder(), Utf8ToText((home / "Schreibtisch").string()));
    fs::remove(home / ".config/user-dirs.dirs");
    EXPECT_EQ(DesktopFolder(), Utf8ToText((home / "Desktop").string()));
    fs::remove_all(home);
}

TEST(Desktop, LauncherNameReplacesTheLinkExtension) {
    struct {
        std::u16string in, out;
    } cases[] = {
        {u"/d/Zelvano\u5728\u7ebf2.0.lnk", u"/d/Zelvano\u5728\u7ebf2.0.desktop"},
        {u"/d/A.LNK", u"/d/A.desktop"},
        {u"/d/A.desktop", u"/d/A.desktop"},
        {u"/d/A", u"/d/A.desktop"},
    };
    for (const auto& c : cases) EXPECT_EQ(LauncherFileName(c.in), c.out);
}

TEST(Desktop, SaveWritesAnExecutableLauncherAndReplacesAnOldOne) {
    fs::path dir = TempDir("save");
    std::u16string lnk = Utf8ToText(dir.string()) + u"/Zelvano\u5728\u7ebf2.0.lnk";
    fs::path launcher = dir / "Zelvano\xe5\x9c\xa8\xe7\xba\xbf" "2.0.desktop";
    std::ofstream(launcher) << "old";

    TShellLink link;
    link.Path = u"/opt/My Apps/Pordino2.0//Corvexa.exe";
    link.WorkingDirectory = u"/opt/My Apps/Pordino2.0//";
    link.Description = u"Zelvano\u5728\u7ebf\u6559\u80b2";
    ASSERT_TRUE(link.Save(lnk));

    EXPECT_EQ(Slurp(launcher),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Version=1.0\n"
              "Name=Zelvano\xe5\x9c\xa8\xe7\xba\xbf" "2.0\n"
              "Comment=Zelvano\xe5\x9c\xa8\xe7\xba\xbf\xe6\x95\x99\xe8\x82\xb2\n"
              "Exec=\"/opt/My Apps/Pordino2.0//Corvexa.exe\"\n"
              "Path=/opt/My Apps/Pordino2.0//\n"
              "Icon=/opt/My Apps/Pordino2.0//Corvexa.exe\n"
              "Terminal=false\n");
    struct stat st {};
    ASSERT_EQ(stat(launcher.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_FALSE(fs::exists(dir / "Zelvano\xe5\x9c\xa8\xe7\xba\xbf" "2.0.lnk"));

    // Characters the Exec rules reserve are escaped, then the value's backslashes doubled.
    link.Path = u"/x/a\"$`\\%b";
    EXPECT_NE(LauncherText(link, u"/d/L.desktop").find("Exec=\"/x/a\\\\\"\\\\$\\\\`\\\\\\\\%%b\"\n"),
              std::string::npos);

    EXPECT_FALSE(link.Save(u"/nonexistent-folder-zelvano/L.lnk"));
    fs::remove_all(dir);
}
