// TMainForm: the program's one borderless window. The person installing the
// client picks an install folder here and presses Install; the window shows
// the installation's progress and state until the program ends.
//
// Threads. The window lives on the program's main thread. The downloader calls
// the completion and error handlers on its worker thread, so the whole
// installation runs there. Code on a worker thread never touches a widget
// itself: it uses the routines under "Changes from any thread" below, which
// apply the change at once on the window's thread and queue it to the
// window's thread (in call order) from any other thread. The gauges may be
// driven directly from any thread (see controls/ProgressGauge.h).
#pragma once

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

namespace download { class THttpDownLoad; }
namespace http { class TNetHTTP; }
namespace unzip { class TUnZipper; }

using controls::TImageButton;
using controls::TProgressGauge;
using download::THttpDownLoad;

// The rows of the window's state table: hint text and colour, whether Install
// and Change are enabled, and the percent label.
enum class TWindowState {
    Ready,           // at creation
    AskingServer,    // Install pressed
    Downloading,     // archive address received
    Installing,      // download complete
    InstallFailed,   // extraction failed (Change stays disabled)
    StartingClient,  // extraction done
    NetworkFailure,  // request or download failed (red hint; label hidden, "0%")
    NoInstallFolder, // Install pressed with an empty install folder (red hint)
};

class TMainForm : public QWidget {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- Fields used by the flows (empty at creation) ----
    std::u16string FUrl;      // address of the running installation's release archive
    std::u16string FAppName;  // full path of the client executable the installation produces

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
    // The extraction component (its start and end events run
    // UnZipperStartUnZip and UnZipperEndUnZip) and the download page's HTTP
    // client, both owned by the window.
    std::unique_ptr<unzip::TUnZipper> UnZipper;
    std::unique_ptr<http::TNetHTTP> NetHTTP;
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
    void Btn_SelectDirClick(QObject* Sender);
    void Btn_DirClick(QObject* Sender);

    // ---- The installation flows ----
    void Btn_CloseClick(QObject* Sender);
    void Btn_InstallClick(QObject* Sender);
    void AutoUpdate(const std::u16string& Url, const std::u16string& AppName);
    void DownLoadError(THttpDownLoad* Sender);
    void DownLoadFinish(THttpDownLoad* Sender);
    void UnZipperStartUnZip(unzip::TUnZipper* Sender, int FileIndex, std::u16string& FName, bool& Skip);
    void UnZipperEndUnZip(unzip::TUnZipper* Sender, int FileIndex, const std::u16string& FName);
    void Btn_DownLoadAndRunClick(QObject* Sender);
    void Btn_Close1Click(QObject* Sender);
    // The work folder inside the client folder (created when missing), or
    // empty text when FAppName is empty.
    std::u16string GetUpdateDir();
    // Unattended mode: presses Install once the message loop runs. The run
    // ends the program itself (status 0), or in the network-failure state
    // (status 1) or the installation-failed state (status 2).
    void StartUnattended();

    // ---- Changes from any thread ----
    // Applies one row of the state table (hint text and colour, Install and
    // Change enabled, percent label). The one place the states are made.
    void SetWindowState(TWindowState State);
    void SetHint(const std::u16string& Text);
    void SetHintColor(const QColor& Color);
    void SetPercentText(const std::u16string& Text);
    void SetPercentVisible(bool Visible);
    void SetInstallEnabled(bool Enabled);
    void SetChangeDirEnabled(bool Enabled);
    void AddLogLine(const std::u16string& Line);
    void SetHint1(const std::u16string& Text);  // the download page's hint line
    // Ends the message loop; the program then exits normally.
    void EndMessageLoop();
    // Processes pending window messages on the window's thread; does nothing
    // on any other thread.
    void ProcessMessages();

    // Runs Action on the window's thread: at once when called there, else
    // queued (in call order) without waiting.
    template <class F>
    void RunOnWindowThread(F&& Action) {
        if (QThread::currentThread() == thread()) {
            std::forward<F>(Action)();
        } else {
            QMetaObject::invokeMethod(this, std::forward<F>(Action), Qt::QueuedConnection);
        }
    }

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

    // Reads the install folder box (any thread).
    std::u16string InstallDirText();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Private operations of the flows.
    void InstallUpdate(THttpDownLoad* Sender);
    void InstallPackage(THttpDownLoad* Sender);
    std::u16string GetDownLoadUrl(const std::u16string& Url);
    void WriteUninstallInfo(const std::u16string& Folder);
    void CreateShortcut(const std::u16string& FileName);

    void BuildComponents();
    void BuildDownloadPage();
    void LoadImageLists();
    void AlignTitleButtons();
    void SetLabelText(QLabel* Label, const std::u16string& Text);

    bool shown_ = false;
    // The window drag done by the program itself where the platform offers no
    // system move: the pointer's offset from the window's corner.
    bool dragging_ = false;
    QPoint dragOffset_;
};
