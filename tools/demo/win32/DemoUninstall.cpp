// The demo client's uninstaller for Windows. For the folder it lies in it
// removes the uninstall key (when the key names this folder), the desktop
// shortcut (when it points into this folder) and the folder with everything
// in it; its own file, which cannot go while it runs, goes at the next start
// of the system.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

namespace {

const wchar_t kUninstallKey[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelvano\u5728\u7ebf";
const wchar_t kShortcut[] = L"Zelvano\u5728\u7ebf2.0.lnk";

// Lower case, backslashes, no trailing separator: for comparisons.
std::wstring Normal(std::wstring path) {
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : wchar_t(towlower(c));
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

bool Inside(const std::wstring& path, const std::wstring& folder) {
    const std::wstring p = Normal(path), f = Normal(folder);
    return p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == L'\\');
}

std::wstring InstallLocation() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    wchar_t value[MAX_PATH * 2] = L"";
    DWORD size = sizeof value - sizeof(wchar_t), type = 0;
    const LONG status = RegQueryValueExW(key, L"InstallLocation", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::wstring(value) : std::wstring();
}

std::wstring ShortcutTarget(const std::wstring& file) {
    std::wstring target;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return target;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        wchar_t path[MAX_PATH] = L"";
        if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0)))
            target = path;
        persist->Release();
    }
    link->Release();
    return target;
}

// Deletes the folder's contents and the folder; the running program itself
// is left for the next start of the system.
bool DeleteTree(const std::wstring& folder, const std::wstring& self) {
    bool ok = true;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ok = DeleteTree(path, self) && ok;
            } else if (Normal(path) == Normal(self)) {
                MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ok = DeleteFileW(path.c_str()) && ok;
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    if (!RemoveDirectoryW(folder.c_str())) MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return ok;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t selfPath[MAX_PATH];
    GetModuleFileNameW(nullptr, selfPath, MAX_PATH);
    const std::wstring self = selfPath;
    const std::wstring folder = self.substr(0, self.rfind(L'\\'));
    if (folder.size() <= 3) return 1;  // never a drive's root
    CoInitialize(nullptr);

    if (Inside(InstallLocation(), folder)) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);

    wchar_t desktop[MAX_PATH] = L"";
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, desktop))) {
        const std::wstring shortcut = std::wstring(desktop) + L"\\" + kShortcut;
        if (Inside(ShortcutTarget(shortcut), folder)) DeleteFileW(shortcut.c_str());
    }
    const bool removed = DeleteTree(folder, self);
    CoUninitialize();
    return removed ? 0 : 1;
}
