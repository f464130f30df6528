#include "controls/qt/ImageButton.h"

#include "controls/qt/Accessible.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

namespace controls {

TImageButton::TImageButton(QWidget* parent) : QWidget(parent) {
    InstallAccessibleFactory();
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
void TImageButton::SetButtonState(TImageButtonState Value) { model_.SetState(Value); repaint(); }
void TImageButton::SetCaption(const std::u16string& Value) {
    FCaption = Value;
    UpdateAccessibleName();
    repaint();
}

void TImageButton::SetIsShowCaption(bool Value) {
    if (FIsShowCaption == Value) return;
    FIsShowCaption = Value;
    repaint();
}

void TImageButton::SetHint(const std::u16string& Value) {
    FHint = Value;
    UpdateToolTip();
    UpdateAccessibleName();
}

void TImageButton::UpdateAccessibleName() {
    setAccessibleName(QString::fromStdU16String(FCaption.empty() ? FHint : FCaption));
}

void TImageButton::KeyPress() { React(model_.KeyPressed()); }

void TImageButton::keyPressEvent(QKeyEvent* event) {
    const bool press = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!press || event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);  // passed on to the window (Escape, Tab)
        return;
    }
    if (!event->isAutoRepeat()) KeyPress();
}

void TImageButton::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TImageButton::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}
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
        FadeToOneThird(reinterpret_cast<std::uint32_t*>(fImageDisabled.scanLine(y)), fImageDisabled.width());
    }
}

void TImageButton::React(const TButtonReaction& Reaction) {
    if (Reaction.MouseEnter && OnMouseEnter) OnMouseEnter(this);
    if (Reaction.MouseExit && OnMouseExit) OnMouseExit(this);
    if (Reaction.Repaint) repaint();
    if (Reaction.Click && OnClick) OnClick(this);
}

void TImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) BuildDisabledImage();
        React(model_.SetEnabled(isEnabled()));
    }
    QWidget::changeEvent(event);
}

void TImageButton::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    React(model_.PointerInside(true));
}

void TImageButton::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    React(model_.PointerInside(false));
}

void TImageButton::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    React(model_.PointerMoved(rect().contains(pos), event->buttons() != Qt::NoButton));
    if (OnMouseMove) OnMouseMove(this, event->modifiers(), pos.x(), pos.y());
}

void TImageButton::Pressed(QMouseEvent* event, bool DoubleClick) {
    React(model_.ButtonDown(event->button() == Qt::LeftButton, DoubleClick));
    const QPoint pos = event->position().toPoint();
    if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
}

void TImageButton::mousePressEvent(QMouseEvent* event) { Pressed(event, false); }

void TImageButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick(this);
    Pressed(event, true);
}

void TImageButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    React(model_.ButtonUp(event->button() == Qt::LeftButton, rect().contains(pos)));
    if (OnMouseUp) OnMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y());
}

void TImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    QRect r = rect();

    const QImage* image = &fImageNormal;
    switch (ChooseImage(model_, {!FImageDown.isNull(), !fImageOver.isNull(), !fImageDisabled.isNull()})) {
        case TButtonImage::Down: image = &FImageDown; break;
        case TButtonImage::Over: image = &fImageOver; break;
        case TButtonImage::Disabled: image = &fImageDisabled; break;
        case TButtonImage::Normal: break;
    }

    const QString caption = QString::fromStdU16String(FCaption);
    const bool withCaption = FIsShowCaption && !caption.isEmpty();
    const QFontMetrics metrics(font());
    const TButtonPositions at =
        ButtonPositions(FButtonLayout, width(), height(), qRound(image->deviceIndependentSize().width()),
                        qRound(image->deviceIndependentSize().height()),
                        withCaption ? metrics.horizontalAdvance(caption) : 0, withCaption ? metrics.height() : 0,
                        withCaption);

    const TButtonFacePaint face = ButtonFace(*this, fButtonStyle, model_);
    if (face.Frame) {
        painter.setPen(QPen(ColorToQColor(face.FrameColor, palette()), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    if (face.Face) painter.fillRect(r, ColorToQColor(face.FaceColor, palette()));
    if (fButtonStyle == pbsDefault) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = r;
        option.state |= model_.Pressed() ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);
    }

    if (!image->isNull()) painter.drawImage(at.ImageX, at.ImageY, *image);

    if (withCaption) {
        QColor color = palette().color(QPalette::WindowText);
        if (model_.State() == pbsDisabled) color = ColorToQColor(clGrayText, palette());
        else if (model_.Pressed()) color = ColorToQColor(clHighlightText, palette());
        painter.setPen(color);
        painter.setClipRect(r);
        painter.drawText(at.CaptionX, at.CaptionY - 5 + metrics.ascent(), caption);
    }
    if (hasFocus()) {
        // A dotted focus cue, inverted over the face.
        painter.setClipping(false);
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}

}  // namespace controls
