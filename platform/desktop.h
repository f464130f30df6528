// The user's desktop folder and the shortcuts placed on it.
//
// Windows: the desktop folder is the shell's (CSIDL_DESKTOPDIRECTORY) and a
// shortcut is a shell link (".lnk") made through IShellLinkW and saved
// through IPersistFile.
//
// Linux: the desktop folder is $ZELVANO_DESKTOP_DIR, else the XDG desktop
// folder ($XDG_DESKTOP_DIR or the XDG_DESKTOP_DIR line of
// ${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs), else $HOME/Desktop.
// A shortcut is a freedesktop launcher: a ".desktop" file (mode 0755) written
// where a ".lnk" name asks for one.
#pragma once

#include <string>

namespace platform {

// Whose desktop: the signed-in user's own, or the one every user of the
// machine sees (where an installation for all users puts its shortcuts).
enum class TDesktop { CurrentUser, AllUsers };

// The desktop folder (without a trailing '/'); empty when it is not known.
// Windows: CSIDL_DESKTOPDIRECTORY, or CSIDL_COMMON_DESKTOPDIRECTORY (the
// public desktop) for AllUsers. Linux has one desktop for both.
std::u16string DesktopFolder(TDesktop which = TDesktop::CurrentUser);

// The file a shortcut named `fileName` is stored in. Windows: the name
// itself. Linux: a trailing ".lnk" (any letter case) becomes ".desktop";
// other names get ".desktop" appended unless they already end in it.
std::u16string LauncherFileName(const std::u16string& fileName);

// A shortcut to a program.
class TShellLink {
public:
    // The Linux launcher's keys in brackets.
    std::u16string Path;              // the program (Exec=, Icon=)
    std::u16string Arguments;         // the program's arguments (Windows only)
    std::u16string WorkingDirectory;  // Path=
    std::u16string Description;       // Comment=
    std::u16string IconLocation;      // Icon=; the program when empty
    std::u16string Name;              // Name=; the file's base name when empty (Linux only)

    // Writes the shortcut to `fileName` (see LauncherFileName), replacing a
    // present one (on Linux through a temporary file). False when it cannot
    // be written.
    bool Save(const std::u16string& fileName) const;
};

// The launcher text exactly as Save writes it on Linux (for tests and tools;
// Linux only).
std::string LauncherText(const TShellLink& link, const std::u16string& launcherFile);

}  // namespace platform
