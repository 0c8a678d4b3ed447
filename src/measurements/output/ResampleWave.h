#pragma once
#include <span>

namespace kt {

// Points of an envelope curve.
inline constexpr int ResampleSourcePoints = 150;

// Linear interpolation of a 150-point curve onto `n` points: point 0 is
// src[0], point i lies at position i * 150 / n. Past the last sample the
// curve holds its last value, so the band of a wide window keeps its height
// to its right end instead of dropping towards a zero after the curve.
// Samples `src` lacks read as 0. Writes min(n, dst.size()) points (just
// point 0 when n <= 1) and never more than `dst` holds, whatever `n` asks
// for. Returns the number of points written.
int ResampleWave(std::span<const float> src, std::span<float> dst, int n);

}  // namespace kt
