// What the downloaders need of the window: the gauge they move, the install
// page's gauge whose reading gives the percent label its text, the percent
// label itself, the log box, message boxes and message pumping.
//
// The window adapts its controls to these interfaces; download/ itself knows
// nothing of the window toolkit. THttpDownLoad calls them from its worker
// thread, so implementations must be safe to call from any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace download {

// A progress gauge with a range from 0 to MaxValue and a position.
class IProgressGauge {
public:
    virtual ~IProgressGauge() = default;
    virtual int64_t MaxValue() const = 0;
    virtual void SetMaxValue(int64_t value) = 0;
    virtual int64_t Progress() const = 0;
    virtual void SetProgress(int64_t value) = 0;
    // The text appended to the number in percent texts ("%").
    virtual std::u16string Suffix() const = 0;
};

// The main window as the downloaders reach it.
class IDownLoadWindow {
public:
    virtual ~IDownLoadWindow() = default;
    // The install page's gauge; its reading gives the percent text. May be
    // null, and then the label is not changed.
    virtual IProgressGauge* InstallGauge() = 0;
    // Sets the text of the percent label beside the install page's gauge.
    virtual void SetPercentText(const std::u16string& text) = 0;
    // A modal message box with the text (or its unattended stand-in).
    virtual void ShowMessage(const std::u16string& text) = 0;
    // Appends one line to the window's log box.
    virtual void AddLogLine(const std::u16string& line) = 0;
    // Processes pending window messages once (only ever called on the
    // window's own thread).
    virtual void ProcessMessages() = 0;
};

// The percent text of an install-page gauge: trunc(Progress × 100 ÷ MaxValue)
// followed by the suffix; empty when MaxValue is not above 0.
std::u16string PercentText(const IProgressGauge& gauge);

// A gauge without a window, for tools and tests. Like the window's gauge it
// keeps the position within 0..MaxValue (both taken as signed 32-bit values)
// and defaults to the range 0..100 and the suffix "%".
class TPlainProgressGauge : public IProgressGauge {
public:
    int64_t MaxValue() const override;
    void SetMaxValue(int64_t value) override;
    int64_t Progress() const override;
    void SetProgress(int64_t value) override;
    std::u16string Suffix() const override { return u"%"; }
    // How often the position was set (changed or not).
    int ProgressCalls() const;

private:
    mutable std::mutex mutex_;
    int64_t max_ = 100;
    int64_t progress_ = 0;
    int progressCalls_ = 0;
};

// A window without a screen: records what the downloaders show and log. Its
// messages also go to standard error when EchoMessages is set.
class TPlainDownLoadWindow : public IDownLoadWindow {
public:
    explicit TPlainDownLoadWindow(IProgressGauge* installGauge = nullptr, bool EchoMessages = false)
        : installGauge_(installGauge), echo_(EchoMessages) {}

    IProgressGauge* InstallGauge() override { return installGauge_; }
    void SetPercentText(const std::u16string& text) override;
    void ShowMessage(const std::u16string& text) override;
    void AddLogLine(const std::u16string& line) override;
    void ProcessMessages() override;

    std::u16string PercentLabel() const;
    std::vector<std::u16string> Messages() const;
    std::vector<std::u16string> LogLines() const;
    int ProcessMessagesCalls() const;

private:
    IProgressGauge* installGauge_;
    bool echo_;
    mutable std::mutex mutex_;
    std::u16string percent_;
    std::vector<std::u16string> messages_;
    std::vector<std::u16string> log_;
    int pumps_ = 0;
};

}  // namespace download
