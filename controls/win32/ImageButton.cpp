#include "controls/win32/ImageButton.h"

#include "controls/win32/Gdi.h"

#include <commctrl.h>
#include <oleacc.h>
#include <windowsx.h>

namespace controls::win32 {
namespace {

constexpr wchar_t kClassName[] = L"ZelvanoImageButton";

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

}  // namespace

TImageButton::TImageButton(HWND Parent, TColor Background) : background_(Background) {
    RegisterControlClass(kClassName, &WindowProc);
    hwnd_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 23, 23, Parent, nullptr,
                            GetModuleHandleW(nullptr), this);
    accessible_ = std::make_unique<TAccessibleWindow>(
        hwnd_, TAccessibleTraits{ROLE_SYSTEM_PUSHBUTTON, true, {}, nullptr, [this] { KeyPress(); }});
}

TImageButton::~TImageButton() {
    accessible_.reset();
    if (tooltip_) DestroyWindow(tooltip_);
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void TImageButton::SetBounds(int Left, int Top, int Width, int Height) {
    MoveWindow(hwnd_, Left, Top, Width, Height, TRUE);
}

void TImageButton::SetFont(HFONT Font) { font_ = Font; Repaint(); }

void TImageButton::SetImageNormal(const TImage& Value) {
    imageNormal_ = Value;
    BuildDisabledImage();
    Repaint();
}
void TImageButton::SetImageDown(const TImage& Value) { imageDown_ = Value; Repaint(); }
void TImageButton::SetImageOver(const TImage& Value) { imageOver_ = Value; Repaint(); }
void TImageButton::SetButtonStyle(TImageButtonStyle Value) { style_ = Value; Repaint(); }
void TImageButton::SetButtonLayout(TImageButtonLayout Value) { layout_ = Value; Repaint(); }
void TImageButton::SetButtonState(TImageButtonState Value) { model_.SetState(Value); Repaint(); }
void TImageButton::SetCaption(const std::u16string& Value) {
    caption_ = Value;
    UpdateName();
    Repaint();
}

void TImageButton::SetIsShowCaption(bool Value) {
    if (showCaption_ == Value) return;
    showCaption_ = Value;
    Repaint();
}

void TImageButton::SetEnabled(bool Value) {
    // EnableWindow sends WM_ENABLE, which applies the rule.
    EnableWindow(hwnd_, Value ? TRUE : FALSE);
}

void TImageButton::SetTabStop(bool Value) {
    LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
    style = Value ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP);
    SetWindowLongW(hwnd_, GWL_STYLE, style);
}

void TImageButton::KeyPress() { React(model_.KeyPressed()); }

void TImageButton::SetHint(const std::u16string& Value) {
    hint_ = Value;
    UpdateToolTip();
    UpdateName();
}

// The window's text is the name the accessibility layer reads.
void TImageButton::UpdateName() {
    SetWindowTextW(hwnd_, Wide(caption_.empty() ? hint_ : caption_));
}
void TImageButton::SetShowHint(bool Value) { showHint_ = Value; UpdateToolTip(); }

void TImageButton::UpdateToolTip() {
    if (!tooltip_) {
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    tool.lpszText = const_cast<wchar_t*>(Wide(hint_));
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_ACTIVATE, showHint_ && !hint_.empty(), 0);
}

// The normal image at one third of its opacity.
void TImageButton::BuildDisabledImage() {
    imageDisabled_ = imageNormal_;
    for (int y = 0; y < imageDisabled_.Height(); ++y) FadeToOneThird(imageDisabled_.Row(y), imageDisabled_.Width());
}

void TImageButton::Repaint() {
    InvalidateRect(hwnd_, nullptr, FALSE);
    UpdateWindow(hwnd_);
}

void TImageButton::React(const TButtonReaction& Reaction) {
    if (Reaction.MouseEnter && OnMouseEnter) OnMouseEnter(this);
    if (Reaction.MouseExit && OnMouseExit) OnMouseExit(this);
    if (Reaction.Repaint) Repaint();
    if (Reaction.Click && OnClick) OnClick(this);
}

bool TImageButton::Inside(LPARAM lparam) const {
    RECT client;
    GetClientRect(hwnd_, &client);
    const POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    return PtInRect(&client, at) != FALSE;
}

LRESULT CALLBACK TImageButton::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TImageButton*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && self->hwnd_ == hwnd) return self->Handle(message, wparam, lparam);
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT TImageButton::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            Paint(dc);
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(reinterpret_cast<HDC>(wparam));
            return 0;
        case WM_GETDLGCODE: {
            // Enter comes to the button itself, as Space does; Tab and
            // Escape stay with the window's dialog keys.
            const auto* key = reinterpret_cast<const MSG*>(lparam);
            if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) return DLGC_WANTMESSAGE;
            return DLGC_BUTTON;
        }
        case WM_KEYDOWN:
            // A held key repeats its WM_KEYDOWN (bit 30 set): one press only.
            if ((wparam == VK_SPACE || wparam == VK_RETURN) && !(lparam & (1 << 30))) {
                KeyPress();
                return 0;
            }
            break;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            Repaint();
            return 0;
        case WM_GETOBJECT: {
            bool handled = false;
            const LRESULT answer = accessible_ ? accessible_->Answer(wparam, lparam, handled) : 0;
            if (handled) return answer;
            break;
        }
        case TAccessibleWindow::kDefaultActionMessage:
            if (accessible_) accessible_->RunDefaultAction();
            return 0;
        case WM_ENABLE:
            if (!wparam) BuildDisabledImage();
            React(model_.SetEnabled(wparam != 0));
            return 0;
        case WM_MOUSEMOVE: {
            const bool inside = Inside(lparam);
            const bool captured = GetCapture() == hwnd_;
            if (!captured) {
                // A move without capture is the pointer over the button: the
                // enter notice, and a leave notice asked for anew (the system
                // drops the request when it fires or the window is disabled).
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd_, 0};
                TrackMouseEvent(&track);
                React(model_.PointerInside(inside));
            }
            React(model_.PointerMoved(inside, captured));
            return 0;
        }
        case WM_MOUSELEAVE:
            // While captured, the moves stand in for enter and leave.
            if (GetCapture() != hwnd_) React(model_.PointerInside(false));
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            SetCapture(hwnd_);
            React(model_.ButtonDown(message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK,
                                    message == WM_LBUTTONDBLCLK));
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            const bool inside = Inside(lparam);
            if (GetCapture() == hwnd_ && !(wparam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) ReleaseCapture();
            // Released outside: the pointer has left as far as the model knows.
            if (!inside) React(model_.PointerInside(false));
            React(model_.ButtonUp(message == WM_LBUTTONUP, inside));
            return 0;
        }
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

void TImageButton::Paint(HDC Target) {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return;
    TOffscreen buffer(Target, width, height);
    buffer.Fill(ToColorRef(background_));
    HDC dc = buffer.Dc();
    HGDIOBJ oldFont = font_ ? SelectObject(dc, font_) : nullptr;
    RECT r = client;

    const TImage* image = &imageNormal_;
    switch (ChooseImage(model_, {!imageDown_.Empty(), !imageOver_.Empty(), !imageDisabled_.Empty()})) {
        case TButtonImage::Down: image = &imageDown_; break;
        case TButtonImage::Over: image = &imageOver_; break;
        case TButtonImage::Disabled: image = &imageDisabled_; break;
        case TButtonImage::Normal: break;
    }
    const bool withCaption = showCaption_ && !caption_.empty();
    SIZE extent{};
    if (withCaption) GetTextExtentPoint32W(dc, Wide(caption_), int(caption_.size()), &extent);
    const TButtonPositions at = ButtonPositions(layout_, width, height, image->Width(), image->Height(), extent.cx,
                                                extent.cy, withCaption);

    const TButtonFacePaint face = ButtonFace(*this, style_, model_);
    if (face.Frame) {
        HBRUSH frame = CreateSolidBrush(ToColorRef(face.FrameColor));
        FrameRect(dc, &r, frame);
        DeleteObject(frame);
        InflateRect(&r, -1, -1);
    }
    if (face.Face) {
        HBRUSH fill = CreateSolidBrush(ToColorRef(face.FaceColor));
        FillRect(dc, &r, fill);
        DeleteObject(fill);
    }
    if (style_ == pbsDefault) {
        DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (model_.Pressed() ? DFCS_PUSHED : 0));
    }
    image->Draw(dc, at.ImageX, at.ImageY);
    if (withCaption) {
        COLORREF color = GetSysColor(COLOR_BTNTEXT);
        if (model_.State() == pbsDisabled) color = GetSysColor(COLOR_GRAYTEXT);
        else if (model_.Pressed()) color = GetSysColor(COLOR_HIGHLIGHTTEXT);
        SetTextColor(dc, color);
        SetBkMode(dc, TRANSPARENT);
        ExtTextOutW(dc, at.CaptionX, at.CaptionY - 5, ETO_CLIPPED, &r, Wide(caption_), UINT(caption_.size()), nullptr);
    }
    if (oldFont) SelectObject(dc, oldFont);
    if (GetFocus() == hwnd_) {
        // The system's dotted focus cue, inverted over the face.
        RECT cue = client;
        InflateRect(&cue, -3, -3);
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, RGB(255, 255, 255));
        DrawFocusRect(dc, &cue);
    }
    buffer.CopyTo(Target, 0, 0);
}

}  // namespace controls::win32
