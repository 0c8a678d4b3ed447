#pragma once
#include <climits>
#include <cmath>

#include "core/Geometry.h"

namespace kt {

class Canvas;

// One stroke from (x1, y1) to (x2, y2).
void Line(Canvas& canvas, int x1, int y1, int x2, int y2);

// Positions on a dark page (output, start) for one paint box size: the
// origin is whole pixels, every other position is formed in floating point
// from it and truncated once.
struct PageGrid {
  PageScale s;
  int X0, Y0;
  PageGrid(int w, int h, double originX, double originY)
      : s(w, h), X0(Trunc(originX * s.sx)), Y0(Trunc(originY * s.sy)) {}
  int X(double a) const { return Trunc(X0 + a * s.sx); }
  int Y(double b) const { return Trunc(Y0 + b * s.sy); }
  int Height(int units) const { return Trunc(static_cast<float>(units) * s.sy); }
};

// The white frame of a dark page, from x -20 to 580 and y 12 to `bottom`
// (design units); its top edge leaves a gap from `gapLeft` to `gapRight`
// for the page title.
void DrawTitledFrame(Canvas& canvas, const PageGrid& grid, int gapLeft, int gapRight, int bottom);

// Keeps what is drawn during its life inside its frame (the corners
// inclusive): a trace of damaged values never runs over the tables.
class ClipTo {
 public:
  ClipTo(Canvas& c, int x1, int y1, int x2, int y2);
  ~ClipTo();
  ClipTo(const ClipTo&) = delete;
  ClipTo& operator=(const ClipTo&) = delete;

 private:
  Canvas& c_;
};

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
