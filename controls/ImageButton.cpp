#include "controls/ImageButton.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

namespace controls {

TImageButton::TImageButton(QWidget* parent) : QWidget(parent) {
    resize(23, 23);
    setMouseTracking(true);
}

TImageButton::~TImageButton() = default;

void TImageButton::SetImageNormal(const QImage& Value) {
    fImageNormal = Value;
    BuildDisabledImage();
    repaint();
}

void TImageButton::SetImageDown(const QImage& Value) {
    FImageDown = Value;
    repaint();
}

void TImageButton::SetImageOver(const QImage& Value) {
    fImageOver = Value;
    repaint();
}

void TImageButton::SetButtonStyle(TImageButtonStyle Value) { fButtonStyle = Value; repaint(); }
void TImageButton::SetButtonLayout(TImageButtonLayout Value) { FButtonLayout = Value; repaint(); }
void TImageButton::SetButtonState(TImageButtonState Value) { FButtonState = Value; repaint(); }
void TImageButton::SetCaption(const std::u16string& Value) { FCaption = Value; repaint(); }

void TImageButton::SetIsShowCaption(bool Value) {
    if (FIsShowCaption == Value) return;
    FIsShowCaption = Value;
    repaint();
}

void TImageButton::SetHint(const std::u16string& Value) { FHint = Value; UpdateToolTip(); }
void TImageButton::SetShowHint(bool Value) { FShowHint = Value; UpdateToolTip(); }

void TImageButton::UpdateToolTip() {
    setToolTip(FShowHint ? QString::fromStdU16String(FHint) : QString());
}

// The normal image at one third of its opacity. Palette images keep their
// colours unchanged, as their alpha cannot be scaled per pixel.
void TImageButton::BuildDisabledImage() {
    if (fImageNormal.isNull() || fImageNormal.format() == QImage::Format_Indexed8 ||
        fImageNormal.format() == QImage::Format_Mono || fImageNormal.format() == QImage::Format_MonoLSB) {
        fImageDisabled = fImageNormal;
        return;
    }
    fImageDisabled = fImageNormal.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < fImageDisabled.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(fImageDisabled.scanLine(y));
        for (int x = 0; x < fImageDisabled.width(); ++x) {
            row[x] = (row[x] & 0x00FFFFFF) | (QRgb(qAlpha(row[x]) / 3) << 24);
        }
    }
}

void TImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) BuildDisabledImage();
        SetButtonState(isEnabled() ? pbsNormal : pbsDisabled);
    }
    QWidget::changeEvent(event);
}

void TImageButton::PointerEntered() {
    if (!isEnabled()) return;
    if (OnMouseEnter) OnMouseEnter(this);
    fMouseOverControl = true;
    repaint();
}

void TImageButton::PointerLeft() {
    if (!isEnabled()) return;
    if (OnMouseExit) OnMouseExit(this);
    fMouseOverControl = false;
    repaint();
}

void TImageButton::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (FPointerInside) return;
    FPointerInside = true;
    PointerEntered();
}

void TImageButton::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (!FPointerInside) return;
    FPointerInside = false;
    PointerLeft();
}

void TImageButton::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    // While a button is held the toolkit holds back enter and leave notices;
    // the button still notices the pointer leaving and coming back, so that a
    // press dragged off shows the normal image.
    if (event->buttons() != Qt::NoButton && rect().contains(pos) != FPointerInside) {
        FPointerInside = !FPointerInside;
        if (FPointerInside) PointerEntered(); else PointerLeft();
    }
    if (rect().contains(pos) && !fMouseOverControl && FButtonState != pbsDown) {
        fMouseOverControl = true;
        repaint();
    }
    if (OnMouseMove) OnMouseMove(this, event->modifiers(), pos.x(), pos.y());
}

void TImageButton::Pressed(QMouseEvent* event) {
    if (FButtonState == pbsNormal && event->button() == Qt::LeftButton) SetButtonState(pbsDown);
    const QPoint pos = event->position().toPoint();
    if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
}

void TImageButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) FClicked = true;
    Pressed(event);
}

void TImageButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is no click of its own.
    if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick(this);
    Pressed(event);
}

void TImageButton::Click() {
    if (FButtonState == pbsDown) SetButtonState(pbsNormal);
    if (OnClick) OnClick(this);
}

void TImageButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && FClicked) {
        FClicked = false;
        if (rect().contains(pos)) Click();
    }
    // Released outside the button.
    if (FButtonState == pbsDown) SetButtonState(pbsNormal);
    if (OnMouseUp) OnMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y());
}

void TImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    QRect r = rect();
    const bool pressed = FButtonState == pbsDown && fMouseOverControl;

    const QImage* image = &fImageNormal;
    if (pressed && !FImageDown.isNull()) image = &FImageDown;
    else if (fMouseOverControl && !fImageOver.isNull() && isEnabled()) image = &fImageOver;
    else if (FButtonState == pbsDisabled && !fImageDisabled.isNull()) image = &fImageDisabled;

    const QString caption = QString::fromStdU16String(FCaption);
    const bool withCaption = FIsShowCaption && !caption.isEmpty();
    const int iw = image->width();
    int ih = image->height();
    int tw = 0, th = 0;
    if (withCaption) {
        const QFontMetrics metrics(font());
        tw = metrics.horizontalAdvance(caption);
        th = metrics.height();
        ih += 4;
    }
    const int w = width(), h = height();
    int imageX = (w - iw) / 2, captionX = (w - tw) / 2;
    int captionY = (h - th) / 2, imageY = (h - ih) / 2;
    switch (FButtonLayout) {
        case pbsImageAbove: imageY = (h - ih - th) / 2; captionY = imageY + ih; break;
        case pbsImageBellow: captionY = (h - ih - th) / 2; imageY = captionY + th; break;
        case pbsImageLeft: imageX = (w - iw - tw) / 2; captionX = imageX + iw + 5; break;
        case pbsImageRight: captionX = (w - iw - tw) / 2; imageX = captionX + tw + 5; break;
    }

    auto frame = [&](TColor color) {
        painter.setPen(QPen(ColorToQColor(color, palette()), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    };
    if ((fButtonStyle == pbsFlat || fButtonStyle == pbsNoFrame) && FButtonState != pbsDisabled) {
        if (pressed) {
            if (IsDrawBorderOnPush) frame(DrawBorderOnPush);
            if (IsDrawFaceOnPush) painter.fillRect(r, ColorToQColor(DrawFaceOnPush, palette()));
        } else if (fMouseOverControl || FButtonState == pbsDown) {
            if (IsDrawBorderOnMouseOver) frame(DrawBorderOnMouseOver);
            if (IsDrawFaceOnMouseOver) painter.fillRect(r, ColorToQColor(DrawFaceOnMouseOver, palette()));
        }
    }
    if (fButtonStyle == pbsDefault) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = r;
        option.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);
    }

    if (!image->isNull()) painter.drawImage(imageX, imageY, *image);

    if (withCaption) {
        QColor color = palette().color(QPalette::WindowText);
        if (FButtonState == pbsDisabled) color = ColorToQColor(clGrayText, palette());
        else if (pressed) color = ColorToQColor(clHighlightText, palette());
        painter.setPen(color);
        painter.setClipRect(r);
        painter.drawText(captionX, captionY - 5 + QFontMetrics(font()).ascent(), caption);
    }
}

}  // namespace controls
