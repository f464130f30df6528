// Colour values of the controls as Qt colours.
#pragma once

#include "controls/Colors.h"

#include <QColor>
#include <QPalette>

namespace controls {

// The Qt colour for a colour value; system colours come from the palette.
QColor ColorToQColor(TColor color, const QPalette& palette = QPalette());

}  // namespace controls
