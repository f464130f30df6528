// The program's entry: initialise the window toolkit, create and show the main
// window, paint it once, run the message loop.
#include "app/ReleaseStatement.h"
#include "app/qt/Dialogs.h"
#include "app/qt/MainFrm.h"
#include "app/Texts.h"

#include <QApplication>
#include <QLocale>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "app/DownLoadLink.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    release::SetTrust({kBuiltInReleaseKey, kBuiltInProduct, kBuiltInMinimumRelease});
    dialogs::InstallToolkitTranslations(QLocale::system());

    bool showSkinVersion = false;
    for (const QString& argument : QCoreApplication::arguments().mid(1)) {
        if (argument.compare(QLatin1String("/skinver"), Qt::CaseInsensitive) == 0) showSkinVersion = true;
        if (argument.compare(QLatin1String("/silent"), Qt::CaseInsensitive) == 0) dialogs::SetUnattended(true);
    }
    if (showSkinVersion) dialogs::ShowMessageBox(texts::SSkinVersion);

    // A top-level window of its own is what the taskbar shows.
    TMainForm MainForm;
    MainForm.show();
    QCoreApplication::processEvents();

    // Saves a picture of the window and ends (used to make the README picture).
    const QString grabPath = qEnvironmentVariable("ZELVANO_GRAB_WINDOW");
    if (!grabPath.isEmpty()) {
        QTimer::singleShot(500, &MainForm, [&MainForm, grabPath] {
            const bool saved = MainForm.grab().save(grabPath, "PNG");
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }

    if (dialogs::Unattended()) MainForm.StartUnattended();

    const int exitCode = application.exec();
    // Closed while a download or an extraction still runs on a worker thread:
    // that thread uses the window's components, so the window must not be
    // destroyed under it. End the process at once, which ends the worker too.
    if (DownLoadersRunning()) {
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}
