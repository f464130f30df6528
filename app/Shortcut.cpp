#include "app/Cleanup.h"
#include "app/Installer.h"
#include "app/Texts.h"
#include "platform/desktop.h"
#include "platform/exception.h"
#include "platform/pathdelim.h"

// The shortcut is a launcher on the desktop; the name's ".lnk" becomes
// ".desktop" (platform/desktop.h). The installation is made for every user
// of the machine, so the shortcut goes to the desktop all users share. A
// desktop that cannot be found or a shortcut that cannot be saved fails the
// installation.
void TInstaller::CreateShortcut(const std::u16string& FileName) {
    platform::TShellLink Link;
    Link.Path = FileName;
    Link.WorkingDirectory = ExtractFilePath(FileName);
    Link.Description = texts::SShortcutDescription;
    Link.IconLocation = FileName;
    const std::u16string Desktop = platform::DesktopFolder(platform::TDesktop::AllUsers);
    const std::u16string LinkFile = Desktop + platform::PathDelimText() + texts::SShortcutFile;
    if (Desktop.empty() || !Link.Save(LinkFile))
        throw platform::Exception(u"Cannot save the shortcut " + LinkFile);
}
