#pragma once
#include <cmath>

namespace kt {

// A value's share of a scale, for drawing. A zero or non-finite scale, or a
// non-finite value, gives 0 (nothing to draw); a share beyond `limit` is held
// at it, so damaged results still draw inside the page instead of sending
// the painter off to infinity.
inline double DrawRatio(double value, double scale, double limit = 4.0) {
  if (scale == 0.0 || !std::isfinite(scale) || !std::isfinite(value)) return 0.0;
  const double r = value / scale;
  if (!std::isfinite(r)) return 0.0;
  return r > limit ? limit : (r < -limit ? -limit : r);
}

}  // namespace kt
