// The threaded downloader: fetches one file over HTTP on a worker thread of
// its own, asking for the size with one HEAD and then fetching ranged pieces
// of at most 1,024,000 bytes. An existing local file is taken as the first
// part of the download, so an interrupted download continues where the saved
// file ends. Each finished piece is appended to the local file, so the file is
// always a valid prefix of the download and memory holds one piece at a time.
// The gauge and the window's percent label move as pieces arrive; the run
// ends with the completion or the error event, both called on the worker
// thread, or silently when Terminate stops it between pieces. Nothing is
// retried.
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

    // Starts the run only when the downloader has a gauge.
    void DownLoad();

    // The message of the failure that ended the run through the error event.
    std::u16string LastError() const;
    // The size of the remote file (-1 before it is known) and the bytes of it
    // the local file holds.
    int32_t BytesTotal() const { return bytesTotal_.load(); }
    int64_t BytesDone() const { return bytesDone_.load(); }

    // Called on the worker thread; set before the start.
    TDownLoadFinishEvent OnDownLoadFinish;
    TDownLoadFinishEvent OnDownLoadError;

protected:
    void Execute() override;

private:
    class TPieceSink;

    void ProgressStep(int32_t pos, int32_t len);
    void AppendPiece(int64_t position, std::string_view piece);
    void Fail(const std::u16string& message);
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
    mutable std::mutex errorMutex_;
    std::u16string lastError_;
};

}  // namespace download
