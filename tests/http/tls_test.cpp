// https against a real nginx with certificates of a private test authority:
// verified connections, the failures a client must refuse to go past, no
// downgrade on redirects, one TLS connection for a whole ranged download, and
// the wildcard and name-constraint rules.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <thread>

#include "http/NetHTTP.h"
#include "platform/socket.h"
#include "platform/tls.h"
#include "tests/http/test_util.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_authority.h"
#include "tests/support/trusted_authority.h"

using namespace http;
using http_test::A;
using http_test::U;

namespace {

using zelvano_test::TrustedAuthority;

class TlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new zelvano_test::TempDir("zelvano-tls-root");
        content_ = new std::string();
        for (int i = 0; content_->size() < 2500000; ++i) *content_ += std::to_string(i) + ",";
        std::ofstream(root_->Path() / "file.bin", std::ios::binary) << *content_;
        std::ofstream(root_->Path() / "info.txt") << "{\"download_url\": \"x\"}";
        authority_ = new zelvano_test::TestAuthority();
        served_ = authority_->Issue("server", "DNS:localhost,IP:127.0.0.1");
        nginx_ = new zelvano_test::NginxServer(root_->Path(),
                                               "location = /down { return 302 http://127.0.0.1:$server_port/info.txt; }\n"
                                               "location = /same { return 302 /info.txt; }\n",
                                               served_.Certificate, served_.Key);
    }
    static void TearDownTestSuite() {
        delete nginx_;
        delete authority_;
        delete root_;
        delete content_;
    }
    std::u16string Url(const std::string& path) { return U(nginx_->BaseURL() + path); }
    // The access log's lines that name `path`, once there are `count` of them
    // (nginx writes a line just after the reply has gone out).
    std::vector<std::string> LogLinesFor(const std::string& path, size_t count) {
        std::vector<std::string> lines;
        for (int attempt = 0; attempt < 200; ++attempt) {
            lines.clear();
            for (const auto& line : nginx_->AccessLog())
                if (line.find(" " + path + " HTTP/1.1\"") != std::string::npos) lines.push_back(line);
            if (lines.size() >= count) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return lines;
    }

    static zelvano_test::TempDir* root_;
    static zelvano_test::TestAuthority* authority_;
    static zelvano_test::TestAuthority::Issued served_;  // the suite's server certificate
    static zelvano_test::NginxServer* nginx_;
    static std::string* content_;
};

zelvano_test::TempDir* TlsTest::root_ = nullptr;
zelvano_test::TestAuthority* TlsTest::authority_ = nullptr;
zelvano_test::TestAuthority::Issued TlsTest::served_;
zelvano_test::NginxServer* TlsTest::nginx_ = nullptr;
std::string* TlsTest::content_ = nullptr;

}  // namespace

TEST_F(TlsTest, VerifiedServerByAddressAndByName) {
    TrustedAuthority trust(authority_->CertificateFile());
    for (std::string host : {"127.0.0.1", "localhost"}) {
        TNetHTTP client;
        EXPECT_EQ(client.Get(U("https://" + host + ":" + std::to_string(nginx_->Port()) + "/info.txt")),
                  u"{\"download_url\": \"x\"}")
            << host;
        EXPECT_EQ(client.ResponseCode(), 200);
        EXPECT_EQ(client.URL().Protocol, u"https");
    }
    auto log = LogLinesFor("/info.txt", 2);
    ASSERT_GE(log.size(), 2u);
    for (const auto& line : log) EXPECT_NE(line.find(" TLSv1."), std::string::npos) << line;
}

TEST_F(TlsTest, HeadThenRangedPiecesOverOneTlsConnection) {
    TrustedAuthority trust(authority_->CertificateFile());
    TNetHTTP client;
    platform::TMemoryStream buffer;
    EXPECT_EQ(http_test::HeadThenRangedPieces(client, Url("/file.bin"), buffer),
              static_cast<int64_t>(content_->size()));
    EXPECT_EQ(buffer.View(), *content_);
    auto log = LogLinesFor("/file.bin", 4);
    ASSERT_EQ(log.size(), 4u);
    const std::string connection = log[0].substr(0, log[0].find(' '));
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].substr(0, log[i].find(' ')), connection) << "one connection, one handshake: " << log[i];
        EXPECT_EQ(log[i].substr(log[i].size() - 2), " .") << "no resumed second session: " << log[i];
    }
}

TEST_F(TlsTest, RedirectStaysOnHttpsAndNeverGoesDownToHttp) {
    TrustedAuthority trust(authority_->CertificateFile());
    TNetHTTP client;
    client.HandleRedirects = true;
    EXPECT_EQ(client.Get(Url("/same")), u"{\"download_url\": \"x\"}");
    EXPECT_EQ(A(client.URL().GetURI()), nginx_->BaseURL() + "/info.txt");

    platform::TMemoryStream body;
    try {
        client.Get(Url("/down"), body);
        ADD_FAILURE() << "the redirect to http was followed";
    } catch (const ENetInsecureRedirect& e) {
        EXPECT_EQ(A(e.Message()), "Redirect from https to http refused: http://127.0.0.1:" +
                                      std::to_string(nginx_->Port()) + "/info.txt");
    }
    EXPECT_EQ(body.GetSize(), 0);
    // The http address is this server's port: a request sent there in the
    // clear would be logged without a TLS protocol.
    EXPECT_EQ(LogLinesFor("/down", 1).size(), 1u);
    for (const auto& line : nginx_->AccessLog())
        EXPECT_NE(line.find(" TLSv1."), std::string::npos) << "a request without TLS: " << line;
}

// Each failure: how the server presents itself, whom the client trusts and
// which host it names; the exception class and the start of its message.
TEST_F(TlsTest, RefusedServers) {
    zelvano_test::TestAuthority stranger("Some Other Authority");
    auto strangers = stranger.Issue("server", "DNS:localhost,IP:127.0.0.1");
    auto otherName = authority_->Issue("other-name", "DNS:update.zelvano.example");
    auto expired = authority_->Issue("expired", "DNS:localhost,IP:127.0.0.1", -1);
    zelvano_test::NginxServer plain(root_->Path());

    struct Case {
        const char* Name;
        const zelvano_test::TestAuthority::Issued* Served;  // null: plain http
        std::string Host;
        std::string Protocols;  // nginx's ssl_protocols; empty: TLS 1.2 and 1.3
        std::function<bool(const ENetException&)> IsExpected;
        std::string MessageStart;
    };
    const Case cases[] = {
        {"untrusted authority", &strangers, "127.0.0.1", "",
         [](const ENetException& e) { return dynamic_cast<const ENetTLSCertificateUntrusted*>(&e) != nullptr; },
         "The certificate of 127.0.0.1 is not trusted: "},
        {"name mismatch (address)", &otherName, "127.0.0.1", "",
         [](const ENetException& e) { return dynamic_cast<const ENetTLSNameMismatch*>(&e) != nullptr; },
         "The certificate does not match the host name 127.0.0.1: "},
        {"name mismatch (name)", &otherName, "localhost", "",
         [](const ENetException& e) { return dynamic_cast<const ENetTLSNameMismatch*>(&e) != nullptr; },
         "The certificate does not match the host name localhost: "},
        {"expired certificate", &expired, "localhost", "",
         [](const ENetException& e) { return dynamic_cast<const ENetTLSCertificateExpired*>(&e) != nullptr; },
         "The certificate of localhost has expired or is not yet valid: "},
        {"no TLS on the port", nullptr, "127.0.0.1", "",
         [](const ENetException& e) {
             return dynamic_cast<const ENetTLSHandshakeFailed*>(&e) != nullptr &&
                    dynamic_cast<const ENetTLSCertificateUntrusted*>(&e) == nullptr;
         },
         "TLS handshake with 127.0.0.1 failed"},
        // A server that still speaks only TLS 1.1 (OpenSSL offers it at
        // security level 0): the client refuses the version itself.
        {"TLS 1.1 only", &served_, "127.0.0.1", "TLSv1.1",
         [](const ENetException& e) { return dynamic_cast<const ENetTLSProtocolVersion*>(&e) != nullptr; },
         "127.0.0.1 offers no TLS version 1.2 or newer"},
    };
    TrustedAuthority trust(authority_->CertificateFile());
    for (const Case& c : cases) {
        std::unique_ptr<zelvano_test::NginxServer> tlsServer;
        int port = plain.Port();
        if (c.Served) {
            tlsServer = std::make_unique<zelvano_test::NginxServer>(
                root_->Path(), c.Protocols.empty() ? "" : "ssl_ciphers DEFAULT:@SECLEVEL=0;",
                c.Served->Certificate, c.Served->Key, c.Protocols);
            port = tlsServer->Port();
        }
        TNetHTTP client;
        try {
            client.Get(U("https://" + c.Host + ":" + std::to_string(port) + "/info.txt"));
            ADD_FAILURE() << c.Name << ": no exception";
        } catch (const ENetException& e) {
            EXPECT_TRUE(c.IsExpected(e)) << c.Name << ": " << e.what();
            EXPECT_EQ(A(e.Message()).rfind(c.MessageStart, 0), 0u) << c.Name << ": " << e.what();
        }
        EXPECT_FALSE(client.Connected()) << c.Name;
        if (tlsServer) {
            EXPECT_TRUE(tlsServer->AccessLog().empty()) << c.Name << ": a request got through";
        }
    }
}

// The name and chain rules both systems share, checked on the TLS layer
// itself so that the client can name hosts that do not resolve here (the
// socket goes to nginx on loopback): a wildcard stands for a whole label
// only, and an intermediate's name constraints bind what it issues.
TEST_F(TlsTest, WildcardsAndNameConstraints) {
    auto wholeLabel = authority_->Issue("whole-label", "DNS:*.example.test");
    auto partialLabel = authority_->Issue("partial-label", "DNS:f*.example.test");
    auto permitted = authority_->IssueThroughIntermediate("permitted", "DNS:localhost", "permitted;DNS:localhost");
    auto otherDomain =
        authority_->IssueThroughIntermediate("other-domain", "DNS:localhost", "permitted;DNS:other.example");
    auto excluded = authority_->IssueThroughIntermediate("excluded", "DNS:localhost", "excluded;DNS:localhost");
    struct Case {
        const char* Name;
        const zelvano_test::TestAuthority::Issued* Served;
        std::string Host;
        bool Accepted;
    } cases[] = {
        {"wildcard for a whole label", &wholeLabel, "foo.example.test", true},
        {"partial wildcard", &partialLabel, "foo.example.test", false},
        {"intermediate constrained to the host's domain", &permitted, "localhost", true},
        {"intermediate constrained to another domain", &otherDomain, "localhost", false},
        {"intermediate that excludes the host", &excluded, "localhost", false},
    };
    TrustedAuthority trust(authority_->CertificateFile());
    for (const Case& c : cases) {
        zelvano_test::NginxServer server(root_->Path(), "", c.Served->Certificate, c.Served->Key);
        platform::SocketAddress address;
        ASSERT_EQ(platform::ResolveHost("127.0.0.1", platform::SocketFamily::IPv4, address), 0);
        platform::Socket socket;
        ASSERT_EQ(socket.Create(platform::SocketFamily::IPv4), 0) << c.Name;
        ASSERT_EQ(socket.Connect(address, static_cast<uint16_t>(server.Port()), 5000), 0) << c.Name;
        platform::TlsConnection tls;
        platform::TlsError error;
        const bool accepted = tls.Handshake(socket, c.Host, 10000, error);
        EXPECT_EQ(accepted, c.Accepted) << c.Name << ": " << error.Detail;
        if (!c.Accepted) {
            EXPECT_TRUE(error.Failure == platform::TlsFailure::NameMismatch ||
                        error.Failure == platform::TlsFailure::Untrusted)
                << c.Name << ": " << error.Detail;
        }
        if (accepted) tls.Shutdown();
    }
}
