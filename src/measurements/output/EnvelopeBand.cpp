#include "measurements/output/EnvelopeBand.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/Geometry.h"
#include "measurements/output/ResampleWave.h"
#include "platform/Canvas.h"

namespace kt {

void DrawEnvelopeBand(Canvas& canvas, std::span<const float> curve, float peak, int n, int x0, double axis,
                      int halfHeight) {
  if (!(peak > 0.0f) || n <= 0) return;
  std::vector<float> points(static_cast<std::size_t>(std::min(n, MaxBandPoints)));
  const int count = ResampleWave(curve, points, n);
  const int limit = std::abs(halfHeight);
  for (int i = 0; i < count; ++i) {
    const int v =
        std::clamp(Trunc(static_cast<double>(points[static_cast<std::size_t>(i)]) / peak * halfHeight), -limit, limit);
    const int x = x0 + 2 * i;
    canvas.MoveTo(x, Trunc(axis - v));
    canvas.LineTo(x, Trunc(axis + v));
  }
}

}  // namespace kt
