#include "app/qt/Dialogs.h"
#include "app/qt/MainFrm.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QToolButton>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

// Runs Act on the first modal dialog of type D that opens, from the event loop
// the dialog itself runs.
template <class D>
void WhenModalOpens(std::function<void(D*)> Act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, Act] {
        if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            Act(dialog);
        }
    });
    timer->start(10);
}

void ChooseFolder(QFileDialog* dialog, const QString& folder) {
    // The folder the dialog shows, with nothing selected in it, is the one chosen.
    dialog->setDirectory(folder);
    dialog->selectFile(QString());
    QMetaObject::invokeMethod(dialog, "accept");
    // Should the dialog refuse, the test fails on the box instead of hanging.
    if (dialog->isVisible()) dialog->reject();
}

}  // namespace

TEST(FolderDialog, ChosenFolderReplacesTheInstallFolder) {
    QTemporaryDir tmp;
    const QString chosen = tmp.path() + "/程序";
    ASSERT_TRUE(QDir().mkpath(chosen));
    TMainForm form;
    form.show();
    form.Edt_InstallDir->setText("/before");

    bool checked = false;
    WhenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdU16String(), u"请选择应用软件的安装文件夹");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
        // No way of making a new folder.
        EXPECT_TRUE(dialog->testOption(QFileDialog::ReadOnly));
        for (auto* button : dialog->findChildren<QToolButton*>(QStringLiteral("newFolderButton"))) {
            EXPECT_FALSE(button->isVisible() && button->isEnabled());
        }
        // Centred on the monitor that shows the window.
        const QRect monitor = form.screen()->geometry();
        EXPECT_LE((dialog->geometry().center() - monitor.center()).manhattanLength(), 2);
        checked = true;
        ChooseFolder(dialog, chosen);
    });
    form.Btn_SelectDirClick(form.FBtn_ChangeDir);
    EXPECT_TRUE(checked);
    EXPECT_EQ(form.Edt_InstallDir->text(), chosen);
}

TEST(FolderDialog, CancelLeavesTheBoxAndTheRootKeepsItsSeparator) {
    TMainForm form;
    form.show();
    form.Edt_InstallDir->setText("/before");
    WhenModalOpens<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    form.Btn_SelectDirClick(form.FBtn_ChangeDir);
    EXPECT_EQ(form.Edt_InstallDir->text(), "/before");

    WhenModalOpens<QFileDialog>([](QFileDialog* dialog) { ChooseFolder(dialog, "/"); });
    form.Btn_SelectDirClick(form.FBtn_ChangeDir);
    EXPECT_EQ(form.Edt_InstallDir->text(), "/");
}

TEST(FolderDialog, DownloadPageDialogStaysInsideItsRoot) {
    QTemporaryDir tmp;
    ASSERT_TRUE(QDir().mkpath(tmp.path() + "/sub"));
    TMainForm form;
    form.show();
    form.Edt_FileName->setText(tmp.path());
    QString startedIn, afterLeaving;
    WhenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdU16String(), u"请选择文件夹");
        startedIn = dialog->directory().absolutePath();
        // The dialog's own button for the parent folder cannot leave the root.
        auto* up = dialog->findChild<QToolButton*>(QStringLiteral("toParentButton"));
        ASSERT_NE(up, nullptr);
        up->click();
        afterLeaving = dialog->directory().absolutePath();
        ChooseFolder(dialog, tmp.path() + "/sub");
    });
    form.Btn_DirClick(form.Btn_Dir);
    EXPECT_EQ(startedIn, tmp.path());
    EXPECT_EQ(afterLeaving, tmp.path());
    EXPECT_EQ(form.Edt_FileName->text(), tmp.path() + "/sub");

    // A root that names no folder (the page's "C:" here) leaves the tree open.
    form.Edt_FileName->setText("C:");
    QString openedIn, afterUp;
    WhenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
        openedIn = dialog->directory().absolutePath();
        dialog->findChild<QToolButton*>(QStringLiteral("toParentButton"))->click();
        afterUp = dialog->directory().absolutePath();
        ChooseFolder(dialog, tmp.path());
    });
    form.Btn_DirClick(form.Btn_Dir);
    EXPECT_TRUE(QFileInfo(openedIn).isDir()) << openedIn.toStdString();
    if (openedIn != QDir::rootPath()) {
        EXPECT_EQ(afterUp, QFileInfo(openedIn).absolutePath());
    }
    EXPECT_EQ(form.Edt_FileName->text(), tmp.path());
}

TEST(MessageBox, UnattendedWritesToStandardErrorAndTakesTheDefault) {
    dialogs::SetUnattended(true);
    testing::internal::CaptureStderr();
    const auto answer = dialogs::ShowMessageBox(u"获取软件网络信息失败，请稍后重试！", {}, dialogs::TMsgButtons::YesNo,
                                                dialogs::TMsgResult::No);
    const std::string err = testing::internal::GetCapturedStderr();
    dialogs::SetUnattended(false);
    EXPECT_EQ(answer, dialogs::TMsgResult::No);
    EXPECT_NE(err.find("获取软件网络信息失败，请稍后重试！"), std::string::npos) << err;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(MessageBox, WorkerThreadWaitsForTheBoxOnTheWindowThread) {
    std::atomic<bool> done{false};
    std::atomic<bool> shownOnWindowThread{false};
    dialogs::TMsgResult answer = dialogs::TMsgResult::Ok;
    WhenModalOpens<QMessageBox>([&](QMessageBox* box) {
        shownOnWindowThread = box->thread() == QApplication::instance()->thread();
        EXPECT_EQ(box->text().toStdU16String(), u"解压文件错误");
        box->button(QMessageBox::Cancel)->click();
    });
    std::thread worker([&] {
        answer = dialogs::ShowMessageBox(u"解压文件错误", {}, dialogs::TMsgButtons::OkCancel);
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 10000) QApplication::processEvents();
    worker.join();
    EXPECT_TRUE(shownOnWindowThread);
    EXPECT_EQ(answer, dialogs::TMsgResult::Cancel);
}

// Qt's own texts of the folder dialog and the message boxes come in the
// language of the program's locale, and in Chinese when the toolkit has no
// translation for it (the C locale here).
TEST(Dialogs, ToolkitTextsFollowTheLocaleWithChineseAsDefault) {
    struct Case {
        QLocale locale;
        std::u16string lookIn, choose, cancel, ok;
    } cases[] = {
        {QLocale::c(), u"查找范围：", u"选择(&C)", u"取消", u"确定"},
        {QLocale(QLocale::Chinese, QLocale::China), u"查找范围：", u"选择(&C)", u"取消", u"确定"},
        {QLocale(QLocale::German, QLocale::Germany), u"Suchen in:", u"&Auswählen", u"Abbrechen", u"OK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        QTranslator* translator = dialogs::InstallToolkitTranslations(c.locale);
        ASSERT_NE(translator, nullptr);
        std::u16string lookIn, choose, cancel, ok;
        WhenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
            lookIn = dialog->findChild<QLabel*>(QStringLiteral("lookInLabel"))->text().toStdU16String();
            auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
            choose = buttons->button(QDialogButtonBox::Open)->text().toStdU16String();
            cancel = buttons->button(QDialogButtonBox::Cancel)->text().toStdU16String();
            dialog->reject();
        });
        std::u16string directory;
        EXPECT_FALSE(dialogs::BrowseForFolder(u"请选择文件夹", {}, directory));
        WhenModalOpens<QMessageBox>([&](QMessageBox* box) {
            ok = box->button(QMessageBox::Ok)->text().toStdU16String();
            box->button(QMessageBox::Ok)->click();
        });
        dialogs::ShowMessageBox(u"无效的文件路径！");
        QCoreApplication::removeTranslator(translator);
        delete translator;
        EXPECT_EQ(lookIn, c.lookIn);
        EXPECT_EQ(choose, c.choose);
        EXPECT_EQ(cancel, c.cancel);
        EXPECT_EQ(ok, c.ok);
    }
}
