#pragma once
#include <span>

namespace kt {

// Points of an envelope curve. The curve arrays hold one more element, which
// stays 0, and the resampling reads it.
inline constexpr int ResampleSourcePoints = 150;

// Linear interpolation of a 150-point curve onto `n` points: point 0 is
// src[0], point i lies at position i * 150 / n. When n >= 150 the last points
// lean towards src[150], the 0 after the curve. `src` should hold at least
// 151 values; anything it lacks reads as 0. Writes min(n, dst.size()) points
// (just point 0 when n <= 1) and never more than `dst` holds, whatever `n`
// asks for. Returns the number of points written.
int ResampleWave(std::span<const float> src, std::span<float> dst, int n);

}  // namespace kt
