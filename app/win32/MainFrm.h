// TMainForm for Windows: the program's one borderless window as a native
// Win32 window. The person installing the client picks an install folder
// here and presses Install; the window shows the installation's progress and
// state until the program ends. The flows it runs are TInstaller's
// (app/Installer.h); the window gives them IInstallerWindow.
//
// The title and centre panels, the labels and the two pictures are painted
// by the window itself (windowless); the edit box and the hidden log box are
// system EDIT controls; the gauge, the four image buttons and the hint line
// are the Win32 painters of controls/win32.
//
// DPI. The layout is given at 96 DPI; the window scales all of it (its size,
// every place, the fonts, the artwork) to the DPI of its monitor, and again
// when it moves to a monitor of another DPI (WM_DPICHANGED).
//
// Keyboard. The message loop passes every message through
// TranslateDialogKey: Tab and Shift+Tab move between the folder box, Change
// and Install; Space and Enter press the focused button; Enter in the folder
// box presses Install; Escape runs the close flow.
//
// Threads. The window lives on the program's main thread. Code on a worker
// thread changes the window only through RunOnWindowThread (a posted
// message, applied in call order) or CallOnWindowThread (a sent message, the
// worker waits); the gauges may be driven directly from any thread.
#pragma once

#include "app/GaugeAdapter.h"
#include "app/Installer.h"
#include "app/InstallerWindow.h"
#include "app/WindowStates.h"
#include "controls/win32/Gdi.h"
#include "controls/win32/ImageButton.h"
#include "controls/win32/Label.h"
#include "controls/win32/ProgressGauge.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using controls::win32::TImageButton;
using controls::win32::TLabel;
using controls::win32::TProgressGauge;

class TMainForm : public IInstallerWindow, public TInstaller {
public:
    TMainForm();
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    HWND Handle() const { return hwnd_; }
    // Shows the window centred on the screen (FormShow runs) and paints it.
    void Show();

    // ---- The four image buttons and the gauge ----
    std::unique_ptr<TImageButton> FBtn_Min, FBtn_Close1, FBtn_Install, FBtn_ChangeDir;
    std::unique_ptr<TProgressGauge> G_Process;
    // The download page's gauge, on the page that is never shown.
    std::unique_ptr<TProgressGauge> G_DownLoad;
    HWND Edt_InstallDir = nullptr;
    HWND M_Log = nullptr;
    // The hint line.
    std::unique_ptr<TLabel> lb_Hint;

    // What the Install, Change and close buttons run: the flows' handlers
    // (tests may put others in their place).
    std::function<void()> OnInstallClick, OnChangeDirClick, OnCloseClick;

    // ---- The window's own operations ----
    void FormCreate();
    void FormShow();
    void CreateImageButtons();
    // Lays the window out for Dpi: size, places, fonts and artwork. Suggested
    // is where the system wants the window (WM_DPICHANGED), else it stays.
    void ApplyDpi(UINT Dpi, const RECT* Suggested);
    UINT Dpi() const { return dpi_; }
    // A length of the 96-DPI layout at the window's DPI.
    int Scale(int Pixels) const;
    // Handles Message when it is one of the window's dialog keys (then it
    // must not be translated or dispatched again).
    bool TranslateDialogKey(MSG& Message);
    // Starts the system's move of the window for the left button.
    void Lbl_ApplicationNameMouseDown(bool LeftButton);
    void Btn_MinClick();

    // ---- IInstallerWindow: changes from any thread ----
    // Applies one row of the state table.
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
    // The download page is never shown; its values are kept without controls.
    void SetHint1(const std::u16string& Text) override;
    std::u16string PackageFolderText() override;
    void SetPackageFolderText(const std::u16string& Text) override;
    bool DesktopShortcutChecked() override { return true; }
    bool RunAfterInstallChecked() override { return true; }
    void SetDownloadPageEnabled(bool Enabled) override;
    // Ends the message loop with Status; the program then exits.
    void EndMessageLoop(int Status) override;
    // Processes pending window messages on the window's thread; does nothing
    // on any other thread.
    void ProcessMessages() override;
    // Runs Action on the window's thread: at once when called there, else
    // posted (in call order) without waiting.
    void RunOnWindowThread(std::function<void()> Action) override;
    void PostToWindowThread(std::function<void()> Action) override;

    void SetHint(const std::u16string& Text);
    void SetHintColor(controls::TColor Color);
    std::u16string PercentText();
    bool PercentVisible();
    // Runs Action on the window's thread and waits for it. Never call it from
    // a worker while the window's thread waits for that worker.
    void CallOnWindowThread(const std::function<void()>& Action);

    // What the window shows now, read from the screen (its client area).
    controls::win32::TImage Picture();

    // ---- For tests: where each windowless part is painted ----
    struct TPart {
        const char* Name;
        RECT Bounds;  // in the window's client area
    };
    std::vector<TPart> WindowlessParts();

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void Paint(HDC Target);
    // The rectangle of a label's text at (Left, Top) in the window.
    RECT LabelBounds(int Left, int Top, HFONT Font, const std::u16string& Text, int Height = 0) const;
    // The same for a label on the centre panel, (Left, Top) relative to the panel at 96 DPI.
    RECT CenterLabelBounds(int Left, int Top, HFONT Font, const std::u16string& Text) const;
    void InvalidatePercent();
    // Rectangles of the 96-DPI layout at the window's DPI: in the window, and
    // on the centre panel (given relative to the panel's corner).
    RECT Scaled(int Left, int Top, int Width, int Height) const;
    RECT OnCenter(int Left, int Top, int Width, int Height) const;
    // The white centre panel; the window's teal frame lies around it.
    RECT PanelRect() const;
    bool OnWindowThread() const { return GetCurrentThreadId() == thread_; }

    HWND hwnd_ = nullptr;
    DWORD thread_ = 0;
    UINT dpi_ = 96;
    // Fonts: "微软雅黑" at 17, 16 bold, 16 and 14 pixels (at 96 DPI).
    HFONT fontTitle_ = nullptr, fontBold16_ = nullptr, font16_ = nullptr, font14_ = nullptr;
    controls::win32::TImage icon_, logo_;
    std::vector<controls::win32::TImage> ImageList, ImageList1, ImageList2;
    std::u16string appName_;
    std::u16string percent_;
    bool percentVisible_ = false;
    std::unique_ptr<TGaugeAdapter<TProgressGauge>> installGauge_, downloadGauge_;
    // The hidden page control and the download page's values.
    bool autoUpdatePage_ = false;
    std::u16string hint1_;
    std::u16string packageFolder_;
    bool downloadPageEnabled_ = true;
};
