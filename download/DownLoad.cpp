#include "download/DownLoad.h"

#include <cmath>
#include <filesystem>

#include "download/DownLoadTexts.h"
#include "http/NetHTTP.h"
#include "platform/codepage.h"
#include "platform/stream.h"

namespace download {

namespace {

// The file the body goes into, reporting every write as progress. The
// client may move back and cut the stream (a redirect's body is dropped).
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

}  // namespace

void TDownLoadURL::Report(uint32_t Progress, uint32_t ProgressMax, TURLDownloadStatus StatusCode,
                          const std::u16string& StatusText) {
    if (!OnDownloadProgress) return;
    bool cancel = false;
    OnDownloadProgress(this, Progress, ProgressMax, StatusCode, StatusText, cancel);
    if (cancel) throw platform::Exception(u"Operation aborted");
}

void TDownLoadURL::ExecuteTarget() {
    const std::u16string url = URL;
    const std::u16string fileName = Filename;
    bool created = false;
    try {
        http::TNetHTTP client;
        client.HandleRedirects = true;
        Report(0, 0, dsConnecting, url);
        TProgressFileStream target(fileName, [&](int64_t written) {
            Report(static_cast<uint32_t>(written),
                   static_cast<uint32_t>(client.Response().ContentLength < 0
                                             ? 0
                                             : client.Response().ContentLength),
                   dsDownloadingData, url);
        });
        created = true;
        client.Get(url, target);
        // The client keeps a body that ended before its announced length;
        // such a file is not the remote one.
        if (client.Response().HasContentLength && target.GetSize() != client.Response().ContentLength)
            throw platform::EReadError(u"Stream read error");
        const auto size = static_cast<uint32_t>(target.GetSize());
        Report(size, size, dsEndDownloadData, url);
    } catch (const std::exception&) {
        if (created) {
            std::error_code ec;
            std::filesystem::remove(std::filesystem::path(platform::TextToUtf8(fileName)), ec);
        }
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

// The fetch goes to the server every time (the client keeps no cache), so
// there is no cached copy to remove before it.
bool TDownLoad::DownLoad() {
    if (FDownLoadFileURL.empty() || FLocalFileName.empty()) return false;
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
