// The threaded downloader on lines that stall and drop: deadlines, retries
// with growing pauses bounded by the retry window, the pieces' bytes kept
// across a fault, and the record that lets a later run continue a kept file
// only when the remote file is the same. Deadlines here are short; the
// program's own are tried end to end.
#include <gtest/gtest.h>

#include <mutex>

#include "download/ResumeRecord.h"
#include "download_support.h"
#include "hostile_replies.h"
#include "tests/support/fault_server.h"

namespace {

using namespace download_test;
using download::RetryPause;
using download::THttpDownLoad;
using download::TNetworkPolicy;
using download::TPlainDownLoadWindow;
using download::TResumeRecord;

// A gauge that remembers every position it was set to.
class TRecordingGauge : public download::TPlainProgressGauge {
public:
    void SetProgress(int64_t value) override {
        {
            std::lock_guard lock(mutex_);
            positions_.push_back(value);
        }
        TPlainProgressGauge::SetProgress(value);
    }
    std::vector<int64_t> Positions() const {
        std::lock_guard lock(mutex_);
        return positions_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<int64_t> positions_;
};

constexpr TNetworkPolicy kQuickPolicy{2000, 400, 10000};

TEST(RetryPause, DoublesFromOneSecondUpToSixteen) {
    const int expected[] = {1000, 2000, 4000, 8000, 16000, 16000, 16000};
    for (int failures = 0; failures < 7; ++failures) EXPECT_EQ(RetryPause(failures), expected[failures]) << failures;
    EXPECT_EQ(RetryPause(-1), 1000);
    EXPECT_EQ(RetryPause(1000), 16000);
}

TEST(ResumeRecord, ContinuesOnlyTheSameIdentifiedFile) {
    const TResumeRecord stored{u"http://h/r.zip", 3000, u"\"5f-bb8\"", u"Tue, 01 Dec 2026 10:00:00 GMT"};
    struct Case {
        const char* what;
        TResumeRecord current;
        bool continues;
    } cases[] = {
        {"the same file", stored, true},
        {"another ETag", {stored.Url, 3000, u"\"60-bb8\"", stored.LastModified}, false},
        {"another date", {stored.Url, 3000, stored.ETag, u"Wed, 02 Dec 2026 10:00:00 GMT"}, false},
        {"another size", {stored.Url, 3001, stored.ETag, stored.LastModified}, false},
        {"another address", {u"http://h/s.zip", 3000, stored.ETag, stored.LastModified}, false},
        {"no size", {stored.Url, -1, stored.ETag, stored.LastModified}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.current.Continues(stored), c.continues) << c.what;

    // Without a validator nothing tells two versions apart; a weak ETag
    // promises no equal bytes.
    const TResumeRecord bare{u"http://h/r.zip", 3000, u"", u""};
    EXPECT_FALSE(bare.Identifies());
    EXPECT_FALSE(bare.Continues(bare));
    const TResumeRecord weak{u"http://h/r.zip", 3000, u"W/\"5f\"", u""};
    EXPECT_FALSE(weak.Continues(weak));
    const TResumeRecord dated{u"http://h/r.zip", 3000, u"", stored.LastModified};
    EXPECT_TRUE(dated.Continues(dated));
}

TEST(ResumeRecord, TextRoundTripAndDamagedText) {
    const TResumeRecord record{u"http://h/版本 1.zip", 3000, u"\"5f-bb8\"", u""};
    const std::string text = record.Serialize();
    ASSERT_TRUE(TResumeRecord::Parse(text).has_value());
    EXPECT_TRUE(*TResumeRecord::Parse(text) == record);
    // Cut short, empty, or with a line of another kind, it is no record.
    for (size_t cut : {size_t(0), size_t(10), text.size() - 1})
        EXPECT_FALSE(TResumeRecord::Parse(text.substr(0, cut)).has_value()) << cut;
    EXPECT_FALSE(TResumeRecord::Parse(text + "other x\n").has_value());
    EXPECT_FALSE(TResumeRecord::Parse("url x\nlength 12a\netag \nlast-modified \n").has_value());

    zelvano_test::TempDir dir;
    const std::u16string file = Text((dir.Path() / "v.zip.head").string());
    EXPECT_FALSE(TResumeRecord::Load(file).has_value());
    record.Save(file);
    ASSERT_TRUE(TResumeRecord::Load(file).has_value());
    EXPECT_TRUE(*TResumeRecord::Load(file) == record);
}

// Faults of the network end in one run with the remote bytes: the piece is
// asked again on a new connection, from where the broken one stopped.
TEST(HttpDownLoadNetwork, FaultsAreRetriedAndTheRestAskedFor) {
    const std::string remote = Bytes(3000, 51);
    const std::string head = R"({"read": "head"}, {"send": "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n"})";
    const std::string firstPart =
        R"({"read": "head"}, {"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nContent-Length: 3000\r\n\r\n)" +
        JsonBytes(remote.substr(0, 1000)) + R"("})";
    const std::string rest =
        R"({"read": "head"}, {"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 1000-2999/3000\r\nContent-Length: 2000\r\n\r\n)" +
        JsonBytes(remote.substr(1000)) + R"("})";
    const std::string whole =
        R"({"read": "head"}, {"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nContent-Length: 3000\r\n\r\n)" +
        JsonBytes(remote) + R"("})";
    const std::string unavailable =
        R"({"read": "head"}, {"send": "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}, {"close": true})";
    struct Case {
        const char* what;
        std::string script;
        std::string lastRange;  // the Range of the last GET
        bool resetInBody = false;
    } cases[] = {
        {"silence in the middle of a piece",
         R"({"connections": [[)" + head + "," + firstPart + R"(, {"hold": 5}], [)" + rest + "]]}", "bytes=1000-"},
        {"reset in the middle of a piece",
         R"({"connections": [[)" + head + "," + firstPart + R"(, {"reset": true}], [)" + rest + "]]}", "bytes=1000-",
         true},
        {"503 for a piece", R"({"connections": [[)" + head + "," + unavailable + "], [" + whole + "]]}", "bytes=0-"},
        {"silence after the HEAD request",
         R"({"connections": [[{"read": "head"}, {"hold": 5}], [)" + head + "," + whole + "]]}", "bytes=0-"},
        {"reset before the HEAD reply",
         R"({"connections": [[{"read": "head"}, {"reset": true}], [)" + head + "," + whole + "]]}", "bytes=0-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        zelvano_test::FaultServer server(c.script);
        zelvano_test::TempDir out;
        const fs::path local = out.Path() / "v.zip";
        TRecordingGauge gauge;
        TPlainDownLoadWindow window(&gauge);
        THttpDownLoad downloader(&gauge, &window);
        downloader.Network = kQuickPolicy;
        downloader.SetDownLoadUrl(Text(server.BaseURL() + "/v.zip"));
        downloader.SetLocalFileName(Text(local.string()));
        std::vector<int> pauses;
        downloader.OnRetry = [&](THttpDownLoad*, const std::u16string& failure, int pause) {
            EXPECT_FALSE(failure.empty());
            pauses.push_back(pause);
        };
        RunResult run = RunToEnd(downloader, std::chrono::seconds(20));
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.finishCalls, 1) << platform::TextToUtf8(run.lastError);
        EXPECT_TRUE(ReadFile(local) == remote);
        // Windows (here Wine) may report a reset after the last bytes as the
        // connection's end: the piece then ends short, and the rest is asked
        // for on a new connection without a retry.
        const bool closedShort = c.resetInBody && downloader.Retries() == 0;
        EXPECT_EQ(pauses, closedShort ? std::vector<int>{} : std::vector<int>{1000});
        EXPECT_EQ(downloader.Retries(), closedShort ? 0 : 1);
        EXPECT_EQ(server.Connections(), 2) << "the rest is asked for on a new connection";
        auto requests = server.Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_NE(requests.back().Head.find("\r\nRange: " + c.lastRange), std::string::npos) << requests.back().Head;
        auto positions = gauge.Positions();
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << "the gauge went backwards";
        auto log = window.LogLines();
        if (closedShort) continue;
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(platform::TextToUtf8(log[0]).rfind("下载中断，1 秒后重试：", 0), 0u) << platform::TextToUtf8(log[0]);
    }
}

// Failures that a retry cannot mend end the run at once; failures that keep
// coming end it once the window has passed without progress; and by default
// nothing is retried.
TEST(HttpDownLoadNetwork, WhatIsNotRetriedAndWhereRetriesEnd) {
    const std::string head = R"({"read": "head"}, {"send": "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n"})";
    const std::string unavailable =
        R"({"read": "head"}, {"send": "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}, {"close": true})";
    struct Case {
        const char* what;
        std::string script;
        TNetworkPolicy policy;
        int retries;          // -1: at least one
        int atMostSeconds;    // the run ends within
        std::string errorStart;
    } cases[] = {
        {"404 for a piece",
         R"({"connections": [[)" + head + R"(, {"read": "head"}, {"send": "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}]]})",
         kQuickPolicy, 0, 5, "HTTP/1.1 404 Not Found"},
        {"a Content-Range that does not fit",
         R"({"connections": [[)" + head + R"(, {"read": "head"}, {"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 5-2999/3000\r\nContent-Length: 2995\r\n\r\n"}]]})",
         kQuickPolicy, 0, 5, "Reply to the range 0- names the range"},
        {"503 without retries (the default)", R"({"connections": [[)" + head + "," + unavailable + "]]}",
         TNetworkPolicy{}, 0, 5, "HTTP/1.1 503 Service Unavailable"},
        {"a server that never answers", R"({"connections": [], "default": [{"read": "head"}, {"hold": 20}]})",
         TNetworkPolicy{2000, 300, 2500}, -1, 8, "Read timed out"},
        {"every piece ends before its first byte",
         R"({"connections": [[)" + head + R"(]], "default": [{"read": "head"},
            {"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2999/3000\r\nContent-Length: 3000\r\n\r\n"},
            {"close": true}]})",
         TNetworkPolicy{2000, 300, 2500}, -1, 8, "No data received for the range 0-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        zelvano_test::FaultServer server(c.script);
        zelvano_test::TempDir out;
        THttpDownLoad downloader(nullptr);
        downloader.Network = c.policy;
        downloader.SetDownLoadUrl(Text(server.BaseURL() + "/v.zip"));
        downloader.SetLocalFileName(Text((out.Path() / "v.zip").string()));
        const auto started = std::chrono::steady_clock::now();
        RunResult run = RunToEnd(downloader, std::chrono::seconds(30));
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.errorCalls, 1);
        EXPECT_EQ(run.finishCalls, 0);
        EXPECT_LT(seconds, c.atMostSeconds);
        if (c.retries < 0)
            EXPECT_GE(downloader.Retries(), 1);
        else
            EXPECT_EQ(downloader.Retries(), c.retries);
        EXPECT_EQ(platform::TextToUtf8(run.lastError).rfind(c.errorStart, 0), 0u) << platform::TextToUtf8(run.lastError);
        EXPECT_FALSE(downloader.LocalFileFailed());
    }
}

// With a record, a kept file is continued only while the server describes
// the same file; a changed file, or a kept file nothing ties to it, is
// fetched again from the start.
TEST(HttpDownLoadNetwork, RecordDecidesWhetherAKeptFileIsContinued) {
    zelvano_test::TempDir root, out;
    const std::string first = Bytes(2500000, 61), second = Bytes(2500000, 62);
    WriteFile(root.Path() / "r.zip", first);
    zelvano_test::NginxServer nginx(root.Path());
    const fs::path local = out.Path() / "Version.zip";
    const fs::path record = out.Path() / "Version.zip.head";

    size_t seen = 0;  // GETs of earlier runs in the access log
    auto run = [&] {
        THttpDownLoad downloader(nullptr);
        downloader.SetDownLoadUrl(Text(nginx.BaseURL() + "/r.zip"));
        downloader.SetLocalFileName(Text(local.string()));
        downloader.ResumeRecordFileName = Text(record.string());
        RunResult result = RunToEnd(downloader);
        EXPECT_EQ(result.finishCalls, 1) << platform::TextToUtf8(result.lastError);
        std::vector<std::string> ranges = GetRanges(Requests(nginx));
        ranges.erase(ranges.begin(), ranges.begin() + static_cast<std::ptrdiff_t>(std::min(seen, ranges.size())));
        seen += ranges.size();
        return ranges;
    };
    // A kept file without a record: started over.
    WriteFile(local, std::string(1500000, 'x'));
    auto ranges = run();
    ASSERT_FALSE(ranges.empty());
    EXPECT_EQ(ranges.front(), "0-1023999");
    EXPECT_TRUE(ReadFile(local) == first);
    ASSERT_TRUE(fs::exists(record));
    EXPECT_NE(ReadFile(record).find("etag \""), std::string::npos) << ReadFile(record);

    // The same file: continued where the kept part ends.
    fs::resize_file(local, 1500000);
    ranges = run();
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0], "1500000-");
    EXPECT_TRUE(ReadFile(local) == first);

    // The file changed on the server (same size, new date and ETag): the
    // kept part is dropped and the new bytes fetched whole.
    fs::resize_file(local, 1500000);
    WriteFile(root.Path() / "r.zip", second);
    fs::last_write_time(root.Path() / "r.zip", fs::last_write_time(root.Path() / "r.zip") + std::chrono::hours(1));
    ranges = run();
    ASSERT_FALSE(ranges.empty());
    EXPECT_EQ(ranges.front(), "0-1023999");
    EXPECT_TRUE(ReadFile(local) == second);
}

}  // namespace

namespace {

// With pipelining the next piece's request goes out before the current
// piece's body has been read: this server sends the first piece's body only
// after the second request has arrived, so a downloader that waited would
// stall. A reply to a request sent ahead that does not fit makes the
// downloader ask one request at a time again, here on a new connection.
TEST(HttpDownLoadNetwork, NextPieceIsAskedForWhileTheCurrentOneArrives) {
    const int64_t size = download::kPieceSize + 1000;
    const std::string remote = Bytes(static_cast<size_t>(size), 71);
    const std::string total = std::to_string(size);
    const std::string head = R"({"read": "head"}, {"send": "HTTP/1.1 200 OK\r\nContent-Length: )" + total + R"(\r\n\r\n"})";
    const std::string firstHead = R"({"read": "head"}, {"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-1023999/)" +
                                  total + R"(\r\nContent-Length: 1024000\r\n\r\n"})";
    const std::string firstBody = R"({"send": ")" + JsonBytes(remote.substr(0, 1024000)) + R"("})";
    const std::string second = R"({"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 1024000-)" +
                               std::to_string(size - 1) + "/" + total + R"(\r\nContent-Length: 1000\r\n\r\n)" +
                               JsonBytes(remote.substr(1024000)) + R"("})";
    const std::string misfit = R"({"send": "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-999/)" + total +
                               R"(\r\nContent-Length: 1000\r\n\r\n"})";
    struct Case {
        const char* what;
        std::string script;
        int connections;
    } cases[] = {
        {"the second request arrives before the first body goes out",
         R"({"connections": [[)" + head + "," + firstHead + R"(, {"read": "head"}, )" + firstBody + "," + second + "]]}", 1},
        {"the reply to the request sent ahead does not fit",
         R"({"connections": [[)" + head + "," + firstHead + R"(, {"read": "head"}, )" + firstBody + "," + misfit +
             R"(], [{"read": "head"}, )" + second + "]]}",
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        zelvano_test::FaultServer server(c.script);
        zelvano_test::TempDir out;
        const fs::path local = out.Path() / "v.zip";
        THttpDownLoad downloader(nullptr);
        downloader.Network = TNetworkPolicy{2000, 3000, 0, true};
        downloader.SetDownLoadUrl(Text(server.BaseURL() + "/v.zip"));
        downloader.SetLocalFileName(Text(local.string()));
        RunResult run = RunToEnd(downloader, std::chrono::seconds(30));
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.finishCalls, 1) << platform::TextToUtf8(run.lastError);
        EXPECT_TRUE(ReadFile(local) == remote);
        EXPECT_EQ(server.Connections(), c.connections);
        std::vector<std::string> ranges;
        for (const auto& r : server.Requests()) {
            const size_t at = r.Head.find("\r\nRange: bytes=");
            if (at != std::string::npos) ranges.push_back(r.Head.substr(at + 15, r.Head.find('\r', at + 2) - at - 15));
        }
        std::vector<std::string> expected = {"0-1023999", "1024000-"};
        if (c.connections == 2) expected.push_back("1024000-");
        EXPECT_EQ(ranges, expected);
    }
}

}  // namespace
