// The threaded downloader against nginx (real ranges, keep-alive, redirects)
// and the scripted fault server (missing sizes, short and empty replies).
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <condition_variable>
#include <csignal>
#include <mutex>

#include "download_support.h"
#include "platform/stream.h"
#include "tests/support/fault_server.h"

namespace {

using namespace download_test;
using download::THttpDownLoad;
using download::TPlainDownLoadWindow;
using download::TPlainProgressGauge;

struct PieceCase {
    size_t remote;      // size of the file on the server
    size_t local;       // bytes of it already in the local file
    bool localExists;   // whether a local file is there at all
    std::vector<std::string> ranges;  // Range values of the GETs, in order
};

TEST(HttpDownLoad, PiecesResumeAndCompletion) {
    const PieceCase cases[] = {
        // From zero: the last piece is open once 1,024,000 bytes or fewer remain.
        {2048000, 0, false, {"0-1023999", "1024000-"}},
        {2048001, 0, false, {"0-1023999", "1024000-2047999", "2048000-"}},
        {1234567, 0, false, {"0-1023999", "1024000-"}},
        {1000, 0, false, {"0-"}},
        // An empty local file counts as a start from zero.
        {5000, 0, true, {"0-"}},
        // Resuming: the first range starts where the local file ends.
        {2500000, 100, true, {"100-1024099", "1024100-2048099", "2048100-"}},
        {1500000, 476000, true, {"476000-"}},  // exactly 1,024,000 bytes left
        {3000000, 1975999, true, {"1975999-2999998", "2999999-"}},  // one byte over a piece
        // Complete or longer local files: only the HEAD.
        {1000, 1000, true, {}},
        {1000, 1500, true, {}},
    };
    zelvano_test::TempDir root, out;
    auto nameOf = [](size_t i) { return std::string("f").append(std::to_string(i)); };
    for (size_t i = 0; i < std::size(cases); ++i)
        WriteFile(root.Path() / nameOf(i), Bytes(cases[i].remote, i + 1));
    zelvano_test::NginxServer nginx(root.Path());

    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i) + ": remote " + std::to_string(c.remote) +
                     ", local " + std::to_string(c.local));
        const std::string name = nameOf(i);
        const std::string remote = Bytes(c.remote, i + 1);
        const fs::path local = out.Path() / name;
        std::string localData = c.local <= c.remote ? remote.substr(0, c.local)
                                                    : remote + Bytes(c.local - c.remote, 99);
        if (c.localExists) WriteFile(local, localData);

        TPlainProgressGauge gauge;
        TPlainDownLoadWindow window(&gauge);
        THttpDownLoad downloader(&gauge, &window);
        downloader.SetDownLoadUrl(Text(nginx.BaseURL() + "/" + name));
        downloader.SetLocalFileName(Text(local.string()));
        downloader.SetFileID(100);
        RunResult run = RunToEnd(downloader);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.finishCalls, 1);
        EXPECT_EQ(run.errorCalls, 0) << platform::TextToUtf8(run.lastError);
        EXPECT_TRUE(run.eventsOnWorker);
        EXPECT_TRUE(downloader.Terminated());

        std::vector<LoggedRequest> mine;
        for (const auto& r : Requests(nginx))
            if (r.path == "/" + name) mine.push_back(r);
        ASSERT_FALSE(mine.empty());
        EXPECT_EQ(mine.front().method, "HEAD");
        EXPECT_EQ(mine.front().range, "-") << "the HEAD goes out without a range";
        EXPECT_EQ(GetRanges(mine), c.ranges);
        for (const auto& r : mine) EXPECT_EQ(r.connection, mine.front().connection) << "kept alive";

        if (c.local >= c.remote) {
            EXPECT_EQ(ReadFile(local), localData) << "a complete local file is left as it is";
        } else {
            EXPECT_TRUE(ReadFile(local) == remote) << "local file differs from the remote one";
        }

        // The gauge spans 110 % of the size; the label reads the install gauge.
        const int64_t len = static_cast<int64_t>(c.remote);
        EXPECT_EQ(gauge.MaxValue(), len + len / 10);
        EXPECT_EQ(gauge.Progress(), std::min<int64_t>(static_cast<int64_t>(c.local > c.remote ? c.local : c.remote), len + len / 10));
        EXPECT_EQ(gauge.ProgressCalls(), static_cast<int>(c.ranges.size()) + 1);
        // 90% at the end of a download; a longer local file fills the gauge.
        EXPECT_EQ(window.PercentLabel(), c.local > c.remote ? u"100%" : u"90%");
        if (c.remote == 1234567) {
            EXPECT_EQ(gauge.MaxValue(), 1358023);
        }
    }
}

TEST(HttpDownLoad, ZeroOrMissingSizeCompletesWithoutGet) {
    // nginx announces 0 for an empty file; the fault server announces none.
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "empty", "");
    zelvano_test::NginxServer nginx(root.Path());
    zelvano_test::FaultServer noLength(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Type: application/zip\r\nConnection: close\r\n\r\n"},
        {"close": true}]]})");

    for (const std::string& url : {nginx.BaseURL() + "/empty", noLength.BaseURL() + "/v.zip"}) {
        SCOPED_TRACE(url);
        const fs::path local = out.Path() / "Version.zip";
        TPlainProgressGauge gauge;
        TPlainDownLoadWindow window(&gauge);
        THttpDownLoad downloader(&gauge, &window);
        downloader.SetDownLoadUrl(Text(url));
        downloader.SetLocalFileName(Text(local.string()));
        RunResult run = RunToEnd(downloader);
        EXPECT_EQ(run.finishCalls, 1);
        EXPECT_EQ(run.errorCalls, 0);
        EXPECT_FALSE(fs::exists(local)) << "no file is created";
        EXPECT_EQ(gauge.ProgressCalls(), 0) << "a size of 0 or less moves nothing";
        EXPECT_EQ(window.PercentLabel(), u"");
    }
    EXPECT_EQ(GetRanges(Requests(nginx)).size(), 0u);
    ASSERT_EQ(noLength.Requests().size(), 1u);
    EXPECT_EQ(noLength.Requests()[0].Head.rfind("HEAD /v.zip HTTP/1.1\r\n", 0), 0u);
}

TEST(HttpDownLoad, ServerIgnoringRangeAppendsTheWholeBody) {
    zelvano_test::TempDir root, out;
    const std::string remote = Bytes(3000, 7);
    fs::create_directory(root.Path() / "norange");
    WriteFile(root.Path() / "norange" / "f", remote);
    zelvano_test::NginxServer nginx(root.Path(), "location /norange/ { max_ranges 0; }");
    const fs::path local = out.Path() / "f";
    WriteFile(local, remote.substr(0, 1000));

    THttpDownLoad downloader(nullptr);
    downloader.SetDownLoadUrl(Text(nginx.BaseURL() + "/norange/f"));
    downloader.SetLocalFileName(Text(local.string()));
    RunResult run = RunToEnd(downloader);
    EXPECT_EQ(run.finishCalls, 1);
    EXPECT_EQ(run.errorCalls, 0);
    auto requests = Requests(nginx);
    EXPECT_EQ(GetRanges(requests), std::vector<std::string>{"1000-"});
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].status, 200);
    EXPECT_TRUE(ReadFile(local) == remote.substr(0, 1000) + remote)
        << "the whole body follows the 1000 bytes already held";
}

TEST(HttpDownLoad, FailingSecondPieceKeepsTheFirst) {
    zelvano_test::TempDir root, out;
    const std::string remote = Bytes(2500000, 3);
    for (const char* folder : {"e404", "e500"}) {
        fs::create_directory(root.Path() / folder);
        WriteFile(root.Path() / folder / "f", remote);
    }
    zelvano_test::NginxServer nginx(root.Path(), R"(
        location /e404/ { if ($http_range ~ "^bytes=1024000-") { return 404; } }
        location /e500/ { if ($http_range ~ "^bytes=1024000-") { return 500; } })");

    for (const auto& [folder, statusLine] :
         {std::pair{"e404", "HTTP/1.1 404 Not Found"},
          std::pair{"e500", "HTTP/1.1 500 Internal Server Error"}}) {
        SCOPED_TRACE(folder);
        const fs::path local = out.Path() / folder;
        TPlainProgressGauge gauge;
        THttpDownLoad downloader(&gauge);
        downloader.SetDownLoadUrl(Text(nginx.BaseURL() + "/" + folder + "/f"));
        downloader.SetLocalFileName(Text(local.string()));
        RunResult run = RunToEnd(downloader);
        EXPECT_EQ(run.finishCalls, 0);
        EXPECT_EQ(run.errorCalls, 1);
        EXPECT_TRUE(run.eventsOnWorker);
        EXPECT_EQ(platform::TextToUtf8(run.lastError), statusLine);
        EXPECT_TRUE(ReadFile(local) == remote.substr(0, 1024000)) << "exactly the first piece";
        EXPECT_EQ(gauge.Progress(), 1024000);
    }
    std::vector<std::string> ranges = GetRanges(Requests(nginx));
    EXPECT_EQ(ranges, (std::vector<std::string>{"0-1023999", "1024000-2047999", "0-1023999",
                                                "1024000-2047999"}))
        << "nothing is retried";
}

TEST(HttpDownLoad, GetsGoToTheAddressTheHeadEndedOn) {
    zelvano_test::TempDir root, out;
    const std::string remote = Bytes(1100000, 5);
    fs::create_directory(root.Path() / "files");
    WriteFile(root.Path() / "files" / "v.zip", remote);
    zelvano_test::NginxServer nginx(root.Path(), "location = /old.zip { return 302 /files/v.zip; }");
    const fs::path local = out.Path() / "v.zip";

    THttpDownLoad downloader(nullptr);
    downloader.SetDownLoadUrl(Text(nginx.BaseURL() + "/old.zip"));
    downloader.SetLocalFileName(Text(local.string()));
    RunResult run = RunToEnd(downloader);
    EXPECT_EQ(run.finishCalls, 1);
    EXPECT_TRUE(ReadFile(local) == remote);
    auto requests = Requests(nginx);
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].method + " " + requests[0].path, "HEAD /old.zip");
    EXPECT_EQ(requests[1].method + " " + requests[1].path, "HEAD /files/v.zip");
    EXPECT_EQ(requests[2].method + " " + requests[2].path, "GET /files/v.zip");
    EXPECT_EQ(requests[3].method + " " + requests[3].path, "GET /files/v.zip");
}

TEST(HttpDownLoad, DownLoadNeedsAGaugeStartDoesNot) {
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "f", Bytes(5000));
    zelvano_test::NginxServer nginx(root.Path());
    const fs::path local = out.Path() / "f";
    TPlainProgressGauge installGauge;
    TPlainDownLoadWindow window(&installGauge);

    THttpDownLoad downloader(nullptr, &window);
    downloader.SetDownLoadUrl(Text(nginx.BaseURL() + "/f"));
    downloader.SetLocalFileName(Text(local.string()));
    downloader.DownLoad();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(downloader.Started());
    EXPECT_TRUE(Requests(nginx).empty());

    RunResult run = RunToEnd(downloader);  // Start
    EXPECT_EQ(run.finishCalls, 1);
    EXPECT_TRUE(ReadFile(local) == Bytes(5000));
    EXPECT_EQ(window.PercentLabel(), u"") << "no gauge, no label";
    EXPECT_EQ(installGauge.ProgressCalls(), 0);

    // With a gauge, DownLoad starts the run.
    fs::remove(local);
    TPlainProgressGauge gauge;
    THttpDownLoad second(&gauge, &window);
    second.SetDownLoadUrl(Text(nginx.BaseURL() + "/f"));
    second.SetLocalFileName(Text(local.string()));
    second.DownLoad();
    EXPECT_TRUE(second.Started());
    second.WaitFor();
    EXPECT_TRUE(ReadFile(local) == Bytes(5000));
    // The label reads the install gauge, which this downloader does not move.
    EXPECT_EQ(window.PercentLabel(), u"0%");
}

// A gauge that holds the worker after its n-th position until released.
class GateGauge : public TPlainProgressGauge {
public:
    explicit GateGauge(int holdAt) : holdAt_(holdAt) {}
    void SetProgress(int64_t value) override {
        TPlainProgressGauge::SetProgress(value);
        std::unique_lock lock(m_);
        if (++calls_ != holdAt_) return;
        held_ = true;
        cv_.notify_all();
        cv_.wait(lock, [&] { return released_; });
    }
    void WaitUntilHeld() {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return held_; });
    }
    void Release() {
        std::lock_guard lock(m_);
        released_ = true;
        cv_.notify_all();
    }

private:
    int holdAt_;
    int calls_ = 0;
    bool held_ = false, released_ = false;
    std::mutex m_;
    std::condition_variable cv_;
};

TEST(HttpDownLoad, TerminateFromAnotherThreadStopsBeforeTheNextPiece) {
    zelvano_test::TempDir root, out;
    const std::string remote = Bytes(3500000, 11);
    WriteFile(root.Path() / "f", remote);
    zelvano_test::NginxServer nginx(root.Path());
    const fs::path local = out.Path() / "f";

    GateGauge gauge(2);  // the first position after the first piece
    THttpDownLoad downloader(&gauge);
    downloader.SetDownLoadUrl(Text(nginx.BaseURL() + "/f"));
    downloader.SetLocalFileName(Text(local.string()));
    std::atomic<int> events{0};
    downloader.OnDownLoadFinish = [&](THttpDownLoad*) { ++events; };
    downloader.OnDownLoadError = [&](THttpDownLoad*) { ++events; };
    downloader.Start();
    gauge.WaitUntilHeld();
    downloader.Terminate();
    gauge.Release();
    downloader.WaitFor();
    EXPECT_EQ(events, 0) << "a run stopped from outside calls no event";
    EXPECT_TRUE(ReadFile(local) == remote.substr(0, 1024000));
    EXPECT_EQ(GetRanges(Requests(nginx)), std::vector<std::string>{"0-1023999"});

    // A later downloader with the same file continues from there.
    THttpDownLoad again(nullptr);
    again.SetDownLoadUrl(Text(nginx.BaseURL() + "/f"));
    again.SetLocalFileName(Text(local.string()));
    RunResult run = RunToEnd(again);
    EXPECT_EQ(run.finishCalls, 1);
    EXPECT_TRUE(ReadFile(local) == remote);
    auto ranges = GetRanges(Requests(nginx));
    ASSERT_GE(ranges.size(), 2u);
    EXPECT_EQ(ranges[1], "1024000-2047999");
}

TEST(HttpDownLoad, FailuresEndThroughTheErrorEvent) {
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "f", Bytes(2000));
    zelvano_test::NginxServer nginx(root.Path());

    // A port nobody listens on: bind one, note it, let it go.
    std::string refusedURL;
    {
        zelvano_test::FaultServer gone(R"({"connections": []})");
        refusedURL = gone.BaseURL() + "/f";
    }
    struct Case {
        const char* what;
        std::string url;
        fs::path local;
        std::string errorStart;
    };
    const Case cases[] = {
        {"HEAD answered 404", nginx.BaseURL() + "/missing", out.Path() / "a",
         "HTTP/1.1 404 Not Found"},
        {"HEAD refused", refusedURL, out.Path() / "b", "Socket Error # 10061"},
        {"folder missing", nginx.BaseURL() + "/f", out.Path() / "no" / "such" / "c", ""},
        {"folder is a file", nginx.BaseURL() + "/f", root.Path() / "f" / "d", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TPlainProgressGauge gauge;
        THttpDownLoad downloader(&gauge);
        downloader.SetDownLoadUrl(Text(c.url));
        downloader.SetLocalFileName(Text(c.local.string()));
        RunResult run = RunToEnd(downloader);
        EXPECT_EQ(run.finishCalls, 0);
        EXPECT_EQ(run.errorCalls, 1);
        EXPECT_TRUE(run.eventsOnWorker);
        EXPECT_FALSE(run.lastError.empty());
        EXPECT_EQ(platform::TextToUtf8(run.lastError).rfind(c.errorStart, 0), 0u)
            << platform::TextToUtf8(run.lastError);
        EXPECT_FALSE(fs::exists(c.local));
    }
}

#ifndef _WIN32  // the file-size limit is a POSIX resource limit
// A write that stops part-way (here at the process's file-size limit) ends the
// run through the error event, and the part of the piece that went out is cut
// off again: the file holds exactly the pieces before it.
TEST(HttpDownLoad, PartlyWrittenPieceIsCutOff) {
    zelvano_test::TempDir root, out;
    const std::string remote = Bytes(2500000, 17);
    WriteFile(root.Path() / "f", remote);
    zelvano_test::NginxServer nginx(root.Path());
    const fs::path local = out.Path() / "f";

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 1500000;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    THttpDownLoad downloader(nullptr);
    downloader.SetDownLoadUrl(Text(nginx.BaseURL() + "/f"));
    downloader.SetLocalFileName(Text(local.string()));
    RunResult run = RunToEnd(downloader);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(run.errorCalls, 1);
    EXPECT_EQ(run.finishCalls, 0);
    EXPECT_EQ(platform::TextToUtf8(run.lastError), "Stream write error");
    EXPECT_TRUE(ReadFile(local) == remote.substr(0, 1024000)) << "size " << fs::file_size(local);
}
#endif

TEST(HttpDownLoad, UnreadableLocalFileIsReportedThenEndsTheRun) {
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "f", Bytes(2000));
    zelvano_test::NginxServer nginx(root.Path());
    const fs::path local = out.Path() / "Version.zip";
    WriteFile(local, "held");
    // Another writer holds the file exclusively (until the end of the run).
    auto holder = std::make_unique<platform::TFileStream>(local.string(),
                                                          platform::fmOpenReadWrite | platform::fmShareExclusive);

    TPlainProgressGauge gauge;
    TPlainDownLoadWindow window(&gauge);
    THttpDownLoad downloader(&gauge, &window);
    downloader.SetDownLoadUrl(Text(nginx.BaseURL() + "/f"));
    downloader.SetLocalFileName(Text(local.string()));
    RunResult run = RunToEnd(downloader);
    std::u16string message = u"Open file \"";
    message += Text(local.string());
    message += u"\" failed!";
    EXPECT_EQ(window.Messages(), std::vector<std::u16string>{message});
    EXPECT_EQ(run.errorCalls, 1);
    EXPECT_EQ(run.finishCalls, 0);
    EXPECT_EQ(run.lastError, message);
    EXPECT_TRUE(GetRanges(Requests(nginx)).empty()) << "no piece is fetched";
    holder.reset();  // on Windows nobody may read it while it is held
    EXPECT_EQ(ReadFile(local), "held");
}

TEST(HttpDownLoad, ShortReplyIsKeptAndTheRestAskedFor) {
    const std::string remote = Bytes(2000, 13);
    auto escape = [](const std::string& bytes) {
        std::string json;
        char buffer[8];
        for (unsigned char b : bytes) {
            std::snprintf(buffer, sizeof buffer, "\\u%04x", b);
            json += buffer;
        }
        return json;
    };
    zelvano_test::FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 2000\r\n\r\n"},
        {"read": "head"},
        {"send": "HTTP/1.1 206 Partial Content\r\nContent-Length: 2000\r\n\r\n)" +
                                     escape(remote.substr(0, 500)) + R"("},
        {"close": true}],
        [{"read": "head"},
         {"send": "HTTP/1.1 206 Partial Content\r\nContent-Length: 1500\r\n\r\n)" +
                                     escape(remote.substr(500)) + R"("}],
        [{"read": "head"}]]})");
    zelvano_test::TempDir out;
    const fs::path local = out.Path() / "v.zip";
    THttpDownLoad downloader(nullptr);
    downloader.SetDownLoadUrl(Text(server.BaseURL() + "/v.zip"));
    downloader.SetLocalFileName(Text(local.string()));
    RunResult run = RunToEnd(downloader);
    EXPECT_EQ(run.finishCalls, 1);
    EXPECT_EQ(run.errorCalls, 0) << platform::TextToUtf8(run.lastError);
    EXPECT_TRUE(ReadFile(local) == remote);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_NE(requests[1].Head.find("\r\nRange: bytes=0-\r\n"), std::string::npos);
    EXPECT_NE(requests[2].Head.find("\r\nRange: bytes=500-\r\n"), std::string::npos);
}

TEST(HttpDownLoad, PieceWithoutBytesEndsTheRunInsteadOfLooping) {
    zelvano_test::FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 2000\r\n\r\n"},
        {"repeat": 5, "steps": [{"read": "head"},
                                {"send": "HTTP/1.1 206 Partial Content\r\nContent-Length: 0\r\n\r\n"}]}]]})");
    zelvano_test::TempDir out;
    const fs::path local = out.Path() / "v.zip";
    THttpDownLoad downloader(nullptr);
    downloader.SetDownLoadUrl(Text(server.BaseURL() + "/v.zip"));
    downloader.SetLocalFileName(Text(local.string()));
    RunResult run = RunToEnd(downloader, std::chrono::seconds(10));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.errorCalls, 1);
    EXPECT_EQ(run.lastError, u"No data received for the range 0-");
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_FALSE(fs::exists(local));
}

}  // namespace
