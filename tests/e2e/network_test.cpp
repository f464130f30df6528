// The setup program unattended on lines that misbehave: the release archive
// comes through the fault proxy in front of nginx, which stalls, resets and
// refuses, cuts connections or answers 503. Each installs in one run and
// carries the archive about once; a second attempt continues a kept archive,
// or fetches it anew when the server's file changed.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>

#include "tests/e2e/e2e_support.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/fault_server.h"

using namespace e2e;

namespace {

// The demo release with an incompressible file of `size` bytes (the file's
// bytes follow from its size).
fs::path MakeRelease(const fs::path& work, size_t size, const std::string& name) {
    fs::path stage = work / ("stage-" + name);
    UnpackDemo(stage);
    WriteRandomFile(stage / "data" / "media.bin", size);
    ZipFolder(stage, work / (name + ".zip"));
    return work / (name + ".zip");
}

// The update reply of `root` names the archive at `base`, with the signed
// statement of `archive`.
void ReplyWithArchiveAt(TInstallRoot& root, const fs::path& archive, const std::string& base) {
    root.WriteReply(archive, R"({"download_url":")" + base + R"(/files/release.zip","version":"2.0",%RELEASE%})");
}

}  // namespace

struct TFaultyLine {
    const char* name;
    std::vector<std::string> options;  // the fault proxy's
    double atMostSeconds;
};

void PrintTo(const TFaultyLine& line, std::ostream* out) { *out << line.name; }

class FaultyLine : public testing::TestWithParam<TFaultyLine> {};

// One run installs, carrying the archive at most about once.
TEST_P(FaultyLine, InstallsInOneRun) {
    const TFaultyLine& c = GetParam();
    TInstallRoot root;
    const size_t mediaSize = 40'000'000;
    const fs::path archive = MakeRelease(root.Root(), mediaSize, "release");
    const auto archiveSize = static_cast<double>(fs::file_size(archive));
    root.Serve(archive);
    zelvano_test::FaultProxy proxy(root.Nginx().Port(), c.options);
    ReplyWithArchiveAt(root, archive, proxy.BaseURL());
    TRunResult run = root.RunSetup({}, 80);
    EXPECT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    EXPECT_EQ(fs::file_size(root.ClientFolder() / "data" / "media.bin"), mediaSize);
    EXPECT_TRUE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
    const double carried = static_cast<double>(proxy.Stat("bytes"));
    EXPECT_LE(carried, 1.1 * archiveSize);
    EXPECT_LT(run.Seconds, c.atMostSeconds);
    // The fault did happen on the way.
    EXPECT_GT(proxy.Stat("stalls") + proxy.Stat("resets") + proxy.Stat("cuts") + proxy.Stat("failures"), 0);
    std::printf("[ figures  ] %s: 1 run, %.0f of %.0f bytes carried (%.2fx), %.1f s\n", c.name, carried,
                archiveSize, carried / archiveSize, run.Seconds);
}

INSTANTIATE_TEST_SUITE_P(
    InstallNetwork, FaultyLine,
    testing::Values(TFaultyLine{"Stall", {"--stall-after", "12000000"}, 60},
                    TFaultyLine{"ResetThenRefused", {"--reset-after", "12000000", "--refuse-for", "6"}, 45},
                    TFaultyLine{"ClosedEvery5MB", {"--cut-every", "5000000"}, 30},
                    TFaultyLine{"Every4thRequest503", {"--fail-every", "4"}, 45}),
    [](const testing::TestParamInfo<TFaultyLine>& info) { return std::string(info.param.name); });

// A run broken off during the download (the process killed) leaves the
// archive's first part and its record; the next run continues it while the
// server has the same file, and fetches the new file from 0 when it changed.
TEST(InstallNetwork, NextRunContinuesTheSameFileAndRefetchesAChangedOne) {
    zelvano_test::TempDir work;
    const fs::path first = MakeRelease(work.Path(), 6'000'000, "first");
    const fs::path second = MakeRelease(work.Path(), 6'000'001, "second");
    for (bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "changed between the runs" : "the same file");
        TInstallRoot root;
        root.Serve(first);
        fs::path partial = root.ClientFolder() / "Update" / "Version.zip";
        int port = 0;
        {
            // A slow line: the first run is ended part-way.
            zelvano_test::FaultProxy proxy(root.Nginx().Port(), {"--rate", "400000"});
            port = proxy.Port();
            ReplyWithArchiveAt(root, first, proxy.BaseURL());
            TRunResult broken = root.RunSetup({}, 6);
            EXPECT_TRUE(broken.TimedOut);
        }
        ASSERT_TRUE(fs::exists(partial));
        const auto kept = fs::file_size(partial);
        ASSERT_GT(kept, 0u);
        ASSERT_LT(kept, fs::file_size(first));
        EXPECT_TRUE(fs::exists(root.ClientFolder() / "Update" / "Version.zip.head"));

        if (changed) {
            fs::copy_file(second, root.Www() / "files" / "release.zip", fs::copy_options::overwrite_existing);
            fs::last_write_time(root.Www() / "files" / "release.zip",
                                fs::last_write_time(root.Www() / "files" / "release.zip") + std::chrono::hours(1));
        }
        // The same address again, now on a good line.
        zelvano_test::FaultProxy proxy(root.Nginx().Port(), {"--port", std::to_string(port)});
        // The publisher's statement names the file the server now has.
        ReplyWithArchiveAt(root, changed ? second : first, proxy.BaseURL());
        const size_t before = root.Requests().size();
        TRunResult run = root.RunSetup({}, 60);
        EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
        EXPECT_EQ(fs::file_size(root.ClientFolder() / "data" / "media.bin"), changed ? 6'000'001u : 6'000'000u);
        std::string firstRange;
        for (size_t i = before; i < root.Requests().size(); ++i)
            if (root.Requests()[i].first.rfind("GET /files/", 0) == 0) {
                firstRange = root.Requests()[i].second;
                break;
            }
        if (changed)
            EXPECT_EQ(firstRange, "bytes=0-1023999") << "kept " << kept;
        else
            EXPECT_EQ(firstRange.rfind("bytes=" + std::to_string(kept) + "-", 0), 0u) << firstRange;
        EXPECT_FALSE(fs::exists(root.ClientFolder() / "Update"));
    }
}

// A disk that fills during the download (here the file-size limit) fails the
// installation, not the network; the pieces written stay, and the next run
// continues from them.
TEST(InstallNetwork, FullDiskFailsTheInstallationAndTheNextRunContinues) {
    TInstallRoot root;
    const fs::path archive = MakeRelease(root.Root(), 6'000'000, "release");
    root.Serve(archive);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 2'500'000;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    TRunResult full = root.RunSetup({}, 60);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(full.ExitStatus, 2) << full.Stderr;
    EXPECT_EQ(full.LastLine(), "安装应用程序失败，请重新安装 . . . ");
    const fs::path partial = root.ClientFolder() / "Update" / "Version.zip";
    ASSERT_TRUE(fs::exists(partial));
    EXPECT_EQ(fs::file_size(partial), 2'048'000u) << "the pieces written before the disk filled";

    const size_t before = root.Requests().size();
    TRunResult run = root.RunSetup({}, 60);
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    EXPECT_EQ(fs::file_size(root.ClientFolder() / "data" / "media.bin"), 6'000'000u);
    for (size_t i = before; i < root.Requests().size(); ++i)
        if (root.Requests()[i].first.rfind("GET /files/", 0) == 0) {
            EXPECT_EQ(root.Requests()[i].second, "bytes=2048000-3071999");
            break;
        }
}

// A server that accepts and never answers: the program notices the silence,
// asks again after growing pauses, and once two minutes have passed without
// progress ends in the network-failure state (about 140 s: the window and
// one idle deadline).
TEST(InstallNetworkSlow, ServerThatNeverAnswersEndsInTheNetworkFailureState) {
    TInstallRoot root;
    root.Serve(ZELVANO_DEMO_ARCHIVE);
    zelvano_test::FaultServer silent(R"({"connections": [], "default": [{"read": "head"}, {"hold": 300}]})");
    ReplyWithArchiveAt(root, ZELVANO_DEMO_ARCHIVE, silent.BaseURL());
    TRunResult run = root.RunSetup({}, 200);
    EXPECT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
    EXPECT_EQ(run.LastLine(), "网络断开安装失败 ，请重新安装 . . .");
    EXPECT_GT(run.Seconds, 120);
    EXPECT_LT(run.Seconds, 170);
    // The size request was asked again, each time on a new connection.
    EXPECT_GE(silent.Connections(), 4);
    EXPECT_EQ(static_cast<int>(silent.Requests().size()), silent.Connections());
    std::printf("[ figures  ] never answers: network failure after %.1f s, %d requests\n", run.Seconds,
                silent.Connections());
}
