// Every message text of the HTTP client and its transport, in one place.
#pragma once

namespace http::texts {

// URI composition
inline constexpr const char* kProtocolFieldEmpty = "Protocol field is empty";
inline constexpr const char* kHostFieldEmpty = "Host field is empty";

// Addresses and requests that are refused before anything is sent
inline constexpr const char16_t* kControlCharacterInAddress = u"Address contains a control character";
inline constexpr const char16_t* kControlCharacterInHeader = u"Request header contains a control character";
// Followed by the port text in double quotes.
inline constexpr const char16_t* kInvalidPort = u"Invalid port ";

// Exchange
inline constexpr const char* kUnknownProtocol = "Unknown Protocol";
inline constexpr const char* kIOHandlerPropInvalid = "IOHandler value is not valid";

// Reply framing; the first two are followed by the offending text in double
// quotes.
inline constexpr const char16_t* kInvalidChunkSize = u"Invalid chunk size ";
inline constexpr const char16_t* kInvalidContentLength = u"Invalid Content-Length ";
inline constexpr const char16_t* kChunkWithoutLineEnd = u"Chunk data is not followed by a line end";
// A Transfer-Encoding the client cannot undo; followed by the value in double
// quotes.
inline constexpr const char16_t* kUnsupportedTransferCoding = u"Unsupported transfer coding ";

// Transport
inline constexpr const char* kAlreadyConnected = "Already connected.";
inline constexpr const char* kHostRequired = "A host is required";
inline constexpr const char* kPortRequired = "A port is required";
inline constexpr const char* kNotConnected = "Not Connected";
inline constexpr const char* kReadTimedOut = "Read timed out.";
inline constexpr const char* kConnectTimedOut = "Connect timed out.";
inline constexpr const char* kConnClosedGracefully = "Connection Closed Gracefully.";
inline constexpr const char* kMaxLineLengthExceeded = "Max line length exceeded.";
inline constexpr const char* kStackInitializationFailed = "Error on loading Winsock2 library (%s)";

// "Socket Error # <number>\r\n<description>"
inline constexpr const char* kSocketErrorFormat = "Socket Error # %d\r\n%s";

struct SocketErrorText {
    int Number;
    const char* Description;
};

inline constexpr SocketErrorText kSocketErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Buffer fault."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

// TLS ("%s": the host, then the TLS library's words when it gave any)
inline constexpr const char* kTLSHandshakeFailed = "TLS handshake with %s failed";
inline constexpr const char* kTLSCertificateUntrusted = "The certificate of %s is not trusted";
inline constexpr const char* kTLSCertificateExpired = "The certificate of %s has expired or is not yet valid";
inline constexpr const char* kTLSNameMismatch = "The certificate does not match the host name %s";
inline constexpr const char* kTLSProtocolVersion = "%s offers no TLS version 1.2 or newer";
inline constexpr const char* kTLSClosedInHandshake = "the server closed the connection";
inline constexpr const char* kTLSConnectionFailed = "TLS error on the connection to %s";
// "%s": the refused address
inline constexpr const char* kInsecureRedirect = "Redirect from https to http refused: %s";

// A body stream positioned beyond what a request may append to.
inline constexpr const char* kRangeError = "Range check error";

// Request defaults
inline constexpr const char16_t* kDefaultAccept = u"text/html, */*";
inline constexpr const char16_t* kDefaultUserAgent = u"Mozilla/3.0 (compatible; Zelvano Library)";
inline constexpr const char16_t* kDefaultResponseContentType = u"text/html";
inline constexpr const char16_t* kCookie2Value = u"$Version=\"1\"";

}  // namespace http::texts
