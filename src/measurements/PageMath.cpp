#include "measurements/PageMath.h"

#include <algorithm>

#include "core/Geometry.h"
#include "platform/Canvas.h"

namespace kt {

void Line(Canvas& c, int x1, int y1, int x2, int y2) {
  c.MoveTo(x1, y1);
  c.LineTo(x2, y2);
}

ClipTo::ClipTo(Canvas& c, int x1, int y1, int x2, int y2) : c_(c) { c.SetClip(x1, y1, x2, y2); }
ClipTo::~ClipTo() { c_.ClearClip(); }

void PaintBox::PixelLine(int x1, int y1, int x2, int y2) const { kt::Line(c, x1, y1, x2, y2); }

void DrawTitledFrame(const PaintBox& g, int gapLeft, int gapRight, int bottom) {
  Canvas& c = g.c;
  c.SetPen(clWhite, 2, PenStyle::Solid);
  Line(c, g.X(-20), g.Y(12), g.X(gapLeft), g.Y(12));
  Line(c, g.X(gapRight), g.Y(12), g.X(580), g.Y(12));
  c.MoveTo(g.X(-20), g.Y(12));
  c.LineTo(g.X(-20), g.Y(bottom));
  c.LineTo(g.X(580), g.Y(bottom));
  c.LineTo(g.X(580), g.Y(12));
}

void DrawMainsFrame(const PaintBox& P) {
  Canvas& c = P.c;
  c.SetPen(clBlack, 2);
  P.Line(10, 42, 630, 42);
  P.Line(10, 78, 630, 78);
  c.MoveTo(P.X(10), P.Y(42));
  c.LineTo(P.X(10), P.Y(370));
  c.LineTo(P.X(630), P.Y(370));
  c.LineTo(P.X(630), P.Y(42));
}

void DrawTwoPeriods(Canvas& c, const float* points, float peak, const TwoPeriodTrace& t) {
  const auto y = [&](int i) {
    return std::clamp(Trunc(t.Axis - Trunc(t.Height * DrawRatio(points[2 * i], peak, t.Limit))), t.Low, t.High);
  };
  c.MoveTo(t.Left, y(0));
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < 100; ++i) c.LineTo(Trunc(t.Left + (100 * pass + i) * t.Step), y(i));
}

}  // namespace kt
