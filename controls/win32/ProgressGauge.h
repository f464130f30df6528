// TProgressGauge for Win32: a child window that paints the gauge whose rules
// live in controls/GaugeModel.h with GDI, double-buffered.
//
// The downloader moves the gauge from its worker thread. The model keeps the
// values under a lock; a repaint or an OnChange asked for on another thread
// is posted to the gauge's window, so only the window's thread paints. On
// the window's thread a repaint happens before the setter returns.
//
// The accessibility layer reads the gauge as a progress bar named by its
// window text, whose value is the percentage done ("40%").
#pragma once

#include "controls/GaugeModel.h"
#include "controls/win32/Accessible.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace controls::win32 {

class TProgressGauge {
public:
    using TNotifyEvent = std::function<void(TProgressGauge* Sender)>;
    using TPrintTextEvent = std::function<void(TProgressGauge* Sender, std::u16string& TextToPrint)>;

    // A gauge of 120 x 30 at (0, 0) on Parent.
    explicit TProgressGauge(HWND Parent);
    ~TProgressGauge();
    TProgressGauge(const TProgressGauge&) = delete;
    TProgressGauge& operator=(const TProgressGauge&) = delete;

    HWND Handle() const { return hwnd_; }
    void SetBounds(int Left, int Top, int Width, int Height);
    void SetFont(HFONT Font);  // not owned

    std::int64_t MinValue() const { return model_.Snapshot().MinValue; }
    void SetMinValue(std::int64_t Value) { Apply(model_.SetMinValue(Value)); }
    std::int64_t MaxValue() const { return model_.Snapshot().MaxValue; }
    void SetMaxValue(std::int64_t Value) { Apply(model_.SetMaxValue(Value)); }
    std::int64_t Progress() const { return model_.Snapshot().CurValue; }
    void SetProgress(std::int64_t Value) { Apply(model_.SetProgress(Value)); }
    void AddProgress(std::int64_t Value) { Apply(model_.AddProgress(Value)); }
    std::int64_t PercentDone() const { return model_.PercentDone(); }

    TProgressGaugeKind Kind() const { return model_.Snapshot().Kind; }
    void SetKind(TProgressGaugeKind Value) { Apply(model_.SetKind(Value)); }
    bool ShowText() const { return model_.Snapshot().ShowText; }
    void SetShowText(bool Value) { Apply(model_.SetShowText(Value)); }
    TBorderStyle BorderStyle() const { return model_.Snapshot().BorderStyle; }
    void SetBorderStyle(TBorderStyle Value) { Apply(model_.SetBorderStyle(Value)); }
    TColor BackColor() const { return model_.Snapshot().BackColor; }
    void SetBackColor(TColor Value) { Apply(model_.SetBackColor(Value)); }
    TColor ForeColor() const { return model_.Snapshot().ForeColor; }
    void SetForeColor(TColor Value) { Apply(model_.SetForeColor(Value)); }
    TColor Color() const { return model_.Snapshot().Color; }
    void SetColor(TColor Value) { Apply(model_.SetColor(Value)); }
    std::u16string Suffix() const { return model_.Snapshot().Suffix; }
    void SetSuffix(const std::u16string& Value) { Apply(model_.SetSuffix(Value)); }
    bool CalcPercents() const { return model_.Snapshot().CalcPercents; }
    void SetCalcPercents(bool Value) { Apply(model_.SetCalcPercents(Value)); }

    // Called on the window's thread when the position has changed.
    TNotifyEvent OnChange;
    // May replace the text before it is drawn.
    TPrintTextEvent OnPaintText;

    // How many times the gauge has painted itself (tests read it).
    int Paints() const { return paints_; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void Apply(const TGaugeChange& Change);
    void Paint(HDC Target);

    HWND hwnd_ = nullptr;
    DWORD thread_ = 0;
    HFONT font_ = nullptr;
    int paints_ = 0;
    TGaugeModel model_;
    std::unique_ptr<TAccessibleWindow> accessible_;
};

}  // namespace controls::win32
