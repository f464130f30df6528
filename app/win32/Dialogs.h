// The program's message boxes and its folder dialog on Windows: MessageBoxW
// and the shell's folder-browse dialog (SHBrowseForFolderW).
#pragma once

#include <windows.h>

#include <string>

namespace win32dialogs {

enum class TMsgButtons { Ok, OkCancel, YesNo };
enum class TMsgResult { Ok, Cancel, Yes, No };

// A modal message box owned by Owner, with the program's title as caption
// unless Caption is given. Call it on the window's thread.
TMsgResult ShowMessageBox(HWND Owner, const std::u16string& Text, const std::u16string& Caption,
                          TMsgButtons Buttons, TMsgResult Default);

// The folder dialog: only file-system folders can be chosen, no button for
// making a new folder, centred on the monitor nearest Owner. Root, when not
// empty, is the root of the tree. Directory (in and out) is selected at
// start when it names an existing folder, else emptied. True with Directory
// set to the chosen folder; false on cancel with Directory as it was.
bool BrowseForFolder(HWND Owner, const std::u16string& Caption, const std::u16string& Root,
                     std::u16string& Directory);

}  // namespace win32dialogs
