// The exchange against a scripted server: request heads byte for byte,
// redirects, status rules, body framing, keep-alive, timeouts and charsets.
#include <gtest/gtest.h>

#include "http/NetHTTP.h"
#include "tests/http/test_util.h"
#include "tests/support/fault_server.h"

using namespace http;
using http_test::A;
using http_test::U;
using zelvano_test::FaultServer;

namespace {

const std::string kUserAgent = "User-Agent: Mozilla/3.0 (compatible; Zelvano Library)\r\n";

std::string Head(const std::string& method, const std::string& target, const FaultServer& server,
                 const std::string& extra = "") {
    return method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
           "\r\nAccept: text/html, */*\r\nAccept-Encoding: identity\r\n" + kUserAgent + extra + "\r\n";
}

}  // namespace

TEST(Exchange, DownloaderHeadAndRangedGetHeadsByteForByte) {
    FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 2048000\r\n\r\n"},
        {"read": "head"},
        {"send": "HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\nContent-Range: bytes 0-9/2048000\r\n\r\n0123456789"}]]})");
    TNetHTTP client;
    client.HandleRedirects = true;
    client.Head(U(server.BaseURL() + "/files/app.zip"));
    EXPECT_EQ(client.Response().ContentLength, 2048000);
    client.Request().Range = u"0-1023999";
    platform::TMemoryStream body;
    client.Get(client.URL().GetURI(), body);
    EXPECT_EQ(body.View(), "0123456789");
    EXPECT_EQ(client.ResponseCode(), 206);
    EXPECT_EQ(client.Response().ContentRangeStart, 0);
    EXPECT_EQ(client.Response().ContentRangeEnd, 9);
    EXPECT_EQ(client.Response().ContentRangeInstanceLength, 2048000);

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Head, Head("HEAD", "/files/app.zip", server));
    EXPECT_EQ(requests[1].Head, Head("GET", "/files/app.zip", server, "Range: bytes=0-1023999\r\n"));
    EXPECT_EQ(requests[1].Connection, 0) << "the kept connection is reused";
}

TEST(Exchange, CookieSetByHeadIsSentWithTheNextGet) {
    FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nSet-Cookie2: SID=1; Version=1\r\nContent-Length: 5\r\n\r\n"},
        {"read": "head"},
        {"send": "HTTP/1.1 206 Partial Content\r\nContent-Length: 5\r\n\r\nhello"}]]})");
    TNetHTTP client;
    const std::string base = "http://localhost:" + std::to_string(server.Port());
    client.Head(U(base + "/a.zip"));
    ASSERT_NE(client.CookieManager(), nullptr);
    client.Request().Range = u"0-";
    platform::TMemoryStream body;
    client.Get(U(base + "/a.zip"), body);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string common = "Accept: text/html, */*\r\nAccept-Encoding: identity\r\n" + kUserAgent;
    const std::string host = "Host: localhost:" + std::to_string(server.Port()) + "\r\n";
    EXPECT_EQ(requests[0].Head, "HEAD /a.zip HTTP/1.1\r\n" + host + common + "\r\n");
    EXPECT_EQ(requests[1].Head, "GET /a.zip HTTP/1.1\r\n" + host + common +
                                    "Range: bytes=0-\r\nCookie: SID=1\r\nCookie2: $Version=\"1\"\r\n\r\n");
}

TEST(Exchange, CookieWithoutDomainFromAnIPAddressIsRefused) {
    FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nSet-Cookie: SID=1\r\nContent-Length: 0\r\n\r\n"},
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}]]})");
    TNetHTTP client;
    EXPECT_EQ(client.CookieManager(), nullptr);
    client.Get(U(server.BaseURL() + "/"));
    ASSERT_NE(client.CookieManager(), nullptr) << "the first reply makes the store";
    EXPECT_EQ(client.CookieManager()->CookieCollection().Count(), 0);
    client.Get(U(server.BaseURL() + "/"));
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Head, Head("GET", "/", server));
}

TEST(Exchange, RelativeRedirectOfHeadFollowsOnTheSameConnection) {
    FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 302 Found\r\nLocation: ../new/b.zip?x=1\r\nContent-Length: 5\r\n\r\n"},
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 77\r\n\r\n"}]]})");
    TNetHTTP client;
    client.HandleRedirects = true;
    http_test::Stopwatch watch;
    client.Head(U(server.BaseURL() + "/dir/old/a.zip"));
    // A reply to HEAD has no body: nothing is waited for (not 5 s).
    EXPECT_LT(watch.ElapsedMs(), 4000);
    EXPECT_EQ(client.Response().ContentLength, 77);
    EXPECT_EQ(A(client.URL().GetURI()), server.BaseURL() + "/dir/new/b.zip?x=1");
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Head, Head("HEAD", "/dir/new/b.zip?x=1", server));
    EXPECT_EQ(requests[1].Connection, 0);
}

TEST(Exchange, AbsoluteRedirectMovesToTheNewPort) {
    FaultServer target(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\ntarget"}]]})");
    FaultServer origin(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 301 Moved\r\nLocation: )" + target.BaseURL() + R"(/t.txt\r\nContent-Length: 3\r\n\r\nxyz"}]]})");
    TNetHTTP client;
    client.HandleRedirects = true;
    EXPECT_EQ(client.Get(U(origin.BaseURL() + "/o.txt")), u"target");
    EXPECT_EQ(A(client.URL().GetURI()), target.BaseURL() + "/t.txt");
    ASSERT_EQ(target.Requests().size(), 1u);
    EXPECT_EQ(target.Requests()[0].Head, Head("GET", "/t.txt", target));
}

TEST(Exchange, RedirectBodyDoesNotStayInTheCallersStream) {
    FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 9\r\n\r\nredirect!"},
        {"read": "head"},
        {"send": "HTTP/1.1 206 Partial Content\r\nContent-Length: 4\r\n\r\nNEW!"}]]})");
    TNetHTTP client;
    client.HandleRedirects = true;
    platform::TMemoryStream stream;
    std::string old(1024000, 'o');
    stream.WriteBuffer(old.data(), old.size());
    client.Get(U(server.BaseURL() + "/a"), stream);
    EXPECT_EQ(stream.GetSize(), 1024004);
    EXPECT_EQ(stream.View().substr(1024000), "NEW!");
    EXPECT_EQ(stream.View().substr(0, 1024000), old);
}

TEST(Exchange, FifteenRedirectsFollowFourteenAndReturnTheLast) {
    FaultServer server(R"({"connections": [[
        {"repeat": 20, "steps": [
            {"read": "head"},
            {"send": "HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n"}]}]]})");
    TNetHTTP client;
    client.HandleRedirects = true;
    client.Get(U(server.BaseURL() + "/start"));
    EXPECT_EQ(client.ResponseCode(), 302);
    EXPECT_EQ(client.Response().Location, u"/loop");
    EXPECT_EQ(server.Requests().size(), 15u);
}

TEST(Exchange, RedirectWithoutHandleRedirectsFails) {
    FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 301 Moved Permanently\r\nLocation: /b\r\nContent-Length: 4\r\n\r\ngone"}]]})");
    TNetHTTP client;
    try {
        client.Get(U(server.BaseURL() + "/a"));
        FAIL() << "no exception";
    } catch (const ENetHTTPProtocolException& e) {
        EXPECT_EQ(e.ErrorCode(), 301);
        EXPECT_EQ(e.Message(), u"HTTP/1.1 301 Moved Permanently");
        EXPECT_EQ(e.ErrorMessage(), u"gone");
    }
}

// Statuses the client refuses, with the decoded body as ErrorMessage.
TEST(Exchange, RefusedStatusesRaiseProtocolExceptions) {
    struct Case {
        std::string reply;
        int code;
        std::string status;
        std::u16string body;
    } cases[] = {
        {"HTTP/1.1 404 Not Found\\r\\nContent-Type: text/plain; charset=utf-8\\r\\nContent-Length: 6\\r\\n\\r\\n\u00e6\u0097\u00a0\u00e6\u0095\u0088",
         404, "HTTP/1.1 404 Not Found", u"\u65e0\u6548"},
        {"HTTP/1.1 500 Internal Server Error\\r\\nContent-Length: 3\\r\\n\\r\\nbad", 500,
         "HTTP/1.1 500 Internal Server Error", u"bad"},
        {"HTTP/1.1 401 Unauthorized\\r\\nWWW-Authenticate: Basic realm=x\\r\\nContent-Length: 0\\r\\n\\r\\n", 401,
         "HTTP/1.1 401 Unauthorized", u""},
        {"HTTP/1.1 304 Not Modified\\r\\n\\r\\n", 304, "HTTP/1.1 304 Not Modified", u""},
        {"HTTP/1.1 102 Processing\\r\\n\\r\\n", 102, "HTTP/1.1 102 Processing", u""},
        {"HTTP/1.1\\r\\nContent-Length: 0\\r\\n\\r\\n", -1, "HTTP/1.1", u""},
        {"HTTP/1.1 abc OK\\r\\nContent-Length: 0\\r\\n\\r\\n", -1, "HTTP/1.1 abc OK", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        FaultServer server(R"({"connections": [[{"read": "head"}, {"send": ")" + c.reply + R"("}]]})");
        TNetHTTP client;
        http_test::Stopwatch watch;
        try {
            client.Get(U(server.BaseURL() + "/x"));
            ADD_FAILURE() << "no exception";
        } catch (const ENetHTTPProtocolException& e) {
            EXPECT_EQ(e.ErrorCode(), c.code);
            EXPECT_EQ(A(e.Message()), c.status);
            EXPECT_EQ(e.ErrorMessage(), c.body);
        }
        // 1xx and 304 wait only briefly for a body that never comes.
        EXPECT_LT(watch.ElapsedMs(), 3000) << c.status;
        EXPECT_FALSE(client.Connected()) << "a failed exchange closes its connection";
    }
}

TEST(Exchange, HeadersHookMayStopTheExchange) {
    FaultServer server(R"({"connections": [[{"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nX-Stop: yes\r\nContent-Length: 4\r\n\r\nbody"}]]})");
    TNetHTTP client;
    client.OnHeadersAvailable = [](TNetCustomHTTP*, TNetHeaderList& headers, bool& proceed) {
        proceed = headers.Values(u"X-Stop") != u"yes";
    };
    platform::TMemoryStream body;
    client.Get(U(server.BaseURL() + "/"), body);
    EXPECT_EQ(body.GetSize(), 0);
    EXPECT_EQ(client.ResponseCode(), 200);
    EXPECT_FALSE(client.Connected());
}

TEST(Exchange, ContinueBeforeTheStatusIsSkipped) {
    FaultServer server(R"({"connections": [[{"read": "head"},
        {"send": "HTTP/1.1 100 Continue\r\nX-A: 1\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}]]})");
    TNetHTTP client;
    EXPECT_EQ(client.Get(U(server.BaseURL() + "/")), u"ok");
    EXPECT_EQ(client.ResponseText(), u"HTTP/1.1 200 OK");
}

TEST(Exchange, BodyFraming) {
    struct Case {
        const char* name;
        std::string reply;
        std::string body;
    } cases[] = {
        // chunk sizes 10 and 5 (hex) then 0: 21 bytes
        {"chunked", "HTTP/1.1 200 OK\\r\\nTransfer-Encoding: Chunked\\r\\n\\r\\n10\\r\\n0123456789abcdef\\r\\n5\\r\\nvwxyz\\r\\n0\\r\\n\\r\\n",
         "0123456789abcdefvwxyz"},
        {"chunk size with a comment and an extension",
         "HTTP/1.1 200 OK\\r\\nTransfer-Encoding: chunked\\r\\n\\r\\n3 first\\r\\nabc\\r\\n2;x=y\\r\\nde\\r\\n0\\r\\n\\r\\n", "abcde"},
        {"chunked with trailer fields", "HTTP/1.1 200 OK\\r\\nTransfer-Encoding: chunked\\r\\n\\r\\n2\\r\\nab\\r\\n0\\r\\nX-Sum: 1\\r\\nX-More: 2\\r\\n\\r\\n", "ab"},
        {"equal Content-Length values", "HTTP/1.1 200 OK\\r\\nContent-Length: 3\\r\\nContent-Length: 3, 3\\r\\n\\r\\nabc", "abc"},
        {"status line and headers ended by LF alone",
         "HTTP/1.1 200 OK\\nContent-Length: 3\\n\\nabc", "abc"},
        {"until close", "HTTP/1.1 200 OK\\r\\nConnection: close\\r\\n\\r\\nuntil the end", "until the end"},
        {"content length zero", "HTTP/1.1 200 OK\\r\\nContent-Length: 0\\r\\n\\r\\nleftover", ""},
        {"NUL bytes in the body", "HTTP/1.1 200 OK\\r\\nContent-Length: 3\\r\\n\\r\\na\\u0000b", std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultServer server(R"({"connections": [[{"read": "head"}, {"send": ")" + c.reply + R"("}, {"close": true}]]})");
        TNetHTTP client;
        client.ReadTimeout = 2000;
        platform::TMemoryStream body;
        client.Get(U(server.BaseURL() + "/"), body);
        EXPECT_EQ(body.View(), c.body);
    }
}

TEST(Exchange, BodyShorterThanItsLengthKeepsWhatCame) {
    FaultServer server(R"({"connections": [[{"read": "head"},
        {"send": "HTTP/1.1 206 Partial Content\r\nContent-Length: 1000\r\n\r\nonly this"}, {"close": true}]]})");
    TNetHTTP client;
    client.ReadTimeout = 2000;
    platform::TMemoryStream body;
    client.Get(U(server.BaseURL() + "/"), body);
    EXPECT_EQ(body.View(), "only this");
    EXPECT_EQ(body.GetSize(), 9);
}

TEST(Exchange, HugeContentLengthDoesNotAllocateAhead) {
    FaultServer server(R"({"connections": [[{"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 9000000000000000000\r\n\r\nabc"}, {"close": true}]]})");
    TNetHTTP client;
    client.ReadTimeout = 2000;
    platform::TMemoryStream body;
    client.Get(U(server.BaseURL() + "/"), body);
    EXPECT_EQ(body.View(), "abc");
}

TEST(Exchange, ConnectionCloseReconnectsForTheNextRequest) {
    const std::string reply =
        R"([{"read": "head"}, {"send": "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok"}, {"close": true}])";
    FaultServer server(R"({"connections": [)" + reply + "," + reply + "]}");
    TNetHTTP client;
    EXPECT_EQ(client.Get(U(server.BaseURL() + "/1")), u"ok");
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.Get(U(server.BaseURL() + "/2")), u"ok");
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Connection, 0);
    EXPECT_EQ(requests[1].Connection, 1);
}

TEST(Exchange, ProtocolVersion10AsksForKeepAlive) {
    FaultServer server(R"({"connections": [[{"read": "head"},
        {"send": "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 1\r\n\r\na"},
        {"read": "head"},
        {"send": "HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nb"}]]})");
    TNetHTTP client;
    client.ProtocolVersion = pv1_0;
    EXPECT_EQ(client.Get(U(server.BaseURL() + "/")), u"a");
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(client.Response().ResponseVersion, pv1_0);
    EXPECT_EQ(client.Get(U(server.BaseURL() + "/")), u"b");
    // Without "keep-alive" in the reply a 1.0 client does not keep it.
    EXPECT_FALSE(client.Connected());
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Head.substr(0, 30), "GET / HTTP/1.0\r\nConnection: ke");
    EXPECT_EQ(requests[1].Connection, 0);
}

TEST(Exchange, ReadTimeouts) {
    {
        SCOPED_TRACE("a server that accepts and says nothing");
        FaultServer server(R"({"connections": [[{"read": "head"}, {"hold": 5}]]})");
        TNetHTTP client;
        client.ReadTimeout = 300;
        http_test::Stopwatch watch;
        EXPECT_THROW(client.Get(U(server.BaseURL() + "/")), ENetReadTimeout);
        EXPECT_GE(watch.ElapsedMs(), 280);
        EXPECT_LT(watch.ElapsedMs(), 2000);
    }
    {
        SCOPED_TRACE("a body that stops in the middle");
        FaultServer server(R"({"connections": [[{"read": "head"},
            {"send": "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"}, {"hold": 5}]]})");
        TNetHTTP client;
        client.ReadTimeout = 300;
        platform::TMemoryStream body;
        try {
            client.Get(U(server.BaseURL() + "/"), body);
            ADD_FAILURE() << "no exception";
        } catch (const ENetReadTimeout& e) {
            EXPECT_EQ(e.Message(), u"Read timed out.");
        }
        EXPECT_EQ(body.View(), "abc");
    }
    {
        SCOPED_TRACE("one byte every 300 ms under a 1000 ms timeout");
        FaultServer server(R"({"connections": [[{"read": "head"},
            {"send": "HTTP/1.1 200 OK\r\nContent-Length: 2"},
            {"drip": "\r\n\r\nok", "interval": 0.3}]]})");
        TNetHTTP client;
        client.ReadTimeout = 1000;
        EXPECT_EQ(client.Get(U(server.BaseURL() + "/")), u"ok");
    }
}

TEST(Exchange, PeerClosingEarly) {
    {
        SCOPED_TRACE("before the status line");
        FaultServer server(R"({"connections": [[{"read": "head"}, {"close": true}]]})");
        TNetHTTP client;
        try {
            client.Get(U(server.BaseURL() + "/"));
            ADD_FAILURE() << "no exception";
        } catch (const ENetConnClosedGracefully& e) {
            EXPECT_EQ(e.Message(), u"Connection Closed Gracefully.");
        }
    }
    {
        SCOPED_TRACE("inside the headers: what came is kept");
        FaultServer server(R"({"connections": [[{"read": "head"},
            {"send": "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"}, {"close": true}]]})");
        TNetHTTP client;
        EXPECT_EQ(client.Get(U(server.BaseURL() + "/")), u"");
        EXPECT_EQ(client.Response().CharSet, u"utf-8");
    }
    {
        SCOPED_TRACE("reset while reading");
        FaultServer server(R"({"connections": [[{"read": "head"},
            {"send": "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nab"}, {"sleep": 0.2}, {"reset": true}]]})");
        TNetHTTP client;
        client.ReadTimeout = 3000;
        try {
            platform::TMemoryStream body;
            client.Get(U(server.BaseURL() + "/"), body);
            ADD_FAILURE() << "no exception";
        } catch (const ENetSocketError& e) {
            EXPECT_EQ(e.LastError(), 10054);
            EXPECT_EQ(e.Message(), u"Socket Error # 10054\r\nConnection reset by peer.");
        }
    }
}

TEST(Exchange, HeaderLineOverTheLimitFails) {
    const std::string longLine(16500, 'x');
    FaultServer server(R"({"connections": [[{"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nX-Long: )" + longLine + R"(\r\n\r\n"}]]})");
    TNetHTTP client;
    client.ReadTimeout = 2000;
    try {
        client.Get(U(server.BaseURL() + "/"));
        ADD_FAILURE() << "no exception";
    } catch (const ENetReadLnMaxLineLengthExceeded& e) {
        EXPECT_EQ(e.Message(), u"Max line length exceeded.");
    }
}

TEST(Exchange, EndlessLineWithoutLineFeedFailsWithoutWaiting) {
    // 64 KiB without a line feed and the connection held open: the client
    // stops at the limit instead of buffering until the timeout.
    FaultServer server(R"({"connections": [[{"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nX: )" + std::string(65536, 'y') + R"("}, {"hold": 5}]]})");
    TNetHTTP client;
    client.ReadTimeout = 6000;
    http_test::Stopwatch watch;
    EXPECT_THROW(client.Get(U(server.BaseURL() + "/")), ENetReadLnMaxLineLengthExceeded);
    EXPECT_LT(watch.ElapsedMs(), 4000);
}

TEST(Exchange, BodyTextDecodedByCharset) {
    struct Case {
        std::string contentType;
        std::string bytes;  // as JSON text
        std::u16string text;
    } cases[] = {
        {"text/plain; charset=utf-8", "\\u00c3\\u00a9t\\u00c3\\u00a9", u"\u00e9t\u00e9"},
        {"text/plain", "\\u00c3\\u00a9", u"\u00c3\u00a9"},  // no charset: one character per byte
        {"text/html; charset=\\\"GB2312\\\"", "\\u00d6\\u00d0\\u00ce\\u00c4", u"\u4e2d\u6587"},
        {"text/plain; charset=GB18030", "\\u00d6\\u00d0", u"\u00d6\u00d0"},  // maps to 0: ISO-8859-1
        {"text/plain; charset=x-unknown", "\\u00ff", u"\u00ff"},
        {"text/plain; charset=windows-1251", "\\u00c0", u"\u0410"},
        {"text/plain; charset=UTF-16LE", "A\\u0000\\u00ac\\u0020", u"A\u20ac"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contentType);
        FaultServer server(R"({"connections": [[{"read": "head"}, {"send": "HTTP/1.1 200 OK\r\nContent-Type: )" +
                           c.contentType + R"(\r\nConnection: close\r\n\r\n)" + c.bytes + R"("}, {"close": true}]]})");
        TNetHTTP client;
        client.ReadTimeout = 2000;
        EXPECT_EQ(client.Get(U(server.BaseURL() + "/")), c.text);
    }
}

TEST(Exchange, CharsetIsKeptWhenALaterReplyNamesNone) {
    FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=UTF-8\r\nContent-Length: 2\r\n\r\n{}"},
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\n\u00c3\u00a9"}]]})");
    TNetHTTP client;
    client.Get(U(server.BaseURL() + "/"));
    EXPECT_EQ(client.Response().ContentType, u"application/json");
    EXPECT_EQ(client.Get(U(server.BaseURL() + "/")), u"\u00e9");
    EXPECT_EQ(client.Response().ContentType, u"text/plain");
    EXPECT_EQ(client.Response().CharSet, u"UTF-8");
}

TEST(Exchange, RefusedAddresses) {
    TNetHTTP client;
    try {
        client.Get(u"https://127.0.0.1:1/");
        ADD_FAILURE() << "no exception";
    } catch (const ENetIOHandlerPropInvalid& e) {
        EXPECT_EQ(e.Message(), u"IOHandler value is not valid");
    }
    TNetHTTP other;
    try {
        other.Get(u"gopher://127.0.0.1/x");
        ADD_FAILURE() << "no exception";
    } catch (const ENetUnknownProtocol& e) {
        EXPECT_EQ(e.Message(), u"Unknown Protocol");
    }
}

TEST(Exchange, StreamPositionBeyondTwoGigabytesIsARangeError) {
    // A stream that claims a position past 2 GiB without holding the bytes.
    class FarStream : public platform::TStream {
    public:
        int64_t Read(void*, int64_t) override { return 0; }
        int64_t Write(const void*, int64_t count) override { return count; }
        int64_t Seek(int64_t, platform::TSeekOrigin) override { return int64_t(1) << 31; }
    } stream;
    TNetHTTP client;
    EXPECT_THROW(client.Get(u"http://127.0.0.1:1/", stream), platform::ERangeError);
}

// Replies whose end cannot be known: an exception with a clear message and
// a closed connection, never a short body reported as success or the rest
// read as the next reply.
TEST(Exchange, FramingErrorsRaiseAndClose) {
    struct Case {
        std::string reply;
        std::string message;
    } cases[] = {
        {"Transfer-Encoding: chunked\\r\\n\\r\\n2\\r\\nab\\r\\nzz\\r\\n\\r\\n", "Invalid chunk size \"zz\""},
        {"Transfer-Encoding: chunked\\r\\n\\r\\n-3\\r\\nabc\\r\\n0\\r\\n\\r\\n", "Invalid chunk size \"-3\""},
        {"Transfer-Encoding: chunked\\r\\n\\r\\n0x5\\r\\nabcde\\r\\n0\\r\\n\\r\\n", "Invalid chunk size \"0x5\""},
        {"Transfer-Encoding: chunked\\r\\n\\r\\n10000000000000005\\r\\nabcde\\r\\n0\\r\\n\\r\\n",
         "Invalid chunk size \"10000000000000005\""},
        {"Transfer-Encoding: chunked\\r\\n\\r\\n\\r\\nab\\r\\n0\\r\\n\\r\\n", "Invalid chunk size \"\""},
        {"Transfer-Encoding: chunked\\r\\n\\r\\n2\\r\\nabc\\r\\n0\\r\\n\\r\\n", "Chunk data is not followed by a line end"},
        {"Content-Length: 0x10\\r\\n\\r\\n0123456789abcdef", "Invalid Content-Length \"0x10\""},
        {"Content-Length: -5\\r\\n\\r\\nabcde", "Invalid Content-Length \"-5\""},
        {"Content-Length: 5\\r\\nContent-Length: 6\\r\\n\\r\\nabcdef", "Invalid Content-Length \"6\""},
        {"Content-Length: 5, 6\\r\\n\\r\\nabcdef", "Invalid Content-Length \"5, 6\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        // A second reply waits behind the first, as on a kept connection.
        FaultServer server(R"({"connections": [[{"read": "head"}, {"send": "HTTP/1.1 200 OK\r\n)" + c.reply +
                           R"("}, {"read": "head"}, {"send": "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}]]})");
        TNetHTTP client;
        client.ReadTimeout = 2000;
        platform::TMemoryStream body;
        try {
            client.Get(U(server.BaseURL() + "/"), body);
            ADD_FAILURE() << "no exception";
        } catch (const ENetInvalidReply& e) {
            EXPECT_EQ(A(e.Message()), c.message);
        }
        EXPECT_FALSE(client.Connected());
    }
}

TEST(Exchange, TrailerFieldsAreReadSoTheConnectionServesAgain) {
    FaultServer server(R"({"connections": [[
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\nX-Checksum: 42\r\n\r\n"},
        {"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}]]})");
    TNetHTTP client;
    client.ReadTimeout = 2000;
    EXPECT_EQ(client.Get(U(server.BaseURL() + "/1")), u"abc");
    EXPECT_EQ(client.Get(U(server.BaseURL() + "/2")), u"ok");
    EXPECT_EQ(client.ResponseText(), u"HTTP/1.1 200 OK");
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Connection, 0);
}

// A kept connection is used again only when the reply allowed it and nothing
// unread waits on it.
TEST(Exchange, ConnectionsThatMustNotBeReused) {
    struct Case {
        const char* what;
        std::string first;  // the first reply, followed by steps of the server
        bool head;          // whether the first request is a HEAD
    } cases[] = {
        // The server closes a moment later, as a 1.0 server does after its reply.
        {"HTTP/1.0 reply without keep-alive",
         R"({"send": "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"}, {"sleep": 0.5}, {"close": true})", false},
        {"HTTP/1.0 reply to a HEAD",
         R"({"send": "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n"}, {"sleep": 0.5}, {"close": true})", true},
        {"a body after a HEAD reply",
         R"({"send": "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n\u0000\u0001binary!!"})", true},
        {"a Connection list naming close",
         R"({"send": "HTTP/1.1 200 OK\r\nConnection: Upgrade, close\r\nContent-Length: 2\r\n\r\nok"}, {"sleep": 0.5}, {"close": true})",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FaultServer server(R"({"connections": [[{"read": "head"}, )" + c.first + R"(],
            [{"read": "head"}, {"send": "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecond"}]]})");
        TNetHTTP client;
        client.ReadTimeout = 3000;
        if (c.head)
            client.Head(U(server.BaseURL() + "/1"));
        else
            client.Get(U(server.BaseURL() + "/1"));
        EXPECT_EQ(client.Get(U(server.BaseURL() + "/2")), u"second");
        auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[1].Connection, 1) << "the second request goes over a new connection";
    }
    {
        SCOPED_TRACE("HTTP/1.0 reply with keep-alive stays open");
        FaultServer server(R"({"connections": [[
            {"read": "head"}, {"send": "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\nok"},
            {"read": "head"}, {"send": "HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nsecond"}]]})");
        TNetHTTP client;
        client.Get(U(server.BaseURL() + "/1"));
        EXPECT_TRUE(client.Connected());
        EXPECT_EQ(client.Get(U(server.BaseURL() + "/2")), u"second");
        EXPECT_FALSE(client.Connected());
        EXPECT_EQ(server.Requests()[1].Connection, 0);
    }
}

TEST(Exchange, RedirectTargets) {
    FaultServer target(R"({"connections": [[{"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\ntarget"}]]})");
    const std::string targetPort = std::to_string(target.Port());
    {
        SCOPED_TRACE("a query holding \"://\" stays on this server");
        FaultServer origin(R"({"connections": [[{"read": "head"},
            {"send": "HTTP/1.1 302 Found\r\nLocation: /x?next=http://elsewhere/y\r\nContent-Length: 0\r\n\r\n"},
            {"read": "head"}, {"send": "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}]]})");
        TNetHTTP client;
        client.HandleRedirects = true;
        EXPECT_EQ(client.Get(U(origin.BaseURL() + "/a")), u"ok");
        ASSERT_EQ(origin.Requests().size(), 2u);
        EXPECT_EQ(origin.Requests()[1].Head, Head("GET", "/x?next=http://elsewhere/y", origin));
    }
    {
        SCOPED_TRACE("scheme-relative: same scheme, that host and port");
        FaultServer origin(R"({"connections": [[{"read": "head"},
            {"send": "HTTP/1.1 301 Moved\r\nLocation: //localhost:)" + targetPort + R"(/t.txt\r\nContent-Length: 0\r\n\r\n"}]]})");
        TNetHTTP client;
        client.HandleRedirects = true;
        EXPECT_EQ(client.Get(U(origin.BaseURL() + "/a")), u"target");
        EXPECT_EQ(A(client.URL().GetURI()), "http://localhost:" + targetPort + "/t.txt");
        ASSERT_EQ(target.Requests().size(), 1u);
        EXPECT_EQ(target.Requests()[0].Head.rfind("GET /t.txt HTTP/1.1\r\nHost: localhost:" + targetPort + "\r\n", 0), 0u)
            << target.Requests()[0].Head;
        EXPECT_EQ(origin.Requests().size(), 1u);
    }
}

// Addresses come from servers (the update reply, Location): one that would
// put its own lines into the request head, or names no valid port, is
// refused before anything is sent.
TEST(Exchange, UnusableAddressesAreRefusedBeforeSending) {
    FaultServer server(R"({"connections": []})");
    const std::string base = server.BaseURL();
    struct Case {
        std::u16string url;
        std::string message;
    } cases[] = {
        {U(base + "/a\r\nX-Injected: 1"), "Address contains a control character"},
        {U(base + "/a\nX-Injected: 1"), "Address contains a control character"},
        {U(base + "/a") + u'\0' + u"b", "Address contains a control character"},
        {U(base + "/a\tb"), "Address contains a control character"},
        {U(base + "/a\x7f"), "Address contains a control character"},
        {u"http://127.0.0.1:65536/", "Invalid port \"65536\""},
        {u"http://127.0.0.1:-1/", "Invalid port \"-1\""},
        {u"http://127.0.0.1:0/", "Invalid port \"0\""},
        {u"http://127.0.0.1:8o/", "Invalid port \"8o\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        TNetHTTP client;
        try {
            client.Get(c.url);
            ADD_FAILURE() << "no exception";
        } catch (const ENetURIException& e) {
            EXPECT_EQ(A(e.Message()), c.message);
        }
    }
    EXPECT_EQ(server.Connections(), 0);

    FaultServer redirecting(R"({"connections": [[{"read": "head"},
        {"send": "HTTP/1.1 302 Found\r\nLocation: /b\rX-Injected: 1\r\nContent-Length: 0\r\n\r\n"}]]})");
    TNetHTTP client;
    client.HandleRedirects = true;
    EXPECT_THROW(client.Get(U(redirecting.BaseURL() + "/a")), ENetURIException);
    EXPECT_EQ(redirecting.Requests().size(), 1u) << "the injected redirect is never requested";
}
