// Files and folders through the wide file calls. Windows keeps no permission
// bits: a mode is shown and set through the read-only attribute alone.
#include "platform/files.h"

#include <vector>

#include "platform/win32/win32.h"

namespace platform {
namespace {

DWORD Attributes(const std::u16string& path) {
    if (path.empty()) return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(win32::FilePath(path).c_str());
}

bool IsSeparator(wchar_t c) { return c == L'\\'; }

// Where the folders that may be created begin: after "C:\", "\\server\share\"
// or a leading "\".
size_t RootLength(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':') return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        size_t server = path.find(L'\\', 2);
        if (server == std::wstring::npos) return path.size();
        size_t share = path.find(L'\\', server + 1);
        return share == std::wstring::npos ? path.size() : share + 1;
    }
    return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

// A handle for changing a file's times without following a final link.
HANDLE OpenForAttributes(const std::u16string& path) {
    return CreateFileW(win32::FilePath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

TFileKind GetFileKind(const std::u16string& path) {
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return TFileKind::fkNone;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return TFileKind::fkSymlink;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TFileKind::fkDirectory;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return TFileKind::fkOther;
    return TFileKind::fkFile;
}

bool PathExists(const std::u16string& path) { return GetFileKind(path) != TFileKind::fkNone; }

bool DirectoryExists(const std::u16string& path) {
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::u16string& path) {
    std::wstring native = win32::NativePath(path);
    while (native.size() > 1 && IsSeparator(native.back()) && native.size() > RootLength(native)) native.pop_back();
    if (native.empty()) return false;
    DWORD attributes = GetFileAttributesW(win32::LongPath(native).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    for (size_t pos = RootLength(native) + 1; pos <= native.size(); ++pos) {
        if (pos != native.size() && !IsSeparator(native[pos])) continue;
        std::wstring part = win32::LongPath(native.substr(0, pos));
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    attributes = GetFileAttributesW(win32::LongPath(native).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFile(const std::u16string& path) {
    DWORD attributes = Attributes(path);
    // A link to a folder is removed as a folder entry, never followed.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return RemoveDirectoryW(win32::FilePath(path).c_str()) != 0;
    return DeleteFileW(win32::FilePath(path).c_str()) != 0;
}

int64_t GetFileMTime(const std::u16string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !GetFileAttributesExW(win32::FilePath(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return win32::FileTimeToUnixSeconds(data.ftLastWriteTime);
}

int64_t GetFileStamp(const std::u16string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !GetFileAttributesExW(win32::FilePath(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    int64_t size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return win32::FileTimeTo100ns(data.ftLastWriteTime) * 100 ^ (size << 1);
}

bool SetFileMTime(const std::u16string& path, int64_t unixSeconds) {
    HANDLE file = OpenForAttributes(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME time = win32::UnixSecondsToFileTime(unixSeconds);
    bool ok = SetFileTime(file, nullptr, nullptr, &time) != 0;
    CloseHandle(file);
    return ok;
}

int GetFileMode(const std::u16string& path) {
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
    int mode = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) mode |= 0111;
    return mode;
}

bool SetFileMode(const std::u16string& path, int mode) {
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    DWORD changed = (mode & 0200) ? attributes & ~DWORD(FILE_ATTRIBUTE_READONLY) : attributes | FILE_ATTRIBUTE_READONLY;
    if (changed == attributes) return true;
    return SetFileAttributesW(win32::FilePath(path).c_str(), changed) != 0;
}

std::u16string GetCurrentDir() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) return u".";
        if (length < buffer.size()) return win32::Text(buffer.data(), length);
        buffer.resize(length);
    }
}

bool IsDeviceName(const std::u16string& name) {
    // The system looks at the name up to its first dot or colon, less
    // trailing spaces, and compares it without regard to case.
    size_t end = name.find_first_of(u".:");
    if (end == std::u16string::npos) end = name.size();
    while (end > 0 && name[end - 1] == u' ') --end;
    std::u16string base;
    for (size_t k = 0; k < end; ++k) {
        char16_t c = name[k];
        base += c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    }
    if (base == u"CON" || base == u"PRN" || base == u"AUX" || base == u"NUL" || base == u"CONIN$" ||
        base == u"CONOUT$")
        return true;
    if (base.size() != 4 || (base.compare(0, 3, u"COM") != 0 && base.compare(0, 3, u"LPT") != 0)) return false;
    char16_t digit = base[3];
    return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
}

std::u16string UsableFileName(const std::u16string& component) {
    std::u16string name = component;
    for (auto& c : name)
        if (c < 0x20 || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos) c = u'_';
    for (size_t k = name.size(); k > 0 && (name[k - 1] == u'.' || name[k - 1] == u' '); --k) name[k - 1] = u'_';
    return name;
}

bool FileNamesIgnoreCase() { return true; }

}  // namespace platform
