#include "app/win32/Dialogs.h"

#include "app/Dialogs.h"
#include "app/Texts.h"

#include <objbase.h>
#include <shlobj.h>

#include <vector>

namespace dialogs {
namespace {

HWND gOwner = nullptr;

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

struct TBrowseState {
    HWND Owner;
    std::u16string Directory;
};

// Centres the dialog on the monitor nearest the main window and selects the
// starting folder.
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message != BFFM_INITIALIZED) return 0;
    const auto* state = reinterpret_cast<const TBrowseState*>(data);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(state->Owner, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT box;
    GetWindowRect(dialog, &box);
    const RECT& m = monitor.rcMonitor;
    SetWindowPos(dialog, nullptr, m.left + ((m.right - m.left) - (box.right - box.left)) / 2,
                 m.top + ((m.bottom - m.top) - (box.bottom - box.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (!state->Directory.empty())
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(Wide(state->Directory)));
    return 0;
}

// One window of the enumeration below (a CALLBACK function: the 32-bit
// build's calling convention is not a lambda's).
BOOL CALLBACK DisableThreadWindow(HWND window, LPARAM list) {
    if (IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
}

// Disables the thread's other top-level windows while a modal dialog runs.
std::vector<HWND> DisableThreadWindows() {
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), DisableThreadWindow, reinterpret_cast<LPARAM>(&disabled));
    return disabled;
}

}  // namespace

void SetOwnerWindow(HWND Owner) { gOwner = Owner; }

// MessageBoxW runs its own modal loop on the calling thread, so a worker
// thread may show a box too; it stays modal to the main window.
TMsgResult ShowMessageBox(const std::u16string& Text, const std::u16string& Caption, TMsgButtons Buttons,
                          TMsgResult Default) {
    if (Unattended()) {
        WriteUnattendedMessage(Caption, Text);
        return Default;
    }
    UINT type = MB_ICONINFORMATION;
    switch (Buttons) {
        case TMsgButtons::Ok: type |= MB_OK; break;
        case TMsgButtons::OkCancel: type |= MB_OKCANCEL | (Default == TMsgResult::Cancel ? MB_DEFBUTTON2 : 0); break;
        case TMsgButtons::YesNo:
            type = MB_ICONQUESTION | MB_YESNO | (Default == TMsgResult::No ? MB_DEFBUTTON2 : 0);
            break;
    }
    const std::u16string caption = Caption.empty() ? std::u16string(texts::SWindowTitle) : Caption;
    switch (MessageBoxW(gOwner, Wide(Text), Wide(caption), type)) {
        case IDCANCEL: return TMsgResult::Cancel;
        case IDYES: return TMsgResult::Yes;
        case IDNO: return TMsgResult::No;
        default: return TMsgResult::Ok;
    }
}

bool BrowseForFolder(const std::u16string& Caption, const std::u16string& Root, std::u16string& Directory) {
    HWND Owner = gOwner;
    const DWORD attributes = Directory.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(Wide(Directory));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) Directory.clear();

    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return false;
    wchar_t displayName[MAX_PATH] = L"";
    PIDLIST_ABSOLUTE root = nullptr;
    if (!Root.empty()) {
        IShellFolder* desktop = nullptr;
        if (SUCCEEDED(SHGetDesktopFolder(&desktop))) {
            std::u16string name = Root;
            desktop->ParseDisplayName(Owner, nullptr, const_cast<wchar_t*>(Wide(name)), nullptr,
                                      reinterpret_cast<PIDLIST_RELATIVE*>(&root), nullptr);
            desktop->Release();
        }
    }
    TBrowseState state{Owner, Directory};
    BROWSEINFOW request{};
    request.hwndOwner = Owner;
    request.pidlRoot = root;
    request.pszDisplayName = displayName;
    request.lpszTitle = Wide(Caption);
    request.ulFlags = 0x241;  // BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON
    request.lpfn = &BrowseCallback;
    request.lParam = reinterpret_cast<LPARAM>(&state);

    const std::vector<HWND> disabled = DisableThreadWindows();
    const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&request);
    SetErrorMode(errorMode);
    for (HWND window : disabled) EnableWindow(window, TRUE);

    bool result = false;
    if (chosen) {
        wchar_t path[MAX_PATH] = L"";
        if (SHGetPathFromIDListW(chosen, path)) {
            Directory = reinterpret_cast<const char16_t*>(path);
            result = true;
        }
        allocator->Free(chosen);
    }
    if (root) allocator->Free(root);
    allocator->Release();
    return result;
}

}  // namespace dialogs
