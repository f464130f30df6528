// The controls' own message texts, in one place.
#pragma once

namespace controls::texts {

// Filled with the lowest and the highest value a range limit may take.
inline constexpr char16_t SOutOfRange[] = u"Value must be between %d and %d";

// The default action a screen reader offers on an image button.
inline constexpr char16_t SPressAction[] = u"按下";

}  // namespace controls::texts
