// The program's message boxes and its folder dialog. Each front end shows
// them with its own toolkit (app/qt/Dialogs.cpp, app/win32/Dialogs.cpp).
//
// In unattended mode (the command line holds /silent) no dialog is shown: a
// message box is written to standard error and takes its default answer.
#pragma once

#include <string>

namespace dialogs {

// The process-wide unattended flag; set once by the program's entry.
void SetUnattended(bool Value);
bool Unattended();

enum class TMsgButtons { Ok, OkCancel, YesNo };
enum class TMsgResult { Ok, Cancel, Yes, No };

// A modal message box with the program's title as caption unless Caption is
// given. Safe from any thread. Returns the button pressed, or Default in
// unattended mode.
TMsgResult ShowMessageBox(const std::u16string& Text, const std::u16string& Caption = {},
                          TMsgButtons Buttons = TMsgButtons::Ok, TMsgResult Default = TMsgResult::Ok);

// The folder dialog: only folders can be chosen, no button for making a new
// folder, centred on the monitor that shows the main window. Root, when it
// names a folder, is the root of the tree. Directory (in and out) is
// selected at start when it names an existing folder, else emptied. True with
// Directory set to the chosen folder (without a trailing separator, except
// for a root); false on cancel, with Directory unchanged.
bool BrowseForFolder(const std::u16string& Caption, const std::u16string& Root, std::u16string& Directory);

// Unattended mode: the message box as one line "caption: text" on standard
// error; and the hint line the run ended with.
void WriteUnattendedMessage(const std::u16string& Caption, const std::u16string& Text);
void WriteHintLine(const std::u16string& Hint);

}  // namespace dialogs
