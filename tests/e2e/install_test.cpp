// The setup program run unattended (/silent) against a private nginx: the
// whole installation and the ways it fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "platform/codepage.h"
#include "tests/e2e/e2e_support.h"

using namespace e2e;
using platform::Utf8ToText;

namespace {

const std::string kHintNetworkFailure = "网络断开安装失败 ，请重新安装 . . .";
const std::string kHintInstallFailed = "安装应用程序失败，请重新安装 . . . ";

std::u16string T(const fs::path& p) { return Utf8ToText(p.string()); }

// The demo release plus an incompressible file, so the download takes three
// ranged pieces.
fs::path MakeLargeRelease(const fs::path& work) {
    fs::path stage = work / "stage";
    UnpackDemo(stage);
    WriteRandomFile(stage / "data" / "media.bin", 2'300'000);
    ZipFolder(stage, work / "large.zip");
    return work / "large.zip";
}

}  // namespace

TEST(Install, WholeInstallationAndTheDemoUninstaller) {
    TInstallRoot root;
    fs::path archive = MakeLargeRelease(root.Root());
    root.Serve(archive);
    TRunResult run = root.RunSetup();
    ASSERT_FALSE(run.TimedOut) << run.Stderr;
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    EXPECT_EQ(run.Signal, 0);

    fs::path client = root.ClientFolder();
    for (const char* f : {"Corvexa.exe", "Uninstall.exe", "readme.txt", "data/config/settings.ini",
                          "data/lang/zh-CN.txt", "resources/images/logo.txt"})
        EXPECT_TRUE(fs::is_regular_file(client / f)) << f;
    EXPECT_EQ(fs::file_size(client / "data" / "media.bin"), 2'300'000u);
    EXPECT_TRUE((fs::status(client / "Corvexa.exe").permissions() & fs::perms::owner_exec) != fs::perms::none);
    EXPECT_FALSE(fs::exists(client / "Update"));

    // Started in its folder (the launch path carries a doubled separator).
    std::string started = WaitForFile(client / "started");
    EXPECT_EQ(started.substr(started.find("folder ") + 7), client.string() + "\n");

    std::string launcher = Slurp(root.Launcher());
    EXPECT_NE(launcher.find("Exec=\"" + client.string() + "//Corvexa.exe\"\n"), std::string::npos) << launcher;
    EXPECT_NE(launcher.find("Path=" + client.string() + "//\n"), std::string::npos) << launcher;

    std::u16string dir = T(client) + u"/";
    std::vector<std::pair<std::u16string, std::u16string>> expected = {
        {u"DisplayIcon", dir + u"Corvexa.exe"},
        {u"DisplayName", u"Zelvano在线直播一对一"},
        {u"DisplayVersion", u"1.0.1"},
        {u"HelpLink", u""},
        {u"InstallLocation", dir},
        {u"Publisher", u"Zelvano教育集团"},
        {u"UninstallString", u"\"" + dir + u"Uninstall.exe\""},
        {u"ReleaseVersion", u"2.0.0"},
    };
    EXPECT_EQ(root.UninstallValues(), expected);

    // One update request without a query, one size request, ranged pieces.
    auto requests = root.Requests();
    int updates = 0, heads = 0, gets = 0;
    for (const auto& [request, range] : requests) {
        if (request == "GET /api/autodownload/student HTTP/1.1") ++updates;
        if (request == "HEAD /files/release.zip HTTP/1.1") ++heads;
        if (request == "GET /files/release.zip HTTP/1.1") {
            ++gets;
            EXPECT_EQ(range.rfind("bytes=", 0), 0u) << range;
        }
    }
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(heads, 1);
    EXPECT_EQ(gets, static_cast<int>((fs::file_size(archive) + 1023999) / 1024000));
    EXPECT_EQ(requests.size(), 2u + gets);

    // The demo's uninstaller takes everything away again.
    TRunResult uninstall = RunProgram(client / "Uninstall.exe", {}, root.Environment(), 20);
    EXPECT_EQ(uninstall.ExitStatus, 0) << uninstall.Stderr;
    EXPECT_FALSE(fs::exists(client));
    EXPECT_FALSE(fs::exists(root.Launcher()));
    EXPECT_TRUE(root.UninstallValues().empty());
}

TEST(Install, WindowsXpAsksWithTheQuery) {
    TInstallRoot root;
    root.Serve(ZELVANO_DEMO_ARCHIVE);
    TRunResult run = root.RunSetup({{"ZELVANO_WINDOWS_VERSION", "5.1"}});
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    ASSERT_FALSE(root.Requests().empty());
    EXPECT_EQ(root.Requests().front().first, "GET /api/autodownload/student?os=xp HTTP/1.1");
    EXPECT_TRUE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
}

// Every failure of the request, of its reply and of the size request ends in
// the network-failure state: the unattended run says so and ends with 1.
TEST(Install, FailedRequestsEndInTheNetworkFailureState) {
    struct Case {
        const char* name;
        std::string reply;
        std::string config;
        bool deadServer = false;
        bool noArchive = false;
    } cases[] = {
        {"dead server", "", "", true},
        {"status 500", "", "location = /api/autodownload/student { return 500; }"},
        {"unclosed object", R"({"download_url":"%URL%")", ""},
        {"empty reply", "", ""},
        {"no download_url", R"({"url":"%URL%"})", ""},
        {"empty download_url", R"({"download_url":""})", ""},
        {"html page", "<html><body>maintenance</body></html>", ""},
        {"archive missing", R"({"download_url":"%URL%",%RELEASE%})", "", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TInstallRoot root;
        root.Serve(c.noArchive ? fs::path() : fs::path(ZELVANO_DEMO_ARCHIVE), c.reply, c.config);
        std::map<std::string, std::optional<std::string>> env;
        if (c.deadServer) env["ZELVANO_UPDATE_SERVER"] = "http://127.0.0.1:" + std::to_string(FreePort());
        TRunResult run = root.RunSetup(env, 30);
        EXPECT_FALSE(run.TimedOut);
        EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
        EXPECT_EQ(run.LastLine(), kHintNetworkFailure);
        EXPECT_FALSE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
        EXPECT_TRUE(root.UninstallValues().empty());
    }
}

TEST(Install, TruncatedArchiveFailsTheInstallationAndKeepsTheArchive) {
    TInstallRoot root;
    std::string whole = Slurp(ZELVANO_DEMO_ARCHIVE);
    WriteFile(root.Root() / "truncated.zip", whole.substr(0, whole.size() / 2));
    root.Serve(root.Root() / "truncated.zip");
    TRunResult run = root.RunSetup();
    EXPECT_EQ(run.ExitStatus, 2) << run.Stderr;
    EXPECT_EQ(run.LastLine(), kHintInstallFailed);
    EXPECT_EQ(fs::file_size(root.ClientFolder() / "Update" / "Version.zip"), whole.size() / 2);
    EXPECT_FALSE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
    EXPECT_FALSE(fs::exists(root.Launcher()));
    EXPECT_TRUE(root.UninstallValues().empty());
}

// An installation that leaves the client incomplete says so: the
// installation-failed state and status 2, with no launcher, uninstall entry
// or client start. Files already written stay, and so does the archive.
TEST(Install, IncompleteInstallationsFail) {
    struct Case {
        const char* name;
        // Turns the demo release in `stage` into the archive to serve and
        // prepares the client folder; returns a file the run cannot write,
        // which must stay as it was (or missing).
        std::function<fs::path(TInstallRoot&, const fs::path& stage)> prepare;
        bool lockKeptFile = false;
    } cases[] = {
        {"archive sealed with another password",
         [](TInstallRoot& root, const fs::path& stage) {
             ZipFolder(stage, root.Root() / "release.zip", "not-the-password");
             return fs::path();
         }},
        {"archive without the client",
         [](TInstallRoot& root, const fs::path& stage) {
             fs::remove(stage / "Corvexa.exe");
             ZipFolder(stage, root.Root() / "release.zip");
             return fs::path();
         }},
        {"entry with a wrong CRC",
         [](TInstallRoot& root, const fs::path& stage) {
             // Stored and not encrypted, so the changed letter reaches the CRC check.
             ZipFolder(stage, root.Root() / "release.zip", "", "-0");
             std::string bytes = Slurp(root.Root() / "release.zip");
             size_t at = bytes.find("Zelvano Online 2.0 demo client");
             EXPECT_NE(at, std::string::npos);
             if (at != std::string::npos) bytes[at] ^= 0x20;
             WriteFile(root.Root() / "release.zip", bytes);
             return fs::path();
         }},
        {"file to be replaced held by another process",
         [](TInstallRoot& root, const fs::path& stage) {
             ZipFolder(stage, root.Root() / "release.zip");
             WriteFile(root.ClientFolder() / "readme.txt", "old");
             return root.ClientFolder() / "readme.txt";
         },
         true},
        {"folder of the client not writable",
         [](TInstallRoot& root, const fs::path& stage) {
             // Without folder entries, whose stored modes would make it writable again.
             ZipFolder(stage, root.Root() / "release.zip", "qazkt", "-D");
             fs::path config = root.ClientFolder() / "data" / "config";
             fs::create_directories(config);
             fs::permissions(config, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                             fs::perm_options::remove);
             return config / "settings.ini";
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TInstallRoot root;
        fs::path stage = root.Root() / "stage";
        UnpackDemo(stage);
        fs::path kept = c.prepare(root, stage);
        auto contentOf = [](const fs::path& f) { return fs::exists(f) ? Slurp(f) : "(missing)"; };
        const std::string keptBefore = contentOf(kept);
        root.Serve(root.Root() / "release.zip");
        // This process holds the lock for the whole run.
        int lock = c.lockKeptFile ? open(kept.c_str(), O_RDONLY) : -1;
        if (c.lockKeptFile) {
            ASSERT_EQ(flock(lock, LOCK_EX), 0);
        }
        TRunResult run = root.RunSetup();
        if (lock >= 0) close(lock);

        EXPECT_EQ(run.ExitStatus, 2) << run.Stderr;
        EXPECT_EQ(run.LastLine(), kHintInstallFailed);
        EXPECT_FALSE(fs::exists(root.Launcher()));
        EXPECT_TRUE(root.UninstallValues().empty());
        EXPECT_FALSE(fs::exists(root.ClientFolder() / "started"));
        EXPECT_EQ(fs::file_size(root.ClientFolder() / "Update" / "Version.zip"),
                  fs::file_size(root.Root() / "release.zip"));
        if (!kept.empty()) {
            EXPECT_EQ(contentOf(kept), keptBefore);
        }
    }
}

// An install folder in which the client folder cannot be made fails the
// installation before any download, without a message about a folder that
// was never there; Install and Change stay usable (see the window flows).
TEST(Install, UnusableInstallFolderFailsBeforeTheDownload) {
    struct Case {
        const char* name;
        std::function<void(TInstallRoot&)> spoil;
    } cases[] = {
        {"a file of the client folder's name", [](TInstallRoot& root) { WriteFile(root.ClientFolder(), "x"); }},
        {"no permission",
         [](TInstallRoot& root) {
             fs::permissions(root.ProgramFiles(), fs::perms::owner_write | fs::perms::group_write |
                                                      fs::perms::others_write, fs::perm_options::remove);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TInstallRoot root;
        root.Serve(ZELVANO_DEMO_ARCHIVE);
        c.spoil(root);
        TRunResult run = root.RunSetup();
        EXPECT_EQ(run.ExitStatus, 2) << run.Stderr;
        EXPECT_EQ(run.LastLine(), kHintInstallFailed);
        // An unattended run writes its message boxes to standard error,
        // after the window's title.
        EXPECT_EQ(run.Stderr.find("Zelvanoviz-"), std::string::npos) << run.Stderr;
        auto requests = root.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].first, "GET /api/autodownload/student HTTP/1.1");
        EXPECT_FALSE(fs::is_directory(root.ClientFolder()));
        EXPECT_FALSE(fs::exists(root.Launcher()));
        EXPECT_TRUE(root.UninstallValues().empty());
    }
}

TEST(Install, ClientInASubFolderOfTheArchive) {
    TInstallRoot root;
    fs::path stage = root.Root() / "stage";
    UnpackDemo(stage / "bin");
    fs::rename(stage / "bin" / "data", stage / "data");
    ZipFolder(stage, root.Root() / "nested.zip");
    root.Serve(root.Root() / "nested.zip");
    TRunResult run = root.RunSetup();
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    fs::path bin = root.ClientFolder() / "bin";
    std::string started = WaitForFile(bin / "started");
    EXPECT_EQ(started.substr(started.find("folder ") + 7), bin.string() + "\n");
    // Hits keep the search's doubled separator after the client folder.
    std::string hit = root.ClientFolder().string() + "//bin/";
    EXPECT_NE(Slurp(root.Launcher()).find("Exec=\"" + hit + "Corvexa.exe\""), std::string::npos);
    // The entry names the sub-folder's files.
    auto values = root.UninstallValues();
    ASSERT_EQ(values.size(), 8u);
    EXPECT_EQ(values[0].second, Utf8ToText(hit) + u"Corvexa.exe");
    EXPECT_EQ(values[4].second, Utf8ToText(hit));
    EXPECT_EQ(values[6].second, u"\"" + Utf8ToText(hit) + u"Uninstall.exe\"");
}

TEST(Install, RunningClientIsEndedAndTwoInstallationsLeaveTheLastEntry) {
    TInstallRoot root;
    root.Serve(ZELVANO_DEMO_ARCHIVE);
    fs::path elsewhere = root.Root() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::copy_file("/bin/sleep", elsewhere / "Corvexa.exe");
    pid_t running = fork();
    if (running == 0) {
        execl((elsewhere / "Corvexa.exe").c_str(), "Corvexa.exe", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Waits until the child runs as "Corvexa.exe".
    for (int i = 0; i < 300; ++i) {
        std::error_code ec;
        if (fs::read_symlink("/proc/" + std::to_string(running) + "/exe", ec).filename() == "Corvexa.exe") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    TRunResult first = root.RunSetup();
    EXPECT_EQ(first.ExitStatus, 0) << first.Stderr;
    int status = 0;
    EXPECT_EQ(waitpid(running, &status, WNOHANG), running);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    fs::path second = root.Root() / "Second Place";
    fs::create_directories(second);
    TRunResult again = root.RunSetup({{"PROGRAMFILES", second.string() + "/"}});
    EXPECT_EQ(again.ExitStatus, 0) << again.Stderr;
    auto values = root.UninstallValues();
    ASSERT_EQ(values.size(), 8u);
    EXPECT_EQ(values[4].second, T(second) + u"/Pordino2.0/");
    size_t keys = 0;
    for (const auto& e : fs::recursive_directory_iterator(root.Registry()))
        if (e.is_regular_file()) ++keys;
    EXPECT_EQ(keys, 1u);
    EXPECT_NE(Slurp(root.Launcher()).find(second.string() + "/Pordino2.0//Corvexa.exe"), std::string::npos);
}

// A destination file held by another process is deleted once it is released,
// within the retries' waits, and then written anew.
TEST(Install, LockedDestinationFileIsRetried) {
    TInstallRoot root;
    root.Serve(ZELVANO_DEMO_ARCHIVE);
    fs::path readme = root.ClientFolder() / "readme.txt";
    WriteFile(readme, "old");
    fs::path archive = root.ClientFolder() / "Update" / "Version.zip";
    // Holds the lock until the download is complete, then 0.6 s more.
    std::string script = "while [ \"$(stat -c %s " + zelvano_test::ShellQuote(archive.string()) +
                         " 2>/dev/null)\" != " + std::to_string(fs::file_size(ZELVANO_DEMO_ARCHIVE)) +
                         " ]; do sleep 0.02; done; sleep 0.6";
    pid_t holder = fork();
    if (holder == 0) {
        execlp("flock", "flock", "-x", readme.c_str(), "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    TRunResult run = root.RunSetup();
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    int status = 0;
    EXPECT_EQ(waitpid(holder, &status, 0), holder);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(Slurp(readme), "old");
    EXPECT_NE(Slurp(readme).find("Zelvano Online 2.0 demo client"), std::string::npos);
    EXPECT_GE(run.Seconds, 0.6);
}

// An uninstall entry that cannot be written fails the installation instead of
// leaving the window waiting: no client start, Install enabled again.
TEST(Install, UninstallEntryThatCannotBeWrittenFailsTheInstallation) {
    TInstallRoot root;
    root.Serve(ZELVANO_DEMO_ARCHIVE);
    root.BlockUninstallEntry();
    TRunResult run = root.RunSetup();
    EXPECT_EQ(run.ExitStatus, 2) << run.Stderr;
    EXPECT_EQ(run.LastLine(), kHintInstallFailed);
    EXPECT_TRUE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
    EXPECT_TRUE(fs::exists(root.Launcher()));  // made before the entry
    EXPECT_EQ(Slurp(root.UninstallKeyFile()), "{}\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(root.ClientFolder() / "started"));
}

// A desktop where the shortcut cannot be saved (a file stands where the
// folder should be) fails the installation: nothing is registered or
// started, and the run does not end as a finished one.
TEST(Install, ShortcutThatCannotBeSavedFailsTheInstallation) {
    TInstallRoot root;
    root.Serve(ZELVANO_DEMO_ARCHIVE);
    fs::remove_all(root.Desktop());
    WriteFile(root.Desktop(), "not a folder");
    TRunResult run = root.RunSetup();
    EXPECT_EQ(run.ExitStatus, 2) << run.Stderr;
    EXPECT_EQ(run.LastLine(), kHintInstallFailed);
    EXPECT_TRUE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
    EXPECT_TRUE(root.UninstallValues().empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(root.ClientFolder() / "started"));
}
