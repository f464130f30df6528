// Files and folders as the shell handles them: listing a folder with
// Windows-style attributes, deleting folder trees and starting programs.
//
// Paths are text; on Linux with '/' separators (a doubled '/' is harmless),
// reaching the file system as UTF-8; on Windows '/' and '\\' both separate.
#pragma once

#include <string>
#include <vector>

#include "platform/files.h"  // DirectoryExists, ForceDirectories, DeleteFile

#undef ShellExecute  // windows.h's name for ShellExecuteW

namespace platform {

// Attribute bits of a listed entry, valued as on Windows so that callers can
// test "a plain folder" as Attr == faDirectory. Windows gives its own
// attributes, limited to these bits; on Linux they are derived as noted.
enum : unsigned {
    faReadOnly = 0x01,   // Linux: the owner may not write it
    faHidden = 0x02,     // Linux: its name begins with '.'
    faSysFile = 0x04,    // Linux: neither a regular file nor a folder (device, pipe, socket)
    faDirectory = 0x10,  // a folder, or a link to one
    faSymLink = 0x400,   // a symbolic link (never followed by this layer)
};

struct TFolderEntry {
    std::u16string Name;
    unsigned Attr = 0;
};

// The entries of a folder in the order the file system gives them, without
// "." and "..". False when the folder cannot be read.
bool ListFolder(const std::u16string& folder, std::vector<TFolderEntry>& entries);

// Something other than a folder stands at `path` (a link is not followed).
bool FileExists(const std::u16string& path);

// Removes one file unless it is in use. Windows: a file opened without
// delete sharing cannot be removed (a sharing violation). Linux: another
// opener holding a lock on it (as this layer's file streams take for their
// share modes, or flock(1)) keeps it, which stands in for that.
// False when the file is in use or cannot be removed.
bool DeleteFileUnlessInUse(const std::u16string& path);

// Deletes `path` with everything below it. Symbolic links are removed, never
// followed, so nothing outside the tree is touched. On failure returns false
// and sets `error` to the first reason, e.g. "Cannot delete <path>: <reason>".
// Windows: the shell's silent delete (SHFileOperationW, FO_DELETE), which
// stops at the first entry it cannot remove. Linux: the deletion still goes
// on with the rest of the tree.
bool DeleteTree(const std::u16string& path, std::u16string* error = nullptr);

// Starts `file` detached from this program with `workingFolder` as its
// current folder (the caller's when empty). Windows: ShellExecuteW with the
// "open" verb, `args` joined into one command line quoted as programs split
// it. Linux: in a session of its own, standard streams on /dev/null, no
// shell; an executable file runs directly with `args`, any other file is
// handed to "xdg-open". False when the file does not exist, the folder
// cannot be entered or the program cannot be executed.
bool ShellExecute(const std::u16string& file, const std::vector<std::u16string>& args,
                  const std::u16string& workingFolder);

// Starts a program the way the signed-in user would from the desktop, in
// `workingFolder`, never with this program's raised rights. Windows: an
// elevated program asks the desktop's shell (the shell window's
// IShellDispatch2::ShellExecute), so the program runs as the user who signed
// in, not elevated; without a desktop shell, or when this program is not
// elevated, it is ShellExecute. Linux: ShellExecute. False when the file does
// not exist, the folder cannot be entered or the start is refused.
bool StartAsDesktopUser(const std::u16string& file, const std::u16string& workingFolder);

}  // namespace platform
