// zelvano-fetch as a user runs it: exit statuses, misbehaving servers, and
// resuming after the process was interrupted or killed in the middle of a
// download.
#include <gtest/gtest.h>

#include "download_support.h"
#include "tests/support/test_system.h"

#if defined(ZELVANO_FETCH) && defined(_WIN32)

namespace {

using namespace download_test;

// The Windows program run to its end against nginx on loopback. (Stopping
// it half-way by signals, and the hostile servers, are checked on Linux.)
TEST(FetchTool, DownloadsAndReportsFailuresWithItsExitStatus) {
    zelvano_test::TempDir root, out;
    const std::string remote = Bytes(3u << 20, 7);
    WriteFile(root.Path() / "f.zip", remote);
    zelvano_test::NginxServer nginx(root.Path());

    auto done = zelvano_test::RunProgram(ZELVANO_FETCH, {"-q", nginx.BaseURL() + "/f.zip", (out.Path() / "f.zip").string()});
    EXPECT_EQ(done.Status, 0) << done.Output;
    EXPECT_TRUE(ReadFile(out.Path() / "f.zip") == remote);

    auto failed = zelvano_test::RunProgram(ZELVANO_FETCH, {"-q", nginx.BaseURL() + "/none.zip", (out.Path() / "none.zip").string()});
    EXPECT_EQ(failed.Status, 1);
    EXPECT_NE(failed.Output.find("HTTP/1.1 404 Not Found"), std::string::npos) << failed.Output;
    EXPECT_FALSE(fs::exists(out.Path() / "none.zip"));
}

}  // namespace

#elif defined(ZELVANO_FETCH)

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/test_authority.h"
#include "hostile_replies.h"
#include "tests/support/fault_server.h"

namespace {

using namespace download_test;

// Runs the tool in the background with its standard error in a file.
class FetchProcess {
public:
    // `retryWindow` is the -r value (seconds), the tool's own when empty.
    FetchProcess(const std::string& url, const fs::path& file, const fs::path& errors,
                 const std::string& retryWindow = "") {
        pid_ = fork();
        if (pid_ == 0) {
            FILE* err = std::fopen(errors.c_str(), "w");
            if (err) dup2(fileno(err), 2);
            if (!retryWindow.empty())
                execl(ZELVANO_FETCH, ZELVANO_FETCH, "-q", "-r", retryWindow.c_str(), url.c_str(), file.c_str(),
                      static_cast<char*>(nullptr));
            else
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

// https: the download runs over one verified TLS connection with a trusted
// test authority and is refused, with nothing written, with an untrusted one.
TEST(FetchTool, HttpsWithTrustedAndUntrustedAuthority) {
    zelvano_test::TempDir root, out;
    const std::string remote = Bytes(3u << 20, 7);
    WriteFile(root.Path() / "release.zip", remote);
    zelvano_test::TestAuthority authority, stranger("Some Other Authority");
    auto served = authority.Issue("server", "DNS:localhost,IP:127.0.0.1");
    zelvano_test::NginxServer nginx(root.Path(), "", served.Certificate, served.Key);
    const std::string url = nginx.BaseURL() + "/release.zip";
    const fs::path errors = out.Path() / "errors.txt";
    ::setenv("SSL_CERT_DIR", out.Path().c_str(), 1);  // nothing of the machine's store

    ::setenv("SSL_CERT_FILE", stranger.CertificateFile().c_str(), 1);
    {
        FetchProcess fetch(url, out.Path() / "refused.zip", errors);
        EXPECT_EQ(ExitCode(fetch.Wait()), 1);
    }
    EXPECT_NE(ReadFile(errors).find("The certificate of 127.0.0.1 is not trusted"), std::string::npos)
        << ReadFile(errors);
    EXPECT_FALSE(fs::exists(out.Path() / "refused.zip") && fs::file_size(out.Path() / "refused.zip") > 0);
    EXPECT_TRUE(nginx.AccessLog().empty()) << "a request went out over an untrusted connection";

    ::setenv("SSL_CERT_FILE", authority.CertificateFile().c_str(), 1);
    {
        FetchProcess fetch(url, out.Path() / "release.zip", errors);
        EXPECT_EQ(ExitCode(fetch.Wait()), 0) << ReadFile(errors);
    }
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("SSL_CERT_DIR");
    EXPECT_TRUE(ReadFile(out.Path() / "release.zip") == remote);
    // HEAD and four ranged pieces, all on the first connection.
    auto log = nginx.AccessLog();
    ASSERT_EQ(log.size(), 5u);
    for (const auto& line : log) EXPECT_EQ(line.substr(0, line.find(' ')), log[0].substr(0, log[0].find(' '))) << line;
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
        // Retries on (a short window): a server that keeps failing still ends
        // the run, and no retry turns a refused reply into success.
        const auto started = std::chrono::steady_clock::now();
        FetchProcess fetch(server.BaseURL() + "/v.zip", local, errors, "3");
        const int code = ExitCode(fetch.Wait());
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
        if (code == 0) {
            EXPECT_TRUE(fs::exists(local) && ReadFile(local) == c.remote) << "exit 0 with other bytes";
        }
        EXPECT_EQ(code, c.identical ? 0 : 1) << ReadFile(errors);
    }
}

}  // namespace

#endif
