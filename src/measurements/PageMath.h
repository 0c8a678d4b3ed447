#pragma once
#include <climits>
#include <cmath>

namespace kt {

class Canvas;

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

// Two mains periods side by side, as the mains-side pages and reports draw
// them: every second of the 200 points of one period, the 100 then drawn
// again after them. Point i of a pass is at x Trunc(Left + i * Step) and y
// Trunc(Axis - Trunc(Height * DrawRatio(point, peak, Limit))), held between
// Low and High; the first stroke starts at (Left, y of point 0). Height is
// the distance of the peak from the axis towards smaller y: negative on the
// report canvas, whose y runs upwards.
struct TwoPeriodTrace {
  int Left;
  double Step;
  double Axis;
  double Height;
  double Limit = 4.0;
  int Low = INT_MIN, High = INT_MAX;
};
void DrawTwoPeriods(Canvas& canvas, const float* points, float peak, const TwoPeriodTrace& trace);

}  // namespace kt
