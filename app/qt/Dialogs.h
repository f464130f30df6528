// The Qt half of the program's dialogs (app/Dialogs.h) and what only the Qt
// front end needs: the toolkit's own texts in the program's language.
#pragma once

#include "app/Dialogs.h"

class QLocale;
class QTranslator;

namespace dialogs {

// Loads the window toolkit's own texts (the buttons and labels of the message
// boxes and the folder dialog) in the language of Locale, or in Chinese when
// no translation is installed for it, and installs them in the application.
// Returns the translator (owned by the application), or null when none loads.
QTranslator* InstallToolkitTranslations(const QLocale& Locale);

}  // namespace dialogs
