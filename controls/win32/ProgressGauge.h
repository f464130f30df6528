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

#include "controls/GaugeProperties.h"
#include "controls/win32/Accessible.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace controls::win32 {

class TProgressGauge : public TGaugeProperties<TProgressGauge> {
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

    // Called on the window's thread when the position has changed.
    TNotifyEvent OnChange;
    // May replace the text before it is drawn.
    TPrintTextEvent OnPaintText;

    // How many times the gauge has painted itself (tests read it).
    int Paints() const { return paints_; }

private:
    friend class TGaugeProperties<TProgressGauge>;
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void Apply(const TGaugeChange& Change);
    void Paint(HDC Target);

    HWND hwnd_ = nullptr;
    DWORD thread_ = 0;
    HFONT font_ = nullptr;
    int paints_ = 0;
    std::unique_ptr<TAccessibleWindow> accessible_;
};

}  // namespace controls::win32
