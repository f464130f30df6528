// The image button's rules, free of any window toolkit: the mouse state
// machine, the choice of image, the positions of image and caption, the face
// and border painting, and the faded disabled image. The Qt and the Win32
// image button are painters over these rules. Used on the window's thread
// only.
#pragma once

#include "controls/Colors.h"

#include <cstdint>

namespace controls {

enum TImageButtonStyle { pbsDefault, pbsFlat, pbsNoFrame };
enum TImageButtonLayout { pbsImageAbove, pbsImageBellow, pbsImageLeft, pbsImageRight };
enum TImageButtonState { pbsNormal, pbsDown, pbsDisabled };

// Face and border painting while hovered and while pressed.
struct TButtonFaces {
    bool IsDrawFaceOnMouseOver = true;
    bool IsDrawBorderOnMouseOver = true;
    bool IsDrawBorderOnPush = true;
    bool IsDrawFaceOnPush = false;
    TColor DrawFaceOnMouseOver = 16761035;
    TColor DrawBorderOnMouseOver = clBlue;
    TColor DrawBorderOnPush = clYellow;
    TColor DrawFaceOnPush = 14822282;
};

// What a mouse notice asks of the painter, in this order: the enter or exit
// event, a repaint, the click.
struct TButtonReaction {
    bool MouseEnter = false;
    bool MouseExit = false;
    bool Repaint = false;
    bool Click = false;
};

// The button's state and its answers to the pointer and the mouse buttons.
class TButtonModel {
public:
    TImageButtonState State() const { return state_; }
    // Stores the state (the ButtonState property); the caller repaints.
    void SetState(TImageButtonState Value) { state_ = Value; }
    bool MouseOver() const { return mouseOver_; }
    bool Enabled() const { return enabled_; }
    // Pressed: held down while the pointer is over the button.
    bool Pressed() const { return state_ == pbsDown && mouseOver_; }

    // Enabling or disabling; the caller rebuilds the disabled image first
    // when the button is now disabled.
    TButtonReaction SetEnabled(bool Value);
    // The platform noticed the pointer entering or leaving the button. A
    // notice that repeats the last one is ignored.
    TButtonReaction PointerInside(bool Inside);
    // The pointer moved; Inside tells whether it lies in the client area.
    // While a mouse button is held (Held) the platform may hold back its
    // enter and leave notices, so the move stands in for them: a press
    // dragged off shows the normal image.
    TButtonReaction PointerMoved(bool Inside, bool Held);
    // A mouse button went down. The second press of a double click presses
    // the button but starts no click of its own.
    TButtonReaction ButtonDown(bool Left, bool DoubleClick = false);
    // A mouse button went up with the pointer inside the button or not.
    TButtonReaction ButtonUp(bool Left, bool Inside);
    // Space or Enter pressed while the button has the keyboard focus (or the
    // window presses it for a key of its own): a click, unless the button is
    // disabled, where keys do nothing as clicks do.
    TButtonReaction KeyPressed() const;

private:
    TButtonReaction Entered();
    TButtonReaction Left();

    TImageButtonState state_ = pbsNormal;
    bool enabled_ = true;
    bool mouseOver_ = false;
    bool pointerInside_ = false;  // as last noticed
    bool clicking_ = false;       // the left button went down on the button
};

// Which image the button paints, first match wins.
enum class TButtonImage { Normal, Down, Over, Disabled };
struct TButtonImagesPresent {
    bool Down = false, Over = false, Disabled = false;
};
TButtonImage ChooseImage(const TButtonModel& Model, TButtonImagesPresent Present);

// The image's and the caption's top-left corners. The caption is written
// 5 pixels above CaptionY.
struct TButtonPositions {
    int ImageX = 0, ImageY = 0, CaptionX = 0, CaptionY = 0;
};
// ImageW x ImageH is the chosen image, CaptionW x CaptionH the caption's
// extent (0 x 0 without a caption shown).
TButtonPositions ButtonPositions(TImageButtonLayout Layout, int Width, int Height, int ImageW, int ImageH,
                                 int CaptionW, int CaptionH, bool WithCaption);

// The face and border painted under the image.
struct TButtonFacePaint {
    bool Frame = false;  // a one-pixel frame around the client area, which then shrinks by 1
    TColor FrameColor = clBlack;
    bool Face = false;   // fill what remains
    TColor FaceColor = clBlack;
};
TButtonFacePaint ButtonFace(const TButtonFaces& Faces, TImageButtonStyle Style, const TButtonModel& Model);

// Fades a row of 32-bit pixels (alpha in the top byte, not premultiplied) to
// a third of their opacity: every alpha a becomes a div 3.
void FadeToOneThird(std::uint32_t* Pixels, int Count);

}  // namespace controls
