// The exception family of the HTTP client and its TCP transport.
#pragma once

#include <cstdint>
#include <string>

#include "platform/exception.h"

namespace http {

// Root of every failure of the client and the transport.
class ENetException : public platform::Exception {
public:
    using platform::Exception::Exception;
};

// An address that cannot be used: composed without protocol or host, naming
// a port outside 1..65535, or holding a control character.
class ENetURIException : public ENetException {
public:
    using ENetException::ENetException;
};

// A socket call failed; LastError is the socket error number (10000 range,
// 11001 for a name that cannot be found). Message: "Socket Error # n\r\ntext".
class ENetSocketError : public ENetException {
public:
    explicit ENetSocketError(int errorNumber);
    int LastError() const noexcept { return lastError_; }

private:
    int lastError_;
};

// Socket error 10038.
class ENetNotASocket : public ENetSocketError {
public:
    using ENetSocketError::ENetSocketError;
};

class ENetStackInitializationFailed : public ENetException {
public:
    using ENetException::ENetException;
};
class ENetAlreadyConnected : public ENetException {
public:
    ENetAlreadyConnected();
};
class ENetHostRequired : public ENetException {
public:
    ENetHostRequired();
};
class ENetPortRequired : public ENetException {
public:
    ENetPortRequired();
};
class ENetNotConnected : public ENetException {
public:
    ENetNotConnected();
};
class ENetReadTimeout : public ENetException {
public:
    ENetReadTimeout();
};
class ENetConnectTimeout : public ENetException {
public:
    ENetConnectTimeout();
};
// A connect that failed without a socket error number.
class ENetConnectException : public ENetException {
public:
    using ENetException::ENetException;
};
class ENetConnClosedGracefully : public ENetException {
public:
    ENetConnClosedGracefully();
};
class ENetReadLnMaxLineLengthExceeded : public ENetException {
public:
    ENetReadLnMaxLineLengthExceeded();
};
class ENetUnknownProtocol : public ENetException {
public:
    ENetUnknownProtocol();
};
class ENetIOHandlerPropInvalid : public ENetException {
public:
    ENetIOHandlerPropInvalid();
};

// A reply whose framing cannot be trusted (a chunk size or Content-Length
// that is not a number, lengths that disagree, chunk data without its line
// end). The connection is closed, since where the reply ends is not known.
class ENetInvalidReply : public ENetException {
public:
    using ENetException::ENetException;
};

// A reply that breaks the protocol rules the client holds to.
class ENetReplyRFCError : public ENetException {
public:
    ENetReplyRFCError(int errorCode, std::u16string message, std::u16string errorMessage);
    int ErrorCode() const noexcept { return errorCode_; }
    // The reply body decoded as text by the reply's charset.
    const std::u16string& ErrorMessage() const noexcept { return errorMessage_; }

private:
    int errorCode_;
    std::u16string errorMessage_;
};

// A reply the client does not accept: ErrorCode is its status code, the
// message its whole status line, ErrorMessage its decoded body.
class ENetHTTPProtocolException : public ENetReplyRFCError {
public:
    using ENetReplyRFCError::ENetReplyRFCError;
};

// "Socket Error # n\r\n<description>"; the description is empty for numbers
// outside the table.
std::u16string SocketErrorMessage(int errorNumber);
std::u16string SocketErrorDescription(int errorNumber);

// Raises ENetSocketError (ENetNotASocket for 10038) for the number.
[[noreturn]] void RaiseSocketError(int errorNumber);

}  // namespace http
