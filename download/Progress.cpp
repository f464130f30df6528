#include "download/Progress.h"

#include <cmath>
#include <iostream>

#include "platform/codepage.h"

namespace download {

std::u16string PercentText(const IProgressGauge& gauge) {
    int64_t max = gauge.MaxValue();
    if (max <= 0) return {};
    long double quotient = static_cast<long double>(gauge.Progress() * 100) / max;
    auto percent = static_cast<int64_t>(std::trunc(quotient));
    return platform::AsciiToText(std::to_string(percent)) + gauge.Suffix();
}

int64_t TPlainProgressGauge::MaxValue() const {
    std::lock_guard lock(mutex_);
    return max_;
}

void TPlainProgressGauge::SetMaxValue(int64_t value) {
    std::lock_guard lock(mutex_);
    if (value < 0) return;
    max_ = value;
    if (progress_ > max_) progress_ = max_;
}

int64_t TPlainProgressGauge::Progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

void TPlainProgressGauge::SetProgress(int64_t value) {
    std::lock_guard lock(mutex_);
    ++progressCalls_;
    auto v = static_cast<int32_t>(value);
    auto max = static_cast<int32_t>(max_);
    progress_ = v < 0 ? 0 : (v > max ? max : v);
}

int TPlainProgressGauge::ProgressCalls() const {
    std::lock_guard lock(mutex_);
    return progressCalls_;
}

void TPlainDownLoadWindow::SetPercentText(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    percent_ = text;
}

void TPlainDownLoadWindow::ShowMessage(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
    if (echo_) std::cerr << platform::TextToUtf8(text) << std::endl;
}

void TPlainDownLoadWindow::AddLogLine(const std::u16string& line) {
    std::lock_guard lock(mutex_);
    log_.push_back(line);
}

void TPlainDownLoadWindow::ProcessMessages() {
    std::lock_guard lock(mutex_);
    ++pumps_;
}

std::u16string TPlainDownLoadWindow::PercentLabel() const {
    std::lock_guard lock(mutex_);
    return percent_;
}

std::vector<std::u16string> TPlainDownLoadWindow::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::u16string> TPlainDownLoadWindow::LogLines() const {
    std::lock_guard lock(mutex_);
    return log_;
}

int TPlainDownLoadWindow::ProcessMessagesCalls() const {
    std::lock_guard lock(mutex_);
    return pumps_;
}

}  // namespace download
