// TImageButton for Qt: a button drawn from images with alpha: one for the
// normal state, one while the pointer is over it, one while it is pressed,
// and a faded copy of the normal image while it is disabled. It can also draw
// a flat face and border on hover and on push, and a caption beside the
// image. Its rules live in controls/ButtonModel.h; this is their Qt painter.
// A button given a focus policy takes the keyboard focus, shows a dotted
// focus cue and is pressed by Space and Enter. Assistive technology sees a
// push button named by its caption, or by its hint when it shows none
// (controls/qt/Accessible.h). Used on the window's thread only.
#pragma once

#include "controls/ButtonModel.h"
#include "controls/qt/QtColors.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <string>

namespace controls {

// The face and border flags and colours (TButtonFaces) are public fields.
class TImageButton : public QWidget, public TButtonFaces {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                           Qt::KeyboardModifiers Shift, int X, int Y)>;
    using TMouseMoveEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;

    explicit TImageButton(QWidget* parent = nullptr);
    ~TImageButton() override;

    // Setting an image copies it and repaints; setting the normal image also
    // rebuilds the disabled image.
    const QImage& ImageNormal() const { return fImageNormal; }
    void SetImageNormal(const QImage& Value);
    const QImage& ImageDown() const { return FImageDown; }
    void SetImageDown(const QImage& Value);
    const QImage& ImageOver() const { return fImageOver; }
    void SetImageOver(const QImage& Value);
    // The image objects themselves: assigning into them changes the picture
    // without a repaint and, for the normal image, without rebuilding the
    // disabled image (that happens when the button is next disabled).
    QImage& ImageNormalObject() { return fImageNormal; }
    QImage& ImageDownObject() { return FImageDown; }
    QImage& ImageOverObject() { return fImageOver; }
    const QImage& ImageDisabled() const { return fImageDisabled; }

    TImageButtonStyle ButtonStyle() const { return fButtonStyle; }
    void SetButtonStyle(TImageButtonStyle Value);
    TImageButtonLayout ButtonLayout() const { return FButtonLayout; }
    void SetButtonLayout(TImageButtonLayout Value);
    TImageButtonState ButtonState() const { return model_.State(); }
    void SetButtonState(TImageButtonState Value);
    const std::u16string& Caption() const { return FCaption; }
    void SetCaption(const std::u16string& Value);
    bool IsShowCaption() const { return FIsShowCaption; }
    void SetIsShowCaption(bool Value);
    bool IsMouseOver() const { return model_.MouseOver(); }
    // The button pressed from the keyboard: a click unless it is disabled.
    void KeyPress();

    // The hint shown while the pointer rests on the button, when ShowHint is set.
    const std::u16string& Hint() const { return FHint; }
    void SetHint(const std::u16string& Value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool Value);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void BuildDisabledImage();
    // Calls the events, repaints and clicks as the model asks.
    void React(const TButtonReaction& Reaction);
    void Pressed(QMouseEvent* event, bool DoubleClick);
    void UpdateToolTip();
    void UpdateAccessibleName();

    TButtonModel model_;
    TImageButtonStyle fButtonStyle = pbsDefault;
    TImageButtonLayout FButtonLayout = pbsImageAbove;
    bool FIsShowCaption = true;
    std::u16string FCaption;
    std::u16string FHint;
    bool FShowHint = false;
    QImage FImageDown;
    QImage fImageNormal;
    QImage fImageDisabled;
    QImage fImageOver;
};

}  // namespace controls
