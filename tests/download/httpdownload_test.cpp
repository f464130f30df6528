// The threaded downloader against nginx (real ranges, keep-alive, redirects)
// and the scripted fault server (hostile replies, short and empty replies,
// IPv6 loopback).
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <condition_variable>
#include <csignal>
#include <mutex>

#include "download_support.h"
#include "hostile_replies.h"
#include "platform/socket.h"
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
        // A complete local file: only the HEAD.
        {1000, 1000, true, {}},
        // A longer local file cannot be a prefix: it is started over.
        {1000, 1500, true, {"0-"}},
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

        if (c.local == c.remote) {
            EXPECT_EQ(ReadFile(local), localData) << "a complete local file is left as it is";
        } else {
            EXPECT_TRUE(ReadFile(local) == remote) << "local file differs from the remote one";
        }

        // The gauge spans 110 % of the size; the label reads the install gauge.
        const int64_t len = static_cast<int64_t>(c.remote);
        EXPECT_EQ(gauge.MaxValue(), len + len / 10);
        EXPECT_EQ(gauge.Progress(), len);
        EXPECT_EQ(gauge.ProgressCalls(), static_cast<int>(c.ranges.size()) + 1);
        // 90% at the end of a download.
        EXPECT_EQ(window.PercentLabel(), u"90%");
        if (c.remote == 1234567) {
            EXPECT_EQ(gauge.MaxValue(), 1358023);
        }
    }
}

TEST(HttpDownLoad, EmptyRemoteFileLeavesAnEmptyLocalFile) {
    // nginx announces 0 for an empty file: no GET, and the local file is made
    // empty whether it was missing or held other bytes.
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "empty", "");
    zelvano_test::NginxServer nginx(root.Path());

    for (const bool existed : {false, true}) {
        SCOPED_TRACE(existed ? "a local file was there" : "no local file");
        const fs::path local = out.Path() / "Version.zip";
        if (existed) WriteFile(local, "old bytes");
        TPlainProgressGauge gauge;
        TPlainDownLoadWindow window(&gauge);
        THttpDownLoad downloader(&gauge, &window);
        downloader.SetDownLoadUrl(Text(nginx.BaseURL() + "/empty"));
        downloader.SetLocalFileName(Text(local.string()));
        RunResult run = RunToEnd(downloader);
        EXPECT_EQ(run.finishCalls, 1);
        EXPECT_EQ(run.errorCalls, 0) << platform::TextToUtf8(run.lastError);
        ASSERT_TRUE(fs::exists(local));
        EXPECT_EQ(fs::file_size(local), 0u);
        EXPECT_EQ(gauge.ProgressCalls(), 0) << "a size of 0 moves nothing";
        EXPECT_EQ(window.PercentLabel(), u"");
    }
    EXPECT_EQ(GetRanges(Requests(nginx)).size(), 0u);
}

TEST(HttpDownLoad, ServerIgnoringRangeStartsTheFileOver) {
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
    EXPECT_EQ(run.errorCalls, 0) << platform::TextToUtf8(run.lastError);
    auto requests = Requests(nginx);
    EXPECT_EQ(GetRanges(requests), std::vector<std::string>{"1000-"});
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].status, 200);
    EXPECT_TRUE(ReadFile(local) == remote) << "the 200 is the whole file, written from position 0";
}

// Whatever a server does, the run ends with the remote bytes or through the
// error event; never with completion and other bytes.
TEST(HttpDownLoad, HostileRepliesEndInErrorOrIdenticalBytes) {
    for (const auto& c : HostileCases()) {
        SCOPED_TRACE(c.what);
        zelvano_test::FaultServer server(c.script);
        zelvano_test::TempDir out;
        const fs::path local = out.Path() / "Version.zip";
        if (c.local) WriteFile(local, *c.local);
        THttpDownLoad downloader(nullptr);
        downloader.SetDownLoadUrl(Text(server.BaseURL() + "/v.zip"));
        downloader.SetLocalFileName(Text(local.string()));
        RunResult run = RunToEnd(downloader, std::chrono::seconds(20));
        EXPECT_TRUE(run.finished) << "the run did not end";
        EXPECT_EQ(run.finishCalls + run.errorCalls, 1);
        if (run.finishCalls == 1) {
            EXPECT_TRUE(fs::exists(local) && ReadFile(local) == c.remote) << "completed with other bytes";
        }
        EXPECT_EQ(run.finishCalls == 1, c.identical) << platform::TextToUtf8(run.lastError);
        if (!c.identical) {
            EXPECT_FALSE(run.lastError.empty());
        }
    }
}

TEST(HttpDownLoad, ReplyCheckMessagesNameWhatWasWrong) {
    const std::string remote = Bytes(3000, 43);
    const std::string head3000 = R"(HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n)";
    struct Case {
        std::string reply;
        std::string message;
    } cases[] = {
        {R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 5-2999/3000\r\nContent-Length: 2995\r\n\r\n)",
         "Reply to the range 0- names the range \"bytes 5-2999/3000\""},
        {R"(HTTP/1.1 200 OK\r\nContent-Length: 2999\r\n\r\n)", "Reply of 2999 bytes for a file of 3000 bytes"},
        {R"(HTTP/1.1 204 No Content\r\n\r\n)", "Reply to the range 0- is \"HTTP/1.1 204 No Content\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        zelvano_test::FaultServer server(Script({Conn({head3000, c.reply})}));
        zelvano_test::TempDir out;
        THttpDownLoad downloader(nullptr);
        downloader.SetDownLoadUrl(Text(server.BaseURL() + "/v.zip"));
        downloader.SetLocalFileName(Text((out.Path() / "v.zip").string()));
        RunResult run = RunToEnd(downloader, std::chrono::seconds(20));
        EXPECT_EQ(run.errorCalls, 1);
        EXPECT_EQ(platform::TextToUtf8(run.lastError), c.message);
        EXPECT_FALSE(fs::exists(out.Path() / "v.zip")) << "nothing of a refused reply is written";
    }
}

TEST(HttpDownLoad, IPv6LoopbackKeepsItsBracketsInEveryRequest) {
    {
        platform::Socket probe;
        platform::SocketAddress address;
        if (platform::ResolveHost("::1", platform::SocketFamily::IPv6, address) != 0 ||
            probe.Create(platform::SocketFamily::IPv6) != 0)
            GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    }
    const std::string remote = Bytes(3000, 47);
    std::unique_ptr<zelvano_test::FaultServer> server;
    try {
        server = std::make_unique<zelvano_test::FaultServer>(
            Script({Conn({R"(HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n)",
                          R"(HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nContent-Length: 3000\r\n\r\n)" +
                              JsonBytes(remote)})}),
            "::1");
    } catch (const std::exception& e) {
        GTEST_SKIP() << "no server on ::1 on this machine: " << e.what();
    }
    zelvano_test::TempDir out;
    const fs::path local = out.Path() / "v.zip";
    THttpDownLoad downloader(nullptr);
    downloader.SetDownLoadUrl(Text(server->BaseURL() + "/v.zip"));
    downloader.SetLocalFileName(Text(local.string()));
    RunResult run = RunToEnd(downloader);
    EXPECT_EQ(run.finishCalls, 1);
    EXPECT_EQ(run.errorCalls, 0) << platform::TextToUtf8(run.lastError);
    EXPECT_TRUE(ReadFile(local) == remote);
    const auto requests = server->Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& r : requests) {
        EXPECT_NE(r.Head.find("\r\nHost: [::1]:" + std::to_string(server->Port()) + "\r\n"), std::string::npos) << r.Head;
        EXPECT_EQ(r.Connection, 0) << "every request over the one kept connection";
    }
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
        EXPECT_EQ(downloader.LocalFileFailed(), c.errorStart.empty()) << "only the folder cases fail locally";
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
    EXPECT_TRUE(downloader.LocalFileFailed()) << "a write failure is the local file's, not the network's";
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
    zelvano_test::FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 2000\r\n\r\n"},
        {"read": "head"},
        {"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-1999/2000\r\nContent-Length: 2000\r\n\r\n)" +
                                     JsonBytes(remote.substr(0, 500)) + R"("},
        {"close": true}],
        [{"read": "head"},
         {"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 500-1999/2000\r\nContent-Length: 1500\r\n\r\n)" +
                                     JsonBytes(remote.substr(500)) + R"("}],
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
        {"read": "head"},
        {"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-1999/2000\r\nContent-Length: 2000\r\n\r\n"},
        {"close": true}]]})");
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
