// Feeds arbitrary server replies to the HTTP client. The first byte picks the
// request (GET into a stream, GET as text, HEAD), whether redirects are
// followed and whether a second request follows on the same connection; the
// rest is what the server sends once the first request has arrived.
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "http/NetHTTP.h"
#include "platform/socket.h"

namespace {

const std::u16string kURL = u"http://127.0.0.1:1/dir/file.zip";

void SendAll(platform::Socket& socket, const uint8_t* data, size_t size) {
    int error = 0;
    while (size > 0) {
        int64_t sent = socket.Send(data, size, error);
        if (sent <= 0) return;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
}

// Reads until a whole request head has arrived; false when the client went
// away or nothing came within the wait.
bool ReadRequestHead(platform::Socket& socket, int waitMs) {
    std::string received;
    char buffer[4096];
    int error = 0;
    while (received.find("\r\n\r\n") == std::string::npos) {
        if (socket.WaitReadable(waitMs, error) != platform::Socket::wrReadable) return false;
        int64_t n = socket.Receive(buffer, sizeof buffer, error);
        if (n <= 0) return false;
        received.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 60000) return 0;
    const uint8_t mode = data[0];
    platform::Socket mine, peer;
    if (platform::Socket::Pair(mine, peer) != 0) return 0;
    const bool secondRequest = (mode & 0x10) != 0;
    // The server: the reply goes out after the request, then the sending side
    // closes (after a second request when there is one).
    std::thread server([&peer, data, size, secondRequest] {
        if (ReadRequestHead(peer, 1000)) {
            SendAll(peer, data + 1, size - 1);
            if (secondRequest) ReadRequestHead(peer, 30);
        }
        peer.ShutdownSend();
    });

    http::TNetHTTP client;
    client.ReadTimeout = 20;  // a starved reply ends quickly
    client.HandleRedirects = (mode & 1) != 0;
    // Redirects may only stay on this connection's address: a fuzzed Location
    // must never reach another host.
    client.OnRedirect = [](http::TNetCustomHTTP*, std::u16string& dest, std::u16string&, bool& handled) {
        http::TNetURI target(dest);
        if (!target.Host.empty() && (target.Host != u"127.0.0.1" || target.Port != u"1")) handled = false;
        if (!target.Protocol.empty() && target.Protocol != u"http") handled = false;
    };
    client.Host = u"127.0.0.1";
    client.Port = 1;
    client.ConnectOnSocket(std::move(mine));
    try {
        switch ((mode >> 1) % 3) {
            case 0: {
                platform::TMemoryStream body;
                client.Get(kURL, body);
                break;
            }
            case 1:
                client.Get(kURL);
                break;
            default:
                client.Head(kURL);
                break;
        }
        // A second request over whatever the first one left.
        if (secondRequest) client.Get(kURL);
    } catch (const platform::Exception&) {
        // Every failure of the client is one of its exceptions.
    }
    client.Disconnect();
    server.join();
    return 0;
}
