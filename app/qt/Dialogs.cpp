#include "app/qt/Dialogs.h"

#include "app/Texts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <QTranslator>
#include <QEvent>

namespace dialogs {
namespace {

// The main window: the top-level widget named MainForm.
QWidget* MainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("MainForm")) return widget;
    return QApplication::activeWindow();
}

// Moves the dialog it watches to the centre of the owner's monitor when shown.
class CentreOnShow : public QObject {
public:
    explicit CentreOnShow(QWidget* owner) : owner_(owner) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && dialog) {
            QScreen* screen = owner_ ? owner_->screen() : QGuiApplication::primaryScreen();
            if (screen) {
                const QRect monitor = screen->geometry();
                const QSize size = dialog->frameGeometry().size();
                dialog->move(monitor.left() + (monitor.width() - size.width()) / 2,
                             monitor.top() + (monitor.height() - size.height()) / 2);
            }
        }
        return false;
    }

private:
    QWidget* owner_;
};

QMessageBox::StandardButton ToButton(TMsgResult r) {
    switch (r) {
        case TMsgResult::Ok: return QMessageBox::Ok;
        case TMsgResult::Cancel: return QMessageBox::Cancel;
        case TMsgResult::Yes: return QMessageBox::Yes;
        case TMsgResult::No: return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

TMsgResult FromButton(int b) {
    switch (b) {
        case QMessageBox::Cancel: return TMsgResult::Cancel;
        case QMessageBox::Yes: return TMsgResult::Yes;
        case QMessageBox::No: return TMsgResult::No;
        default: return TMsgResult::Ok;
    }
}

TMsgResult ShowOnWindowThread(const std::u16string& Text, const std::u16string& Caption, TMsgButtons Buttons,
                              TMsgResult Default) {
    QMessageBox box(QMessageBox::Information, QString::fromStdU16String(Caption.empty() ? texts::SWindowTitle : Caption),
                    QString::fromStdU16String(Text));
    switch (Buttons) {
        case TMsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case TMsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case TMsgButtons::YesNo:
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
    }
    box.setDefaultButton(ToButton(Default));
    box.setEscapeButton(Buttons == TMsgButtons::Ok ? QMessageBox::Ok
                        : Buttons == TMsgButtons::OkCancel ? QMessageBox::Cancel : QMessageBox::No);
    return FromButton(box.exec());
}

}  // namespace

QTranslator* InstallToolkitTranslations(const QLocale& Locale) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator;
    // The program speaks Chinese, so its dialogs do too unless the locale
    // asks for a language the toolkit has texts for.
    if (!translator->load(Locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder) &&
        !translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                          folder)) {
        delete translator;
        return nullptr;
    }
    translator->setParent(qApp);
    QCoreApplication::installTranslator(translator);
    return translator;
}

TMsgResult ShowMessageBox(const std::u16string& Text, const std::u16string& Caption, TMsgButtons Buttons,
                          TMsgResult Default) {
    if (Unattended() || !qApp) {
        WriteUnattendedMessage(Caption, Text);
        return Default;
    }
    if (QThread::currentThread() == qApp->thread()) return ShowOnWindowThread(Text, Caption, Buttons, Default);
    TMsgResult result = Default;
    QMetaObject::invokeMethod(
        qApp, [&] { result = ShowOnWindowThread(Text, Caption, Buttons, Default); }, Qt::BlockingQueuedConnection);
    return result;
}

bool BrowseForFolder(const std::u16string& Caption, const std::u16string& Root, std::u16string& Directory) {
    QWidget* Owner = MainWindow();
    QString directory = QString::fromStdU16String(Directory);
    if (directory.isEmpty() || !QFileInfo(directory).isDir()) directory.clear();
    // A root that names no folder leaves the whole tree open.
    QString root = QString::fromStdU16String(Root);
    if (!root.isEmpty() && !QFileInfo(root).isDir()) root.clear();

    QFileDialog dialog(Owner, QString::fromStdU16String(Caption));
    dialog.setObjectName("BrowseForFolder");
    // Folders only; the read-only model offers no button for a new folder.
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly | QFileDialog::DontUseNativeDialog |
                      QFileDialog::DontResolveSymlinks);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (auto* newFolder = dialog.findChild<QWidget*>(QStringLiteral("newFolderButton"))) newFolder->hide();
    const QString start = !directory.isEmpty() ? directory : !root.isEmpty() ? root : QDir::homePath();
    dialog.setDirectory(start);
    if (!directory.isEmpty()) dialog.selectFile(directory);
    if (!root.isEmpty()) {
        // Keep the dialog inside the root folder.
        const QString rootPath = QDir(root).absolutePath();
        QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, [&dialog, rootPath](const QString& dir) {
            const QString path = QDir(dir).absolutePath();
            if (path != rootPath && !path.startsWith(rootPath.endsWith('/') ? rootPath : rootPath + '/')) {
                dialog.setDirectory(rootPath);
            }
        });
    }

    // Once the dialog is laid out and shown, centre it on the monitor that
    // shows the owner; its size stays as it is.
    CentreOnShow centre(Owner);
    dialog.installEventFilter(&centre);

    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    QString path = QDir::cleanPath(chosen.first());
    if (path.size() > 1 && path.endsWith('/')) path.chop(1);
    Directory = path.toStdU16String();
    return true;
}

}  // namespace dialogs
