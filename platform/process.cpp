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

std::u16string UpperAsciiLetters(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

std::u16string_view BaseName(std::u16string_view s) {
    size_t cut = s.find_last_of(u"/\\:");
    return cut == std::u16string_view::npos ? s : s.substr(cut + 1);
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

bool ProcessMatches(const TProcessEntry& entry, const std::u16string& fileName) {
    if (fileName.empty()) return false;
    std::u16string wanted = UpperAsciiLetters(fileName);
    for (const std::u16string* name : {&entry.ExeFile, &entry.Argv0, &entry.Comm}) {
        if (name->empty()) continue;
        std::u16string upper = UpperAsciiLetters(*name);
        if (upper == wanted || BaseName(upper) == wanted) return true;
    }
    return false;
}

bool KillProcess(int processId) { return processId > 0 && kill(processId, SIGKILL) == 0; }

void EndProcessesNamed(const std::u16string& fileName) {
    int self = CurrentProcessId();
    bool selfMatches = false;
    for (const auto& entry : ProcessSnapshot()) {
        if (!ProcessMatches(entry, fileName)) continue;
        if (entry.ProcessID == self) {
            selfMatches = true;
            continue;
        }
        KillProcess(entry.ProcessID);
    }
    if (selfMatches) {
        std::fflush(nullptr);
        _exit(0);
    }
}

}  // namespace platform
