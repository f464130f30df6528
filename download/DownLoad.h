// The synchronous downloader: fetches one address into one local file on the
// calling thread, moving a gauge while bytes arrive and writing a start, end
// or error line into the window's log. The fetch itself is done by the
// download action TDownLoadURL, which goes to the server every time (nothing
// is cached here) and relays its progress reports.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "download/Progress.h"

namespace json {
class IJsonValue;
class TJsonRttiContext;
template <class T>
class TClassType;
}  // namespace json

namespace download {

// The stages a fetch reports with its progress.
enum TURLDownloadStatus {
    dsFindingResource,
    dsConnecting,
    dsRedirecting,
    dsBeginDownloadData,
    dsDownloadingData,
    dsEndDownloadData,
};

class TDownLoadURL;
// Progress and ProgressMax are byte counts (ProgressMax 0 when the size is
// unknown). Setting Cancel stops the fetch, which then fails.
using TDownloadProgressEvent =
    std::function<void(TDownLoadURL* Sender, uint32_t Progress, uint32_t ProgressMax,
                       TURLDownloadStatus StatusCode, const std::u16string& StatusText,
                       bool& Cancel)>;

// Fetches URL into Filename with one GET (redirects followed). Any failure
// raises platform::Exception "Error downloading URL: <URL>" and leaves no
// file behind.
class TDownLoadURL {
public:
    std::u16string Filename;
    std::u16string URL;
    TDownloadProgressEvent OnDownloadProgress;

    void ExecuteTarget();

private:
    void Report(uint32_t Progress, uint32_t ProgressMax, TURLDownloadStatus StatusCode,
                const std::u16string& StatusText);
};

class TDownLoad {
public:
    // The gauge may be null; it is not owned. The window (not owned, may be
    // null) receives the log lines and pumps its messages during the fetch.
    explicit TDownLoad(IProgressGauge* ProgressBar, IDownLoadWindow* Window = nullptr);
    ~TDownLoad();
    TDownLoad(const TDownLoad&) = delete;
    TDownLoad& operator=(const TDownLoad&) = delete;

    const std::u16string& DownLoadFileURL() const { return FDownLoadFileURL; }
    void SetDownLoadFileURL(const std::u16string& Value) { FDownLoadFileURL = Value; }
    const std::u16string& LocalFileName() const { return FLocalFileName; }
    void SetLocalFileName(const std::u16string& Value) { FLocalFileName = Value; }
    IProgressGauge* ProgressBar() const { return FProgressBar; }
    void SetProgressBar(IProgressGauge* Value) { FProgressBar = Value; }

    // Fetches DownLoadFileURL into LocalFileName with the start and end log
    // lines; false (and an error line) on failure or when either is empty.
    bool DownLoad();
    // Stores both values and fetches them without the start and end lines.
    bool DownLoad(const std::u16string& Url, const std::u16string& LocalFilename);

    // The object's JSON form through the object marshalling; a context of its
    // own when ctx is null (DownLoadJson.cpp).
    json::IJsonValue ToJson(json::TJsonRttiContext* ctx = nullptr);
    // The fields the object marshalling walks.
    static void DescribeType(json::TClassType<TDownLoad>& t);

private:
    void DownLoadProgress(TDownLoadURL* Sender, uint32_t Progress, uint32_t ProgressMax,
                          TURLDownloadStatus StatusCode, const std::u16string& StatusText,
                          bool& Cancel);
    void Log(const std::u16string& line);
    void LogError(const std::u16string& message);

    std::u16string FDownLoadFileURL;
    std::u16string FLocalFileName;
    IProgressGauge* FProgressBar;
    std::unique_ptr<TDownLoadURL> FDownLoadURL;
    IDownLoadWindow* FWindow;
};

}  // namespace download
