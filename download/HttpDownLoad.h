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
    // The size the server announced (its low 32 bits, as a signed number;
    // -1 before the HEAD has answered) and the bytes the local file holds.
    int32_t BytesTotal() const { return bytesTotal_.load(); }
    int64_t BytesDone() const { return bytesDone_.load(); }

    // Called on the worker thread; set before the start.
    TDownLoadFinishEvent OnDownLoadFinish;
    TDownLoadFinishEvent OnDownLoadError;

protected:
    void Execute() override;

private:
    void ProgressStep(int32_t pos, int32_t len);
    void AppendPiece(int64_t position, const std::string_view piece);
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
