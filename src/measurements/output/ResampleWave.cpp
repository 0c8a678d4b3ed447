#include "measurements/output/ResampleWave.h"

#include <algorithm>
#include <cstddef>

namespace kt {

int ResampleWave(std::span<const float> src, std::span<float> dst, int n) {
  if (dst.empty()) return 0;
  const auto at = [src](int k) {
    k = std::min(k, ResampleSourcePoints - 1);
    return static_cast<std::size_t>(k) < src.size() ? src[static_cast<std::size_t>(k)] : 0.0f;
  };
  dst[0] = at(0);
  const int count = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::max(n, 1)), dst.size()));
  for (int i = 1; i < count; ++i) {
    const double x = i * static_cast<double>(ResampleSourcePoints) / n;
    // i < n keeps x below 150; the clamp only guards against rounding.
    const int k = std::min(static_cast<int>(x), ResampleSourcePoints - 1);
    const double f = x - k;
    // In double: the difference of two large samples of opposite sign would
    // overflow a float.
    const double a = at(k), b = at(k + 1);
    dst[static_cast<std::size_t>(i)] = static_cast<float>((b - a) * f + a);
  }
  return count;
}

}  // namespace kt
