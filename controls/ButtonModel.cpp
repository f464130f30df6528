#include "controls/ButtonModel.h"

namespace controls {

TButtonReaction TButtonModel::SetEnabled(bool Value) {
    enabled_ = Value;
    state_ = Value ? pbsNormal : pbsDisabled;
    TButtonReaction r;
    r.Repaint = true;
    return r;
}

TButtonReaction TButtonModel::Entered() {
    TButtonReaction r;
    if (!enabled_) return r;
    r.MouseEnter = true;
    mouseOver_ = true;
    r.Repaint = true;
    return r;
}

TButtonReaction TButtonModel::Left() {
    TButtonReaction r;
    if (!enabled_) return r;  // mouse-over keeps its value
    r.MouseExit = true;
    mouseOver_ = false;
    r.Repaint = true;
    return r;
}

TButtonReaction TButtonModel::PointerInside(bool Inside) {
    if (Inside == pointerInside_) return {};
    pointerInside_ = Inside;
    return Inside ? Entered() : Left();
}

TButtonReaction TButtonModel::PointerMoved(bool Inside, bool Held) {
    TButtonReaction r;
    if (Held && Inside != pointerInside_) r = PointerInside(Inside);
    if (Inside && !mouseOver_ && state_ != pbsDown) {
        mouseOver_ = true;
        r.Repaint = true;
    }
    return r;
}

TButtonReaction TButtonModel::KeyPressed() const {
    TButtonReaction r;
    r.Click = enabled_;
    return r;
}

TButtonReaction TButtonModel::ButtonDown(bool Left, bool DoubleClick) {
    TButtonReaction r;
    if (Left && !DoubleClick) clicking_ = true;
    if (state_ == pbsNormal && Left) {
        state_ = pbsDown;
        r.Repaint = true;
    }
    return r;
}

TButtonReaction TButtonModel::ButtonUp(bool Left, bool Inside) {
    TButtonReaction r;
    if (Left && clicking_) {
        clicking_ = false;
        r.Click = Inside;
    }
    // Clicked, or released outside the button.
    if (state_ == pbsDown) {
        state_ = pbsNormal;
        r.Repaint = true;
    }
    return r;
}

TButtonImage ChooseImage(const TButtonModel& Model, TButtonImagesPresent Present) {
    if (Model.Pressed() && Present.Down) return TButtonImage::Down;
    if (Model.MouseOver() && Present.Over && Model.Enabled()) return TButtonImage::Over;
    if (Model.State() == pbsDisabled && Present.Disabled) return TButtonImage::Disabled;
    return TButtonImage::Normal;
}

TButtonPositions ButtonPositions(TImageButtonLayout Layout, int Width, int Height, int ImageW, int ImageH,
                                 int CaptionW, int CaptionH, bool WithCaption) {
    const int iw = ImageW;
    const int ih = ImageH + (WithCaption ? 4 : 0);
    const int tw = WithCaption ? CaptionW : 0, th = WithCaption ? CaptionH : 0;
    TButtonPositions p{(Width - iw) / 2, (Height - ih) / 2, (Width - tw) / 2, (Height - th) / 2};
    switch (Layout) {
        case pbsImageAbove: p.ImageY = (Height - ih - th) / 2; p.CaptionY = p.ImageY + ih; break;
        case pbsImageBellow: p.CaptionY = (Height - ih - th) / 2; p.ImageY = p.CaptionY + th; break;
        case pbsImageLeft: p.ImageX = (Width - iw - tw) / 2; p.CaptionX = p.ImageX + iw + 5; break;
        case pbsImageRight: p.CaptionX = (Width - iw - tw) / 2; p.ImageX = p.CaptionX + tw + 5; break;
    }
    return p;
}

TButtonFacePaint ButtonFace(const TButtonFaces& Faces, TImageButtonStyle Style, const TButtonModel& Model) {
    TButtonFacePaint f;
    if (Style == pbsDefault || Model.State() == pbsDisabled) return f;
    if (Model.Pressed()) {
        f = {Faces.IsDrawBorderOnPush, Faces.DrawBorderOnPush, Faces.IsDrawFaceOnPush, Faces.DrawFaceOnPush};
    } else if (Model.MouseOver() || Model.State() == pbsDown) {
        f = {Faces.IsDrawBorderOnMouseOver, Faces.DrawBorderOnMouseOver, Faces.IsDrawFaceOnMouseOver,
             Faces.DrawFaceOnMouseOver};
    }
    return f;
}

void FadeToOneThird(std::uint32_t* Pixels, int Count) {
    for (int i = 0; i < Count; ++i) {
        Pixels[i] = (Pixels[i] & 0x00FFFFFFu) | (((Pixels[i] >> 24) / 3) << 24);
    }
}

}  // namespace controls
