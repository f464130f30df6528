// The file and process operations the installation flows share: deleting a
// folder tree, ending processes by executable name and searching a folder
// tree for a file name. The work folder itself is TMainForm::GetUpdateDir.
#pragma once

#include <string>
#include <vector>

// Deletes the folder (or file) at Path with everything in it, for good. A
// failure is shown in a message box. An empty path deletes nothing (false); a
// path where nothing stands is already deleted (true, no message). True when
// everything was deleted.
bool DeleteDir(const std::u16string& Path);

// Ends every process whose executable has the file name FileName (letters a
// to z compared without case). When that is this program's own name, this
// program ends last, with exit status 0.
void EndProcesses(const std::u16string& FileName);

// Full paths of the entries named Name (case ignored) in Folder and, with
// WithSubFolders, below it, depth first in the order the file system lists
// them. A hit is Folder, the path separator and the entry name, so a Folder
// given with a trailing separator yields a doubled one. Only plain folders (no other
// attribute: not read-only, hidden or a link) are entered and, unless
// FilesOnly, reported; any other entry of the name is reported.
std::vector<std::u16string> SearchFile(const std::u16string& Name, const std::u16string& Folder, bool FilesOnly,
                                       bool WithSubFolders);

// The part of Path up to and including its last path separator (empty when
// it has none).
std::u16string ExtractFilePath(const std::u16string& Path);
// The part of Path after its last path separator.
std::u16string ExtractFileName(const std::u16string& Path);
