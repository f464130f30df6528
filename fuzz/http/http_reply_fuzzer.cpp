// Feeds arbitrary server replies to the HTTP client. The first byte picks the
// request (GET into a stream, GET as text, HEAD) and whether redirects are
// followed; the rest is what the server sends before it stops sending.
#include <cstddef>
#include <cstdint>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 60000) return 0;
    const uint8_t mode = data[0];
    platform::Socket mine, peer;
    if (platform::Socket::Pair(mine, peer) != 0) return 0;
    SendAll(peer, data + 1, size - 1);
    peer.ShutdownSend();

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
        if (mode & 0x10) client.Get(kURL);
    } catch (const platform::Exception&) {
        // Every failure of the client is one of its exceptions.
    }
    return 0;
}
