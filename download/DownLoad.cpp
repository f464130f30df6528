#include "download/DownLoad.h"

#include <cmath>

#include "download/DownLoadTexts.h"
#include "download/HttpDownLoad.h"
#include "http/NetHTTP.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/stream.h"
#include "platform/urldownload.h"

namespace download {

namespace {

// The file the body goes into, reporting every write as progress. The
// client may move back and cut the stream.
class TProgressFileStream : public platform::TStream {
public:
    TProgressFileStream(const std::u16string& name, std::function<void(int64_t)> onWrite)
        : file_(name, platform::fmCreate), onWrite_(std::move(onWrite)) {}

    int64_t Read(void* buffer, int64_t count) override { return file_.Read(buffer, count); }
    int64_t Write(const void* buffer, int64_t count) override {
        int64_t written = file_.Write(buffer, count);
        onWrite_(file_.GetPosition());
        return written;
    }
    int64_t Seek(int64_t offset, platform::TSeekOrigin origin) override {
        return file_.Seek(offset, origin);
    }
    void SetSize(int64_t newSize) override { file_.SetSize(newSize); }

private:
    platform::TFileStream file_;
    std::function<void(int64_t)> onWrite_;
};

// Raised inside the fetch when the handler cancels it.
class ECancelled : public platform::Exception {
public:
    ECancelled() : platform::Exception(u"Operation aborted") {}
};

}  // namespace

bool TDownLoadURL::Report(uint32_t Progress, uint32_t ProgressMax, TURLDownloadStatus StatusCode,
                          const std::u16string& StatusText) {
    if (!OnDownloadProgress) return false;
    bool cancel = false;
    OnDownloadProgress(this, Progress, ProgressMax, StatusCode, StatusText, cancel);
    return cancel;
}

void TDownLoadURL::ExecuteTarget() {
    if (platform::HasUrlDownloadService()) ExecuteWithService();
    else ExecuteWithHttpClient();
}

void TDownLoadURL::ExecuteWithService() {
    if (!platform::LoadUrlDownloadService())
        throw platform::Exception(FillPlaceholders(texts::kUnableToLoad, {platform::UrlDownloadLibrary()}));
    const std::u16string url = URL;
    const std::u16string fileName = Filename;
    // A file at the target afterwards is then the one the service wrote: it
    // may report success without having written it (a folder that does not
    // exist).
    platform::DeleteFile(fileName);
    uint32_t lastProgress = 0, lastProgressMax = 0;
    long result = platform::kUrlDownloadAborted;
    try {
        result = platform::UrlDownloadToFile(
            url, fileName,
            [&](uint32_t Progress, uint32_t ProgressMax, uint32_t StatusCode, const std::u16string& StatusText) {
                lastProgress = Progress;
                lastProgressMax = ProgressMax;
                // The service counts its statuses from 1.
                return Report(Progress, ProgressMax, static_cast<TURLDownloadStatus>(static_cast<int>(StatusCode - 1u)),
                              StatusText);
            });
    } catch (const std::exception&) {
        result = platform::kUrlDownloadAborted;
    }
    // The service may report success for a body that ended before its
    // announced length; the last report then has fewer bytes than announced.
    const bool complete = result == 0 && platform::GetFileKind(fileName) == platform::TFileKind::fkFile &&
                          lastProgress >= lastProgressMax;
    if (!complete) {
        // The service may leave what it wrote of a failed download.
        platform::DeleteFile(fileName);
        throw platform::Exception(FillPlaceholders(texts::kErrorDownloadingURL, {url}));
    }
}

void TDownLoadURL::ExecuteWithHttpClient() {
    const std::u16string url = URL;
    const std::u16string fileName = Filename;
    bool created = false;
    try {
        http::TNetHTTP client;
        client.HandleRedirects = true;
        // A line that goes silent fails the download instead of holding it
        // for ever.
        client.ConnectTimeout = ConnectTimeout;
        client.ReadTimeout = IdleTimeout;
        client.OnRedirect = [&](http::TNetCustomHTTP*, std::u16string& location, std::u16string&, bool&) {
            if (Report(0, 0, dsRedirecting, location)) throw ECancelled();
        };
        if (Report(0, 0, dsConnecting, url)) throw ECancelled();
        bool begun = false;
        TProgressFileStream target(fileName, [&](int64_t written) {
            const int64_t length = client.Response().ContentLength;
            if (Report(static_cast<uint32_t>(written), static_cast<uint32_t>(length < 0 ? 0 : length),
                       begun ? dsDownloadingData : dsBeginDownloadData, url))
                throw ECancelled();
            begun = true;
        });
        created = true;
        client.Get(url, target);
        // The client keeps a body that ended before its announced length;
        // such a file is not the remote one.
        if (client.Response().HasContentLength && target.GetSize() != client.Response().ContentLength)
            throw platform::EReadError(u"Stream read error");
        const auto size = static_cast<uint32_t>(target.GetSize());
        if (Report(size, size, dsEndDownloadData, url)) throw ECancelled();
    } catch (const std::exception&) {
        if (created) platform::DeleteFile(fileName);
        throw platform::Exception(FillPlaceholders(texts::kErrorDownloadingURL, {url}));
    }
}

TDownLoad::TDownLoad(IProgressGauge* ProgressBar, IDownLoadWindow* Window)
    : FProgressBar(ProgressBar), FDownLoadURL(std::make_unique<TDownLoadURL>()), FWindow(Window) {
    FDownLoadURL->OnDownloadProgress = [this](TDownLoadURL* Sender, uint32_t Progress,
                                              uint32_t ProgressMax, TURLDownloadStatus StatusCode,
                                              const std::u16string& StatusText, bool& Cancel) {
        DownLoadProgress(Sender, Progress, ProgressMax, StatusCode, StatusText, Cancel);
    };
}

TDownLoad::~TDownLoad() = default;

void TDownLoad::Log(const std::u16string& line) {
    if (FWindow != nullptr) FWindow->AddLogLine(line);
}

void TDownLoad::LogError(const std::u16string& message) {
    Log(FillPlaceholders(texts::kDownLoadFileError, {FDownLoadFileURL, message}));
}

bool TDownLoad::DownLoad() {
    if (FDownLoadFileURL.empty() || FLocalFileName.empty()) return false;
    platform::DeleteUrlCacheEntry(FDownLoadFileURL);
    try {
        FDownLoadURL->Filename = FLocalFileName;
        FDownLoadURL->URL = FDownLoadFileURL;
        Log(texts::kDownLoadStarted);
        FDownLoadURL->ExecuteTarget();
        Log(texts::kDownLoadFinished);
        return true;
    } catch (const platform::Exception& e) {
        LogError(e.Message());
    } catch (const std::exception& e) {
        LogError(platform::Utf8ToText(e.what()));
    }
    return false;
}

bool TDownLoad::DownLoad(const std::u16string& Url, const std::u16string& LocalFilename) {
    FDownLoadFileURL = Url;
    FLocalFileName = LocalFilename;
    platform::DeleteUrlCacheEntry(FDownLoadFileURL);
    try {
        FDownLoadURL->Filename = FLocalFileName;
        FDownLoadURL->URL = FDownLoadFileURL;
        FDownLoadURL->ExecuteTarget();
        return true;
    } catch (const platform::Exception& e) {
        LogError(e.Message());
    } catch (const std::exception& e) {
        LogError(platform::Utf8ToText(e.what()));
    }
    return false;
}

void TDownLoad::DownLoadProgress(TDownLoadURL*, uint32_t Progress, uint32_t ProgressMax,
                                 TURLDownloadStatus, const std::u16string&, bool&) {
    if (FProgressBar != nullptr && ProgressMax != 0) {
        const auto max = static_cast<int64_t>(ProgressMax);
        FProgressBar->SetMaxValue(
            max + static_cast<int64_t>(std::trunc(static_cast<long double>(max) * 0.2L)));
        FProgressBar->SetProgress(static_cast<int64_t>(Progress));
    }
    if (FWindow != nullptr) FWindow->ProcessMessages();
}

}  // namespace download
