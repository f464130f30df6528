// The TCP transport of the HTTP client: an I/O handler that owns one socket,
// buffers what it receives and reads lines and counted or until-close byte
// runs from it, and the client that connects it to a host and port.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "http/NetURI.h"
#include "platform/socket.h"
#include "platform/stream.h"
#include "platform/tls.h"

namespace http {

enum TNetMaxLineAction { maException, maSplit };

// Received bytes not yet consumed: appended at the end, taken from the front.
class TNetBuffer {
public:
    TNetBuffer() = default;
    TNetBuffer(const TNetBuffer&) = delete;
    TNetBuffer& operator=(const TNetBuffer&) = delete;

    size_t Size() const { return end_ - start_; }
    bool Empty() const { return end_ == start_; }
    const uint8_t* Data() const { return data_.get() + start_; }
    // Room for `count` more bytes at the end; Commit says how many were used.
    uint8_t* Reserve(size_t count);
    void Commit(size_t count) { end_ += count; }
    void Remove(size_t count);
    void Clear() { start_ = end_ = 0; }
    // Offset of the first `byte` at or after `from`, or −1.
    int64_t IndexOf(uint8_t byte, size_t from) const;

private:
    std::unique_ptr<uint8_t[]> data_;
    size_t capacity_ = 0;
    size_t start_ = 0;
    size_t end_ = 0;
};

// Owns the socket of one connection: reads with a timeout per wait, lines
// ended by LF, counted and until-close byte runs, and buffered writes.
class TNetIOHandlerStack {
public:
    TNetIOHandlerStack() = default;
    ~TNetIOHandlerStack();

    int RecvBufferSize = 32768;
    int SendBufferSize = 32768;
    int MaxLineLength = 16384;
    TNetMaxLineAction MaxLineAction = maException;
    int ReadTimeout = -1;    // ms per wait; −1 and 0 wait without limit
    int ConnectTimeout = 0;  // ms; 0 leaves the limit to the system
    std::u16string Host;
    uint16_t Port = 0;
    TNetIPVersion IPVersion = TNetIPVersion::IPv4;
    // Speak TLS on the connection (verified against the system's trust
    // store, name checked against Host); every read and write goes through it.
    bool UseTLS = false;
    bool ReadLnTimedOut = false;
    TNetBuffer InputBuffer;

    // Resolves Host and connects, with the TLS handshake when UseTLS is set;
    // on failure the handler is closed and the exception goes on.
    void Open();
    // Takes an already connected socket instead of connecting.
    void OpenOnSocket(platform::Socket socket);
    void Close();
    bool Opened() const { return socket_.IsOpen(); }
    bool ClosedGracefully() const { return closedGracefully_; }
    // Open, and the peer has not closed or unread bytes remain. Polls once
    // without waiting so that a close that has arrived is noticed.
    bool Connected();
    // Closes the socket when the peer has closed; then, when asked, raises
    // ENetConnClosedGracefully if nothing is left to read.
    void CheckForDisconnect(bool ARaiseExceptionIfDisconnected = true, bool AIgnoreBuffer = false);

    // One wait of at most ATimeout ms (−1: ReadTimeout) and one receive.
    // Returns the bytes received, 0 when closed, −1 when the wait timed out.
    int ReadFromSource(bool ARaiseExceptionIfDisconnected, int ATimeout, bool ARaiseExceptionOnTimeout);
    bool CheckForDataOnSource(int ATimeout);
    bool InputBufferIsEmpty() const { return InputBuffer.Empty(); }

    // One line without its LF (and a CR before it), bytes above 127 read as
    // "?". An empty line with ReadLnTimedOut set when the wait timed out.
    std::u16string ReadLn();
    // The same as bytes.
    std::string ReadLnBytes();
    // Copies exactly AByteCount bytes, or everything until the peer closes,
    // into AStream at its position; AStream null discards them.
    void ReadStream(platform::TStream* AStream, int64_t AByteCount, bool AReadUntilDisconnect);
    void Discard(int64_t AByteCount) { ReadStream(nullptr, AByteCount, false); }
    void DiscardAll() { ReadStream(nullptr, -1, true); }

    void Write(std::string_view bytes);
    // Text as ASCII; characters above 127 become "?".
    void Write(std::u16string_view text);
    void WriteLn(std::u16string_view text);
    // Collects writes until WriteBufferClose (threshold −1) or until the
    // collection reaches the threshold.
    void WriteBufferOpen(int AThreshold = -1);
    void WriteBufferClose();
    void WriteBufferCancel();

    platform::Socket& Socket() { return socket_; }

private:
    void SendBytes(const char* data, size_t count);
    void WriteDirect(const char* data, size_t count);
    void FailedReceive(int error);
    // Closes the socket at once (and forgets its TLS session).
    void DropSocket();
    // Receives from the socket or its TLS session: as Socket::Receive, or −1
    // for a wait that timed out. Raises TLS failures.
    int64_t ReceiveRaw(void* buffer, size_t count, int wait, int& error);

    platform::Socket socket_;
    std::unique_ptr<platform::TlsConnection> tls_;
    bool closedGracefully_ = false;
    bool writeBuffering_ = false;
    int writeThreshold_ = -1;
    std::string writeBuffer_;
};

// A TCP client: one connection to Host and Port through its I/O handler.
class TNetTCPClientCustom {
public:
    TNetTCPClientCustom() = default;
    virtual ~TNetTCPClientCustom();

    std::u16string Host;
    uint16_t Port = 0;
    int ReadTimeout = -1;
    int ConnectTimeout = 0;
    TNetIPVersion IPVersion = TNetIPVersion::IPv4;
    bool UseTLS = false;  // set by the HTTP client for https

    // Raises ENetAlreadyConnected, ENetHostRequired, ENetPortRequired or the
    // failure of the connect.
    virtual void Connect();
    // Uses an already connected socket (a socket pair in tests and fuzzing)
    // as the connection to Host and Port.
    void ConnectOnSocket(platform::Socket socket);
    virtual bool Connected();
    virtual void Disconnect();
    void CheckForGracefulDisconnect(bool ARaiseExceptionIfDisconnected = true);

    // Null until the first connect.
    TNetIOHandlerStack* IOHandler() { return ioHandler_.get(); }

protected:
    std::unique_ptr<TNetIOHandlerStack> ioHandler_;
};

}  // namespace http
