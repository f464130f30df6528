#include "platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/codepage.h"

namespace platform {
namespace {

std::string Native(const std::u16string& path) { return TextToUtf8(path); }

bool LStat(const std::u16string& path, struct stat& st) {
    return ::lstat(Native(path).c_str(), &st) == 0;
}

}  // namespace

TFileKind GetFileKind(const std::u16string& path) {
    struct stat st;
    if (path.empty() || !LStat(path, st)) return TFileKind::fkNone;
    if (S_ISREG(st.st_mode)) return TFileKind::fkFile;
    if (S_ISDIR(st.st_mode)) return TFileKind::fkDirectory;
    if (S_ISLNK(st.st_mode)) return TFileKind::fkSymlink;
    return TFileKind::fkOther;
}

bool PathExists(const std::u16string& path) { return GetFileKind(path) != TFileKind::fkNone; }

bool DirectoryExists(const std::u16string& path) {
    struct stat st;
    return !path.empty() && ::stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::u16string& path) {
    std::string native = Native(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (native.empty()) return false;
    struct stat st;
    if (::stat(native.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    for (size_t pos = 1; pos <= native.size(); ++pos) {
        if (pos != native.size() && native[pos] != '/') continue;
        std::string part = native.substr(0, pos);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::u16string& path) { return ::unlink(Native(path).c_str()) == 0; }

int64_t GetFileMTime(const std::u16string& path) {
    struct stat st;
    if (!LStat(path, st)) return -1;
    return static_cast<int64_t>(st.st_mtim.tv_sec);
}

int64_t GetFileStamp(const std::u16string& path) {
    struct stat st;
    if (::stat(Native(path).c_str(), &st) != 0) return 0;
    int64_t stamp = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp ^ (static_cast<int64_t>(st.st_size) << 1) ^ static_cast<int64_t>(st.st_ino);
}

bool SetFileMTime(const std::u16string& path, int64_t unixSeconds) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(unixSeconds);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, Native(path).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

int GetFileMode(const std::u16string& path) {
    struct stat st;
    if (!LStat(path, st)) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

bool SetFileMode(const std::u16string& path, int mode) {
    // chmod follows links; a link is never given a mode.
    if (GetFileKind(path) == TFileKind::fkSymlink) return false;
    return ::chmod(Native(path).c_str(), static_cast<mode_t>(mode & 07777)) == 0;
}

std::u16string GetCurrentDir() {
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) return u".";
    return Utf8ToText(buf);
}

// Every name is a name in its folder; devices live in /dev.
bool IsDeviceName(const std::u16string&) { return false; }

std::u16string UsableFileName(const std::u16string& component) { return component; }

bool FileNamesIgnoreCase() { return false; }

}  // namespace platform
