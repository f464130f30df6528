#include "controls/win32/ProgressGauge.h"

#include "controls/win32/Gdi.h"

#include <oleacc.h>

#include <algorithm>

namespace controls::win32 {
namespace {

constexpr wchar_t kClassName[] = L"ZelvanoProgressGauge";

// Posted from other threads: repaint now, call OnChange.
constexpr UINT WM_GAUGE_REPAINT = WM_APP + 1;
constexpr UINT WM_GAUGE_CHANGED = WM_APP + 2;

void FillBox(HDC dc, const TRect& r, COLORREF color) {
    if (r.Empty()) return;
    const RECT box{r.Left, r.Top, r.Right, r.Bottom};
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

}  // namespace

TProgressGauge::TProgressGauge(HWND Parent) : thread_(GetCurrentThreadId()) {
    RegisterControlClass(kClassName, &WindowProc);
    hwnd_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 120, 30, Parent, nullptr,
                            GetModuleHandleW(nullptr), this);
    accessible_ = std::make_unique<TAccessibleWindow>(
        hwnd_, TAccessibleTraits{ROLE_SYSTEM_PROGRESSBAR, false, {},
                                 [this] {
                                     const std::u16string digits = [](std::int64_t n) {
                                         std::u16string s;
                                         do s.insert(s.begin(), char16_t(u'0' + n % 10)); while ((n /= 10) > 0);
                                         return s;
                                     }(std::max<std::int64_t>(PercentDone(), 0));
                                     return digits + u"%";
                                 },
                                 nullptr});
}

TProgressGauge::~TProgressGauge() {
    accessible_.reset();
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void TProgressGauge::SetBounds(int Left, int Top, int Width, int Height) {
    MoveWindow(hwnd_, Left, Top, Width, Height, TRUE);
}

void TProgressGauge::SetFont(HFONT Font) {
    font_ = Font;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void TProgressGauge::Apply(const TGaugeChange& Change) {
    const bool here = GetCurrentThreadId() == thread_;
    // A repaint follows a change of the shown percentage (or of the look).
    if (Change.Repaint != TRepaint::None && accessible_) accessible_->NotifyValueChanged();
    if (Change.Repaint != TRepaint::None) {
        if (!here) {
            PostMessageW(hwnd_, WM_GAUGE_REPAINT, 0, 0);
        } else {
            InvalidateRect(hwnd_, nullptr, FALSE);
            if (Change.Repaint == TRepaint::AtOnce) UpdateWindow(hwnd_);
        }
    }
    if (!Change.CallOnChange) return;
    if (here) {
        if (OnChange) OnChange(this);
    } else {
        PostMessageW(hwnd_, WM_GAUGE_CHANGED, 0, 0);
    }
}

LRESULT CALLBACK TProgressGauge::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TProgressGauge*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        switch (message) {
            case WM_ERASEBKGND:
                return 1;  // every pixel is painted in WM_PAINT
            case WM_PAINT: {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(hwnd, &ps);
                self->Paint(dc);
                EndPaint(hwnd, &ps);
                return 0;
            }
            case WM_PRINTCLIENT:
                self->Paint(reinterpret_cast<HDC>(wparam));
                return 0;
            case WM_GAUGE_REPAINT:
                InvalidateRect(hwnd, nullptr, FALSE);
                UpdateWindow(hwnd);
                return 0;
            case WM_GAUGE_CHANGED:
                if (self->OnChange) self->OnChange(self);
                return 0;
            case WM_GETOBJECT: {
                bool handled = false;
                const LRESULT answer = self->accessible_ ? self->accessible_->Answer(wparam, lparam, handled) : 0;
                if (handled) return answer;
                break;
            }
        }
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void TProgressGauge::Paint(HDC Target) {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return;
    ++paints_;
    const TGaugeValues v = model_.Snapshot();
    const TGaugeGeometry g = GaugeGeometry(v, width, height);
    const COLORREF fore = ToColorRef(v.ForeColor), back = ToColorRef(v.BackColor), color = ToColorRef(v.Color);

    // The shape and the text are drawn on black overlays and combined with
    // the black image by exclusive-or (SRCINVERT); outside the paint
    // rectangle the image stays black.
    TOffscreen image(Target, width, height);
    image.Fill(RGB(0, 0, 0));
    TOffscreen overlay(Target, width, height);
    overlay.Fill(RGB(0, 0, 0));
    HDC dc = overlay.Dc();
    HPEN pen = CreatePen(PS_SOLID, 1, fore);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    switch (v.Kind) {
        case gkText:
        case gkHorizontalBar:
        case gkVerticalBar:
            FillBox(dc, g.Paint, back);
            FillBox(dc, g.Fill, fore);
            break;
        case gkPie: {
            FillBox(dc, g.Paint, color);
            HBRUSH backBrush = CreateSolidBrush(back);
            HGDIOBJ oldBrush = SelectObject(dc, backBrush);
            Ellipse(dc, g.PieBox.Left, g.PieBox.Top, g.PieBox.Right, g.PieBox.Bottom);
            if (g.HasSlice) {
                HBRUSH foreBrush = CreateSolidBrush(fore);
                SelectObject(dc, foreBrush);
                Pie(dc, g.PieBox.Left, g.PieBox.Top, g.PieBox.Right, g.PieBox.Bottom, g.PieFrom.X, g.PieFrom.Y,
                    g.PieTo.X, g.PieTo.Y);
                SelectObject(dc, backBrush);
                DeleteObject(foreBrush);
            }
            SelectObject(dc, oldBrush);
            DeleteObject(backBrush);
            break;
        }
        case gkNeedle: {
            FillBox(dc, g.Paint, color);
            HBRUSH backBrush = CreateSolidBrush(back);
            HGDIOBJ oldBrush = SelectObject(dc, backBrush);
            Pie(dc, g.PieBox.Left, g.PieBox.Top, g.PieBox.Right, g.PieBox.Bottom, g.PieFrom.X, g.PieFrom.Y,
                g.PieTo.X, g.PieTo.Y);
            MoveToEx(dc, g.BaseFrom.X, g.BaseFrom.Y, nullptr);
            LineTo(dc, g.BaseTo.X, g.BaseTo.Y);
            if (g.HasSlice) {
                MoveToEx(dc, g.NeedleFrom.X, g.NeedleFrom.Y, nullptr);
                LineTo(dc, g.NeedleTo.X, g.NeedleTo.Y);
            }
            SelectObject(dc, oldBrush);
            DeleteObject(backBrush);
            break;
        }
    }
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    BitBlt(image.Dc(), 0, 0, width, height, dc, 0, 0, SRCINVERT);

    if (v.ShowText) {
        std::u16string text = GaugeText(v);
        if (OnPaintText) OnPaintText(this, text);
        overlay.Fill(RGB(0, 0, 0));
        HGDIOBJ oldFont = font_ ? SelectObject(dc, font_) : nullptr;
        const auto* wide = reinterpret_cast<const wchar_t*>(text.c_str());
        SIZE extent{};
        GetTextExtentPoint32W(dc, wide, int(text.size()), &extent);
        const TPoint at = GaugeTextOrigin(g, extent.cx, extent.cy);
        const RECT clip{g.Paint.Left, g.Paint.Top, g.Paint.Right, g.Paint.Bottom};
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        ExtTextOutW(dc, at.X, at.Y, ETO_CLIPPED, &clip, wide, UINT(text.size()), nullptr);
        if (oldFont) SelectObject(dc, oldFont);
        BitBlt(image.Dc(), 0, 0, width, height, dc, 0, 0, SRCINVERT);
    }
    image.CopyTo(Target, 0, 0);
}

}  // namespace controls::win32
