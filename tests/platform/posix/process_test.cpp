#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/codepage.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

fs::path TempDir(const std::string& tag) {
    fs::path p = fs::temp_directory_path() / ("zelvano-proc-" + std::to_string(getpid()) + "-" + tag);
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

// Starts `program` with `args` and returns its id.
pid_t Start(const fs::path& program, std::vector<std::string> args = {}) {
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        std::string p = program.string();
        argv.push_back(p.data());
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(p.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Waits up to two seconds for the child to end; returns its status or -1.
int WaitFor(pid_t pid) {
    for (int i = 0; i < 200; ++i) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

bool Listed(pid_t pid) {
    for (const auto& e : ProcessSnapshot())
        if (e.ProcessID == pid) return true;
    return false;
}

// Waits until the freshly started child has replaced its image.
void WaitForExec(pid_t pid, const std::string& name) {
    for (int i = 0; i < 200; ++i) {
        for (const auto& e : ProcessSnapshot())
            if (e.ProcessID == pid && TextToUtf8(e.ExeFile).find(name) != std::string::npos) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

TEST(Processes, MatchingFoldsOnlyAsciiLettersAndLooksAtEveryName) {
    TProcessEntry e;
    e.ExeFile = u"/opt/Pordino2.0/CORVEXA.EXE";
    struct {
        std::u16string name;
        bool match;
    } cases[] = {
        {u"corvexa.exe", true},
        {u"Corvexa.exe", true},
        {u"/opt/Pordino2.0/corvexa.exe", true},
        {u"Corvexa", false},
        {u"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(ProcessMatches(e, c.name), c.match);

    TProcessEntry accented;
    accented.Argv0 = u"C:\\bin\\\u00C9TUDE.exe";
    EXPECT_TRUE(ProcessMatches(accented, u"\u00C9tude.EXE"));
    EXPECT_FALSE(ProcessMatches(accented, u"\u00E9tude.exe"));  // outside a to z: not folded
    TProcessEntry comm;
    comm.Comm = u"Corvexa.exe";
    EXPECT_TRUE(ProcessMatches(comm, u"CORVEXA.EXE"));
}

TEST(Processes, SnapshotSeesThisProgramAndEndProcessesKillsMatchesOnly) {
    auto self = ProcessSnapshot();
    bool found = false;
    for (const auto& e : self)
        if (e.ProcessID == CurrentProcessId()) found = e.ExeFile == CurrentExecutable();
    EXPECT_TRUE(found);

    fs::path dir = TempDir("kill");
    std::string unique = "Corvexa-" + std::to_string(getpid()) + ".exe";
    fs::copy_file("/bin/sleep", dir / unique);
    fs::create_directories(dir / "other");
    fs::copy_file("/bin/sleep", dir / "other" / ("X" + unique));
    pid_t victim = Start(dir / unique, {"30"});
    pid_t bystander = Start(dir / "other" / ("X" + unique), {"30"});
    WaitForExec(victim, unique);
    WaitForExec(bystander, unique);

    // Upper-cased name, as the caller may pass it.
    std::u16string upper = Utf8ToText(unique);
    for (auto& c : upper)
        if (c >= u'a' && c <= u'z') c -= 32;
    EndProcessesNamed(upper);

    int status = WaitFor(victim);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_TRUE(Listed(bystander));
    kill(bystander, SIGKILL);
    WaitFor(bystander);
    fs::remove_all(dir);
}

// When started by OwnProcessEndsLastWithStatusZero, a copy of this program
// ends every process of its own name before any test runs.
const bool kEndOwnNameAtStart = [] {
    if (const char* name = std::getenv("ZELVANO_END_OWN_NAME")) {
        EndProcessesNamed(Utf8ToText(name));
        std::_Exit(3);  // not reached when the program matched itself
    }
    return false;
}();

TEST(Processes, OwnProcessEndsLastWithStatusZero) {
    fs::path dir = TempDir("self");
    std::string unique = "setup-" + std::to_string(getpid()) + ".exe";
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    fs::copy_file(TextToUtf8(CurrentExecutable()), dir / "a" / unique);
    fs::copy_file("/bin/sleep", dir / "b" / unique);
    pid_t sibling = Start(dir / "b" / unique, {"30"});
    WaitForExec(sibling, unique);

    setenv("ZELVANO_END_OWN_NAME", unique.c_str(), 1);
    pid_t helper = Start(dir / "a" / unique);
    unsetenv("ZELVANO_END_OWN_NAME");
    int status = WaitFor(helper);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    int siblingStatus = WaitFor(sibling);
    EXPECT_TRUE(WIFSIGNALED(siblingStatus) && WTERMSIG(siblingStatus) == SIGKILL);
    fs::remove_all(dir);
}
