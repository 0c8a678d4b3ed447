#include "measurements/PageMath.h"

#include <algorithm>

#include "core/Geometry.h"
#include "platform/Canvas.h"

namespace kt {

void DrawTwoPeriods(Canvas& c, const float* points, float peak, const TwoPeriodTrace& t) {
  const auto y = [&](int i) {
    return std::clamp(Trunc(t.Axis - Trunc(t.Height * DrawRatio(points[2 * i], peak, t.Limit))), t.Low, t.High);
  };
  c.MoveTo(t.Left, y(0));
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < 100; ++i) c.LineTo(Trunc(t.Left + (100 * pass + i) * t.Step), y(i));
}

}  // namespace kt
