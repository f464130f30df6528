#include "controls/qt/QtColors.h"

namespace controls {

QColor ColorToQColor(TColor color, const QPalette& palette) {
    if ((color & clSystemColor) == 0) {
        return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    }
    switch (color) {
        case clWindow: return palette.color(QPalette::Active, QPalette::Base);
        case clWindowText: return palette.color(QPalette::Active, QPalette::Text);
        case clHighlight: return palette.color(QPalette::Active, QPalette::Highlight);
        case clHighlightText: return palette.color(QPalette::Active, QPalette::HighlightedText);
        case clGrayText: return palette.color(QPalette::Disabled, QPalette::Text);
        case clBtnText: return palette.color(QPalette::Active, QPalette::ButtonText);
        case clBtnFace:
        default: return palette.color(QPalette::Active, QPalette::Button);
    }
}

}  // namespace controls
