// The program's entry on Windows: create and show the main window, paint it
// once, run the message loop. "/skinver" shows the version text first;
// "/silent" installs unattended and writes the hint line it ends with to
// standard error, which is the parent's console when there is one.
#include "app/Dialogs.h"
#include "app/DownLoadLink.h"
#include "app/ReleaseStatement.h"
#include "app/Texts.h"
#include "app/win32/MainFrm.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

// A program of the windows subsystem has no standard error of its own when
// started from a console; it writes to the parent's console instead.
void UseParentConsole() {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error != nullptr && error != INVALID_HANDLE_VALUE) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    SetConsoleOutputCP(CP_UTF8);
    std::freopen("CONOUT$", "w", stderr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    release::SetTrust({kBuiltInReleaseKey, kBuiltInProduct, kBuiltInMinimumRelease});

    bool showSkinVersion = false;
    int count = 0;
    if (wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            if (_wcsicmp(arguments[i], L"/skinver") == 0) showSkinVersion = true;
            if (_wcsicmp(arguments[i], L"/silent") == 0) dialogs::SetUnattended(true);
        }
        LocalFree(arguments);
    }
    if (dialogs::Unattended()) UseParentConsole();
    if (showSkinVersion) dialogs::ShowMessageBox(texts::SSkinVersion);

    TMainForm MainForm;
    MainForm.Show();
    MainForm.ProcessMessages();

    // Saves a picture of the window and ends (used to make the README picture).
    if (const wchar_t* grabPath = _wgetenv(L"ZELVANO_GRAB_WINDOW"); grabPath && *grabPath) {
        const DWORD until = GetTickCount() + 1000;
        while (GetTickCount() < until) {
            MainForm.ProcessMessages();
            Sleep(10);
        }
        return MainForm.Picture().SavePng(grabPath) ? 0 : 1;
    }

    if (dialogs::Unattended()) MainForm.StartUnattended();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (MainForm.TranslateDialogKey(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    const int exitCode = msg.message == WM_QUIT ? int(msg.wParam) : 0;
    CutWindowLink();
    // Closed while a download or an extraction still runs on a worker
    // thread: that thread uses the window, which must not be destroyed under
    // it. End the process at once, which ends the worker too.
    if (DownLoadersRunning()) {
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}
