#include "app/qt/MainFrm.h"
#include "app/Texts.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

namespace {

const QColor kTeal(0x02, 0xB4, 0xA8), kDarkGrey(0x33, 0x33, 0x33), kMidGrey(0x66, 0x66, 0x66),
    kRed(0xDD, 0x4B, 0x39);

// Sets an environment variable (or removes it) for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value) : name_(name) {
        if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name);
        if (value) qputenv(name, *value); else qunsetenv(name);
    }
    ~ScopedEnv() { if (old_) qputenv(name_, *old_); else qunsetenv(name_); }

private:
    const char* name_;
    std::optional<QByteArray> old_;
};

std::unique_ptr<TMainForm> ShownForm() {
    auto form = std::make_unique<TMainForm>();
    form->show();
    QApplication::processEvents();
    return form;
}

QColor TextColor(QWidget* w) { return w->palette().color(QPalette::WindowText); }

}  // namespace

TEST(MainWindow, WindowIsBorderless600x400WithTitleAndTealFrame) {
    auto form = ShownForm();
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->size(), QSize(600, 400));
    EXPECT_EQ(form->windowTitle(), QString::fromStdU16String(u"Zelvanoviz-自动更新服务"));
    const QImage image = form->grab().toImage();
    for (QPoint p : {QPoint(0, 200), QPoint(1, 200), QPoint(598, 200), QPoint(599, 200), QPoint(300, 398),
                     QPoint(300, 399), QPoint(300, 5)}) {
        EXPECT_EQ(image.pixelColor(p), kTeal) << p.x() << "," << p.y();
    }
    for (QPoint p : {QPoint(2, 200), QPoint(597, 200), QPoint(300, 397), QPoint(10, 41)}) {
        EXPECT_EQ(image.pixelColor(p), QColor(Qt::white)) << p.x() << "," << p.y();
    }
}

TEST(MainWindow, ComponentsSitWhereTheLayoutTablesPutThem) {
    auto form = ShownForm();
    TMainForm& f = *form;
    struct Row { QWidget* widget; QWidget* parent; QRect geometry; };
    const Row rows[] = {
        {f.pl_Title, &f, {0, 0, 600, 40}},
        {f.Image1, f.pl_Title, {30, 5, 30, 30}},
        {f.FBtn_Close1, f.pl_Title, {542, 0, 28, 40}},
        {f.FBtn_Min, f.pl_Title, {504, 0, 28, 40}},
        {f.pl_Center, &f, {2, 40, 596, 358}},
        {f.Image2, f.pl_Center, {165, 30, 230, 60}},
        {f.Edt_InstallDir, f.pl_Center, {117, 123, 358, 29}},
        {f.FBtn_ChangeDir, f.pl_Center, {494, 123, 74, 28}},
        {f.G_Process, f.pl_Center, {35, 239, 525, 15}},
        {f.FBtn_Install, f.pl_Center, {234, 282, 117, 44}},
        {f.PG, f.pl_Center, {0, 0, 36, 33}},
        {f.Edt_FileName, f.tb_Download, {86, 162, 336, 27}},
        {f.Btn_Dir, f.tb_Download, {429, 163, 39, 26}},
        {f.G_DownLoad, f.tb_Download, {15, 259, 455, 25}},
        {f.Btn_DownLoadAndRun, f.tb_Download, {304, 317, 84, 25}},
        {f.Btn_Close1, f.tb_Download, {394, 317, 75, 25}},
        {f.pl_Separator, f.tb_Download, {16, 36, 446, 3}},
    };
    for (const Row& r : rows) {
        ASSERT_NE(r.widget, nullptr);
        EXPECT_EQ(r.widget->parentWidget(), r.parent) << r.widget->objectName().toStdString();
        EXPECT_EQ(r.widget->geometry(), r.geometry) << r.widget->objectName().toStdString();
    }
    // Labels size themselves; only their corner is fixed.
    struct Label { QWidget* widget; QWidget* parent; QPoint pos; int pixels; QColor color; };
    const Label labels[] = {
        {f.Lbl_ApplicationName, f.pl_Title, {67, 8}, 17, Qt::white},
        {f.Lb_InstallPostion, f.pl_Center, {31, 126}, 16, kDarkGrey},
        {f.Lb_DownHit, f.pl_Center, {30, 167}, 14, kMidGrey},
        {f.lb_Hint, f.pl_Center, {114, 167}, 14, kMidGrey},
        {f.Lb_ProcessPostion, f.pl_Center, {278, 209}, 16, kDarkGrey},
        {f.Lb_Heading, f.tb_Download, {15, 7}, 21, TextColor(f.Lb_Heading)},
        {f.lb_Hint1, f.tb_Download, {61, 227}, 13, TextColor(f.lb_Hint1)},
    };
    for (const Label& l : labels) {
        EXPECT_EQ(l.widget->parentWidget(), l.parent);
        EXPECT_EQ(l.widget->pos(), l.pos) << l.widget->objectName().toStdString();
        EXPECT_EQ(l.widget->font().pixelSize(), l.pixels) << l.widget->objectName().toStdString();
        EXPECT_EQ(l.widget->font().family(), QString::fromStdU16String(u"微软雅黑"));
        EXPECT_EQ(TextColor(l.widget), l.color) << l.widget->objectName().toStdString();
    }
    EXPECT_TRUE(f.Lb_InstallPostion->font().bold());
    EXPECT_EQ(f.Lbl_ApplicationName->height(), 23);
    EXPECT_EQ(f.Lbl_ApplicationName->width(), f.Lbl_ApplicationName->sizeHint().width());
    EXPECT_EQ(f.Lbl_ApplicationName->text(), QString::fromStdU16String(u"Zelvano在线 \u2014 安装程序V2.0"));
    EXPECT_EQ(f.CheckB_DeskTop->pos(), QPoint(24, 64));
    EXPECT_EQ(f.CheckB_InstallAndRun->pos(), QPoint(24, 104));
    EXPECT_TRUE(f.CheckB_DeskTop->isChecked());
    EXPECT_TRUE(f.CheckB_InstallAndRun->isChecked());

    // The install folder box shows the folder but cannot be typed in; it
    // takes the keyboard focus.
    EXPECT_TRUE(f.Edt_InstallDir->isEnabled());
    EXPECT_TRUE(f.Edt_InstallDir->isReadOnly());
    EXPECT_TRUE(f.Edt_FileName->isReadOnly());
    // The hidden page control stays hidden with the download page active.
    EXPECT_FALSE(f.PG->isVisible());
    EXPECT_EQ(f.PG->currentWidget(), f.tb_Download);
    EXPECT_EQ(f.M_Log->parentWidget(), f.tb_AutoUpdate);
    EXPECT_TRUE(f.M_Log->isReadOnly());
}

TEST(MainWindow, CreationSetsTheStartingState) {
    auto form = ShownForm();
    TMainForm& f = *form;
    EXPECT_EQ(f.lb_Hint->text().toStdU16String(), texts::SHintReady);
    EXPECT_EQ(f.lb_Hint->text().back(), QChar(' '));
    EXPECT_FALSE(f.Lb_ProcessPostion->isVisible());
    EXPECT_EQ(f.Lb_ProcessPostion->text(), "0%");
    EXPECT_EQ(f.Edt_FileName->text(), "C:");
    EXPECT_EQ(f.G_Process->Progress(), 0);
    EXPECT_EQ(f.G_Process->MaxValue(), 100);
    EXPECT_FALSE(f.G_Process->ShowText());
    EXPECT_EQ(f.G_Process->BorderStyle(), controls::bsNone);
    EXPECT_EQ(f.G_Process->BackColor(), 0xCCCCCC);
    EXPECT_EQ(f.G_Process->ForeColor(), controls::RGBToColor(2, 180, 168));
    EXPECT_EQ(f.G_Process->Suffix(), u"%");
    EXPECT_EQ(f.G_DownLoad->ForeColor(), controls::clBlack);
    EXPECT_TRUE(f.FUrl.empty());
    EXPECT_TRUE(f.FAppName.empty());
    EXPECT_TRUE(f.FBtn_Install->isEnabled());
    EXPECT_TRUE(f.FBtn_ChangeDir->isEnabled());
}

TEST(MainWindow, InstallFolderComesFromProgramFiles) {
    {
        ScopedEnv env("PROGRAMFILES", QByteArray("/opt/程序"));
        TMainForm form;
        EXPECT_EQ(form.Edt_InstallDir->text(), QString::fromStdU16String(u"/opt/程序"));
    }
    {
        ScopedEnv env("PROGRAMFILES", std::nullopt);
        TMainForm form;
        EXPECT_TRUE(form.Edt_InstallDir->text().isEmpty());
    }
}

TEST(MainWindow, ImageButtonsShowTheirArtworkAndHints) {
    auto form = ShownForm();
    TMainForm& f = *form;
    struct Row { TImageButton* button; const char16_t* hint; const QImage& normal; const QImage& hot; QSize size; };
    const Row rows[] = {
        {f.FBtn_Min, u"最小化", f.ImageList[3], f.ImageList[2], {30, 30}},
        {f.FBtn_Close1, u"关闭", f.ImageList[1], f.ImageList[0], {30, 30}},
        {f.FBtn_Install, u"安装", f.ImageList1[0], f.ImageList1[1], {117, 44}},
        {f.FBtn_ChangeDir, u"更改", f.ImageList2[0], f.ImageList2[1], {74, 28}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.button->Hint(), r.hint);
        EXPECT_TRUE(r.button->ShowHint());
        EXPECT_EQ(r.button->toolTip().toStdU16String(), r.hint);
        EXPECT_EQ(r.button->ButtonStyle(), controls::pbsFlat);
        EXPECT_FALSE(r.button->IsDrawFaceOnMouseOver || r.button->IsDrawBorderOnMouseOver ||
                     r.button->IsDrawFaceOnPush || r.button->IsDrawBorderOnPush);
        EXPECT_EQ(r.normal.size(), r.size);
        EXPECT_TRUE(r.normal.hasAlphaChannel());
        EXPECT_EQ(r.button->ImageNormal(), r.normal);
        EXPECT_EQ(r.button->ImageOver(), r.hot);
        EXPECT_EQ(r.button->ImageDown(), r.hot);
    }
    // The faces' colours, sampled away from the drawn cross, bar or word.
    EXPECT_EQ(f.ImageList[0].pixelColor(2, 2), QColor(0xF2, 0x4D, 0x04));
    EXPECT_EQ(f.ImageList[1].pixelColor(2, 2), kTeal);
    EXPECT_EQ(f.ImageList[2].pixelColor(2, 2), QColor(0x01, 0x9B, 0x91));
    EXPECT_EQ(f.ImageList[3].pixelColor(2, 2), kTeal);
    EXPECT_EQ(f.ImageList[1].pixelColor(15, 15), QColor(Qt::white));  // the cross
    EXPECT_EQ(f.ImageList[3].pixelColor(15, 14), QColor(Qt::white));  // the bar
    EXPECT_EQ(f.ImageList1[0].pixelColor(10, 22), kTeal);
    EXPECT_EQ(f.ImageList1[1].pixelColor(10, 22), QColor(0x01, 0x9B, 0x91));
    EXPECT_EQ(f.ImageList2[0].pixelColor(0, 14), kTeal);  // the frame
    EXPECT_EQ(f.ImageList2[0].pixelColor(5, 14), QColor(Qt::white));
    EXPECT_EQ(f.ImageList2[1].pixelColor(5, 14), kTeal);

    // Pointing at the close button shows its orange-red face.
    QTest::mouseMove(f.FBtn_Close1, QPoint(14, 20));
    const QImage shown = f.grab(QRect(542, 0, 28, 40)).toImage();
    EXPECT_EQ(shown.pixelColor(2, 7), QColor(0xF2, 0x4D, 0x04));
}

TEST(MainWindow, StatesFollowTheTable) {
    auto form = ShownForm();
    TMainForm& f = *form;
    struct Row {
        TWindowState state;
        const char16_t* hint;
        QColor color;
        bool install, change, percentShown;
    };
    const Row rows[] = {
        {TWindowState::AskingServer, u"正在安装，请稍后 . . .", kMidGrey, false, false, false},
        {TWindowState::Downloading, u"正在下载最新的应用程序，请稍等 . . . ", kMidGrey, false, false, true},
        {TWindowState::Installing, u"正在安装应用程序，请稍等 . . . ", kMidGrey, false, false, true},
        {TWindowState::InstallFailed, u"安装应用程序失败，请重新安装 . . . ", kMidGrey, true, false, true},
        {TWindowState::StartingClient, u"正在启动应用程序，请稍等 . . . ", kMidGrey, false, false, true},
        {TWindowState::NetworkFailure, u"网络断开安装失败 ，请重新安装 . . .", kRed, true, true, false},
        {TWindowState::AskingServer, u"正在安装，请稍后 . . .", kMidGrey, false, false, false},
        {TWindowState::NoInstallFolder, u"请先选择安装目录 . . . ", kRed, true, true, false},
        {TWindowState::Ready, u"请选择好安装目录，点击『安装』按钮进行程序安装 . . . ", kMidGrey, true, true, false},
    };
    for (const Row& r : rows) {
        f.SetPercentText(u"57%");
        f.SetWindowState(r.state);
        const std::string name = QString::fromStdU16String(r.hint).toStdString();
        EXPECT_EQ(f.lb_Hint->text().toStdU16String(), r.hint) << name;
        EXPECT_EQ(TextColor(f.lb_Hint), r.color) << name;
        EXPECT_EQ(f.lb_Hint->width(), f.lb_Hint->sizeHint().width()) << name;
        EXPECT_EQ(f.FBtn_Install->isEnabled(), r.install) << name;
        EXPECT_EQ(f.FBtn_ChangeDir->isEnabled(), r.change) << name;
        EXPECT_EQ(f.FBtn_Install->ButtonState(), r.install ? controls::pbsNormal : controls::pbsDisabled);
        EXPECT_EQ(f.Lb_ProcessPostion->isVisible(), r.percentShown) << name;
        // Only the network failure resets the reading; installation failed keeps it.
        EXPECT_EQ(f.Lb_ProcessPostion->text(), r.state == TWindowState::NetworkFailure ? "0%" : "57%") << name;
    }
}

TEST(MainWindow, WorkerThreadChangesReachTheWindowInOrder) {
    auto form = ShownForm();
    TMainForm& f = *form;
    std::u16string dirSeenByWorker;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        f.SetWindowState(TWindowState::Downloading);
        f.SetPercentText(u"45%");
        f.AddLogLine(u"解压成功：/tmp/a");
        f.SetWindowState(TWindowState::InstallFailed);
        f.SetHint1(u"最新发布程序包下载已完成。");
        f.G_Process->SetMaxValue(1000);
        f.G_Process->SetProgress(450);
        f.ProcessMessages();  // nothing on a worker thread
        dirSeenByWorker = f.InstallDirText();  // waits for the window's thread
        done = true;
    });
    f.Edt_InstallDir->setText("/srv/安装");
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 10000) QApplication::processEvents();
    worker.join();
    QApplication::processEvents();
    EXPECT_EQ(dirSeenByWorker, f.Edt_InstallDir->text().toStdU16String());
    EXPECT_EQ(f.lb_Hint->text().toStdU16String(), texts::SHintInstallFailed);
    EXPECT_TRUE(f.FBtn_Install->isEnabled());
    EXPECT_FALSE(f.FBtn_ChangeDir->isEnabled());
    EXPECT_EQ(f.Lb_ProcessPostion->text(), "45%");
    EXPECT_TRUE(f.Lb_ProcessPostion->isVisible());
    EXPECT_EQ(f.M_Log->toPlainText(), QString::fromStdU16String(u"解压成功：/tmp/a"));
    EXPECT_EQ(f.lb_Hint1->text().toStdU16String(), u"最新发布程序包下载已完成。");
    EXPECT_EQ(f.G_Process->PercentDone(), 45);
}

TEST(MainWindow, OnlyTheLeftButtonDragsTheWindow) {
    auto form = ShownForm();
    TMainForm& f = *form;
    struct Handle { QWidget* widget; QPoint at; };
    const Handle handles[] = {
        {f.pl_Title, {300, 20}}, {f.Image1, {10, 10}}, {f.Lbl_ApplicationName, {20, 10}}, {f.Image2, {100, 30}}};
    for (const Handle& h : handles) {
        const std::string name = h.widget->objectName().toStdString();
        for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
            const QPoint before = f.pos();
            QTest::mousePress(h.widget, button, {}, h.at);
            QTest::mouseMove(h.widget, h.at + QPoint(40, 25));
            QTest::mouseRelease(h.widget, button, {}, h.at + QPoint(40, 25));
            QApplication::processEvents();
            EXPECT_EQ(f.pos(), before) << name << " button " << button;
        }
        const QPoint before = f.pos();
        QTest::mousePress(h.widget, Qt::LeftButton, {}, h.at);
        QTest::mouseMove(h.widget, h.at + QPoint(40, 25));
        QTest::mouseRelease(h.widget, Qt::LeftButton, {}, h.at + QPoint(40, 25));
        QApplication::processEvents();
        EXPECT_EQ(f.pos(), before + QPoint(40, 25)) << name;
    }
    // Pressing elsewhere (the centre panel) does not drag.
    const QPoint before = f.pos();
    QTest::mousePress(f.pl_Center, Qt::LeftButton, {}, {300, 200});
    QTest::mouseMove(f.pl_Center, {340, 220});
    QTest::mouseRelease(f.pl_Center, Qt::LeftButton, {}, {340, 220});
    QApplication::processEvents();
    EXPECT_EQ(f.pos(), before);
}

TEST(MainWindow, MinimiseIsPostedNotSent) {
    auto form = ShownForm();
    TMainForm& f = *form;
    QTest::mouseClick(f.FBtn_Min, Qt::LeftButton, {}, {14, 20});
    EXPECT_FALSE(f.isMinimized());
    QApplication::processEvents();
    EXPECT_TRUE(f.isMinimized());
}

namespace {

std::unique_ptr<TMainForm> ActiveForm() {
    auto form = ShownForm();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    return form;
}

// Pixels of a button's focus-cue column (3 pixels in) that differ from its face.
int CueDots(TImageButton* button, const QColor& face) {
    const QImage shown = button->grab().toImage();
    int dots = 0;
    for (int y = 6; y < shown.height() - 6; ++y)
        if (shown.pixelColor(3, y) != face) ++dots;
    return dots;
}

}  // namespace

TEST(MainWindow, TabMovesBetweenFolderBoxChangeAndInstallWithAFocusCue) {
    auto form = ActiveForm();
    TMainForm& f = *form;
    // Nothing has the focus at first: the window shows as it always did.
    EXPECT_EQ(QApplication::focusWidget(), &f);
    EXPECT_EQ(CueDots(f.FBtn_Install, kTeal), 0);
    const struct { Qt::Key key; QWidget* expected; } steps[] = {
        {Qt::Key_Tab, f.Edt_InstallDir}, {Qt::Key_Tab, f.FBtn_ChangeDir}, {Qt::Key_Tab, f.FBtn_Install},
        {Qt::Key_Tab, f.Edt_InstallDir}, {Qt::Key_Backtab, f.FBtn_Install}, {Qt::Key_Backtab, f.FBtn_ChangeDir},
    };
    for (const auto& step : steps) {
        QTest::keyClick(QApplication::focusWidget(), step.key);
        EXPECT_EQ(QApplication::focusWidget(), step.expected) << step.expected->objectName().toStdString();
    }
    EXPECT_GT(CueDots(f.FBtn_ChangeDir, Qt::white), 2);
    EXPECT_EQ(CueDots(f.FBtn_Install, kTeal), 0);
    QTest::keyClick(f.FBtn_ChangeDir, Qt::Key_Tab);
    EXPECT_GT(CueDots(f.FBtn_Install, kTeal), 2);
    EXPECT_EQ(CueDots(f.FBtn_ChangeDir, Qt::white), 0);
    EXPECT_EQ(f.FBtn_Close1->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(f.FBtn_Min->focusPolicy(), Qt::NoFocus);
}

TEST(MainWindow, SpaceAndEnterPressTheFocusedButtonAndDisabledButtonsIgnoreKeys) {
    auto form = ActiveForm();
    TMainForm& f = *form;
    int install = 0, change = 0;
    f.FBtn_Install->OnClick = [&](QObject*) { ++install; };
    f.FBtn_ChangeDir->OnClick = [&](QObject*) { ++change; };
    f.FBtn_ChangeDir->setFocus();
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(f.FBtn_ChangeDir, key);
    f.FBtn_Install->setFocus();
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) QTest::keyClick(f.FBtn_Install, key);
    EXPECT_EQ(change, 3);
    EXPECT_EQ(install, 2);
    // A held key presses once.
    QTest::keyPress(f.FBtn_Install, Qt::Key_Space);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QApplication::sendEvent(f.FBtn_Install, &repeat);
    QTest::keyRelease(f.FBtn_Install, Qt::Key_Space);
    EXPECT_EQ(install, 3);

    // Asking the server: both disabled. The focus leaves Install for the
    // folder box, where Enter does nothing now; Tab skips both buttons.
    f.SetWindowState(TWindowState::AskingServer);
    EXPECT_EQ(QApplication::focusWidget(), f.Edt_InstallDir);
    QTest::keyClick(f.Edt_InstallDir, Qt::Key_Return);
    f.FBtn_Install->KeyPress();
    QTest::keyClick(f.Edt_InstallDir, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.Edt_InstallDir);
    EXPECT_EQ(install, 3);
    EXPECT_EQ(change, 3);
}

TEST(MainWindow, EnterInTheFolderBoxStartsAnInstallation) {
    // A server that refuses the connection: the install flow runs and ends
    // in the network-failure state.
    ScopedEnv server("ZELVANO_UPDATE_SERVER", QByteArray("http://127.0.0.1:1"));
    ScopedEnv folder("PROGRAMFILES", QByteArray("/nonexistent/Program Files"));
    auto form = ActiveForm();
    TMainForm& f = *form;
    f.Edt_InstallDir->setFocus();
    QTest::keyClick(f.Edt_InstallDir, Qt::Key_Return);
    QElapsedTimer timer;
    timer.start();
    while (f.lb_Hint->text().toStdU16String() != texts::SHintNetworkFailure && timer.elapsed() < 10000)
        QTest::qWait(20);
    EXPECT_EQ(f.lb_Hint->text().toStdU16String(), texts::SHintNetworkFailure);
}

TEST(MainWindow, EscapeRunsTheCloseFlow) {
    auto form = ActiveForm();
    TMainForm& f = *form;
    for (QWidget* focus : {static_cast<QWidget*>(&f), static_cast<QWidget*>(f.Edt_InstallDir),
                           static_cast<QWidget*>(f.FBtn_Install)}) {
        focus->setFocus();
        // The close flow ends the message loop with status 0.
        QTimer::singleShot(0, focus, [focus] { QTest::keyClick(focus, Qt::Key_Escape); });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        guard.start(5000);
        EXPECT_EQ(QCoreApplication::exec(), 0) << focus->objectName().toStdString();
    }
}

TEST(MainWindow, AssistiveTechnologyReadsNamesRolesAndStates) {
    auto form = ShownForm();
    TMainForm& f = *form;
    struct Row { QWidget* widget; QAccessible::Role role; const char16_t* name; };
    const Row rows[] = {
        {f.FBtn_Install, QAccessible::Button, u"安装"},
        {f.FBtn_ChangeDir, QAccessible::Button, u"更改"},
        {f.FBtn_Close1, QAccessible::Button, u"关闭"},
        {f.FBtn_Min, QAccessible::Button, u"最小化"},
        {f.G_Process, QAccessible::ProgressBar, u"安装进度"},
        {f.lb_Hint, QAccessible::StaticText, texts::SHintReady},
        {f.Edt_InstallDir, QAccessible::EditableText, u"安装位置"},
    };
    for (const Row& r : rows) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(r.widget);
        ASSERT_NE(a, nullptr) << r.widget->objectName().toStdString();
        EXPECT_EQ(a->role(), r.role) << r.widget->objectName().toStdString();
        EXPECT_EQ(a->text(QAccessible::Name).toStdU16String(), r.name) << r.widget->objectName().toStdString();
        EXPECT_FALSE(a->state().disabled) << r.widget->objectName().toStdString();
    }
    QAccessibleInterface* hint = QAccessible::queryAccessibleInterface(f.lb_Hint);
    EXPECT_EQ(hint->text(QAccessible::Description).toStdU16String(), u"安装提示");
    QAccessibleInterface* gauge = QAccessible::queryAccessibleInterface(f.G_Process);
    f.G_Process->SetProgress(40);
    ASSERT_NE(gauge->valueInterface(), nullptr);
    EXPECT_EQ(gauge->valueInterface()->currentValue().toLongLong(), 40);
    EXPECT_EQ(gauge->valueInterface()->maximumValue().toLongLong(), 100);
    EXPECT_EQ(gauge->text(QAccessible::Value), "40%");

    f.SetWindowState(TWindowState::InstallFailed);
    EXPECT_EQ(hint->text(QAccessible::Name).toStdU16String(), texts::SHintInstallFailed);
    QAccessibleInterface* change = QAccessible::queryAccessibleInterface(f.FBtn_ChangeDir);
    QAccessibleInterface* install = QAccessible::queryAccessibleInterface(f.FBtn_Install);
    EXPECT_TRUE(change->state().disabled);
    EXPECT_TRUE(install->state().focusable);
    // The press action clicks, not while the button is disabled.
    int clicks = 0;
    f.FBtn_Install->OnClick = [&](QObject*) { ++clicks; };
    f.FBtn_ChangeDir->OnClick = [&](QObject*) { ++clicks; };
    ASSERT_NE(install->actionInterface(), nullptr);
    EXPECT_TRUE(install->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    install->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    change->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);
}
