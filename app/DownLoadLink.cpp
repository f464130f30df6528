#include "app/DownLoadLink.h"

#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "app/Dialogs.h"

namespace {

// Held shared while a call reaches the window, exclusively while cutting.
std::shared_mutex& LinkLock() {
    static std::shared_mutex lock;
    return lock;
}
std::atomic<bool> linkCut{false};

// The window's gauge as the downloader sees it.
class TGaugeAdapter : public download::IProgressGauge {
public:
    explicit TGaugeAdapter(download::IProgressGauge* Gauge) : gauge_(Gauge) {}
    int64_t MaxValue() const override { return Guarded([&] { return gauge_->MaxValue(); }, 100); }
    void SetMaxValue(int64_t Value) override { Guarded([&] { gauge_->SetMaxValue(Value); }); }
    int64_t Progress() const override { return Guarded([&] { return gauge_->Progress(); }, 0); }
    void SetProgress(int64_t Value) override { Guarded([&] { gauge_->SetProgress(Value); }); }
    std::u16string Suffix() const override { return Guarded([&] { return gauge_->Suffix(); }, std::u16string(u"%")); }

private:
    template <class F, class R>
    static R Guarded(F&& f, R fallback) {
        std::shared_lock lock(LinkLock());
        return linkCut ? fallback : f();
    }
    template <class F>
    static void Guarded(F&& f) {
        std::shared_lock lock(LinkLock());
        if (!linkCut) f();
    }
    download::IProgressGauge* gauge_;
};

// The window as the downloader sees it.
class TWindowAdapter : public download::IDownLoadWindow {
public:
    TWindowAdapter(IInstallerWindow* Form, download::IProgressGauge* InstallGauge)
        : form_(Form), installGauge_(InstallGauge) {}
    download::IProgressGauge* InstallGauge() override { return installGauge_; }
    void SetPercentText(const std::u16string& text) override {
        std::shared_lock lock(LinkLock());
        if (!linkCut) form_->SetPercentText(text);
    }
    void ShowMessage(const std::u16string& text) override {
        if (!linkCut) dialogs::ShowMessageBox(text);
    }
    void AddLogLine(const std::u16string& line) override {
        std::shared_lock lock(LinkLock());
        if (!linkCut) form_->AddLogLine(line);
    }
    void ProcessMessages() override {
        std::shared_lock lock(LinkLock());
        if (!linkCut) form_->ProcessMessages();
    }

private:
    IInstallerWindow* form_;
    download::IProgressGauge* installGauge_;
};

struct TLinkedDownLoader {
    std::unique_ptr<TGaugeAdapter> Gauge;
    std::unique_ptr<TGaugeAdapter> InstallGauge;
    std::unique_ptr<TWindowAdapter> Window;
    std::unique_ptr<download::THttpDownLoad> DownLoader;
};

// Never destroyed: a downloader may still be running when the program exits.
std::vector<TLinkedDownLoader>& DownLoaders() {
    static auto* list = new std::vector<TLinkedDownLoader>;
    return *list;
}
std::mutex listMutex;

}  // namespace

void CutWindowLink() {
    std::unique_lock lock(LinkLock());
    linkCut = true;
    std::lock_guard listLock(listMutex);
    for (auto& d : DownLoaders()) d.DownLoader->Terminate();
}

download::THttpDownLoad* NewDownLoader(IInstallerWindow& Window, download::IProgressGauge& Gauge) {
    TLinkedDownLoader d;
    d.Gauge = std::make_unique<TGaugeAdapter>(&Gauge);
    d.InstallGauge = std::make_unique<TGaugeAdapter>(&Window.InstallGauge());
    d.Window = std::make_unique<TWindowAdapter>(&Window, d.InstallGauge.get());
    d.DownLoader = std::make_unique<download::THttpDownLoad>(d.Gauge.get(), d.Window.get());
    download::THttpDownLoad* result = d.DownLoader.get();
    std::lock_guard listLock(listMutex);
    DownLoaders().push_back(std::move(d));
    return result;
}

bool WindowLinkCut() { return linkCut; }

bool DownLoadersRunning() {
    std::lock_guard listLock(listMutex);
    for (auto& d : DownLoaders())
        if (d.DownLoader->Started() && !d.DownLoader->Finished()) return true;
    return false;
}
