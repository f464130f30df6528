#include "app/Cleanup.h"
#include "app/Installer.h"
#include "app/Texts.h"
#include "platform/desktop.h"
#include "platform/pathdelim.h"

// The shortcut is a launcher on the desktop; the name's ".lnk" becomes
// ".desktop" (platform/desktop.h). A desktop that cannot be found or written
// leaves no shortcut and no report.
void TInstaller::CreateShortcut(const std::u16string& FileName) {
    platform::TShellLink Link;
    Link.Path = FileName;
    Link.WorkingDirectory = ExtractFilePath(FileName);
    Link.Description = texts::SShortcutDescription;
    Link.IconLocation = FileName;
    std::u16string Desktop = platform::DesktopFolder();
    if (Desktop.empty()) return;
    Link.Save(Desktop + platform::PathDelimText() + texts::SShortcutFile);
}
