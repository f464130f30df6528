// The process list and the ending of processes.
//
// Windows: the list is a tool-help snapshot, in which a process is known by
// its executable's file name; processes are ended by OpenProcess and
// TerminateProcess (exit code 0).
//
// Linux: the list is read from /proc. A process is known by the path of its
// executable (/proc/PID/exe), its argv[0] (/proc/PID/cmdline) and its kernel
// name (/proc/PID/comm, at most 15 bytes). Processes are ended with SIGKILL.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct TProcessEntry {
    int ProcessID = 0;
    std::u16string ExeFile;  // executable path (Windows: its file name); empty when it cannot be read
    std::u16string Argv0;    // Linux only
    std::u16string Comm;     // Linux only
};

// The running processes in ascending id order.
std::vector<TProcessEntry> ProcessSnapshot();

int CurrentProcessId();
// The running program's executable path.
std::u16string CurrentExecutable();

// True when one of the process's names equals `fileName`, compared with only
// the letters a to z folded: either the whole name or its part after the last
// '/', '\\' or ':'.
bool ProcessMatches(const TProcessEntry& entry, const std::u16string& fileName);

// Ends the process at once (SIGKILL, TerminateProcess); false when it
// cannot be ended.
bool KillProcess(int processId);

// Ends every process that matches `fileName`, without a report for those that
// cannot be ended. When the running program matches too, it ends last, after
// all others: standard output and error are flushed and the process exits
// with status 0 at once (no destructors or exit handlers run).
void EndProcessesNamed(const std::u16string& fileName);

// Ends the running program itself, never another process: standard output
// and error are flushed and the process exits with status 0 at once.
[[noreturn]] void EndCurrentProcess();

}  // namespace platform
