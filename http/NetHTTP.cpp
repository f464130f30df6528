#include "http/NetHTTP.h"

#include <climits>

#include "http/NetTexts.h"
#include "http/TextUtil.h"
#include "platform/exception.h"

namespace http {

// ---------------------------------------------------------------- response

int TNetHTTPResponse::ResponseCode() const {
    // The second space-separated word of the status line.
    size_t space = ResponseText.find(u' ');
    if (space == std::u16string::npos) return -1;
    size_t start = space + 1;
    size_t end = ResponseText.find(u' ', start);
    std::u16string_view word = std::u16string_view(ResponseText).substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    int64_t code;
    if (!TryReadInt64(word, code) || code < INT_MIN || code > INT_MAX) return -1;
    return static_cast<int>(code);
}

bool TNetHTTPResponse::KeepAlive() {
    size_t at = ResponseText.find(u"HTTP/");
    if (at != std::u16string::npos && ResponseText.size() >= at + 8) {
        std::u16string_view version = std::u16string_view(ResponseText).substr(at + 5, 3);
        if (version == u"1.0")
            ResponseVersion = pv1_0;
        else if (version == u"1.1")
            ResponseVersion = pv1_1;
    }
    if (HTTP->Connected()) HTTP->CheckForGracefulDisconnect(false);
    if (!HTTP->Connected()) return false;
    const std::u16string connection = Trim(Connection);
    const std::u16string proxyConnection = Trim(ProxyConnection);
    if (HTTP->ProtocolVersion == pv1_1)
        return !EqualsIgnoreCase(connection, u"close") && !EqualsIgnoreCase(proxyConnection, u"close");
    return EqualsIgnoreCase(connection, u"keep-alive") || EqualsIgnoreCase(proxyConnection, u"keep-alive");
}

// ---------------------------------------------------------------- protocol

TNetHTTPProtocol::TNetHTTPProtocol(TNetCustomHTTP* AConnection)
    : Request(std::make_unique<TNetHTTPRequest>(AConnection)),
      Response(std::make_unique<TNetHTTPResponse>(AConnection)),
      FHTTP(AConnection) {}

void TNetHTTPProtocol::BuildAndSendRequest(const TNetURI& AURI) {
    Request->SetHeaders();
    if (TNetCookieManager* cookies = FHTTP->CookieManager()) {
        std::u16string text = cookies->GenerateCookieList(AURI, EqualsIgnoreCase(AURI.Protocol, u"https"));
        if (!text.empty()) {
            Request->RawHeaders.SetValues(u"Cookie", text);
            Request->RawHeaders.SetValues(u"Cookie2", texts::kCookie2Value);
        }
    }
    TNetIOHandlerStack& io = *FHTTP->IOHandler();
    io.WriteBufferOpen(-1);
    try {
        io.WriteLn(Request->Method + u" " + Request->URL + u" HTTP/" +
                   (FHTTP->ProtocolVersion == pv1_0 ? u"1.0" : u"1.1"));
        for (const auto& line : Request->RawHeaders.Lines())
            if (!line.empty()) io.WriteLn(line);
        io.WriteLn(u"");
        io.WriteBufferClose();
    } catch (...) {
        io.WriteBufferCancel();
        throw;
    }
}

void TNetHTTPProtocol::RetrieveHeaders() {
    TNetIOHandlerStack& io = *FHTTP->IOHandler();
    do {
        Response->ResponseText = io.ReadLn();
        if (io.ReadLnTimedOut) throw ENetReadTimeout();
        Response->RawHeaders.Clear();
        try {
            for (;;) {
                std::u16string line = io.ReadLn();
                if (io.ReadLnTimedOut) throw ENetReadTimeout();
                if (line.empty()) break;
                Response->RawHeaders.Add(std::move(line));
            }
        } catch (const ENetConnClosedGracefully&) {
            // The peer closed inside the head: keep what came.
            FHTTP->Disconnect();
        }
        Response->ReadHeaderFields();
        FHTTP->ProcessCookies(*Response);
    } while (Response->ResponseCode() == 100);
}

void TNetHTTPProtocol::ReadBody(platform::TStream* target, int firstBytesWait) {
    TNetIOHandlerStack* io = FHTTP->IOHandler();
    if (!io) return;
    auto readLine = [io] {
        std::u16string line = io->ReadLn();
        if (io->ReadLnTimedOut) throw ENetReadTimeout();
        return line;
    };
    auto dataArrives = [io, firstBytesWait] {
        return firstBytesWait < 0 || !io->InputBufferIsEmpty() || io->CheckForDataOnSource(firstBytesWait);
    };

    if (ContainsIgnoreCase(Response->RawHeaders.Values(u"Transfer-Encoding"), u"chunked")) {
        for (;;) {
            std::u16string line = readLine();
            // The size ends at a space or at chunk extensions (";name=value").
            size_t end = line.find_first_of(u" ;");
            if (end != std::u16string::npos) line.erase(end);
            int64_t size = 0;
            if (line.empty() || line.size() > 15) {
                size = 0;
            } else {
                for (char16_t c : line) {
                    int digit = (c >= u'0' && c <= u'9')   ? c - u'0'
                                : (c >= u'a' && c <= u'f') ? c - u'a' + 10
                                : (c >= u'A' && c <= u'F') ? c - u'A' + 10
                                                           : -1;
                    if (digit < 0) {
                        size = 0;
                        break;
                    }
                    size = size * 16 + digit;
                }
            }
            if (size <= 0) break;
            io->ReadStream(target, size, false);
            readLine();
        }
        readLine();
        return;
    }
    if (Response->ContentLength > 0) {
        if (!dataArrives()) return;
        try {
            io->ReadStream(target, Response->ContentLength, false);
        } catch (const ENetConnClosedGracefully&) {
            // A shorter body than announced: what came stays in the target.
        }
        return;
    }
    if (Response->RawHeaders.IndexOfName(u"Content-Length") < 0) {
        if (!dataArrives()) return;
        io->ReadStream(target, -1, true);
    }
}

void TNetHTTPProtocol::RaiseProtocolException(int firstBytesWait) {
    platform::TMemoryStream body;
    if (Request->Method != u"HEAD") {
        try {
            ReadBody(&body, firstBytesWait);
        } catch (const ENetConnClosedGracefully&) {
        }
    }
    throw ENetHTTPProtocolException(Response->ResponseCode(), Response->ResponseText,
                                    DecodeByCharset(Response->CharSet, body.View()));
}

TNetHTTPProtocol::TNetHTTPWhatsNext TNetHTTPProtocol::ProcessResponse(bool isHead) {
    const int code = Response->ResponseCode();
    const int d = code / 100;
    if ((d == 3 && code != 304) || (!Response->Location.empty() && code != 201)) {
        ++FHTTP->FRedirectCount;
        std::u16string location = Response->Location;
        std::u16string method = Request->Method;
        if (!FHTTP->DoOnRedirect(location, method)) RaiseProtocolException(-1);
        // What came over TLS never continues in the clear.
        if (EqualsIgnoreCase(FHTTP->FURI.Protocol, u"https") && !EqualsIgnoreCase(TNetURI(location).Protocol, u"https") &&
            !TNetURI(location).Protocol.empty())
            throw ENetInsecureRedirect(location);
        TNetHTTPWhatsNext next = wnJustExit;
        if (FHTTP->FRedirectCount < FHTTP->RedirectMaximum) {
            Request->URL = location;
            Request->Method = method;
            next = wnGoToURL;
        }
        // A reply to HEAD has no body, whatever its Content-Length says.
        if (!isHead && FHTTP->Connected()) ReadBody(nullptr, 5000);
        return next;
    }
    if (d != 2) {
        // 401 and 407 fail too: no authentication is configured.
        RaiseProtocolException((d == 1 || code == 304) ? 100 : -1);
    }
    if (isHead) return wnJustExit;
    if (code == 204)
        ReadBody(nullptr, 100);
    else
        ReadBody(Response->ContentStream, -1);
    return wnJustExit;
}

// ---------------------------------------------------------------- client

TNetCustomHTTP::TNetCustomHTTP() : FHTTPProto(this) {}

TNetCustomHTTP::~TNetCustomHTTP() = default;

int TNetCustomHTTP::ResponseCode() const { return FHTTPProto.Response->ResponseCode(); }

const std::u16string& TNetCustomHTTP::ResponseText() const { return FHTTPProto.Response->ResponseText; }

void TNetCustomHTTP::Head(const std::u16string& AURL) { DoRequest(u"HEAD", AURL, nullptr); }

void TNetCustomHTTP::Get(const std::u16string& AURL, platform::TStream& AResponseContent) {
    DoRequest(u"GET", AURL, &AResponseContent);
}

std::u16string TNetCustomHTTP::Get(const std::u16string& AURL) {
    platform::TMemoryStream body;
    DoRequest(u"GET", AURL, &body);
    return DecodeByCharset(Response().CharSet, body.View());
}

bool TNetCustomHTTP::DoOnRedirect(std::u16string& Location, std::u16string& VMethod) {
    bool handled = HandleRedirects;
    if (OnRedirect) OnRedirect(this, Location, VMethod, handled);
    return handled;
}

void TNetCustomHTTP::PrepareRequest(TNetHTTPRequest& ARequest) {
    TNetURI uri(ARequest.URL);
    if (!uri.Username.empty()) {
        ARequest.Username = uri.Username;
        ARequest.Password = uri.Password;
    }
    FURI.Path = TNetURI::MergePaths(FURI.Path, uri.Path);
    FURI.Document = uri.Document;
    FURI.Params = uri.Params;
    if (!uri.Host.empty()) {
        FURI.Host = uri.Host;
        FURI.IPVersion = uri.IPVersion;
    }
    if (!uri.Protocol.empty())
        FURI.Protocol = uri.Protocol;
    else if (EqualsIgnoreCase(FURI.Protocol, u"https"))
        FURI.Protocol = u"https";
    else
        FURI.Protocol = u"http";
    // The port follows the new address's own scheme; a relative address keeps
    // the current one.
    if (!uri.Port.empty())
        FURI.Port = uri.Port;
    else if (EqualsIgnoreCase(uri.Protocol, u"http"))
        FURI.Port = u"80";
    else if (EqualsIgnoreCase(uri.Protocol, u"https"))
        FURI.Port = u"443";
    else if (FURI.Port.empty())
        throw ENetUnknownProtocol();

    ARequest.URL = FURI.GetPathAndParams();
    ARequest.ContentLength = -1;
    // The Host field names the port unless it is the scheme's own.
    const bool defaultPort = EqualsIgnoreCase(FURI.Protocol, u"https") ? FURI.Port == u"443" : FURI.Port == u"80";
    ARequest.Host = defaultPort ? FURI.Host : FURI.Host + u":" + FURI.Port;
}

void TNetCustomHTTP::ConnectToHost(TNetHTTPRequest& ARequest) {
    const bool secure = EqualsIgnoreCase(FURI.Protocol, u"https");
    int64_t portNumber;
    uint16_t port = secure ? 443 : 80;
    if (TryReadInt64(FURI.Port, portNumber) && portNumber >= 0 && portNumber <= 65535)
        port = static_cast<uint16_t>(portNumber);
    if (ioHandler_ && ioHandler_->Opened() &&
        (!EqualsIgnoreCase(Host, FURI.Host) || Port != port || IPVersion != FURI.IPVersion ||
         ioHandler_->UseTLS != secure))
        Disconnect();
    Host = FURI.Host;
    Port = port;
    IPVersion = FURI.IPVersion;
    UseTLS = secure;

    if (ProtocolVersion == pv1_0 && ARequest.Connection.empty()) ARequest.Connection = u"keep-alive";
    if (ARequest.AcceptEncoding.empty())
        ARequest.AcceptEncoding = u"identity";
    else if (!ContainsIgnoreCase(ARequest.AcceptEncoding, u"identity"))
        ARequest.AcceptEncoding += u", identity";

    if (!Response().KeepAlive()) Disconnect();
    CheckForGracefulDisconnect(false);
    if (!Connected()) {
        Disconnect();
        Connect();
    }
    ioHandler_->ReadTimeout = ReadTimeout;
}

void TNetCustomHTTP::ProcessCookies(TNetHTTPResponse& AResponse) {
    if (!AllowCookies) return;
    if (!FCookieManager) FCookieManager = std::make_unique<TNetCookieManager>();
    std::vector<std::u16string> cookies, cookies2;
    AResponse.RawHeaders.Extract(u"Set-cookie2", cookies2);
    AResponse.RawHeaders.Extract(u"Set-cookie", cookies);
    auto nameOf = [](const std::u16string& cookie) {
        std::u16string text = Trim(cookie);
        return Trim(std::u16string_view(text).substr(0, text.find_first_of(u"=;")));
    };
    for (const auto& cookie : cookies) {
        bool replaced = false;
        for (const auto& cookie2 : cookies2)
            if (EqualsIgnoreCase(nameOf(cookie), nameOf(cookie2))) replaced = true;
        if (!replaced) FCookieManager->AddCookie(cookie, FURI);
    }
    for (const auto& cookie2 : cookies2) FCookieManager->AddCookie2(cookie2, FURI);
}

void TNetCustomHTTP::DoRequest(const std::u16string& AMethod, const std::u16string& AURL,
                               platform::TStream* AResponseContent) {
    FRedirectCount = 0;
    FAuthRetries = 0;
    FAuthProxyRetries = 0;
    int64_t start = 0;
    if (AResponseContent) {
        start = AResponseContent->GetPosition();
        if (start > INT32_MAX) throw platform::ERangeError(texts::kRangeError);
    }
    Request().URL = AURL;
    Request().Method = AMethod;
    Response().ContentStream = AResponseContent;
    const bool isHead = AMethod == u"HEAD";
    try {
        for (bool again = true; again;) {
            again = false;
            PrepareRequest(Request());
            ConnectToHost(Request());
            FHTTPProto.BuildAndSendRequest(FURI);
            FHTTPProto.RetrieveHeaders();
            bool proceed = true;
            if (OnHeadersAvailable) OnHeadersAvailable(this, Response().RawHeaders, proceed);
            if (!proceed) {
                // The body stays unread: the connection cannot serve again.
                Disconnect();
                break;
            }
            switch (FHTTPProto.ProcessResponse(isHead)) {
                case TNetHTTPProtocol::wnGoToURL:
                    // Nothing of a redirect's body stays in the caller's stream.
                    if (AResponseContent) {
                        AResponseContent->SetPosition(start);
                        AResponseContent->SetSize(start);
                    }
                    FAuthRetries = 0;
                    FAuthProxyRetries = 0;
                    again = true;
                    break;
                case TNetHTTPProtocol::wnAuthRequest:
                    Request().URL = AURL;
                    again = true;
                    break;
                default:
                    break;
            }
        }
    } catch (...) {
        // A failed exchange may leave the rest of its reply unread: never reuse
        // that connection.
        Disconnect();
        throw;
    }
    if (!Response().KeepAlive()) Disconnect();
}

}  // namespace http
