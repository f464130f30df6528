// The demo client's uninstaller. It removes, for the folder it lies in, the
// uninstall entry in the key store (when that entry names this folder), the
// desktop launcher (when it starts a program of this folder) and the folder
// itself with everything in it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/codepage.h"
#include "platform/desktop.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/shell.h"

using namespace platform;

namespace {

const std::u16string kUninstallKey =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelvano\u5728\u7ebf";
const std::u16string kLauncher = u"Zelvano\u5728\u7ebf2.0.lnk";

// The folder without trailing or doubled separators, for comparisons.
std::u16string Normal(std::u16string path) {
    std::u16string out;
    for (char16_t c : path)
        if (!(c == u'/' && !out.empty() && out.back() == u'/')) out += c;
    while (out.size() > 1 && out.back() == u'/') out.pop_back();
    return out;
}

bool Inside(const std::u16string& path, const std::u16string& folder) {
    std::u16string p = Normal(path), f = Normal(folder);
    return p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == u'/');
}

}  // namespace

int main() {
    std::u16string self = CurrentExecutable();
    std::u16string folder = Normal(self.substr(0, self.rfind(u'/')));
    if (folder.empty() || folder == u"/") {
        std::fprintf(stderr, "Uninstall: refusing to remove folder '%s'\n", TextToUtf8(folder).c_str());
        return 1;
    }

    TRegistry reg;
    if (reg.OpenKey(kUninstallKey, false) && Inside(reg.ReadString(u"InstallLocation"), folder)) {
        reg.CloseKey();
        reg.DeleteKey(kUninstallKey);
        std::printf("removed the uninstall entry\n");
    }

    std::u16string launcher = LauncherFileName(DesktopFolder(TDesktop::AllUsers) + u"/" + kLauncher);
    std::ifstream in(TextToUtf8(launcher));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string marker = "Exec=\"" + TextToUtf8(folder) + "/";
    if (!text.empty() && text.find(marker) != std::string::npos) {
        DeleteFile(launcher);
        std::printf("removed the desktop launcher\n");
    }

    std::u16string error;
    if (!DeleteTree(folder, &error)) {
        std::fprintf(stderr, "Uninstall: %s\n", TextToUtf8(error).c_str());
        return 1;
    }
    std::printf("removed %s\n", TextToUtf8(folder).c_str());
    return 0;
}
