#include "http/NetException.h"

#include <cstdio>

#include "http/NetTexts.h"
#include "platform/codepage.h"

namespace http {

using platform::AsciiToText;

std::u16string SocketErrorDescription(int errorNumber) {
    for (const auto& entry : texts::kSocketErrorTexts)
        if (entry.Number == errorNumber) return AsciiToText(entry.Description);
    return {};
}

std::u16string SocketErrorMessage(int errorNumber) {
    return u"Socket Error # " + AsciiToText(std::to_string(errorNumber)) + u"\r\n" +
           SocketErrorDescription(errorNumber);
}

void RaiseSocketError(int errorNumber) {
    if (errorNumber == 10038) throw ENetNotASocket(errorNumber);
    throw ENetSocketError(errorNumber);
}

ENetSocketError::ENetSocketError(int errorNumber)
    : ENetException(SocketErrorMessage(errorNumber)), lastError_(errorNumber) {}

ENetAlreadyConnected::ENetAlreadyConnected() : ENetException(texts::kAlreadyConnected) {}
ENetHostRequired::ENetHostRequired() : ENetException(texts::kHostRequired) {}
ENetPortRequired::ENetPortRequired() : ENetException(texts::kPortRequired) {}
ENetNotConnected::ENetNotConnected() : ENetException(texts::kNotConnected) {}
ENetReadTimeout::ENetReadTimeout() : ENetException(texts::kReadTimedOut) {}
ENetConnectTimeout::ENetConnectTimeout() : ENetException(texts::kConnectTimedOut) {}
ENetConnClosedGracefully::ENetConnClosedGracefully()
    : ENetException(texts::kConnClosedGracefully) {}
ENetReadLnMaxLineLengthExceeded::ENetReadLnMaxLineLengthExceeded()
    : ENetException(texts::kMaxLineLengthExceeded) {}
ENetUnknownProtocol::ENetUnknownProtocol() : ENetException(texts::kUnknownProtocol) {}
ENetIOHandlerPropInvalid::ENetIOHandlerPropInvalid()
    : ENetException(texts::kIOHandlerPropInvalid) {}

namespace {

// The text with its "%s" replaced by `value`.
std::u16string Fill(const char* format, std::u16string_view value) {
    std::u16string text = AsciiToText(format);
    auto at = text.find(u"%s");
    if (at != std::u16string::npos) text.replace(at, 2, value);
    return text;
}

}  // namespace

ENetInsecureRedirect::ENetInsecureRedirect(const std::u16string& location)
    : ENetException(Fill(texts::kInsecureRedirect, location)) {}

void RaiseTlsError(const platform::TlsError& error, std::u16string_view host) {
    using platform::TlsFailure;
    if (error.Failure == TlsFailure::Transport) {
        if (error.SocketError == platform::kSocketErrorTimedOut) throw ENetReadTimeout();
        RaiseSocketError(error.SocketError);
    }
    std::u16string detail = platform::Utf8ToText(error.Detail);
    if (error.Failure == TlsFailure::Closed) detail = AsciiToText(texts::kTLSClosedInHandshake);
    auto message = [&](const char* format) {
        std::u16string text = Fill(format, host);
        if (!detail.empty()) text += u": " + detail;
        return text;
    };
    switch (error.Failure) {
        case TlsFailure::Untrusted:
            throw ENetTLSCertificateUntrusted(message(texts::kTLSCertificateUntrusted));
        case TlsFailure::Expired:
            throw ENetTLSCertificateExpired(message(texts::kTLSCertificateExpired));
        case TlsFailure::NameMismatch:
            throw ENetTLSNameMismatch(message(texts::kTLSNameMismatch));
        case TlsFailure::ProtocolVersion:
            throw ENetTLSProtocolVersion(message(texts::kTLSProtocolVersion));
        case TlsFailure::Protocol:
            throw ENetTLSError(message(texts::kTLSConnectionFailed));
        default:
            throw ENetTLSHandshakeFailed(message(texts::kTLSHandshakeFailed));
    }
}

ENetReplyRFCError::ENetReplyRFCError(int errorCode, std::u16string message,
                                     std::u16string errorMessage)
    : ENetException(std::move(message)), errorCode_(errorCode),
      errorMessage_(std::move(errorMessage)) {}

}  // namespace http
