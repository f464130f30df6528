// Files and folders as the extraction needs them: kinds checked without
// following symbolic links, folder creation with missing parents, file times
// and permission bits. Paths are text; the separator is "/" (on Windows "\\"
// as well). Windows keeps no permission bits: there a mode reads as 0444 for
// a read-only file and 0666 otherwise (0111 added for folders), and setting
// one sets or clears the read-only attribute by the owner's write bit.
#pragma once

#include <cstdint>
#include <string>

#undef DeleteFile  // windows.h's name for DeleteFileW

namespace platform {

enum class TFileKind { fkNone, fkFile, fkDirectory, fkSymlink, fkOther };

// The kind of what stands at `path`, without following a final symbolic link.
TFileKind GetFileKind(const std::u16string& path);
// Something (of any kind, dangling links included) stands at `path`.
bool PathExists(const std::u16string& path);
bool DirectoryExists(const std::u16string& path);
// Creates the folder and every missing parent; true when it exists afterwards.
bool ForceDirectories(const std::u16string& path);
// Removes a file or a symbolic link (never what it points to).
bool DeleteFile(const std::u16string& path);

// Last-write time in seconds since the epoch, -1 when it cannot be read.
int64_t GetFileMTime(const std::u16string& path);
// A value that changes whenever the file is rewritten (time in nanoseconds
// combined with the size); 0 when the file cannot be examined.
int64_t GetFileStamp(const std::u16string& path);
bool SetFileMTime(const std::u16string& path, int64_t unixSeconds);

// Permission bits (the lower 12 bits of the mode); -1 when unreadable.
int GetFileMode(const std::u16string& path);
bool SetFileMode(const std::u16string& path, int mode);

std::u16string GetCurrentDir();

// A name that this system reads as a device wherever it stands in a path, so
// that no file or folder of that name can be made: on Windows CON, PRN, AUX,
// NUL, COM0-COM9, LPT0-LPT9 (also with a superscript 1, 2 or 3), CONIN$ and
// CONOUT$, in any case, with trailing spaces and with any extension or
// stream ("nul.txt", "con :x"). Never on Linux.
bool IsDeviceName(const std::u16string& name);

// A stored name component as a file of this system can be named. Windows:
// the characters it forbids in names (< > : " | ? * and control characters)
// and trailing dots and spaces, which it would drop, each become '_'
// ("What?.txt" -> "What_.txt", "notes." -> "notes_"). Linux: unchanged.
std::u16string UsableFileName(const std::u16string& component);

// Whether two names differing only in letter case name the same file
// (Windows) or two files (Linux).
bool FileNamesIgnoreCase();

}  // namespace platform
