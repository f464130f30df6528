#include "http/NetTCP.h"

#include <algorithm>
#include <cstring>

#include "http/NetException.h"
#include "http/TextUtil.h"

namespace http {

// ---------------------------------------------------------------- buffer

uint8_t* TNetBuffer::Reserve(size_t count) {
    if (capacity_ - end_ >= count) return data_.get() + end_;
    size_t used = end_ - start_;
    if (start_ > 0 && capacity_ - used >= count) {
        std::memmove(data_.get(), data_.get() + start_, used);
    } else {
        size_t capacity = std::max(capacity_ * 2, used + count);
        std::unique_ptr<uint8_t[]> grown(new uint8_t[capacity]);
        if (used) std::memcpy(grown.get(), data_.get() + start_, used);
        data_ = std::move(grown);
        capacity_ = capacity;
    }
    start_ = 0;
    end_ = used;
    return data_.get() + end_;
}

void TNetBuffer::Remove(size_t count) {
    start_ += std::min(count, Size());
    if (start_ == end_) start_ = end_ = 0;
}

int64_t TNetBuffer::IndexOf(uint8_t byte, size_t from) const {
    if (from >= Size()) return -1;
    const void* hit = std::memchr(Data() + from, byte, Size() - from);
    return hit ? static_cast<const uint8_t*>(hit) - Data() : -1;
}

// ---------------------------------------------------------------- I/O handler

namespace {

// Wait in ms for a receive: −1 (the handler's ReadTimeout) and values of 0 or
// below after that mean no limit.
int EffectiveWait(int timeout, int readTimeout) {
    if (timeout == -1) timeout = readTimeout;
    return timeout <= 0 ? -1 : timeout;
}

// ReceiveRaw's result for a wait that timed out.
constexpr int64_t kWaitTimedOut = -3;

}  // namespace

TNetIOHandlerStack::~TNetIOHandlerStack() = default;

void TNetIOHandlerStack::Open() {
    closedGracefully_ = false;
    ReadLnTimedOut = false;
    writeBuffering_ = false;
    writeBuffer_.clear();
    InputBuffer.Clear();
    DropSocket();

    const auto family =
        IPVersion == TNetIPVersion::IPv6 ? platform::SocketFamily::IPv6 : platform::SocketFamily::IPv4;
    platform::SocketAddress address;
    int error = platform::ResolveHost(Utf8Bytes(Host), family, address);
    if (error) RaiseSocketError(error);
    error = socket_.Create(family);
    if (error) RaiseSocketError(error);
    error = socket_.Connect(address, Port, ConnectTimeout);
    if (error == platform::Socket::kConnectTimedOut) {
        socket_.Close();
        throw ENetConnectTimeout();
    }
    if (error) {
        socket_.Close();
        RaiseSocketError(error);
    }
    if (UseTLS) {
        tls_ = std::make_unique<platform::TlsConnection>();
        platform::TlsError tlsError;
        if (!tls_->Handshake(socket_, Utf8Bytes(Host), ReadTimeout, tlsError)) {
            DropSocket();
            RaiseTlsError(tlsError, Host);
        }
    }
}

void TNetIOHandlerStack::OpenOnSocket(platform::Socket socket) {
    closedGracefully_ = false;
    ReadLnTimedOut = false;
    writeBuffering_ = false;
    writeBuffer_.clear();
    InputBuffer.Clear();
    tls_.reset();
    socket_ = std::move(socket);
}

void TNetIOHandlerStack::Close() {
    if (socket_.IsOpen()) {
        if (tls_) tls_->Shutdown();
        tls_.reset();
        socket_.ShutdownSend();
        socket_.Close();
    }
    tls_.reset();
    writeBuffering_ = false;
    writeBuffer_.clear();
}

void TNetIOHandlerStack::DropSocket() {
    tls_.reset();
    socket_.Close();
}

void TNetIOHandlerStack::FailedReceive(int error) {
    // An aborted or shut-down connection counts as closed; what was received
    // before stays readable.
    closedGracefully_ = true;
    DropSocket();
    if (error == platform::kSocketErrorConnAborted || error == platform::kSocketErrorShutdown) {
        if (InputBuffer.Empty()) RaiseSocketError(error);
        return;
    }
    RaiseSocketError(error);
}

int TNetIOHandlerStack::ReadFromSource(bool ARaiseExceptionIfDisconnected, int ATimeout,
                                       bool ARaiseExceptionOnTimeout) {
    const int wait = ATimeout == -2 ? 0 : EffectiveWait(ATimeout, ReadTimeout);
    if (!socket_.IsOpen() || closedGracefully_) {
        if (ARaiseExceptionIfDisconnected) {
            if (!socket_.IsOpen() && !closedGracefully_) throw ENetNotConnected();
            if (InputBuffer.Empty()) throw ENetConnClosedGracefully();
        }
        return 0;
    }
    int error = 0;
    uint8_t* room = InputBuffer.Reserve(static_cast<size_t>(RecvBufferSize));
    int64_t n = ReceiveRaw(room, static_cast<size_t>(RecvBufferSize), wait, error);
    if (n == kWaitTimedOut) {
        if (ARaiseExceptionOnTimeout) throw ENetReadTimeout();
        return -1;
    }
    if (n > 0) {
        InputBuffer.Commit(static_cast<size_t>(n));
        return static_cast<int>(n);
    }
    if (n < 0) {
        FailedReceive(error);
    } else {
        closedGracefully_ = true;
    }
    if (ARaiseExceptionIfDisconnected && InputBuffer.Empty()) throw ENetConnClosedGracefully();
    return 0;
}

int64_t TNetIOHandlerStack::ReceiveRaw(void* buffer, size_t count, int wait, int& error) {
    if (tls_) {
        platform::TlsError tlsError;
        int64_t n = tls_->Receive(buffer, count, wait, tlsError);
        if (n == platform::TlsConnection::kTimedOut) return kWaitTimedOut;
        if (n < 0) {
            if (tlsError.Failure == platform::TlsFailure::Transport) {
                error = tlsError.SocketError;
                return -1;
            }
            // A broken record: the session cannot go on.
            closedGracefully_ = true;
            DropSocket();
            RaiseTlsError(tlsError, Host);
        }
        return n;
    }
    // Bytes already queued are taken without a wait; the timeout only counts
    // when there is something to wait for.
    int64_t n = platform::ReceiveWithin(socket_, buffer, count, wait, error);
    return n == platform::Socket::kNothingWaiting ? kWaitTimedOut : n;
}

bool TNetIOHandlerStack::CheckForDataOnSource(int ATimeout) {
    if (!socket_.IsOpen() || closedGracefully_) return false;
    return ReadFromSource(false, ATimeout <= 0 ? -2 : ATimeout, false) > 0;
}

bool TNetIOHandlerStack::Connected() {
    if (socket_.IsOpen() && !closedGracefully_) {
        try {
            ReadFromSource(false, -2, false);
        } catch (const ENetException&) {
            // A reset noticed here leaves the handler closed.
        }
    }
    return socket_.IsOpen() && (!closedGracefully_ || !InputBuffer.Empty());
}

void TNetIOHandlerStack::CheckForDisconnect(bool ARaiseExceptionIfDisconnected, bool AIgnoreBuffer) {
    bool disconnected = !socket_.IsOpen() || closedGracefully_;
    if (closedGracefully_ && socket_.IsOpen()) Close();
    if (disconnected && ARaiseExceptionIfDisconnected && (AIgnoreBuffer || InputBuffer.Empty()))
        throw ENetConnClosedGracefully();
}

std::string TNetIOHandlerStack::ReadLnBytes() {
    ReadLnTimedOut = false;
    size_t searchFrom = 0;
    for (;;) {
        int64_t lf = InputBuffer.IndexOf('\n', searchFrom);
        if (lf >= 0) {
            if (lf > MaxLineLength) {
                if (MaxLineAction == maException) throw ENetReadLnMaxLineLengthExceeded();
                std::string line(reinterpret_cast<const char*>(InputBuffer.Data()), MaxLineLength);
                InputBuffer.Remove(MaxLineLength);
                return line;
            }
            size_t length = static_cast<size_t>(lf);
            std::string line(reinterpret_cast<const char*>(InputBuffer.Data()), length);
            InputBuffer.Remove(length + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        searchFrom = InputBuffer.Size();
        // A line can never grow past the limit: stop before buffering more.
        if (InputBuffer.Size() > static_cast<size_t>(MaxLineLength)) {
            if (MaxLineAction == maException) throw ENetReadLnMaxLineLengthExceeded();
            std::string line(reinterpret_cast<const char*>(InputBuffer.Data()), MaxLineLength);
            InputBuffer.Remove(MaxLineLength);
            return line;
        }
        if (!socket_.IsOpen() || closedGracefully_) {
            // The peer has closed: the unterminated rest is the last line.
            if (!InputBuffer.Empty()) {
                std::string line(reinterpret_cast<const char*>(InputBuffer.Data()), InputBuffer.Size());
                InputBuffer.Clear();
                if (!line.empty() && line.back() == '\r') line.pop_back();
                return line;
            }
            if (!socket_.IsOpen() && !closedGracefully_) throw ENetNotConnected();
            throw ENetConnClosedGracefully();
        }
        if (ReadFromSource(false, -1, false) < 0) {
            ReadLnTimedOut = true;
            return {};
        }
    }
}

std::u16string TNetIOHandlerStack::ReadLn() {
    std::string bytes = ReadLnBytes();
    std::u16string line(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        line[i] = c < 128 ? c : u'?';
    }
    return line;
}

void TNetIOHandlerStack::ReadStream(platform::TStream* AStream, int64_t AByteCount, bool AReadUntilDisconnect) {
    const bool counted = !AReadUntilDisconnect && AByteCount >= 0;
    int64_t left = counted ? AByteCount : -1;
    // The target grows only by what arrives, so a length the peer does not
    // send never turns into memory.
    auto take = [&] {
        size_t n = InputBuffer.Size();
        if (counted && static_cast<int64_t>(n) > left) n = static_cast<size_t>(left);
        if (n == 0) return;
        if (AStream) AStream->WriteBuffer(InputBuffer.Data(), static_cast<int64_t>(n));
        InputBuffer.Remove(n);
        if (counted) left -= static_cast<int64_t>(n);
    };
    take();
    while (!counted || left > 0) {
        int n = ReadFromSource(counted, -1, true);
        if (n <= 0) break;  // closed: the end of an until-close body
        take();
    }
}

void TNetIOHandlerStack::WriteDirect(const char* data, size_t count) {
    if (!socket_.IsOpen()) throw ENetNotConnected();
    if (tls_) {
        platform::TlsError tlsError;
        if (!tls_->Send(data, count, tlsError)) {
            closedGracefully_ = true;
            DropSocket();
            RaiseTlsError(tlsError, Host);
        }
        return;
    }
    while (count > 0) {
        int error = 0;
        int64_t sent = socket_.Send(data, count, error);
        if (sent < 0) {
            closedGracefully_ = true;
            DropSocket();
            RaiseSocketError(error);
        }
        if (sent == 0) {
            closedGracefully_ = true;
            throw ENetConnClosedGracefully();
        }
        data += sent;
        count -= static_cast<size_t>(sent);
    }
}

void TNetIOHandlerStack::SendBytes(const char* data, size_t count) {
    // Streams go out in SendBufferSize pieces.
    const size_t piece = SendBufferSize > 0 ? static_cast<size_t>(SendBufferSize) : count;
    while (count > 0) {
        size_t n = std::min(count, piece);
        WriteDirect(data, n);
        data += n;
        count -= n;
    }
}

void TNetIOHandlerStack::Write(std::string_view bytes) {
    if (writeBuffering_) {
        writeBuffer_.append(bytes);
        if (writeThreshold_ > 0 && writeBuffer_.size() >= static_cast<size_t>(writeThreshold_)) {
            std::string pending;
            pending.swap(writeBuffer_);
            WriteDirect(pending.data(), pending.size());
        }
        return;
    }
    SendBytes(bytes.data(), bytes.size());
}

void TNetIOHandlerStack::Write(std::u16string_view text) { Write(std::string_view(AsciiBytes(text))); }

void TNetIOHandlerStack::WriteLn(std::u16string_view text) {
    std::string bytes = AsciiBytes(text);
    bytes += "\r\n";
    Write(std::string_view(bytes));
}

void TNetIOHandlerStack::WriteBufferOpen(int AThreshold) {
    writeBuffering_ = true;
    writeThreshold_ = AThreshold;
    writeBuffer_.clear();
}

void TNetIOHandlerStack::WriteBufferClose() {
    std::string pending;
    pending.swap(writeBuffer_);
    writeBuffering_ = false;
    if (!pending.empty()) WriteDirect(pending.data(), pending.size());
}

void TNetIOHandlerStack::WriteBufferCancel() {
    writeBuffering_ = false;
    writeBuffer_.clear();
}

// ---------------------------------------------------------------- client

TNetTCPClientCustom::~TNetTCPClientCustom() {
    if (ioHandler_) ioHandler_->Close();
}

void TNetTCPClientCustom::Connect() {
    if (ioHandler_ && ioHandler_->Opened() && ioHandler_->Connected()) throw ENetAlreadyConnected();
    if (Host.empty()) throw ENetHostRequired();
    if (Port == 0) throw ENetPortRequired();
    if (!ioHandler_) ioHandler_ = std::make_unique<TNetIOHandlerStack>();
    ioHandler_->Host = Host;
    ioHandler_->Port = Port;
    ioHandler_->ConnectTimeout = ConnectTimeout;
    ioHandler_->ReadTimeout = ReadTimeout;
    ioHandler_->IPVersion = IPVersion;
    ioHandler_->UseTLS = UseTLS;
    try {
        ioHandler_->Open();
    } catch (...) {
        ioHandler_.reset();
        throw;
    }
}

void TNetTCPClientCustom::ConnectOnSocket(platform::Socket socket) {
    if (!ioHandler_) ioHandler_ = std::make_unique<TNetIOHandlerStack>();
    ioHandler_->Host = Host;
    ioHandler_->Port = Port;
    ioHandler_->ConnectTimeout = ConnectTimeout;
    ioHandler_->ReadTimeout = ReadTimeout;
    ioHandler_->IPVersion = IPVersion;
    ioHandler_->OpenOnSocket(std::move(socket));
}

bool TNetTCPClientCustom::Connected() { return ioHandler_ && ioHandler_->Connected(); }

void TNetTCPClientCustom::Disconnect() {
    if (ioHandler_ && ioHandler_->Opened()) ioHandler_->Close();
}

void TNetTCPClientCustom::CheckForGracefulDisconnect(bool ARaiseExceptionIfDisconnected) {
    if (ioHandler_)
        ioHandler_->CheckForDisconnect(ARaiseExceptionIfDisconnected);
    else if (ARaiseExceptionIfDisconnected)
        throw ENetNotConnected();
}

}  // namespace http
