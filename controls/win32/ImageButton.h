// TImageButton for Win32: a child window that paints the button whose rules
// live in controls/ButtonModel.h with GDI, double-buffered. It captures the
// mouse while a button is held and tracks the pointer's leaving with
// TrackMouseEvent. A button made a tab stop takes the keyboard focus from
// the dialog keys of the window's message loop (Tab, Shift+Tab; never from a
// mouse click), shows a dotted focus cue, and is pressed by Space and Enter.
// The accessibility layer reads it as a push button named by its caption, or
// by its hint when it shows no caption. Used on the window's thread only.
#pragma once

#include "controls/ButtonModel.h"
#include "controls/win32/Accessible.h"
#include "controls/win32/Gdi.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace controls::win32 {

class TImageButton : public TButtonFaces {
public:
    using TNotifyEvent = std::function<void(TImageButton* Sender)>;

    // A button of 23 x 23 at (0, 0) on Parent. Background is the colour of
    // the parent's surface beneath it, which shows through transparent pixels.
    TImageButton(HWND Parent, TColor Background);
    ~TImageButton();
    TImageButton(const TImageButton&) = delete;
    TImageButton& operator=(const TImageButton&) = delete;

    HWND Handle() const { return hwnd_; }
    void SetBounds(int Left, int Top, int Width, int Height);
    void SetFont(HFONT Font);  // not owned

    // Setting an image copies it and repaints; setting the normal image also
    // rebuilds the disabled image.
    const TImage& ImageNormal() const { return imageNormal_; }
    void SetImageNormal(const TImage& Value);
    const TImage& ImageDown() const { return imageDown_; }
    void SetImageDown(const TImage& Value);
    const TImage& ImageOver() const { return imageOver_; }
    void SetImageOver(const TImage& Value);
    // The image objects themselves: assigning into them changes the picture
    // without a repaint and, for the normal image, without rebuilding the
    // disabled image (that happens when the button is next disabled).
    TImage& ImageNormalObject() { return imageNormal_; }
    TImage& ImageDownObject() { return imageDown_; }
    TImage& ImageOverObject() { return imageOver_; }
    const TImage& ImageDisabled() const { return imageDisabled_; }

    TImageButtonStyle ButtonStyle() const { return style_; }
    void SetButtonStyle(TImageButtonStyle Value);
    TImageButtonLayout ButtonLayout() const { return layout_; }
    void SetButtonLayout(TImageButtonLayout Value);
    TImageButtonState ButtonState() const { return model_.State(); }
    void SetButtonState(TImageButtonState Value);
    const std::u16string& Caption() const { return caption_; }
    void SetCaption(const std::u16string& Value);
    bool IsShowCaption() const { return showCaption_; }
    void SetIsShowCaption(bool Value);
    bool IsMouseOver() const { return model_.MouseOver(); }
    // Enables or disables the button's window (the enabled-changed notice).
    void SetEnabled(bool Value);
    bool Enabled() const { return model_.Enabled(); }

    // Makes the button a stop of the Tab key (WS_TABSTOP).
    void SetTabStop(bool Value);
    // The button pressed from the keyboard: a click unless it is disabled.
    void KeyPress();

    // The hint shown while the pointer rests on the button, when ShowHint is set.
    void SetHint(const std::u16string& Value);
    void SetShowHint(bool Value);

    TNotifyEvent OnClick;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void React(const TButtonReaction& Reaction);
    void Repaint();
    void Paint(HDC Target);
    void BuildDisabledImage();
    void UpdateToolTip();
    void UpdateName();
    bool Inside(LPARAM lparam) const;

    HWND hwnd_ = nullptr;
    HWND tooltip_ = nullptr;
    HFONT font_ = nullptr;
    TColor background_;
    TButtonModel model_;
    TImageButtonStyle style_ = pbsDefault;
    TImageButtonLayout layout_ = pbsImageAbove;
    bool showCaption_ = true;
    std::u16string caption_;
    std::u16string hint_;
    bool showHint_ = false;
    TImage imageDown_, imageNormal_, imageDisabled_, imageOver_;
    std::unique_ptr<TAccessibleWindow> accessible_;
};

}  // namespace controls::win32
