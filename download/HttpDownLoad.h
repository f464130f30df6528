// The threaded downloader: fetches one file over HTTP on a worker thread of
// its own, asking for the size with one HEAD and then fetching ranged pieces
// of at most 1,024,000 bytes. An existing local file is taken as the first
// part of the download, so an interrupted download continues where the saved
// file ends. Each finished piece is appended to the local file, so the file is
// always a valid prefix of the download and memory holds one piece at a time.
// The gauge and the window's percent label move as pieces arrive; the run
// ends with the completion or the error event, both called on the worker
// thread, or silently when Terminate stops it between pieces. By default
// nothing is retried and no wait has a deadline; Network turns on deadlines
// and retries for lines that stall and drop, and ResumeRecordFileName ties a
// kept local file to the remote file it came from.
//
// The rule: OnDownLoadFinish means that the local file equals the remote
// file, byte for byte; whatever else happens ends through OnDownLoadError
// (or, after Terminate, through no event). An existing local file is trusted
// to be a prefix of the same remote file, since resuming means exactly that.
// To hold to it:
//   - the size request must end on a 2xx reply (not on the redirect limit)
//     naming a size below 2 GiB; a reply without a size is fetched whole with
//     plain GETs, its end known from the reply's framing;
//   - every 206 must name, in Content-Range, the range starting where the
//     file ends and the size the HEAD gave, and carry no more bytes than that
//     range; a 200 is the whole file and is written from position 0, so a
//     server that ignores Range starts the file over instead of appending to
//     it; any other reply ends the run;
//   - a local file longer than the remote one is started over from 0, and an
//     empty remote file leaves an empty local file.
// Replies are checked before a byte of their body is read, so a body that
// cannot be a part of the file never reaches it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "download/Progress.h"
#include "platform/thread.h"

namespace http {
class TNetHTTP;
}

namespace download {

class THttpDownLoad;
using TDownLoadFinishEvent = std::function<void(THttpDownLoad* Sender)>;

// Bytes asked for by one ranged GET.
inline constexpr int64_t kPieceSize = 1024000;

// How a run meets a network that stalls or drops. The defaults wait without
// limit and retry nothing.
struct TNetworkPolicy {
    // ms for a connection to be made; 0 leaves it to the system.
    int ConnectTimeout = 0;
    // ms without a byte (in the TLS handshake, a reply head or a body) before
    // the exchange fails; 0 waits without limit.
    int IdleTimeout = 0;
    // ms after the last progress during which an exchange that failed on the
    // network (a timeout, a reset, a refused or unreachable host, a reply
    // that ended early or brought nothing, a 5xx) is asked again on a new
    // connection, after the pauses of RetryPause; 0 retries nothing.
    int RetryWindow = 0;
    // Keep the line busy between pieces: once the head of a piece's reply
    // has been accepted, the request for the next piece goes out on the same
    // connection (HTTP/1.1 pipelining), so its first bytes follow the
    // current piece without a round trip's pause. The requests, their ranges
    // and order, and the order of the writes stay the same; memory holds the
    // piece being written and what has arrived of the next. A server that
    // closes the connection, or whose reply to a request sent ahead does not
    // fit, is asked one request at a time again.
    bool Pipelining = false;
};

// The policy of the installer and zelvano-fetch on real lines.
//  - 15 s to connect: a lost SYN is sent again after 1, 3 and 7 s on Linux and
//    after 3 and 9 s on Windows, so a host that answers at all answers by then.
//  - 25 s without a byte: a Wi-Fi roam or a hotspot's handover silences a
//    live connection for some seconds, and TCP's retransmissions back off
//    (four losses in a row take about 15 s); beyond 25 s the connection is
//    more likely dead than slow, and a stall is noticed within 30 s.
//  - retries for 2 minutes after the last progress: a line that drops for a
//    minute still finishes in one run, and a server that is gone ends the
//    run in about two and a half minutes (the window and one idle deadline).
//  - pipelining, so that a far line does not idle a round trip per piece.
inline constexpr TNetworkPolicy kRealLinePolicy{15000, 25000, 120000, true};

// The pause in ms before the retry that follows `failures` failures in a row
// since the last progress: 1, 2, 4, 8 and then 16 seconds.
int RetryPause(int failures);

class THttpDownLoad : public platform::TThread {
public:
    // Created suspended. The gauge may be null; it is not owned. The window
    // (not owned, may be null) gives the percent label and message boxes;
    // without one, messages go to standard error.
    explicit THttpDownLoad(IProgressGauge* ProgressBar, IDownLoadWindow* Window = nullptr);
    ~THttpDownLoad() override;

    const std::u16string& DownLoadUrl() const { return FDownLoadUrl; }
    void SetDownLoadUrl(const std::u16string& Value) { FDownLoadUrl = Value; }
    const std::u16string& LocalFileName() const { return FLocalFileName; }
    void SetLocalFileName(const std::u16string& Value) { FLocalFileName = Value; }
    int32_t FileID() const { return FFileID; }
    void SetFileID(int32_t Value) { FFileID = Value; }
    // Kept for the caller; the run does not send it.
    const std::u16string& Cookie() const { return FCookie; }
    void SetCookie(const std::u16string& Value) { FCookie = Value; }

    // Set before the start.
    TNetworkPolicy Network;
    // When set, the file recording which remote file the local one is a part
    // of (address, size, ETag, Last-Modified): the local file is continued
    // only when the size request describes the same file again, and started
    // over otherwise. When empty, an existing local file is trusted to be a
    // prefix of the remote one.
    std::u16string ResumeRecordFileName;

    // Starts the run only when the downloader has a gauge.
    void DownLoad();

    // The message of the failure that ended the run through the error event.
    std::u16string LastError() const;
    // The size of the remote file (-1 before it is known) and the bytes of it
    // the local file holds.
    int32_t BytesTotal() const { return bytesTotal_.load(); }
    int64_t BytesDone() const { return bytesDone_.load(); }
    // Whether the run ended because the local file (or the resume record)
    // could not be read or written, not because of the network or the server.
    bool LocalFileFailed() const { return localFileFailed_.load(); }
    // Exchanges asked again in this run.
    int Retries() const { return retries_.load(); }

    // Called on the worker thread; set before the start.
    TDownLoadFinishEvent OnDownLoadFinish;
    TDownLoadFinishEvent OnDownLoadError;
    // Called on the worker thread before a failed exchange is asked again:
    // the failure's message and the pause in ms. With a window, the same is
    // also written to its log.
    std::function<void(THttpDownLoad* Sender, const std::u16string& Failure, int PauseMs)> OnRetry;

protected:
    void Execute() override;

private:
    class TPieceSink;
    struct TRetryState;

    void ProgressStep(int32_t pos, int32_t len);
    void AppendPiece(int64_t position, std::string_view piece);
    void WritePiece(int64_t position, std::string_view piece);
    void Fail(const std::u16string& message);
    // After a failed exchange: true when it is to be asked again (the pause
    // has then passed, unless Terminate cut it short), false when the failure
    // ends the run.
    bool PauseBeforeRetry(const std::exception& failure, TRetryState& state);
    // Applies ResumeRecordFileName after the size request: a local file that
    // belongs to another remote file (or that nothing ties to this one) is
    // deleted, and the record rewritten for the file now described.
    void ApplyResumeRecord(int64_t length);
    void ShowMessage(const std::u16string& text);

    std::unique_ptr<http::TNetHTTP> FIdHTTP;
    IProgressGauge* FProgressBar;
    std::u16string FCookie;
    std::u16string FDownLoadUrl;
    std::u16string FLocalFileName;
    int32_t FFileID = 0;
    IDownLoadWindow* FWindow;
    std::atomic<int32_t> bytesTotal_{-1};
    std::atomic<int64_t> bytesDone_{0};
    std::atomic<bool> localFileFailed_{false};
    std::atomic<int> retries_{0};
    mutable std::mutex errorMutex_;
    std::u16string lastError_;
};

}  // namespace download
