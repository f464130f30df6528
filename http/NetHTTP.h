// TNetHTTP: the HTTP/1.1 client. HEAD and GET over one kept connection, with
// redirects, the status rules, chunked, counted and until-close bodies, read
// and connect timeouts and a cookie store of its own.
//
//   http::TNetHTTP client;
//   client.HandleRedirects = true;
//   client.ReadTimeout = 10000;
//   client.Head(u"http://host/file.zip");
//   int64_t length = client.Response().ContentLength;
//   client.Request().Range = u"0-1023999";
//   client.Get(client.URL().GetURI(), stream);   // appended at the stream's position
//   std::u16string text = client.Get(u"http://host/info");
//
// Failures are ENetException descendants (NetException.h); a status the
// client does not accept raises ENetHTTPProtocolException.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/NetCookies.h"
#include "http/NetException.h"
#include "http/NetHeaders.h"
#include "http/NetTCP.h"
#include "http/NetURI.h"
#include "platform/stream.h"

namespace http {

enum TNetHTTPProtocolVersion { pv1_0, pv1_1 };
enum TNetHTTPConnectionType { ctNormal, ctSSL, ctProxy, ctSSLProxy };
enum TNetHTTPOption { hoForceEncodeParams = 1 };

class TNetCustomHTTP;

// The request of the next exchange: header fields, target and method.
class TNetHTTPRequest : public TNetRequestHeaderInfo {
public:
    explicit TNetHTTPRequest(TNetCustomHTTP* AHTTP) : HTTP(AHTTP) {}

    TNetCustomHTTP* HTTP;
    std::u16string URL;  // request target after preparing
    std::u16string Method;
    platform::TStream* SourceStream = nullptr;  // not owned; never set here
    TNetHTTPConnectionType UseProxy = ctNormal;
    TNetIPVersion IPVersion = TNetIPVersion::IPv4;
};

// The reply of the last exchange: status line, header fields, body target.
class TNetHTTPResponse : public TNetResponseHeaderInfo {
public:
    explicit TNetHTTPResponse(TNetCustomHTTP* AHTTP) : HTTP(AHTTP) {}

    // The status code: the second word of the status line, −1 when that is
    // not a number.
    int ResponseCode() const;
    // Decides keep-alive from this reply (records ResponseVersion too).
    bool KeepAlive();

    TNetCustomHTTP* HTTP;
    std::u16string ResponseText;  // the status line as received
    platform::TStream* ContentStream = nullptr;  // not owned
    TNetHTTPProtocolVersion ResponseVersion = pv1_1;
};

// Sends the request head, reads the reply head and decides on the reply.
class TNetHTTPProtocol {
public:
    enum TNetHTTPWhatsNext { wnGoToURL, wnJustExit, wnDontKnow, wnReadAuthInfo, wnAuthRequest };

    explicit TNetHTTPProtocol(TNetCustomHTTP* AConnection);

    void BuildAndSendRequest(const TNetURI& AURI);
    void RetrieveHeaders();
    TNetHTTPWhatsNext ProcessResponse(bool isHead);

    std::unique_ptr<TNetHTTPRequest> Request;
    std::unique_ptr<TNetHTTPResponse> Response;

private:
    // Reads the reply body into `target` (null discards) with a wait of at
    // most firstBytesWait ms for its first bytes (−1: no such wait).
    void ReadBody(platform::TStream* target, int firstBytesWait);
    [[noreturn]] void RaiseProtocolException(int firstBytesWait);

    TNetCustomHTTP* FHTTP;
};

// The client logic; TNetHTTP is its public face.
class TNetCustomHTTP : public TNetTCPClientCustom {
public:
    TNetCustomHTTP();
    ~TNetCustomHTTP() override;

    TNetHTTPProtocolVersion ProtocolVersion = pv1_1;
    bool HandleRedirects = false;
    int RedirectMaximum = 15;
    bool AllowCookies = true;
    unsigned HTTPOptions = hoForceEncodeParams;
    int MaxAuthRetries = 3;

    // Called for a redirect: may change the target, refuse the redirect
    // (Handled false) or change the method.
    std::function<void(TNetCustomHTTP* Sender, std::u16string& dest, std::u16string& NewMethod,
                       bool& Handled)>
        OnRedirect;
    std::function<void(TNetCustomHTTP* Sender, TNetHeaderList& AHeaders, bool& VContinue)>
        OnHeadersAvailable;

    void Head(const std::u16string& AURL);
    // The body is written into AResponseContent at its current position.
    void Get(const std::u16string& AURL, platform::TStream& AResponseContent);
    // The body decoded as text by the reply's charset (ISO-8859-1 otherwise).
    std::u16string Get(const std::u16string& AURL);

    int ResponseCode() const;
    const std::u16string& ResponseText() const;
    TNetHTTPRequest& Request() { return *FHTTPProto.Request; }
    TNetHTTPResponse& Response() { return *FHTTPProto.Response; }
    // The current address; after a request the one that answered last.
    TNetURI& URL() { return FURI; }
    // Null until the first reply arrives (with AllowCookies).
    TNetCookieManager* CookieManager() { return FCookieManager.get(); }

    void DoRequest(const std::u16string& AMethod, const std::u16string& AURL,
                   platform::TStream* AResponseContent);

    // HTTP/1.1 pipelining of GETs on the kept connection. SendPipelinedGet
    // sends a GET of the current address with `range` (the other fields as
    // in the last request) before the reply in progress has been read; it is
    // meant for OnHeadersAvailable, once a reply's head has arrived.
    // ReadPipelinedReply then reads the reply to it into AResponseContent, as
    // Get does (OnHeadersAvailable included) but without following a
    // redirect. Any other request, or a connection that closes, drops the
    // request that was sent ahead; PipelinedRequestSent says whether one is
    // still waiting for its reply.
    void SendPipelinedGet(const std::u16string& range);
    void ReadPipelinedReply(platform::TStream& AResponseContent);
    bool PipelinedRequestSent() const { return FPipelinedSent; }

    int RedirectCount() const { return FRedirectCount; }

private:
    friend class TNetHTTPProtocol;

    void PrepareRequest(TNetHTTPRequest& ARequest);
    void ConnectToHost(TNetHTTPRequest& ARequest);
    void ProcessCookies(TNetHTTPResponse& AResponse);
    // The last reply allows keep-alive and nothing unread waits on the
    // connection.
    bool ReusableConnection();
    bool DoOnRedirect(std::u16string& Location, std::u16string& VMethod);

    TNetURI FURI;
    TNetHTTPProtocol FHTTPProto;
    std::unique_ptr<TNetCookieManager> FCookieManager;
    int FRedirectCount = 0;
    bool FPipelinedSent = false;
    int FAuthRetries = 0;
    int FAuthProxyRetries = 0;
};

// The HTTP client of the program.
class TNetHTTP : public TNetCustomHTTP {
public:
    using TNetCustomHTTP::TNetCustomHTTP;
};

// The Windows code page for a charset name (case-insensitive), 0 when the
// name is unknown or maps to none.
unsigned CharsetToCodePage(std::u16string_view charset);
// Decodes bytes by a reply's charset: the named encoding when it exists,
// ISO-8859-1 otherwise.
std::u16string DecodeByCharset(std::u16string_view charset, std::string_view bytes);

}  // namespace http
