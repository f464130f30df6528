#include "http/NetHTTP.h"

#include <climits>

#include "http/NetTexts.h"
#include "http/TextUtil.h"
#include "platform/exception.h"

namespace http {

namespace {

// Offending text for a message: in double quotes, cut to 40 characters, with
// control characters shown as "?".
std::u16string Quoted(std::u16string_view text) {
    std::u16string result = u"\"";
    for (size_t i = 0; i < text.size() && i < 40; ++i) result += text[i] < 0x20 || text[i] == 0x7F ? u'?' : text[i];
    if (text.size() > 40) result += u"...";
    return result + u"\"";
}

// Whether a comma-separated header value names the token (any case).
bool HasToken(std::u16string_view value, std::u16string_view token) {
    for (std::u16string_view item : Split(value, u','))
        if (EqualsIgnoreCase(Trim(item), token)) return true;
    return false;
}

// chunk-size = 1*HEXDIG (RFC 9112, 7.1), cut at a space, tab or ";" (chunk
// extensions and comments are dropped); raises ENetInvalidReply for anything
// else and for a size beyond 63 bits.
int64_t ReadChunkSize(const std::u16string& line) {
    const std::u16string_view digits = std::u16string_view(line).substr(0, line.find_first_of(u" \t;"));
    int64_t size = 0;
    bool valid = !digits.empty();
    for (char16_t c : digits) {
        const int digit = (c >= u'0' && c <= u'9')   ? c - u'0'
                          : (c >= u'a' && c <= u'f') ? c - u'a' + 10
                          : (c >= u'A' && c <= u'F') ? c - u'A' + 10
                                                     : -1;
        if (digit < 0 || size > (INT64_MAX >> 4)) {
            valid = false;
            break;
        }
        size = size * 16 + digit;
    }
    if (!valid) throw ENetInvalidReply(texts::kInvalidChunkSize + Quoted(line));
    return size;
}

// The body length a reply announces, -1 when it names none. Every
// Content-Length line, and every item of a list in one, must be the same
// decimal number (RFC 9112, 6.3); otherwise where the body ends is unknown and
// ENetInvalidReply is raised.
int64_t AnnouncedLength(const TNetHeaderList& headers) {
    std::vector<std::u16string> values;
    headers.Extract(u"Content-Length", values);
    int64_t length = -1;
    for (const auto& value : values) {
        for (std::u16string_view item : Split(value, u',')) {
            int64_t number;
            if (!TryReadDigits(Trim(item), number) || (length >= 0 && number != length))
                throw ENetInvalidReply(texts::kInvalidContentLength + Quoted(value));
            length = number;
        }
    }
    return length;
}

// Whether the body comes in chunks: the reply's transfer codings, taken as
// comma-separated tokens over every Transfer-Encoding line, must end with
// exactly "chunked" (RFC 9112, 6.1 and 6.3). Any other coding cannot be
// undone here (the client asks for none), so where the body ends or what its
// bytes mean is unknown: ENetInvalidReply. No Transfer-Encoding: false.
bool ChunkedBody(const TNetHeaderList& headers) {
    std::vector<std::u16string> values;
    headers.Extract(u"Transfer-Encoding", values);
    std::vector<std::u16string> codings;
    for (const auto& value : values)
        for (std::u16string_view item : Split(value, u','))
            if (std::u16string token = Trim(item); !token.empty()) codings.push_back(std::move(token));
    if (codings.empty()) return false;
    for (size_t i = 0; i < codings.size(); ++i) {
        // Chunked once, and last: anything before it would be a coding of
        // the body that is not undone.
        if (i + 1 != codings.size() || !EqualsIgnoreCase(codings[i], u"chunked")) {
            std::u16string all;
            for (const auto& value : values) all += (all.empty() ? u"" : u", ") + value;
            throw ENetInvalidReply(texts::kUnsupportedTransferCoding + Quoted(all));
        }
    }
    return true;
}

}  // namespace

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
    std::u16string_view version;
    size_t at = ResponseText.find(u"HTTP/");
    if (at != std::u16string::npos && ResponseText.size() >= at + 8) {
        version = std::u16string_view(ResponseText).substr(at + 5, 3);
        if (version == u"1.0")
            ResponseVersion = pv1_0;
        else if (version == u"1.1")
            ResponseVersion = pv1_1;
    }
    if (HTTP->Connected()) HTTP->CheckForGracefulDisconnect(false);
    if (!HTTP->Connected()) return false;
    if (HasToken(Connection, u"close") || HasToken(ProxyConnection, u"close")) return false;
    // Persistent by default only when both sides speak 1.1; a 1.0 reply (or
    // a 1.0 client) keeps the connection only when told "keep-alive"
    // (RFC 9112, 9.3). The version is this reply's own, never an earlier one.
    if (HTTP->ProtocolVersion == pv1_1 && version == u"1.1") return true;
    return HasToken(Connection, u"keep-alive") || HasToken(ProxyConnection, u"keep-alive");
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
    const std::u16string requestLine = Request->Method + u" " + Request->URL + u" HTTP/" +
                                       (FHTTP->ProtocolVersion == pv1_0 ? u"1.0" : u"1.1");
    // A CR or LF inside a line would start a line of someone else's making
    // (a cookie value that came with a CR, say): nothing of such a head is
    // sent.
    if (HasControlCharacter(requestLine)) throw ENetURIException(texts::kControlCharacterInAddress);
    for (const auto& line : Request->RawHeaders.Lines())
        for (char16_t c : line)
            if ((c < 0x20 && c != u'\t') || c == 0x7F) throw ENetException(texts::kControlCharacterInHeader);
    TNetIOHandlerStack& io = *FHTTP->IOHandler();
    io.WriteBufferOpen(-1);
    try {
        io.WriteLn(requestLine);
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
        // The strict reading of the length decides the framing; a list of
        // equal values ("5, 5") counts as that value.
        Response->ContentLength = AnnouncedLength(Response->RawHeaders);
        Response->HasContentLength = Response->ContentLength >= 0;
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

    if (ChunkedBody(Response->RawHeaders)) {
        for (;;) {
            const int64_t size = ReadChunkSize(readLine());
            if (size == 0) break;
            io->ReadStream(target, size, false);
            if (!readLine().empty()) throw ENetInvalidReply(texts::kChunkWithoutLineEnd);
        }
        // Trailer fields up to the empty line are read and dropped, so that
        // nothing of this reply is left to be taken for the next one.
        while (!readLine().empty()) {
        }
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
        // What came over TLS never continues in the clear (a target without
        // a scheme stays on https).
        const std::u16string targetScheme = TNetURI(location).Protocol;
        if (EqualsIgnoreCase(FHTTP->FURI.Protocol, u"https") && !targetScheme.empty() &&
            !EqualsIgnoreCase(targetScheme, u"https"))
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
    // The address may come from a server (an update reply, a Location):
    // refused before anything is sent.
    if (HasControlCharacter(ARequest.URL)) throw ENetURIException(texts::kControlCharacterInAddress);
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
    // The port: the new address's own, else, when the new address names a
    // host or a scheme (absolute or scheme-relative), the default of the
    // scheme now in force; a relative address keeps the current one.
    const bool newAuthority = !uri.Protocol.empty() || !uri.Host.empty();
    const bool webScheme = EqualsIgnoreCase(FURI.Protocol, u"http") || EqualsIgnoreCase(FURI.Protocol, u"https");
    if (!uri.Port.empty())
        FURI.Port = uri.Port;
    else if (newAuthority && webScheme)
        FURI.Port = AsciiText(std::to_string(DefaultPort(FURI.Protocol)));
    else if (FURI.Port.empty())
        throw ENetUnknownProtocol();
    uint16_t port;
    if (!TryReadPort(FURI.Port, port)) throw ENetURIException(texts::kInvalidPort + Quoted(FURI.Port));

    ARequest.URL = PercentEncodeNonAscii(FURI.GetPathAndParams());
    ARequest.ContentLength = -1;
    ARequest.Host = FURI.GetHostAndPort();
}

void TNetCustomHTTP::ConnectToHost(TNetHTTPRequest& ARequest) {
    // PrepareRequest has refused any port outside 1..65535.
    uint16_t port = 0;
    TryReadPort(FURI.Port, port);
    const bool secure = EqualsIgnoreCase(FURI.Protocol, u"https");
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

    if (!ReusableConnection()) Disconnect();
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
    // A reply to a request sent ahead would be read as this request's.
    if (FPipelinedSent) {
        FPipelinedSent = false;
        Disconnect();
    }
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
        FPipelinedSent = false;
        throw;
    }
    if (!ReusableConnection()) {
        Disconnect();
        FPipelinedSent = false;
    }
}

void TNetCustomHTTP::SendPipelinedGet(const std::u16string& range) {
    if (!ioHandler_ || !ioHandler_->Opened()) throw ENetNotConnected();
    Request().Method = u"GET";
    Request().Range = range;
    FHTTPProto.BuildAndSendRequest(FURI);
    FPipelinedSent = true;
}

void TNetCustomHTTP::ReadPipelinedReply(platform::TStream& AResponseContent) {
    if (!FPipelinedSent) throw ENetNotConnected();
    FPipelinedSent = false;
    FRedirectCount = 0;
    Response().ContentStream = &AResponseContent;
    try {
        FHTTPProto.RetrieveHeaders();
        bool proceed = true;
        if (OnHeadersAvailable) OnHeadersAvailable(this, Response().RawHeaders, proceed);
        if (!proceed) {
            Disconnect();
            FPipelinedSent = false;
            return;
        }
        const int code = Response().ResponseCode();
        // A redirect is followed by the request that asks again, not here.
        if ((code / 100 == 3 && code != 304) || (!Response().Location.empty() && code != 201))
            throw ENetHTTPProtocolException(code, Response().ResponseText, {});
        FHTTPProto.ProcessResponse(false);
    } catch (...) {
        Disconnect();
        FPipelinedSent = false;
        throw;
    }
    if (!ReusableConnection()) {
        Disconnect();
        FPipelinedSent = false;
    }
}

bool TNetCustomHTTP::ReusableConnection() {
    if (!Response().KeepAlive()) return false;
    // With a request sent ahead, its reply may already be arriving.
    if (FPipelinedSent) return ioHandler_ != nullptr;
    // Bytes waiting before a request has been sent belong to no reply of
    // ours (a body after a HEAD reply, say): they would be read as the next
    // reply, so such a connection is not used again.
    return ioHandler_ && ioHandler_->InputBufferIsEmpty();
}

}  // namespace http
