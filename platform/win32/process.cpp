// The process list from a tool-help snapshot; processes ended through
// OpenProcess and TerminateProcess.
#include "platform/process.h"

#include <algorithm>
#include <vector>

#include "platform/win32/win32.h"

#include <tlhelp32.h>

namespace platform {

std::vector<TProcessEntry> ProcessSnapshot() {
    std::vector<TProcessEntry> list;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return list;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        TProcessEntry process;
        process.ProcessID = static_cast<int>(entry.th32ProcessID);
        process.ExeFile = win32::Text(entry.szExeFile);
        list.push_back(std::move(process));
    }
    CloseHandle(snapshot);
    std::sort(list.begin(), list.end(),
              [](const TProcessEntry& a, const TProcessEntry& b) { return a.ProcessID < b.ProcessID; });
    return list;
}

int CurrentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

std::u16string CurrentExecutable() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return win32::Text(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

bool KillProcess(int processId) {
    if (processId <= 0) return false;
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(processId));
    if (process == nullptr) return false;
    bool ended = TerminateProcess(process, 0) != 0;
    CloseHandle(process);
    return ended;
}

}  // namespace platform
