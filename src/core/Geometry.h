#pragma once
#include <cmath>

namespace kt {

// Truncation toward zero, as every page and report position is formed. A
// value that is not a number, or one far off any page, is clamped first:
// results read from the wire or from a file may be anything, and a converted
// NaN or infinity would be undefined and could hang a painter.
inline int Trunc(double v) {
  constexpr double Limit = 1.0e6;  // well beyond any page, printer units included
  if (std::isnan(v)) return 0;
  if (v > Limit) return static_cast<int>(Limit);
  if (v < -Limit) return -static_cast<int>(Limit);
  return static_cast<int>(v);
}

// The design grid of the screen pages: 640 x 385 units scaled to the paint
// box, as 32-bit factors.
struct PageScale {
  float sx, sy;
  PageScale(int width, int height)
      : sx(static_cast<float>(width * 0.0015625)), sy(static_cast<float>(height * (1.0 / 385.0))) {}
};

}  // namespace kt
