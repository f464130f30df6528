// Colour values as the controls store them: 0x00BBGGRR, or a system colour
// (0x80000000 plus the index of a system colour), turned into the window
// toolkit's colours only by the painters.
#pragma once

#include <cstdint>

namespace controls {

using TColor = std::int32_t;

constexpr TColor RGBToColor(int r, int g, int b) {
    return TColor((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clGreen = 0x008000;

// System colours by their index.
constexpr TColor clSystemColor = TColor(0x80000000u);
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;

}  // namespace controls
