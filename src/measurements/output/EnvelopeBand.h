#pragma once
#include <span>

namespace kt {

class Canvas;

// More points than any screen is wide; a band asked for more is cut off
// here rather than given an unbounded work buffer.
inline constexpr int MaxBandPoints = 16384;

// An envelope curve drawn as a band mirrored about a horizontal axis, with
// the current pen: the curve (150 points and the 0 after them) is resampled
// to n points, and point i becomes a vertical stroke at x = x0 + 2i from
// trunc(axis - v) to trunc(axis + v), v = trunc(point / peak * halfHeight).
// A point beyond the peak (only damaged data has one) is held at
// halfHeight, so the band never leaves its panel. Nothing is drawn when the
// peak is not above 0: a curve of zeros has no scale.
void DrawEnvelopeBand(Canvas& canvas, std::span<const float> curve, float peak, int n, int x0, double axis,
                      int halfHeight);

}  // namespace kt
