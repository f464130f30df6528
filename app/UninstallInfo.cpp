#include "app/Installer.h"
#include "app/Texts.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/pathdelim.h"

void TInstaller::WriteUninstallInfo(const std::u16string& Folder) {
    platform::TRegistry Reg(platform::HKEY_LOCAL_MACHINE);
    // The folder ends in a doubled separator when the client lies at the top
    // of the client folder; one of the two goes. A single separator (a client
    // in a sub-folder) stays, so the paths below still name that folder.
    std::u16string F = Folder;
    const char16_t d = platform::PathDelim;
    if (F.size() >= 2 && F[F.size() - 1] == d && F[F.size() - 2] == d) F.pop_back();
    // A key that cannot be opened or made leaves the client unregistered: the
    // installation failed.
    if (!Reg.OpenKey(texts::SUninstallKey, true))
        throw platform::ERegistryException(u"Failed to open key '" + std::u16string(texts::SUninstallKey) + u"'");
    Reg.WriteString(u"DisplayIcon", F + texts::SClientExe);
    Reg.WriteString(u"DisplayName", texts::SUninstallDisplayName);
    Reg.WriteString(u"DisplayVersion", texts::SUninstallDisplayVersion);
    Reg.WriteString(u"HelpLink", u"");
    Reg.WriteString(u"InstallLocation", F);
    Reg.WriteString(u"Publisher", texts::SUninstallPublisher);
    // Quoted: unquoted, a folder with spaces ("C:\\Program Files\\...") is
    // read by the system as the program "C:\\Program.exe" and its arguments.
    Reg.WriteString(u"UninstallString", u"\"" + F + texts::SUninstallExe + u"\"");
    Reg.WriteString(texts::SReleaseVersionValue, platform::Utf8ToText(FRelease.Version));
}

std::string TInstaller::InstalledReleaseVersion() {
    platform::TRegistry Reg(platform::HKEY_LOCAL_MACHINE);
    if (!Reg.OpenKey(texts::SUninstallKey, false) || !Reg.ValueExists(texts::SReleaseVersionValue)) return {};
    return platform::TextToUtf8(Reg.ReadString(texts::SReleaseVersionValue));
}
