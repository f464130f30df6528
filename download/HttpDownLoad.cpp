#include "download/HttpDownLoad.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <thread>
#include <typeinfo>

#include "download/DownLoadTexts.h"
#include "download/ResumeRecord.h"
#include "http/NetHTTP.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/stream.h"

namespace download {

namespace {

using platform::AsciiToText;

std::u16string MessageOf(const std::exception& e) {
    if (auto* own = dynamic_cast<const platform::Exception*>(&e)) return own->Message();
    return platform::Utf8ToText(e.what());
}

std::u16string Decimal(int64_t value) { return AsciiToText(std::to_string(value)); }

// A regular file or anything else that is not a folder counts as present.
bool FileExists(const std::u16string& name) {
    std::error_code ec;
    std::filesystem::path path(platform::TextToUtf8(name));
    auto status = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// A piece that ended without bringing a byte: no progress, so a retry of it
// counts against the retry window like any other failure.
class ENoProgress : public platform::Exception {
public:
    using platform::Exception::Exception;
};

// Whether a failure may pass when the exchange is asked again: the network's
// (timeouts, resets, refused or unreachable hosts, a connection that closed
// before its reply, a TLS session broken off) and the server's passing ones
// (5xx). A refused certificate, a reply that does not fit, a 4xx or the local
// file's failures never do.
bool Transient(const std::exception& e) {
    if (auto* refused = dynamic_cast<const http::ENetHTTPProtocolException*>(&e))
        return refused->ErrorCode() / 100 == 5;
    if (typeid(e) == typeid(http::ENetTLSError) || typeid(e) == typeid(http::ENetTLSHandshakeFailed)) return true;
    return dynamic_cast<const http::ENetSocketError*>(&e) || dynamic_cast<const http::ENetReadTimeout*>(&e) ||
           dynamic_cast<const http::ENetConnectTimeout*>(&e) ||
           dynamic_cast<const http::ENetConnClosedGracefully*>(&e) ||
           dynamic_cast<const http::ENetNotConnected*>(&e) || dynamic_cast<const ENoProgress*>(&e);
}

// A message on one line (socket errors carry a line break).
std::u16string OneLine(std::u16string text) {
    for (auto& c : text)
        if (c < 0x20) c = u' ';
    return text;
}

// Where the body of one GET goes, decided from the reply's head before any
// byte of the body is read.
struct TPiecePlan {
    bool Planned = false;  // a 2xx head was accepted: its body goes to the file
    int64_t Offset = 0;    // file position of the body's first byte
    int64_t Limit = 0;     // the most bytes the body may have
    int64_t Length = -1;   // the file's size, when the reply names it
    std::u16string Error;  // set when the reply cannot be a part of the file
};

// A 206 must name the range that starts at `position` and the file's size;
// a 200 is the whole file. `range` is the range asked for, empty when the
// whole file was asked for (the size is then not yet known: length -1).
TPiecePlan PlanPiece(const http::TNetHTTPResponse& reply, int64_t position, int64_t length,
                     const std::u16string& range) {
    TPiecePlan plan;
    const std::u16string asked = range.empty() ? u"0-" : range;
    const int code = reply.ResponseCode();
    if (code == 206 && !range.empty()) {
        const std::u16string named = reply.RawHeaders.Values(u"Content-Range");
        int64_t first, last, complete;
        if (!http::TryParseContentRange(named, first, last, complete) || first != position ||
            complete != length || (reply.HasContentLength && reply.ContentLength != last - first + 1)) {
            plan.Error = FillPlaceholders(texts::kWrongContentRange, {asked, named});
            return plan;
        }
        plan.Planned = true;
        plan.Offset = position;
        plan.Limit = last - first + 1;
        plan.Length = length;
        return plan;
    }
    if (code == 200) {
        if (reply.HasContentLength && length >= 0 && reply.ContentLength != length) {
            plan.Error = FillPlaceholders(texts::kWrongLength, {Decimal(reply.ContentLength), Decimal(length)});
            return plan;
        }
        plan.Length = length >= 0 ? length : reply.HasContentLength ? reply.ContentLength : -1;
        if (plan.Length > INT32_MAX) {
            plan.Error = FillPlaceholders(texts::kSizeBeyond2GiB, {Decimal(plan.Length)});
            return plan;
        }
        plan.Planned = true;
        plan.Offset = 0;
        plan.Limit = plan.Length >= 0 ? plan.Length : INT32_MAX;
        return plan;
    }
    plan.Error = FillPlaceholders(texts::kUnexpectedReply, {asked, reply.ResponseText});
    return plan;
}

}  // namespace

int RetryPause(int failures) { return 1000 << std::clamp(failures, 0, 4); }

// Failures since the last progress, and when that progress was made.
struct THttpDownLoad::TRetryState {
    int Failures = 0;
    std::chrono::steady_clock::time_point LastProgress = std::chrono::steady_clock::now();

    void Progressed() {
        Failures = 0;
        LastProgress = std::chrono::steady_clock::now();
    }
};

// The body of one GET on its way into the local file. Bytes collect in
// memory and go to the file a whole piece at a time, each at its place, so
// memory holds at most one piece whatever the reply's size; Flush writes the
// rest once the reply has ended. More bytes than the plan's limit raise, so
// a reply never puts more into the file than was asked for.
class THttpDownLoad::TPieceSink : public platform::TStream {
public:
    explicit TPieceSink(THttpDownLoad& owner) : owner_(owner) { memory_.reserve(kPieceSize); }

    void Begin(int64_t offset, int64_t limit, std::u16string overflow) {
        offset_ = offset;
        limit_ = limit;
        flushed_ = 0;
        memory_.clear();
        overflow_ = std::move(overflow);
    }
    int64_t Received() const { return flushed_ + static_cast<int64_t>(memory_.size()); }
    void Flush() {
        if (memory_.empty()) return;
        owner_.AppendPiece(offset_ + flushed_, memory_);
        flushed_ += static_cast<int64_t>(memory_.size());
        memory_.clear();
    }

    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void* buffer, int64_t count) override {
        if (count > limit_ - Received()) throw platform::Exception(overflow_);
        const char* bytes = static_cast<const char*>(buffer);
        for (int64_t left = count; left > 0;) {
            const int64_t room = kPieceSize - static_cast<int64_t>(memory_.size());
            const int64_t n = std::min(left, room);
            memory_.append(bytes, static_cast<size_t>(n));
            bytes += n;
            left -= n;
            if (static_cast<int64_t>(memory_.size()) == kPieceSize) Flush();
        }
        return count;
    }
    // Append-only: the client may only cut back what is still in memory (it
    // does so for a redirect, whose body never reaches the stream).
    int64_t Seek(int64_t offset, platform::TSeekOrigin origin) override {
        // The position is always the end: soCurrent and soEnd agree.
        const int64_t target = origin == platform::soBeginning ? offset : Received() + offset;
        if (target != Received()) SetSize(target);
        return Received();
    }
    void SetSize(int64_t newSize) override {
        if (newSize < flushed_ || newSize > Received()) throw platform::EStreamError(u"Stream seek error");
        memory_.resize(static_cast<size_t>(newSize - flushed_));
    }

private:
    THttpDownLoad& owner_;
    int64_t offset_ = 0;
    int64_t limit_ = 0;
    int64_t flushed_ = 0;
    std::string memory_;
    std::u16string overflow_;
};

THttpDownLoad::THttpDownLoad(IProgressGauge* ProgressBar, IDownLoadWindow* Window)
    : FProgressBar(ProgressBar), FWindow(Window) {}

THttpDownLoad::~THttpDownLoad() {
    // The run uses this object's members; it must end before they go.
    Terminate();
    if (Started() && !Finished()) {
        try {
            WaitFor();
        } catch (const platform::Exception&) {
            // Destroyed from inside its own run: the base lets it finish.
        }
    }
}

void THttpDownLoad::DownLoad() {
    if (FProgressBar != nullptr) Start();
}

std::u16string THttpDownLoad::LastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

void THttpDownLoad::ShowMessage(const std::u16string& text) {
    if (FWindow != nullptr)
        FWindow->ShowMessage(text);
    else
        std::cerr << platform::TextToUtf8(text) << std::endl;
}

void THttpDownLoad::Fail(const std::u16string& message) {
    {
        std::lock_guard lock(errorMutex_);
        lastError_ = message;
    }
    FIdHTTP.reset();
    Terminate();
    if (OnDownLoadError) OnDownLoadError(this);
}

bool THttpDownLoad::PauseBeforeRetry(const std::exception& failure, TRetryState& state) {
    if (Network.RetryWindow <= 0 || !Transient(failure) || localFileFailed_) return false;
    const int pause = RetryPause(state.Failures);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - state.LastProgress);
    if (waited.count() + pause > Network.RetryWindow) return false;
    ++state.Failures;
    ++retries_;
    const std::u16string message = OneLine(MessageOf(failure));
    if (FWindow != nullptr) FWindow->AddLogLine(FillPlaceholders(texts::kRetrying, {Decimal(pause / 1000), message}));
    if (OnRetry) OnRetry(this, message, pause);
    // The next exchange goes out on a new connection.
    if (FIdHTTP) FIdHTTP->Disconnect();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(pause);
    while (!Terminated() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return true;
}

void THttpDownLoad::ApplyResumeRecord(int64_t length) {
    if (ResumeRecordFileName.empty()) return;
    const http::TNetHTTPResponse& head = FIdHTTP->Response();
    TResumeRecord current;
    current.Url = FDownLoadUrl;
    current.Length = length;
    current.ETag = head.RawHeaders.Values(u"ETag");
    current.LastModified = head.RawHeaders.Values(u"Last-Modified");
    const std::optional<TResumeRecord> stored = TResumeRecord::Load(ResumeRecordFileName);
    const bool resume = stored && current.Continues(*stored);
    try {
        // A file that is started over goes first, so that a record never
        // stands beside bytes of another file.
        if (!resume && FileExists(FLocalFileName) && !platform::DeleteFile(FLocalFileName))
            throw platform::Exception(FillPlaceholders(texts::kOpenFileFailed, {FLocalFileName}));
        if (current.Identifies())
            current.Save(ResumeRecordFileName);
        else if (platform::PathExists(ResumeRecordFileName))
            platform::DeleteFile(ResumeRecordFileName);
    } catch (...) {
        localFileFailed_ = true;
        throw;
    }
}

void THttpDownLoad::Execute() {
    FIdHTTP = std::make_unique<http::TNetHTTP>();
    FIdHTTP->ProtocolVersion = http::pv1_1;
    FIdHTTP->HandleRedirects = true;
    FIdHTTP->ConnectTimeout = Network.ConnectTimeout;
    FIdHTTP->ReadTimeout = Network.IdleTimeout > 0 ? Network.IdleTimeout : -1;
    TRetryState retry;

    // A failed size request ends the run through the error event, so that the
    // caller is never left waiting.
    for (;;) {
        try {
            FIdHTTP->Head(FDownLoadUrl);
            break;
        } catch (const std::exception& e) {
            if (PauseBeforeRetry(e, retry)) {
                if (Terminated()) return;
                continue;
            }
            Fail(MessageOf(e));
            return;
        }
    }
    // A HEAD that returns without a 2xx ended on the redirect limit.
    if (FIdHTTP->ResponseCode() / 100 != 2) {
        Fail(FillPlaceholders(texts::kRedirectLimit, {FIdHTTP->ResponseText()}));
        return;
    }
    // -1 when the reply names no size: the file is then fetched whole.
    int64_t length = FIdHTTP->Response().ContentLength;
    if (length > INT32_MAX) {
        Fail(FillPlaceholders(texts::kSizeBeyond2GiB, {Decimal(length)}));
        return;
    }
    int64_t position = 0;
    bytesTotal_ = static_cast<int32_t>(length);

    try {
        ApplyResumeRecord(length);
    } catch (const std::exception& e) {
        Fail(MessageOf(e));
        return;
    }
    if (FileExists(FLocalFileName)) {
        try {
            platform::TFileStream existing(FLocalFileName,
                                           platform::fmOpenRead | platform::fmShareDenyWrite);
            position = existing.GetSize();
        } catch (const std::exception& e) {
            std::u16string message = FillPlaceholders(texts::kOpenFileFailed, {FLocalFileName});
            localFileFailed_ = true;
            ShowMessage(message);
            Fail(message);
            return;
        }
    }
    // A local file longer than the remote one cannot be its prefix, and
    // without a size none can be told to be one: start over from 0 (the
    // first piece written truncates the file).
    if (length < 0 || position > length) position = 0;
    bytesDone_ = position;
    ProgressStep(static_cast<int32_t>(position), static_cast<int32_t>(length));

    // Each reply is planned from its head before its body is read; a reply
    // that cannot be a part of the file is never read (the client then drops
    // the connection).
    TPiecePlan plan;
    std::u16string range;
    TPieceSink sink(*this);
    // With pipelining: where the piece asked for ahead starts (-1: none), and
    // whether pipelining has been given up for this run.
    int64_t aheadStart = -1;
    bool pipeliningOff = !Network.Pipelining;
    FIdHTTP->OnHeadersAvailable = [&](http::TNetCustomHTTP* client, http::TNetHeaderList&, bool& proceed) {
        if (client->ResponseCode() / 100 != 2) return;  // redirects are followed, refusals raised
        plan = PlanPiece(client->Response(), position, length, range);
        proceed = plan.Error.empty();
        if (!proceed) return;
        sink.Begin(plan.Offset, plan.Limit, FillPlaceholders(texts::kMoreThanAsked, {range.empty() ? u"0-" : range}));
        // The next piece is asked for now, while this one arrives, when this
        // reply is a piece of a known file on a connection that stays open.
        const int64_t next = plan.Offset + plan.Limit;
        if (pipeliningOff || client->ResponseCode() != 206 || next >= length ||
            client->Response().ResponseText.rfind(u"HTTP/1.1 ", 0) != 0 ||
            client->Response().Connection.find(u"close") != std::u16string::npos)
            return;
        std::u16string nextRange = Decimal(next) + u"-";
        if (next + kPieceSize < length) nextRange += Decimal(next + kPieceSize - 1);
        client->SendPipelinedGet(nextRange);
        aheadStart = next;
    };

    bool pipelined = false;  // the current piece's request was sent ahead
    while (!Terminated()) {
        if (length >= 0 && length <= position) {
            try {
                // An empty remote file, or one started over: the local file
                // is made to hold exactly nothing.
                if (position == 0) AppendPiece(0, {});
            } catch (const std::exception& e) {
                Fail(MessageOf(e));
                break;
            }
            FIdHTTP.reset();
            Terminate();
            if (OnDownLoadFinish) OnDownLoadFinish(this);
            break;
        }
        try {
            range.clear();
            if (length >= 0) {
                range = Decimal(position) + u"-";
                if (position + kPieceSize < length) range += Decimal(position + kPieceSize - 1);
            }
            FIdHTTP->Request().Range = range;
            const std::u16string asked = range.empty() ? u"0-" : range;

            // Until a 2xx head has been planned, no byte may reach the file.
            plan = TPiecePlan();
            sink.Begin(0, 0, FillPlaceholders(texts::kMoreThanAsked, {asked}));
            pipelined = aheadStart == position && FIdHTTP->PipelinedRequestSent() && FIdHTTP->Connected();
            aheadStart = -1;
            if (pipelined)
                FIdHTTP->ReadPipelinedReply(sink);
            else
                FIdHTTP->Get(FIdHTTP->URL().GetURI(), sink);
            if (!plan.Error.empty()) throw platform::Exception(plan.Error);
            sink.Flush();
            if (length < 0) length = plan.Length >= 0 ? plan.Length : sink.Received();
            bytesTotal_ = static_cast<int32_t>(length);
            position = plan.Offset + sink.Received();
            // A piece without any byte would make the loop ask for the same
            // range forever.
            if (sink.Received() == 0 && position < length)
                throw ENoProgress(FillPlaceholders(texts::kNoDataReceived, {asked}));
            retry.Progressed();
            bytesDone_ = position;
            ProgressStep(static_cast<int32_t>(position), static_cast<int32_t>(length));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } catch (const std::exception& e) {
            // With retries, the bytes of a piece that the network broke off
            // are kept: they passed the reply's checks and lie at their place
            // in the file, so the next request asks only for the rest.
            if (Network.RetryWindow > 0 && plan.Planned && plan.Error.empty() && length >= 0 &&
                Transient(e) && sink.Received() > 0) {
                try {
                    sink.Flush();
                    position = plan.Offset + sink.Received();
                    retry.Progressed();
                    bytesDone_ = position;
                    ProgressStep(static_cast<int32_t>(position), static_cast<int32_t>(length));
                } catch (const std::exception& written) {
                    Fail(MessageOf(written));
                    break;
                }
            }
            aheadStart = -1;
            // A reply to a request sent ahead that does not fit: the server
            // is asked one request at a time from here on.
            if (pipelined && !Transient(e) && !localFileFailed_) {
                pipeliningOff = true;
                continue;
            }
            if (PauseBeforeRetry(e, retry)) continue;
            Fail(MessageOf(e));
            break;
        }
    }
}

// Writes one piece after the first `position` bytes of the local file (the
// file is created, or cut, when the piece is its first). A piece that cannot
// be written whole is cut off again, so the file stays a valid prefix of the
// download.
void THttpDownLoad::AppendPiece(int64_t position, std::string_view piece) {
    try {
        WritePiece(position, piece);
    } catch (...) {
        localFileFailed_ = true;
        throw;
    }
}

void THttpDownLoad::WritePiece(int64_t position, std::string_view piece) {
    if (position == 0) {
        platform::TFileStream file(FLocalFileName, platform::fmCreate);
        try {
            file.WriteBuffer(piece.data(), static_cast<int64_t>(piece.size()));
        } catch (...) {
            try { file.SetSize(0); } catch (...) {}
            throw;
        }
        return;
    }
    platform::TFileStream file(FLocalFileName, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
    file.SetSize(position);
    file.Seek(position, platform::soBeginning);
    try {
        file.WriteBuffer(piece.data(), static_cast<int64_t>(piece.size()));
    } catch (...) {
        try { file.SetSize(position); } catch (...) {}
        throw;
    }
}

void THttpDownLoad::ProgressStep(int32_t pos, int32_t len) {
    if (FProgressBar == nullptr || len <= 0) return;
    const auto extra = static_cast<int64_t>(std::trunc(static_cast<long double>(len) * 0.1L));
    FProgressBar->SetMaxValue(static_cast<int64_t>(len) + extra);
    FProgressBar->SetProgress(static_cast<int64_t>(pos));
    if (FWindow == nullptr) return;
    if (IProgressGauge* install = FWindow->InstallGauge()) {
        std::u16string text = PercentText(*install);
        if (!text.empty()) FWindow->SetPercentText(text);
    }
}

}  // namespace download
