#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/codepage.h"

namespace platform {
namespace {

std::string ReadLink(const std::string& path) {
    char buf[4096];
    ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string s(buf, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    if (s.size() > deleted.size() && s.compare(s.size() - deleted.size(), deleted.size(), deleted) == 0)
        s.resize(s.size() - deleted.size());
    return s;
}

// Reads a /proc file. A process may end while it is being read, and the read
// then fails (ESRCH); what was read so far, possibly nothing, is the answer.
std::string ReadSmallFile(const std::string& path) {
    std::string out;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return out;
}

}  // namespace

std::vector<TProcessEntry> ProcessSnapshot() {
    std::vector<TProcessEntry> list;
    DIR* dir = opendir("/proc");
    if (!dir) return list;
    while (dirent* e = readdir(dir)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        std::string base = std::string("/proc/") + e->d_name;
        TProcessEntry entry;
        entry.ProcessID = static_cast<int>(pid);
        entry.ExeFile = Utf8ToText(ReadLink(base + "/exe"));
        std::string cmdline = ReadSmallFile(base + "/cmdline");
        entry.Argv0 = Utf8ToText(cmdline.substr(0, cmdline.find('\0')));
        std::string comm = ReadSmallFile(base + "/comm");
        if (!comm.empty() && comm.back() == '\n') comm.pop_back();
        entry.Comm = Utf8ToText(comm);
        list.push_back(std::move(entry));
    }
    closedir(dir);
    std::sort(list.begin(), list.end(),
              [](const TProcessEntry& a, const TProcessEntry& b) { return a.ProcessID < b.ProcessID; });
    return list;
}

int CurrentProcessId() { return static_cast<int>(getpid()); }

std::u16string CurrentExecutable() { return Utf8ToText(ReadLink("/proc/self/exe")); }

bool KillProcess(int processId) { return processId > 0 && kill(processId, SIGKILL) == 0; }

}  // namespace platform
