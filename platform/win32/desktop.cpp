// The shell's desktop folder and shell links made through COM.
#include "platform/desktop.h"

#include "platform/win32/win32.h"

#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>

namespace platform {

std::u16string DesktopFolder(TDesktop which) {
    const int folderId = which == TDesktop::AllUsers ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY;
    wchar_t path[MAX_PATH] = {};
    // Made when missing (a new profile, a prefix without a public desktop).
    if (FAILED(SHGetFolderPathW(nullptr, folderId | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    std::u16string folder = win32::Text(path);
    while (folder.size() > 3 && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
    return folder;
}

std::u16string LauncherFileName(const std::u16string& fileName) { return fileName; }

bool TShellLink::Save(const std::u16string& fileName) const {
    win32::TComScope com;
    if (!com.Usable()) return false;
    win32::TComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    if (FAILED(link->SetPath(win32::Wide(Path)))) return false;
    if (!Arguments.empty() && FAILED(link->SetArguments(win32::Wide(Arguments)))) return false;
    if (!WorkingDirectory.empty() && FAILED(link->SetWorkingDirectory(win32::Wide(WorkingDirectory)))) return false;
    if (!Description.empty() && FAILED(link->SetDescription(win32::Wide(Description)))) return false;
    const std::u16string& icon = IconLocation.empty() ? Path : IconLocation;
    if (FAILED(link->SetIconLocation(win32::Wide(icon), 0))) return false;
    win32::TComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) return false;
    return SUCCEEDED(file->Save(win32::Wide(LauncherFileName(fileName)), TRUE));
}

}  // namespace platform
