#pragma once
#include <climits>
#include <cmath>

#include "core/Geometry.h"
#include "platform/Canvas.h"

namespace kt {

// One stroke from (x1, y1) to (x2, y2).
void Line(Canvas& canvas, int x1, int y1, int x2, int y2);

// The paint box of a screen page: the canvas, its size, and the 640 x 385
// design grid scaled to it by PageScale's 32-bit factors from an origin of
// whole pixels (0, 0 on the light pages). X and Y form a position in
// floating point from the origin and truncate once; DX and DY truncate the
// offset first and add it to the origin. (The factors are the same for
// every height whether H / 385 is taken as H * 0.0025974025974 or as
// H * (1.0 / 385.0): checked over every int.)
struct PaintBox {
  Canvas& c;
  int W, H;
  PageScale s;
  int X0, Y0;
  PaintBox(Canvas& canvas, int w, int h, double originX = 0, double originY = 0)
      : c(canvas), W(w), H(h), s(w, h), X0(Trunc(originX * s.sx)), Y0(Trunc(originY * s.sy)) {}
  // The comp page forms its origin with 32-bit products instead of the
  // double ones above: at some widths the two differ by a pixel.
  void SetOrigin32(int originX, int originY) {
    X0 = Trunc(static_cast<float>(originX) * s.sx);
    Y0 = Trunc(static_cast<float>(originY) * s.sy);
  }
  int X(double a) const { return Trunc(X0 + a * s.sx); }
  int Y(double b) const { return Trunc(Y0 + b * s.sy); }
  int DX(double a) const { return X0 + Trunc(a * s.sx); }
  int DY(double b) const { return Y0 + Trunc(b * s.sy); }
  // A height of design units: the light pages multiply in double, the dark
  // pages in 32 bits; near a whole pixel the two truncate differently.
  int Height(double units) const { return Trunc(units * s.sy); }
  int Height32(int units) const { return Trunc(static_cast<float>(units) * s.sy); }
  // The face at a design height (double product), upright.
  void SetFont(const char* face, double units, Colour colour) const { c.SetFont({face, Height(units), colour, 0}); }
  // A stroke between two design points, and one between two pixels.
  void Line(double x1, double y1, double x2, double y2) const { PixelLine(X(x1), Y(y1), X(x2), Y(y2)); }
  void PixelLine(int x1, int y1, int x2, int y2) const;
};

// The white frame of a dark page, from x -20 to 580 and y 12 to `bottom`
// (design units); its top edge leaves a gap from `gapLeft` to `gapRight`
// for the page title.
void DrawTitledFrame(const PaintBox& box, int gapLeft, int gapRight, int bottom);

// The frame of the light mains pages (input, phase), in a 2-pixel black
// pen: the outline from x 10 to 630 and y 42 to 370 (design units) and the
// value table's row from y 42 to 78 across its top.
void DrawMainsFrame(const PaintBox& box);

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
