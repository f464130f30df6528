// zelvano-fetch as a user runs it: exit statuses, misbehaving servers, and
// resuming after the process was interrupted or killed in the middle of a
// download.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "download_support.h"
#include "hostile_replies.h"
#include "tests/support/fault_server.h"

#ifdef ZELVANO_FETCH

namespace {

using namespace download_test;

// Runs the tool in the background with its standard error in a file.
class FetchProcess {
public:
    FetchProcess(const std::string& url, const fs::path& file, const fs::path& errors) {
        pid_ = fork();
        if (pid_ == 0) {
            FILE* err = std::fopen(errors.c_str(), "w");
            if (err) dup2(fileno(err), 2);
            execl(ZELVANO_FETCH, ZELVANO_FETCH, "-q", url.c_str(), file.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~FetchProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }
    void Signal(int sig) { kill(pid_, sig); }
    // The wait status.
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_;
};

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

// Waits until the file holds at least `bytes` (false after 20 s).
bool WaitForSize(const fs::path& file, uintmax_t bytes) {
    for (int i = 0; i < 4000; ++i) {
        std::error_code ec;
        if (fs::file_size(file, ec) >= bytes && !ec) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST(FetchTool, InterruptedAndKilledDownloadsResume) {
    zelvano_test::TempDir root, out;
    const std::string remote = Bytes(64u << 20, 31);
    WriteFile(root.Path() / "big.zip", remote);
    // Slow enough that the download is still running when it is stopped.
    zelvano_test::NginxServer nginx(root.Path(), "limit_rate 24m;");
    const std::string url = nginx.BaseURL() + "/big.zip";
    const fs::path local = out.Path() / "big.zip";
    const fs::path errors = out.Path() / "errors.txt";

    // Ctrl-C: the run stops between pieces with status 130.
    {
        FetchProcess fetch(url, local, errors);
        ASSERT_TRUE(WaitForSize(local, 4u << 20));
        fetch.Signal(SIGINT);
        EXPECT_EQ(ExitCode(fetch.Wait()), 130) << ReadFile(errors);
    }
    std::string part = ReadFile(local);
    EXPECT_LT(part.size(), remote.size());
    EXPECT_EQ(part.size() % 1024000, 0u) << "a clean stop ends on a piece boundary";
    EXPECT_TRUE(remote.compare(0, part.size(), part) == 0) << "not a prefix";

    // SIGKILL: whatever is on disk is still a prefix.
    const uintmax_t before = part.size();
    {
        FetchProcess fetch(url, local, errors);
        ASSERT_TRUE(WaitForSize(local, before + (8u << 20)));
        fetch.Signal(SIGKILL);
        EXPECT_TRUE(WIFSIGNALED(fetch.Wait()));
    }
    part = ReadFile(local);
    EXPECT_GT(part.size(), before);
    EXPECT_LT(part.size(), remote.size());
    EXPECT_TRUE(remote.compare(0, part.size(), part) == 0) << "not a prefix";

    {
        FetchProcess fetch(url, local, errors);
        EXPECT_EQ(ExitCode(fetch.Wait()), 0) << ReadFile(errors);
    }
    EXPECT_TRUE(ReadFile(local) == remote) << "resumed file differs";

    // Each run's first range started where the file ended.
    std::vector<std::string> firsts;
    auto requests = Requests(nginx);
    for (size_t i = 1; i < requests.size(); ++i)
        if (requests[i - 1].method == "HEAD") firsts.push_back(requests[i].range);
    ASSERT_EQ(firsts.size(), 3u);
    EXPECT_EQ(firsts[0], "bytes=0-1023999");
    EXPECT_EQ(firsts[1], "bytes=" + std::to_string(before) + "-" + std::to_string(before + 1023999));
    EXPECT_EQ(firsts[2].rfind("bytes=" + std::to_string(part.size()) + "-", 0), 0u);
}

TEST(FetchTool, FailureExitsWithOneAndTheMessage) {
    zelvano_test::TempDir root, out;
    zelvano_test::NginxServer nginx(root.Path());
    const fs::path errors = out.Path() / "errors.txt";
    FetchProcess fetch(nginx.BaseURL() + "/none.zip", out.Path() / "none.zip", errors);
    EXPECT_EQ(ExitCode(fetch.Wait()), 1);
    EXPECT_NE(ReadFile(errors).find("HTTP/1.1 404 Not Found"), std::string::npos) << ReadFile(errors);
    EXPECT_FALSE(fs::exists(out.Path() / "none.zip"));
}

// Exit status 0 means the file equals the remote one; against every hostile
// server of the table the tool either says so truthfully or exits with 1.
TEST(FetchTool, HostileServersNeverGiveZeroWithOtherBytes) {
    for (const auto& c : HostileCases()) {
        SCOPED_TRACE(c.what);
        zelvano_test::FaultServer server(c.script);
        zelvano_test::TempDir out;
        const fs::path local = out.Path() / "v.zip";
        const fs::path errors = out.Path() / "errors.txt";
        if (c.local) WriteFile(local, *c.local);
        FetchProcess fetch(server.BaseURL() + "/v.zip", local, errors);
        const int code = ExitCode(fetch.Wait());
        if (code == 0) {
            EXPECT_TRUE(fs::exists(local) && ReadFile(local) == c.remote) << "exit 0 with other bytes";
        }
        EXPECT_EQ(code, c.identical ? 0 : 1) << ReadFile(errors);
    }
}

}  // namespace

#endif
