// TMainForm for Qt: the program's one borderless window. The person
// installing the client picks an install folder here and presses Install;
// the window shows the installation's progress and state until the program
// ends. The flows it runs are TInstaller's (app/Installer.h); the window
// gives them IInstallerWindow.
//
// Keyboard: Tab and Shift+Tab move between the folder box, Change and
// Install; Space and Enter press the focused button, Enter in the folder box
// presses Install, Escape runs the close flow. High DPI: Qt scales the whole
// window; the artwork has sharp copies for twice the pixels (NAME@2x.png).
//
// Threads. The window lives on the program's main thread. The downloader calls
// the completion and error handlers on its worker thread, so the whole
// installation runs there. Code on a worker thread never touches a widget
// itself: it uses the routines under "Changes from any thread" below, which
// apply the change at once on the window's thread and queue it to the
// window's thread (in call order) from any other thread. The gauges may be
// driven directly from any thread (see controls/ProgressGauge.h).
#pragma once

#include "app/GaugeAdapter.h"
#include "app/Installer.h"
#include "app/InstallerWindow.h"
#include "controls/qt/ImageButton.h"
#include "controls/qt/ProgressGauge.h"

#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include <future>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

using controls::TImageButton;
using controls::TProgressGauge;

class TMainForm : public QWidget, public IInstallerWindow, public TInstaller {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- The four image buttons, created in code, children of their panels ----
    TImageButton* FBtn_Min = nullptr;
    TImageButton* FBtn_Close1 = nullptr;
    TImageButton* FBtn_Install = nullptr;
    TImageButton* FBtn_ChangeDir = nullptr;

    // ---- Visible components ----
    QWidget* pl_Title = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Lbl_ApplicationName = nullptr;
    QWidget* pl_Center = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Lb_InstallPostion = nullptr;
    QLineEdit* Edt_InstallDir = nullptr;
    QLabel* Lb_DownHit = nullptr;
    QLabel* lb_Hint = nullptr;
    QLabel* Lb_ProcessPostion = nullptr;
    TProgressGauge* G_Process = nullptr;

    // ---- Hidden components ----
    // The page control, never shown, and its two pages.
    QTabWidget* PG = nullptr;
    QWidget* tb_AutoUpdate = nullptr;
    QPlainTextEdit* M_Log = nullptr;
    QWidget* tb_Download = nullptr;
    // The download page.
    QLabel* Lb_Heading = nullptr;
    QFrame* pl_Separator = nullptr;
    QCheckBox* CheckB_DeskTop = nullptr;
    QCheckBox* CheckB_InstallAndRun = nullptr;
    QLabel* Lb_FolderCaption = nullptr;
    QLineEdit* Edt_FileName = nullptr;
    QPushButton* Btn_Dir = nullptr;
    QLabel* Lb_PromptCaption = nullptr;
    QLabel* lb_Hint1 = nullptr;
    TProgressGauge* G_DownLoad = nullptr;
    QPushButton* Btn_DownLoadAndRun = nullptr;
    QPushButton* Btn_Close1 = nullptr;
    // The button artwork: 30 x 30 (close and minimise), 117 x 44 (Install),
    // 74 x 28 (Change), 32-bit with alpha.
    std::vector<QImage> ImageList;
    std::vector<QImage> ImageList1;
    std::vector<QImage> ImageList2;

    // ---- The window's own operations ----
    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void CreateImageButtons();
    // Starts a window drag for the left button; other buttons do nothing.
    void Lbl_ApplicationNameMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                                      int X, int Y);
    void Btn_MinClick(QObject* Sender);

    // ---- Changes from any thread ----
    // Applies one row of the state table (hint text and colour, Install and
    // Change enabled, percent label). The one place the states are made.
    void SetWindowState(TWindowState State) override;
    std::u16string HintText() override;
    void SetPercentText(const std::u16string& Text) override;
    void SetPercentVisible(bool Visible) override;
    void AddLogLine(const std::u16string& Line) override;
    std::u16string InstallDirText() override;
    void SetInstallDirText(const std::u16string& Text) override;
    download::IProgressGauge& InstallGauge() override { return *installGauge_; }
    download::IProgressGauge& DownloadPageGauge() override { return *downloadGauge_; }
    void ShowAutoUpdatePage() override;
    bool AutoUpdatePageActive() override;
    void SetHint1(const std::u16string& Text) override;  // the download page's hint line
    std::u16string PackageFolderText() override;
    void SetPackageFolderText(const std::u16string& Text) override;
    bool DesktopShortcutChecked() override;
    bool RunAfterInstallChecked() override;
    void SetDownloadPageEnabled(bool Enabled) override;
    void RunOnWindowThread(std::function<void()> Action) override;
    void PostToWindowThread(std::function<void()> Action) override;
    // Ends the message loop; the program then exits with Status.
    void EndMessageLoop(int Status) override;
    // Processes pending window messages on the window's thread; does nothing
    // on any other thread.
    void ProcessMessages() override;

    // Runs Action on the window's thread and returns its result; a worker
    // thread waits for it (so reading a widget's value is safe). Never call it
    // from a worker while the window's thread waits for that worker.
    template <class F>
    auto CallOnWindowThread(F&& Action) -> std::invoke_result_t<F&> {
        if (QThread::currentThread() == thread()) return Action();
        using R = std::invoke_result_t<F&>;
        std::packaged_task<R()> task(std::forward<F>(Action));
        auto result = task.get_future();
        QMetaObject::invokeMethod(this, [&task] { task(); }, Qt::BlockingQueuedConnection);
        return result.get();
    }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildComponents();
    void BuildDownloadPage();
    void LoadImageLists();
    void AlignTitleButtons();
    void SetLabelText(QLabel* Label, const std::u16string& Text);

    std::unique_ptr<TGaugeAdapter<TProgressGauge>> installGauge_, downloadGauge_;
    bool shown_ = false;
    // The window drag done by the program itself where the platform offers no
    // system move: the pointer's offset from the window's corner.
    bool dragging_ = false;
    QPoint dragOffset_;
};
