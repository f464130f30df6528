// The client against a real nginx: HEAD, ranges, refused statuses, a
// configured redirect and keep-alive reuse seen in nginx's connection numbers.
#include <gtest/gtest.h>

#include <fstream>

#include "http/NetHTTP.h"
#include "tests/http/test_util.h"
#include "tests/support/nginx_server.h"

using namespace http;
using http_test::A;
using http_test::U;

namespace {

class NginxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new zelvano_test::TempDir("zelvano-http-root");
        content_ = new std::string();
        for (int i = 0; content_->size() < 2500000; ++i) *content_ += std::to_string(i) + ",";
        std::ofstream(root_->Path() / "file.bin", std::ios::binary) << *content_;
        std::filesystem::create_directories(root_->Path() / "sub");
        std::ofstream(root_->Path() / "sub" / "info.txt") << "{\"download_url\": \"x\"}";
        // A file named in Chinese, as servers in China often name releases.
        std::ofstream(root_->Path() / "sub" / std::filesystem::path(u8"\u53d1\u5e03 2.0.txt")) << "release";
        nginx_ = new zelvano_test::NginxServer(root_->Path(),
                                               "location = /old { return 302 /sub/info.txt; }\n"
                                               "location = /abs { return 301 $scheme://$host:$server_port/file.bin; }\n"
                                               "location = /utf8 { default_type 'text/plain; charset=utf-8'; "
                                               "return 200 '\xe4\xb8\xad\xe6\x96\x87'; }\n");
    }
    static void TearDownTestSuite() {
        delete nginx_;
        delete root_;
        delete content_;
    }
    std::u16string Url(const std::string& path) { return U(nginx_->BaseURL() + path); }
    // The connection numbers of the access log lines (after `from`).
    // The connection numbers of the `count` requests logged after line `from`.
    std::vector<std::string> Connections(size_t from, size_t count) {
        std::vector<std::string> numbers;
        auto log = nginx_->AccessLogOfAtLeast(from + count);
        for (size_t i = from; i < log.size(); ++i) numbers.push_back(log[i].substr(0, log[i].find(' ')));
        return numbers;
    }

    static zelvano_test::TempDir* root_;
    static zelvano_test::NginxServer* nginx_;
    static std::string* content_;
};

zelvano_test::TempDir* NginxTest::root_ = nullptr;
zelvano_test::NginxServer* NginxTest::nginx_ = nullptr;
std::string* NginxTest::content_ = nullptr;

}  // namespace

TEST_F(NginxTest, HeadThenRangedPiecesOverOneConnection) {
    const size_t before = nginx_->SettledAccessLog().size();
    TNetHTTP client;
    platform::TMemoryStream buffer;
    EXPECT_EQ(http_test::HeadThenRangedPieces(client, Url("/file.bin"), buffer),
              static_cast<int64_t>(content_->size()));
    EXPECT_EQ(buffer.View(), *content_);
    auto log = nginx_->AccessLogOfAtLeast(before + 4);
    ASSERT_EQ(log.size(), before + 4);
    EXPECT_NE(log[before + 1].find("\"GET /file.bin HTTP/1.1\" \"bytes=0-1023999\" 206 1024000"), std::string::npos);
    EXPECT_NE(log[before + 3].find("\"bytes=2048000-\" 206"), std::string::npos);
    auto numbers = Connections(before, 4);
    EXPECT_EQ(numbers, std::vector<std::string>(4, numbers[0])) << "one kept-alive connection for all";
}

TEST_F(NginxTest, RefusedStatuses) {
    struct Case {
        std::string path, range;
        int code;
        std::string status;
    } cases[] = {
        {"/missing.zip", "", 404, "HTTP/1.1 404 Not Found"},
        {"/file.bin", "99999999-", 416, "HTTP/1.1 416 Requested Range Not Satisfiable"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        TNetHTTP client;
        client.ReadTimeout = 5000;
        client.Request().Range = U(c.range);
        platform::TMemoryStream body;
        try {
            client.Get(Url(c.path), body);
            ADD_FAILURE() << "no exception";
        } catch (const ENetHTTPProtocolException& e) {
            EXPECT_EQ(e.ErrorCode(), c.code);
            EXPECT_EQ(A(e.Message()), c.status);
            EXPECT_NE(A(e.ErrorMessage()).find("<html>"), std::string::npos) << "nginx's error page";
        }
        EXPECT_EQ(body.GetSize(), 0) << "an error page never reaches the caller's stream";
        // HEAD of a missing file: refused at once, although nginx announces a body.
        http_test::Stopwatch watch;
        EXPECT_THROW(client.Head(Url("/missing.zip")), ENetHTTPProtocolException);
        EXPECT_LT(watch.ElapsedMs(), 3000);
    }
}

TEST_F(NginxTest, RedirectsAndText) {
    TNetHTTP client;
    client.HandleRedirects = true;
    client.ReadTimeout = 10000;
    const size_t before = nginx_->SettledAccessLog().size();
    EXPECT_EQ(client.Get(Url("/old")), u"{\"download_url\": \"x\"}");
    EXPECT_EQ(A(client.URL().GetURI()), nginx_->BaseURL() + "/sub/info.txt");
    client.Head(Url("/abs"));
    EXPECT_EQ(client.Response().ContentLength, static_cast<int64_t>(content_->size()));
    EXPECT_EQ(client.Get(Url("/utf8")), u"\u4e2d\u6587");
    auto numbers = Connections(before, 5);
    ASSERT_EQ(numbers.size(), 5u);
    EXPECT_EQ(numbers, std::vector<std::string>(5, numbers[0]));

    TNetHTTP strict;
    try {
        strict.Get(Url("/old"));
        ADD_FAILURE() << "no exception";
    } catch (const ENetHTTPProtocolException& e) {
        EXPECT_EQ(e.ErrorCode(), 302);
    }
}

TEST_F(NginxTest, FailedExchangeDoesNotReuseItsConnection) {
    TNetHTTP client;
    const size_t before = nginx_->SettledAccessLog().size();
    EXPECT_THROW(client.Get(Url("/missing.zip")), ENetHTTPProtocolException);
    client.Get(Url("/sub/info.txt"));
    client.Get(Url("/sub/info.txt"));
    auto numbers = Connections(before, 3);
    ASSERT_EQ(numbers.size(), 3u);
    EXPECT_NE(numbers[0], numbers[1]);
    EXPECT_EQ(numbers[1], numbers[2]);
}

// Characters outside ASCII in an address go out as percent-encoded UTF-8
// (they were sent as "?"); what is already encoded and spaces stay as given.
TEST_F(NginxTest, NonAsciiCharactersOfTheAddressArePercentEncoded) {
    EXPECT_EQ(PercentEncodeNonAscii(u"/a/\u53d1\u5e03.zip?n=\u00e9&x=%41"), u"/a/%E5%8F%91%E5%B8%83.zip?n=%C3%A9&x=%41");
    EXPECT_EQ(PercentEncodeNonAscii(u"/\U0001F600"), u"/%F0%9F%98%80");
    EXPECT_EQ(PercentEncodeNonAscii(u"/plain"), u"/plain");
    TNetHTTP client;
    const size_t before = nginx_->SettledAccessLog().size();
    EXPECT_EQ(client.Get(Url("/sub/") + u"\u53d1\u5e03%202.0.txt"), u"release");
    auto log = nginx_->AccessLogOfAtLeast(before + 1);
    ASSERT_GT(log.size(), before);
    EXPECT_NE(log[before].find("GET /sub/%E5%8F%91%E5%B8%83%202.0.txt HTTP/1.1"), std::string::npos) << log[before];
}
