// The synchronous downloader: fetches one address into one local file on the
// calling thread, moving a gauge while bytes arrive and writing a start, end
// or error line into the window's log. The fetch itself is done by the
// download action TDownLoadURL, which relays its progress reports; the
// address's entry in the system's internet cache is removed first, so that
// the file comes from the server.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "download/HttpDownLoad.h"
#include "download/Progress.h"

namespace json {
class IJsonValue;
class TJsonRttiContext;
template <class T>
class TClassType;
}  // namespace json

namespace download {

// The stages a fetch reports with its progress: the URL download service's
// status codes in its order, so that its code N is the value N - 1. Codes
// the list does not name (newer services, private ones) come through as
// their value N - 1 all the same.
enum TURLDownloadStatus : int {
    dsFindingResource,
    dsConnecting,
    dsRedirecting,
    dsBeginDownloadData,
    dsDownloadingData,
    dsEndDownloadData,
    dsBeginDownloadComponents,
    dsInstallingComponents,
    dsEndDownloadComponents,
    dsUsingCachedCopy,
    dsSendingRequest,
    dsClassIDAvailable,
    dsMIMETypeAvailable,
    dsCacheFileNameAvailable,
    dsBeginSyncOperation,
    dsEndSyncOperation,
    dsBeginUploadData,
    dsUploadingData,
    dsEndUploadData,
    dsProtocolClassID,
    dsEncoding,
    dsVerifiedMIMETypeAvailable,
    dsClassInstallLocation,
    dsDecoding,
    dsLoadingMIMEHandler,
    dsContentDispositionAttach,
    dsFilterReportMIMEType,
    dsCLSIDCanInstantiate,
    dsIUnknownAvailable,
    dsDirectBind,
    dsRawMIMEType,
    dsProxyDetecting,
    dsAcceptRanges,
    dsCookieSent,
    dsCompactPolicyReceived,
    dsCookieSuppressed,
    dsCookieStateUnknown,
    dsCookieStateAccept,
    dsCookieStateReject,
    dsCookieStatePrompt,
    dsCookieStateLeash,
    dsCookieStateDowngrade,
    dsPolicyHREF,
    dsP3PHeader,
    dsSessionCookieReceived,
    dsPersistentCookieReceived,
    dsSessionCookiesAllowed,
    dsCacheControl,
    dsContentDispositionFilename,
    dsMIMETextPlainMismatch,
    dsPublisherAvailable,
    dsDisplayNameAvailable,
    dsSSLUXNavBlocked,
    dsServerMIMETypeAvailable,
    dsSniffedClassIDAvailable,
    ds64BitProgress,
};

class TDownLoadURL;
// Progress and ProgressMax are byte counts (ProgressMax 0 when the size is
// unknown). Setting Cancel stops the fetch, which then fails.
using TDownloadProgressEvent =
    std::function<void(TDownLoadURL* Sender, uint32_t Progress, uint32_t ProgressMax,
                       TURLDownloadStatus StatusCode, const std::u16string& StatusText,
                       bool& Cancel)>;

// Fetches URL into Filename through the system's URL download service
// (platform/urldownload.h), relaying its progress reports; where the system
// has none (Linux), with one GET of the HTTP client (redirects followed),
// reporting dsConnecting, dsBeginDownloadData, dsDownloadingData and
// dsEndDownloadData. A service that cannot be loaded raises
// platform::Exception "Unable to load urlmon.dll"; any other failure,
// a cancelled fetch included, raises "Error downloading URL: <URL>" and
// leaves no file behind.
class TDownLoadURL {
public:
    std::u16string Filename;
    std::u16string URL;
    TDownloadProgressEvent OnDownloadProgress;
    // Deadlines in ms of the fetch by the HTTP client (where the system has no
    // URL download service): for the connection, and for a line that brings
    // no byte; a fetch past either fails. Those of real lines by default.
    int ConnectTimeout = kRealLinePolicy.ConnectTimeout;
    int IdleTimeout = kRealLinePolicy.IdleTimeout;

    void ExecuteTarget();

private:
    void ExecuteWithService();
    void ExecuteWithHttpClient();
    // True when the handler set Cancel.
    bool Report(uint32_t Progress, uint32_t ProgressMax, TURLDownloadStatus StatusCode,
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
