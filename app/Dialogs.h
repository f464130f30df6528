// The program's message boxes and its folder dialog.
//
// In unattended mode (the command line holds /silent) no dialog is shown: a
// message box is written to standard error and takes its default answer.
#pragma once

#include <string>

class QLocale;
class QTranslator;
class QWidget;

namespace dialogs {

// Loads the window toolkit's own texts (the buttons and labels of the message
// boxes and the folder dialog) in the language of Locale, or in Chinese when
// no translation is installed for it, and installs them in the application.
// Returns the translator (owned by the application), or null when none loads.
QTranslator* InstallToolkitTranslations(const QLocale& Locale);

// The process-wide unattended flag; set once by the program's entry.
void SetUnattended(bool Value);
bool Unattended();

enum class TMsgButtons { Ok, OkCancel, YesNo };
enum class TMsgResult { Ok, Cancel, Yes, No };

// A modal message box with the program's title as caption unless Caption is
// given. Safe from any thread: a worker thread waits while the window's thread
// shows the box. Returns the button pressed, or Default in unattended mode.
TMsgResult ShowMessageBox(const std::u16string& Text, const std::u16string& Caption = {},
                          TMsgButtons Buttons = TMsgButtons::Ok, TMsgResult Default = TMsgResult::Ok);

// The folder dialog: only folders can be chosen, no button for making a new
// folder, centred on the monitor that shows Owner. Root, when it names a
// folder, is the folder the dialog starts in and cannot be left. Directory (in and out)
// is selected at start when it names an existing folder, else emptied. True
// with Directory set to the chosen folder (without a trailing separator,
// except for the root "/"); false on cancel, with Directory unchanged.
bool BrowseForFolder(QWidget* Owner, const std::u16string& Caption, const std::u16string& Root,
                     std::u16string& Directory);

}  // namespace dialogs
