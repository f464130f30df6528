// Helpers of the Windows platform tests: a fresh folder, and running a
// Windows program to read its output.
#pragma once

#include <windows.h>

#include <string>

// This layer's functions of these names, not windows.h's W macros.
#undef DeleteFile
#undef GetEnvironmentVariable
#undef ShellExecute

#include "platform/shell.h"

namespace win32test {

inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string T(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }

// The system's message for an error number, as this layer quotes it.
inline std::u16string SystemMessage(DWORD error) {
    wchar_t text[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512,
                             nullptr);
    std::u16string message = T(text).substr(0, n);
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u'.'))
        message.pop_back();
    return message;
}

// A new folder below the user's temporary folder, deleted with its contents.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        static int counter = 0;
        path_ = T(base) + u"zelvano-platform-" +
                std::u16string(reinterpret_cast<const char16_t*>(std::to_wstring(GetCurrentProcessId()).c_str())) +
                u"-" + std::u16string(reinterpret_cast<const char16_t*>(std::to_wstring(++counter).c_str()));
        CreateDirectoryW(W(path_), nullptr);
    }
    ~TempFolder() { platform::DeleteTree(path_); }
    const std::u16string& Path() const { return path_; }
    std::u16string operator/(const std::u16string& name) const { return path_ + u"\\" + name; }

private:
    std::u16string path_;
};

// Runs a command line, waits for it and returns its standard output; the
// exit code goes to `exitCode`.
inline std::string RunAndRead(const std::u16string& commandLine, DWORD* exitCode = nullptr) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::u16string mutableLine = commandLine;
    BOOL started = CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(mutableLine.data()), nullptr, nullptr, TRUE, 0,
                                  nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[4096];
        DWORD n;
        while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) output.append(buffer, n);
        WaitForSingleObject(process.hProcess, INFINITE);
        if (exitCode) GetExitCodeProcess(process.hProcess, exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return output;
}

}  // namespace win32test
