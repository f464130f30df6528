// The TCP transport: connecting, line and byte reading over socket pairs,
// buffered writes, and socket failures with their numbers and texts.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "http/NetException.h"
#include "http/NetTCP.h"
#include "platform/socket.h"
#include "tests/http/test_util.h"
#include "tests/support/fault_server.h"

namespace {

// Raw sockets for the listeners of these tests, on both systems.
int RawSocket(bool nonBlocking = false) {
#ifdef _WIN32
    static WSADATA started = [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        return data;
    }();
    (void)started;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    u_long on = nonBlocking ? 1 : 0;
    ioctlsocket(s, FIONBIO, &on);
    return static_cast<int>(s);
#else
    return ::socket(AF_INET, SOCK_STREAM | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
#endif
}

void CloseRawSocket(int s) {
#ifdef _WIN32
    ::closesocket(static_cast<SOCKET>(s));
#else
    ::close(s);
#endif
}

}  // namespace

using namespace http;
using http_test::U;

namespace {

// A client whose connection is one end of a socket pair; the test plays the
// peer through the other end.
struct PairedClient {
    PairedClient() {
        platform::Socket mine;
        EXPECT_EQ(platform::Socket::Pair(mine, peer), 0);
        client.Host = u"127.0.0.1";
        client.Port = 1;
        client.ReadTimeout = 300;
        client.ConnectOnSocket(std::move(mine));
    }
    void Send(const std::string& bytes) {
        int error = 0;
        ASSERT_EQ(peer.Send(bytes.data(), bytes.size(), error), static_cast<int64_t>(bytes.size()));
    }
    std::string ReceiveAll() {
        std::string bytes;
        char buffer[4096];
        int error = 0;
        while (peer.WaitReadable(0, error) == platform::Socket::wrReadable) {
            int64_t n = peer.Receive(buffer, sizeof buffer, error);
            if (n <= 0) break;
            bytes.append(buffer, n);
        }
        return bytes;
    }
    TNetIOHandlerStack& io() { return *client.IOHandler(); }

    platform::Socket peer;
    TNetTCPClientCustom client;
};

}  // namespace

TEST(Transport, ReadLnTerminatorsAndLimits) {
    PairedClient p;
    const std::string exact(16384, 'a');
    p.Send("HTTP/1.1 200 OK\r\nbare LF\n\r\n\n" + exact + "\nnon-ASCII \xe9\xff\r\n");
    EXPECT_EQ(p.io().ReadLn(), u"HTTP/1.1 200 OK");
    EXPECT_EQ(p.io().ReadLn(), u"bare LF");
    EXPECT_EQ(p.io().ReadLn(), u"");
    EXPECT_FALSE(p.io().ReadLnTimedOut);
    EXPECT_EQ(p.io().ReadLn(), u"");
    EXPECT_EQ(p.io().ReadLn().size(), 16384u) << "a line of exactly the limit is accepted";
    EXPECT_EQ(p.io().ReadLn(), u"non-ASCII ??");

    p.Send(std::string(16385, 'b') + "\n");
    try {
        p.io().ReadLn();
        FAIL();
    } catch (const ENetReadLnMaxLineLengthExceeded& e) {
        EXPECT_EQ(e.Message(), u"Max line length exceeded.");
    }
}

TEST(Transport, ReadLnSplitsOverLongLinesWhenAsked) {
    PairedClient p;
    p.io().MaxLineLength = 4;
    p.io().MaxLineAction = maSplit;
    p.Send("abcdefg\n");
    EXPECT_EQ(p.io().ReadLn(), u"abcd");
    EXPECT_EQ(p.io().ReadLn(), u"efg");
}

TEST(Transport, ReadLnTimeoutSetsTheFlag) {
    PairedClient p;
    p.io().ReadTimeout = 100;
    http_test::Stopwatch watch;
    EXPECT_EQ(p.io().ReadLn(), u"");
    EXPECT_TRUE(p.io().ReadLnTimedOut);
    EXPECT_GE(watch.ElapsedMs(), 90);
}

TEST(Transport, ReplyThenCloseIsFullyReadable) {
    PairedClient p;
    p.Send("line one\r\nbody12345");
    p.peer.Close();
    EXPECT_TRUE(p.client.Connected()) << "unread bytes remain";
    EXPECT_EQ(p.io().ReadLn(), u"line one");
    platform::TMemoryStream body;
    p.io().ReadStream(&body, 5, false);
    EXPECT_EQ(body.View(), "body1");
    p.io().ReadStream(&body, -1, true);
    EXPECT_EQ(body.View(), "body12345");
    EXPECT_FALSE(p.client.Connected());
    EXPECT_THROW(p.io().ReadLn(), ENetConnClosedGracefully);
}

TEST(Transport, CountedReadKeepsWhatCameBeforeTheClose) {
    PairedClient p;
    p.Send("abc");
    p.peer.Close();
    platform::TMemoryStream body;
    EXPECT_THROW(p.io().ReadStream(&body, 10, false), ENetConnClosedGracefully);
    EXPECT_EQ(body.View(), "abc");
}

TEST(Transport, CountedReadTimesOut) {
    PairedClient p;
    p.io().ReadTimeout = 150;
    p.Send("ab");
    platform::TMemoryStream body;
    try {
        p.io().ReadStream(&body, 10, false);
        FAIL();
    } catch (const ENetReadTimeout& e) {
        EXPECT_EQ(e.Message(), u"Read timed out.");
    }
    EXPECT_EQ(body.View(), "ab");
}

TEST(Transport, WriteBufferSendsOnceOnClose) {
    PairedClient p;
    p.io().WriteBufferOpen(-1);
    p.io().WriteLn(u"GET / HTTP/1.1");
    p.io().Write(std::u16string_view(u"Host: \u00e9\r\n"));
    EXPECT_EQ(p.ReceiveAll(), "") << "nothing leaves while the buffer is open";
    p.io().WriteBufferClose();
    EXPECT_EQ(p.ReceiveAll(), "GET / HTTP/1.1\r\nHost: ?\r\n");
    p.io().WriteBufferOpen(-1);
    p.io().Write(std::string_view("dropped"));
    p.io().WriteBufferCancel();
    p.io().Write(std::string_view("direct"));
    EXPECT_EQ(p.ReceiveAll(), "direct");
}

TEST(Transport, WritingToAClosedPeerFails) {
    PairedClient p;
    p.peer.Close();
    // The first send may still be taken by the system; a later one fails.
    EXPECT_THROW(
        {
            for (int i = 0; i < 100; ++i) p.io().Write(std::string_view("data"));
        },
        ENetSocketError);
    EXPECT_FALSE(p.client.Connected());
}

TEST(Transport, ConnectRules) {
    TNetTCPClientCustom client;
    EXPECT_THROW(client.Connect(), ENetHostRequired);
    client.Host = u"127.0.0.1";
    EXPECT_THROW(client.Connect(), ENetPortRequired);

    zelvano_test::FaultServer server(R"({"connections": [[{"hold": 5}]]})");
    client.Host = u"LocalHost";  // no lookup: 127.0.0.1
    client.Port = static_cast<uint16_t>(server.Port());
    client.Connect();
    EXPECT_TRUE(client.Connected());
    try {
        client.Connect();
        FAIL();
    } catch (const ENetAlreadyConnected& e) {
        EXPECT_EQ(e.Message(), u"Already connected.");
    }
    client.Disconnect();
    EXPECT_FALSE(client.Connected());
}

TEST(Transport, LocalhostNeedsNoLookup) {
    platform::SocketAddress address;
    ASSERT_EQ(platform::ResolveHost("LOCALHOST", platform::SocketFamily::IPv4, address), 0);
    EXPECT_EQ(address.ToString(), "127.0.0.1");
    ASSERT_EQ(platform::ResolveHost("127.0.0.2", platform::SocketFamily::IPv4, address), 0);
    EXPECT_EQ(address.ToString(), "127.0.0.2");
}

TEST(Transport, SocketFailures) {
    {
        SCOPED_TRACE("host not found");
        TNetTCPClientCustom client;
        client.Host = u"no-such-host.invalid";
        client.Port = 80;
        try {
            client.Connect();
            FAIL();
        } catch (const ENetSocketError& e) {
            EXPECT_EQ(e.LastError(), 11001);
            EXPECT_EQ(e.Message(), u"Socket Error # 11001\r\nHost not found.");
        }
        EXPECT_EQ(client.IOHandler(), nullptr) << "a failed connect releases the handler";
    }
    {
        SCOPED_TRACE("connection refused");
        // A port that was just free.
        int s = RawSocket();
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        CloseRawSocket(s);
        TNetTCPClientCustom client;
        client.Host = u"127.0.0.1";
        client.Port = ntohs(a.sin_port);
        for (int timeout : {0, 2000}) {
            client.ConnectTimeout = timeout;
            try {
                client.Connect();
                FAIL();
            } catch (const ENetSocketError& e) {
                EXPECT_EQ(e.LastError(), 10061);
                EXPECT_EQ(e.Message(), u"Socket Error # 10061\r\nConnection refused.");
            }
        }
    }
}

TEST(Transport, ConnectTimeout) {
    // A listener whose accept queue is full drops further connection attempts.
    int listener = RawSocket();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    ::listen(listener, 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int f = RawSocket(true);
        ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(f);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    TNetTCPClientCustom client;
    client.Host = u"127.0.0.1";
    client.Port = ntohs(a.sin_port);
    client.ConnectTimeout = 300;
    http_test::Stopwatch watch;
    try {
        client.Connect();
        ADD_FAILURE() << "connected";
    } catch (const ENetConnectTimeout& e) {
        EXPECT_EQ(e.Message(), u"Connect timed out.");
    }
    EXPECT_GE(watch.ElapsedMs(), 280);
    EXPECT_LT(watch.ElapsedMs(), 2000);
    for (int f : fillers) CloseRawSocket(f);
    CloseRawSocket(listener);
}

TEST(Transport, SocketErrorNumbersAndTexts) {
    struct Case {
        int errnoValue;
        int number;
        const char16_t* message;
    } cases[] = {
        {ECONNREFUSED, 10061, u"Socket Error # 10061\r\nConnection refused."},
        {ECONNRESET, 10054, u"Socket Error # 10054\r\nConnection reset by peer."},
        {ETIMEDOUT, 10060, u"Socket Error # 10060\r\nConnection timed out."},
        {EHOSTUNREACH, 10065, u"Socket Error # 10065\r\nNo route to host."},
        {ENOTEMPTY, 10066, u"Socket Error # 10066\r\nDirectory not empty"},
        {ENOTSOCK, 10038, u"Socket Error # 10038\r\nSocket operation on non-socket."},
    };
    for (const auto& c : cases) {
#ifndef _WIN32  // Windows gives the numbers themselves; there are no errno values to map
        EXPECT_EQ(platform::SocketErrorFromErrno(c.errnoValue), c.number);
#endif
        EXPECT_EQ(SocketErrorMessage(c.number), c.message);
    }
    EXPECT_EQ(SocketErrorMessage(12345), u"Socket Error # 12345\r\n");
    EXPECT_THROW(RaiseSocketError(10038), ENetNotASocket);
}
