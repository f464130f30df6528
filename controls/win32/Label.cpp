#include "controls/win32/Label.h"

#include "controls/win32/Gdi.h"

#include <oleacc.h>

namespace controls::win32 {
namespace {

constexpr wchar_t kClassName[] = L"ZelvanoLabel";

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

}  // namespace

TLabel::TLabel(HWND Parent, TColor Background, const std::u16string& Description) : background_(Background) {
    RegisterControlClass(kClassName, &WindowProc);
    hwnd_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, Parent, nullptr,
                            GetModuleHandleW(nullptr), this);
    accessible_ = std::make_unique<TAccessibleWindow>(hwnd_, TAccessibleTraits{ROLE_SYSTEM_STATICTEXT, false, Description, nullptr, nullptr});
}

TLabel::~TLabel() {
    accessible_.reset();
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void TLabel::SetPosition(int Left, int Top) {
    left_ = Left;
    top_ = Top;
    Resize();
}

void TLabel::SetFont(HFONT Font) {
    font_ = Font;
    Resize();
}

void TLabel::SetColor(TColor Color) {
    color_ = Color;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void TLabel::SetText(const std::u16string& Text) {
    text_ = Text;
    SetWindowTextW(hwnd_, Wide(text_));  // also tells the accessibility layer
    Resize();
}

void TLabel::Resize() {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = font_ ? SelectObject(dc, font_) : nullptr;
    SIZE extent{};
    GetTextExtentPoint32W(dc, Wide(text_), int(text_.size()), &extent);
    if (extent.cy == 0) {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        extent.cy = metrics.tmHeight;
    }
    if (old) SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    // The parent repaints what the old extent covered; the label all of itself.
    SetWindowPos(hwnd_, nullptr, left_, top_, extent.cx, extent.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, FALSE);
}

LRESULT CALLBACK TLabel::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TLabel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        switch (message) {
            case WM_ERASEBKGND:
                return 1;
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
            case WM_NCHITTEST:
                return HTTRANSPARENT;  // the mouse goes to what lies beneath
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

void TLabel::Paint(HDC Target) {
    RECT client;
    GetClientRect(hwnd_, &client);
    if (client.right <= 0 || client.bottom <= 0) return;
    TOffscreen buffer(Target, client.right, client.bottom);
    buffer.Fill(ToColorRef(background_));
    HDC dc = buffer.Dc();
    HGDIOBJ old = font_ ? SelectObject(dc, font_) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(color_));
    TextOutW(dc, 0, 0, Wide(text_), int(text_.size()));
    if (old) SelectObject(dc, old);
    buffer.CopyTo(Target, 0, 0);
}

}  // namespace controls::win32
