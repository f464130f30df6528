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

ENetReplyRFCError::ENetReplyRFCError(int errorCode, std::u16string message,
                                     std::u16string errorMessage)
    : ENetException(std::move(message)), errorCode_(errorCode),
      errorMessage_(std::move(errorMessage)) {}

}  // namespace http
