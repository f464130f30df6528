// The Windows half of the program's dialogs (app/Dialogs.h): MessageBoxW and
// the shell's folder-browse dialog (SHBrowseForFolderW), owned by the main
// window.
#pragma once

#include <windows.h>

namespace dialogs {

// The main window, owner of the message boxes and the folder dialog.
void SetOwnerWindow(HWND Owner);

}  // namespace dialogs
