#include "platform/desktop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/codepage.h"

namespace platform {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// The XDG_DESKTOP_DIR entry of user-dirs.dirs: XDG_DESKTOP_DIR="$HOME/Desktop".
std::string UserDirsDesktop(const std::string& home) {
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty()) {
        if (home.empty()) return {};
        config = home + "/.config";
    }
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DESKTOP_DIR=\"";
        if (line.rfind(key, 0) != 0) continue;
        size_t end = line.rfind('"');
        if (end <= key.size()) return {};
        std::string value = line.substr(key.size(), end - key.size());
        if (value.rfind("$HOME", 0) == 0) {
            if (home.empty()) return {};
            value = home + value.substr(5);
        }
        return value.size() > 1 && value[0] == '/' ? value : std::string();
    }
    return {};
}

std::string StripTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Escapes a value of type string: backslash, newline, tab, carriage return.
std::string EscapeValue(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

// One Exec argument: quoted, with the characters the Exec rules reserve
// inside quotes escaped by a backslash, and '%' doubled (field codes).
std::string QuoteExecArgument(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::u16string DesktopFolder(TDesktop) {
    std::string dir = Env("ZELVANO_DESKTOP_DIR");
    std::string home = Env("HOME");
    if (dir.empty()) dir = Env("XDG_DESKTOP_DIR");
    if (dir.empty()) dir = UserDirsDesktop(home);
    if (dir.empty() && !home.empty()) dir = home + "/Desktop";
    return Utf8ToText(StripTrailingSlash(dir));
}

std::u16string LauncherFileName(const std::u16string& fileName) {
    auto endsWithNoCase = [&](std::u16string_view suffix) {
        if (fileName.size() < suffix.size()) return false;
        for (size_t k = 0; k < suffix.size(); ++k) {
            char16_t c = fileName[fileName.size() - suffix.size() + k];
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
            if (c != suffix[k]) return false;
        }
        return true;
    };
    if (endsWithNoCase(u".lnk")) return fileName.substr(0, fileName.size() - 4) + u".desktop";
    if (endsWithNoCase(u".desktop")) return fileName;
    return fileName + u".desktop";
}

std::string LauncherText(const TShellLink& link, const std::u16string& launcherFile) {
    std::string name = TextToUtf8(link.Name);
    if (name.empty()) {
        std::string file = TextToUtf8(launcherFile);
        file = file.substr(file.rfind('/') + 1);
        size_t dot = file.rfind(".desktop");
        name = dot == std::string::npos ? file : file.substr(0, dot);
    }
    std::string icon = TextToUtf8(link.IconLocation.empty() ? link.Path : link.IconLocation);
    std::ostringstream out;
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Version=1.0\n"
        << "Name=" << EscapeValue(name) << "\n";
    if (!link.Description.empty()) out << "Comment=" << EscapeValue(TextToUtf8(link.Description)) << "\n";
    out << "Exec=" << EscapeValue(QuoteExecArgument(TextToUtf8(link.Path))) << "\n";
    if (!link.WorkingDirectory.empty()) out << "Path=" << EscapeValue(TextToUtf8(link.WorkingDirectory)) << "\n";
    out << "Icon=" << EscapeValue(icon) << "\n"
        << "Terminal=false\n";
    return out.str();
}

bool TShellLink::Save(const std::u16string& fileName) const {
    std::u16string launcher = LauncherFileName(fileName);
    std::string target = TextToUtf8(launcher);
    std::string text = LauncherText(*this, launcher);
    std::string tmp = target + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = fchmod(fd, 0755) == 0 && ok;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(tmp.c_str());
    return ok;
}

}  // namespace platform
