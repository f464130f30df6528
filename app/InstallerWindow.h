// The main window as the installation flows see it: the one small interface
// that the Qt window (Linux) and the Win32 window (Windows) implement, free
// of any window toolkit.
//
// Members marked "any thread" may be called from the downloader's worker
// thread; the window applies the change on its own thread (at once when
// called there, else queued in call order).
#pragma once

#include <functional>
#include <string>

#include "app/WindowStates.h"

namespace download { class IProgressGauge; }

class IInstallerWindow {
public:
    virtual ~IInstallerWindow() = default;

    // ---- Any thread ----
    // Applies one row of the state table (app/WindowStates.h), painted at once.
    virtual void SetWindowState(TWindowState State) = 0;
    virtual std::u16string HintText() = 0;
    virtual void SetPercentText(const std::u16string& Text) = 0;
    virtual void SetPercentVisible(bool Visible) = 0;
    // Appends one line to the hidden log box M_Log.
    virtual void AddLogLine(const std::u16string& Line) = 0;
    // The install folder box Edt_InstallDir.
    virtual std::u16string InstallDirText() = 0;
    virtual void SetInstallDirText(const std::u16string& Text) = 0;
    // The gauges G_Process (install page) and G_DownLoad (download page).
    virtual download::IProgressGauge& InstallGauge() = 0;
    virtual download::IProgressGauge& DownloadPageGauge() = 0;
    // The hidden page control: which page is active.
    virtual void ShowAutoUpdatePage() = 0;
    virtual bool AutoUpdatePageActive() = 0;
    // The download page: its hint line, its folder box and check boxes, and
    // its controls enabled or disabled together.
    virtual void SetHint1(const std::u16string& Text) = 0;
    virtual std::u16string PackageFolderText() = 0;
    virtual void SetPackageFolderText(const std::u16string& Text) = 0;
    virtual bool DesktopShortcutChecked() = 0;
    virtual bool RunAfterInstallChecked() = 0;
    virtual void SetDownloadPageEnabled(bool Enabled) = 0;

    // Runs Action on the window's thread: at once when called there, else
    // queued (in call order) without waiting.
    virtual void RunOnWindowThread(std::function<void()> Action) = 0;
    // Queues Action to the window's thread even when called there.
    virtual void PostToWindowThread(std::function<void()> Action) = 0;
    // Ends the message loop (queued behind what is pending); the program
    // then exits with Status.
    virtual void EndMessageLoop(int Status) = 0;

    // ---- The window's thread ----
    // Processes pending window messages; does nothing on any other thread.
    virtual void ProcessMessages() = 0;
};
