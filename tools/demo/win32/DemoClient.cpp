// The demo client for Windows that the setup program installs and starts. It
// records each start as a line in the file "started" of its working folder.
// With the argument /wait it then stays running for five minutes (the tests start
// it so, to see the setup program end it or leave it alone); otherwise it ends
// at once.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR CommandLine, int) {
    wchar_t folder[MAX_PATH] = L"?";
    GetCurrentDirectoryW(MAX_PATH, folder);
    HANDLE file = CreateFileW(L"started", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    char folderUtf8[4 * MAX_PATH] = "";
    WideCharToMultiByte(CP_UTF8, 0, folder, -1, folderUtf8, sizeof folderUtf8, nullptr, nullptr);
    char line[5 * MAX_PATH];
    const int length = std::snprintf(line, sizeof line, "Corvexa started, process %lu, folder %s\r\n",
                                     GetCurrentProcessId(), folderUtf8);
    DWORD written = 0;
    WriteFile(file, line, DWORD(length), &written, nullptr);
    CloseHandle(file);
    if (CommandLine && std::wcsstr(CommandLine, L"/wait")) Sleep(300000);
    return 0;
}
