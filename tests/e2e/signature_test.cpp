// Signed releases, run unattended as users meet them: the update reply
// carries a release statement (product, version, size, SHA-256, expiry)
// signed with the key the program trusts. Every refusal ends in the
// installation-failed state with the signature hint (status 2): nothing is
// extracted, registered or started, the installed files stay as they were
// and the running client keeps running.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_authority.h"

using namespace e2e;

namespace {

const std::string kHintSignatureRefused = "安装包签名校验失败，请重新安装 . . . ";

std::string Reply(const std::string& members) { return R"({"download_url":"%URL%","version":"2.0",)" + members + "}"; }

bool ArchiveWasDownloaded(const TInstallRoot& root) {
    for (const auto& [line, range] : root.Requests())
        if (line.rfind("GET /files/release.zip ", 0) == 0) return true;
    return false;
}

// A process named "Corvexa.exe" (a copy of sleep) outside the install folder,
// as a running client; ended by the destructor when the setup left it.
class TRunningClient {
public:
    explicit TRunningClient(const fs::path& folder) {
        fs::create_directories(folder);
        fs::copy_file("/bin/sleep", folder / "Corvexa.exe");
        pid_ = fork();
        if (pid_ == 0) {
            execl((folder / "Corvexa.exe").c_str(), "Corvexa.exe", "120", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 300; ++i) {
            std::error_code ec;
            if (fs::read_symlink("/proc/" + std::to_string(pid_) + "/exe", ec).filename() == "Corvexa.exe") break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~TRunningClient() {
        if (Running()) kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    bool Running() {
        int status = 0;
        return waitpid(pid_, &status, WNOHANG) == 0;
    }

private:
    pid_t pid_ = -1;
};

}  // namespace

namespace {

struct TStatementCase {
    const char* Name;
    fs::path Served;
    std::string Reply;
    std::string Installed;  // the version a former installation recorded
    bool Installs;
    bool Downloads;
    std::string Records = "";  // the version an installing case records
};

// Runs each case over a former installation: its files, its recorded
// version, its client running.
void RunStatementCases(const std::vector<TStatementCase>& cases) {
    for (const TStatementCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TInstallRoot root;
        root.Serve(c.Served, c.Reply);
        fs::create_directories(root.ClientFolder());
        WriteFile(root.ClientFolder() / "readme.txt", "the installed release");
        if (!c.Installed.empty()) root.SetInstalledVersion(c.Installed);
        TRunningClient client(root.Root() / "running");
        TRunResult run = root.RunSetup();
        EXPECT_EQ(ArchiveWasDownloaded(root), c.Downloads);
        if (c.Installs) {
            EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
            EXPECT_FALSE(WaitForFile(root.ClientFolder() / "started").empty()) << "the client was not started";
            EXPECT_FALSE(client.Running()) << "the running client was not ended";
            EXPECT_NE(Slurp(root.ClientFolder() / "readme.txt"), "the installed release");
            EXPECT_EQ(root.InstalledVersion(), c.Records);
            continue;
        }
        EXPECT_EQ(run.ExitStatus, 2) << run.Stderr;
        EXPECT_EQ(run.LastLine(), kHintSignatureRefused);
        EXPECT_TRUE(client.Running()) << "the running client was ended for a refused release";
        EXPECT_EQ(Slurp(root.ClientFolder() / "readme.txt"), "the installed release");
        EXPECT_FALSE(fs::exists(root.ClientFolder() / "Update" / "Version.zip")) << "archive kept";
        EXPECT_FALSE(fs::exists(root.ClientFolder() / "Corvexa.exe")) << "extracted";
        EXPECT_FALSE(fs::exists(root.ClientFolder() / "started")) << "client started";
        EXPECT_FALSE(fs::exists(root.Launcher()));
        EXPECT_EQ(root.InstalledVersion(), c.Installed) << "the recorded version changed";
    }
}

}  // namespace

TEST(SignedRelease, AcceptedStatementsInstallAndRecordTheirVersion) {
    const fs::path demo = ZELVANO_DEMO_ARCHIVE;
    const std::string valid = ReleaseMembers(demo);
    RunStatementCases({
        {"valid", demo, Reply(valid), "", true, true, "2.0.0"},
        {"same version again", demo, Reply(valid), "2.0.0", true, true, "2.0.0"},
        {"newer than installed", demo, Reply(ReleaseMembers(demo, {.Version = "2.0.10"})), "2.0.9", true, true,
         "2.0.10"},
    });
}

// Statements refused before anything is ended or downloaded.
TEST(SignedRelease, RefusedStatementsLeaveTheInstallationAlone) {
    zelvano_test::TempDir work("zelvano-statements");
    const fs::path demo = ZELVANO_DEMO_ARCHIVE;
    zelvano_test::RunCommand("openssl ecparam -name prime256v1 -genkey -noout -out " +
                             zelvano_test::ShellQuote((work.Path() / "stranger.key").string()));
    RunStatementCases({
        {"older than installed", demo, Reply(ReleaseMembers(demo)), "2.0.1", false, false},
        {"expired", demo, Reply(ReleaseMembers(demo, {.Expires = "2020-01-01T00:00:00Z"})), "", false, false},
        {"other product", demo, Reply(ReleaseMembers(demo, {.Product = "zelvano-teacher"})), "", false, false},
        {"other key", demo, Reply(ReleaseMembers(demo, {.Key = work.Path() / "stranger.key"})), "", false, false},
    });
}

// Replies without a statement the key signed, and an archive whose bytes are
// not the statement's (refused once downloaded, and deleted).
TEST(SignedRelease, UnsignedRepliesAndOtherBytesAreRefused) {
    zelvano_test::TempDir work("zelvano-statements");
    const fs::path demo = ZELVANO_DEMO_ARCHIVE;
    // The demo archive with one byte changed, in the middle of its data.
    std::string bytes = Slurp(demo);
    bytes[bytes.size() / 2] ^= 0x01;
    WriteFile(work.Path() / "changed.zip", bytes);
    const std::string oldFormSignature = zelvano_test::RunCommand(
        "openssl dgst -sha256 -sign " + zelvano_test::ShellQuote(ZELVANO_DEMO_KEY) + " " +
        zelvano_test::ShellQuote(demo.string()) + " | base64 -w0");
    RunStatementCases({
        {"archive bytes differ from the statement", work.Path() / "changed.zip", Reply(ReleaseMembers(demo)), "",
         false, true},
        {"old form: a signature over the archive", demo, Reply(R"("signature":")" + oldFormSignature + R"(")"), "",
         false, false},
        {"statement not base64", demo, Reply(R"("release":"eyJ*","signature":"MEUCIQ==")"), "", false, false},
        {"no statement at all", demo, R"({"download_url":"%URL%"})", "", false, false},
    });
}

// The whole road over https: the update request and the ranged download over
// TLS to a server whose authority the system trusts, then the statement. The
// same server under an authority nobody trusts is a network failure; a reply
// over https that names an http archive is refused before any download.
TEST(SignedRelease, WholeInstallationOverHttps) {
    zelvano_test::TestAuthority authority, stranger("Some Other Authority");
    auto served = authority.Issue("server", "DNS:localhost,IP:127.0.0.1");
    enum Road { Trusted, Untrusted, PlainArchive };
    for (Road road : {Trusted, Untrusted, PlainArchive}) {
        SCOPED_TRACE(road == Trusted ? "trusted authority" : road == Untrusted ? "untrusted authority" : "http archive");
        TInstallRoot root;
        root.Serve(ZELVANO_DEMO_ARCHIVE, Reply("%RELEASE%"), "", served.Certificate, served.Key);
        ASSERT_EQ(root.ArchiveUrl().rfind("https://", 0), 0u);
        if (road == PlainArchive) {
            // The same server's address with the scheme http.
            std::string plain = "http" + root.ArchiveUrl().substr(5);
            root.WriteReply(ZELVANO_DEMO_ARCHIVE, R"({"download_url":")" + plain + R"(",%RELEASE%})");
        }
        TRunResult run = root.RunSetup(
            {{"SSL_CERT_FILE", (road == Untrusted ? stranger : authority).CertificateFile().string()},
             {"SSL_CERT_DIR", root.Root().string()}});
        if (road == Trusted) {
            EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
            EXPECT_TRUE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
            EXPECT_TRUE(ArchiveWasDownloaded(root));
        } else if (road == Untrusted) {
            EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
            EXPECT_EQ(run.LastLine(), "网络断开安装失败 ，请重新安装 . . .");
            EXPECT_TRUE(root.Nginx().AccessLog().empty()) << "a request went out over an untrusted connection";
            EXPECT_FALSE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
        } else {
            EXPECT_EQ(run.ExitStatus, 2) << run.Stderr;
            EXPECT_EQ(run.LastLine(), kHintSignatureRefused);
            const auto requests = root.Requests();
            ASSERT_EQ(requests.size(), 1u) << "only the update request was made";
            EXPECT_EQ(requests[0].first, "GET /api/autodownload/student HTTP/1.1");
            EXPECT_FALSE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
        }
    }
}
