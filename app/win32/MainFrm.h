// TMainForm for Windows: the program's one borderless window as a native
// Win32 window. The person installing the client picks an install folder
// here and presses Install; the window shows the installation's progress and
// state until the program ends.
//
// The title and centre panels, the labels and the two pictures are painted
// by the window itself (windowless); the edit box and the hidden log box are
// system EDIT controls; the gauge and the four image buttons are the Win32
// painters of controls/win32.
//
// Threads. The window lives on the program's main thread. Code on a worker
// thread changes the window only through RunOnWindowThread (a posted
// message, applied in call order) or CallOnWindowThread (a sent message, the
// worker waits); the gauges may be driven directly from any thread.
#pragma once

#include "app/WindowStates.h"
#include "controls/win32/Gdi.h"
#include "controls/win32/ImageButton.h"
#include "controls/win32/ProgressGauge.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using controls::win32::TImageButton;
using controls::win32::TProgressGauge;

class TMainForm {
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

    // What the buttons run; set by the flows.
    std::function<void()> OnInstallClick, OnChangeDirClick, OnCloseClick;

    // ---- The window's own operations ----
    void FormCreate();
    void FormShow();
    void CreateImageButtons();
    // Starts the system's move of the window for the left button.
    void Lbl_ApplicationNameMouseDown(bool LeftButton);
    void Btn_MinClick();

    // ---- Changes from any thread ----
    // Applies one row of the state table.
    void SetWindowState(TWindowState State);
    void SetHint(const std::u16string& Text);
    void SetHintColor(controls::TColor Color);
    void SetPercentText(const std::u16string& Text);
    void SetPercentVisible(bool Visible);
    void AddLogLine(const std::u16string& Line);
    std::u16string HintText();
    std::u16string PercentText();
    bool PercentVisible();
    std::u16string InstallDirText();
    void SetInstallDirText(const std::u16string& Text);
    // Ends the message loop with Status; the program then exits.
    void EndMessageLoop(int Status = 0);
    // Processes pending window messages on the window's thread; does nothing
    // on any other thread.
    void ProcessMessages();

    // Runs Action on the window's thread: at once when called there, else
    // posted (in call order) without waiting.
    void RunOnWindowThread(std::function<void()> Action);
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
    void InvalidateLabel(int Left, int Top, HFONT Font, const std::u16string& Text);
    bool OnWindowThread() const { return GetCurrentThreadId() == thread_; }

    HWND hwnd_ = nullptr;
    DWORD thread_ = 0;
    // Fonts: "微软雅黑" at 17, 16 bold, 16 and 14 pixels.
    HFONT fontTitle_ = nullptr, fontBold16_ = nullptr, font16_ = nullptr, font14_ = nullptr;
    controls::win32::TImage icon_, logo_;
    std::vector<controls::win32::TImage> ImageList, ImageList1, ImageList2;
    std::u16string appName_;
    std::u16string hint_;
    controls::TColor hintColor_ = app::kMidGrey;
    std::u16string percent_;
    bool percentVisible_ = false;
};
