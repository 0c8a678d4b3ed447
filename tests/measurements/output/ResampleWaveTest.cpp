// The envelope resampling shared by the output, comprehensive and analysis
// pages.
#include "measurements/output/ResampleWave.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

namespace kt {
namespace {

// A curve as the record holds it: 150 samples, then zeros.
std::vector<float> Curve() {
  std::vector<float> c(200, 0.0f);
  for (int i = 0; i < 150; ++i) c[static_cast<std::size_t>(i)] = static_cast<float>(1000 + 7 * i - (i % 3) * 50);
  return c;
}

TEST(ResampleWave, OnePointPerSampleCopiesTheCurve) {
  const std::vector<float> src = Curve();
  std::vector<float> dst(150, -1.0f);
  EXPECT_EQ(ResampleWave(src, dst, 150), 150);
  for (int i = 0; i < 150; ++i) EXPECT_EQ(dst[static_cast<std::size_t>(i)], src[static_cast<std::size_t>(i)]) << i;
}

TEST(ResampleWave, TwoPointsPerSampleInterpolateAndLeanTowardsTheZeroAfterTheCurve) {
  const std::vector<float> src = Curve();
  std::vector<float> dst(300, -1.0f);
  EXPECT_EQ(ResampleWave(src, dst, 300), 300);
  for (int k = 0; k < 149; ++k) {
    EXPECT_EQ(dst[static_cast<std::size_t>(2 * k)], src[static_cast<std::size_t>(k)]);
    EXPECT_FLOAT_EQ(dst[static_cast<std::size_t>(2 * k + 1)], (src[static_cast<std::size_t>(k)] + src[static_cast<std::size_t>(k + 1)]) / 2);
  }
  EXPECT_EQ(dst[298], src[149]);
  EXPECT_FLOAT_EQ(dst[299], src[149] / 2) << "half way from sample 149 to the 0 at 150";

  // Fewer points than samples pick every other one.
  std::vector<float> half(75);
  ResampleWave(src, half, 75);
  for (int i = 0; i < 75; ++i) EXPECT_EQ(half[static_cast<std::size_t>(i)], src[static_cast<std::size_t>(2 * i)]);

  // A negative curve interpolates the same way.
  std::vector<float> neg(src);
  for (float& v : neg) v = -v;
  ResampleWave(neg, dst, 300);
  EXPECT_FLOAT_EQ(dst[299], -src[149] / 2);
}

TEST(ResampleWave, OneOrFewerPointsWriteOnlyTheFirst) {
  const std::vector<float> src = Curve();
  for (int n : {1, 0, -5, INT_MIN}) {
    std::vector<float> dst(4, -1.0f);
    EXPECT_EQ(ResampleWave(src, dst, n), 1);
    EXPECT_EQ(dst[0], src[0]);
    EXPECT_EQ(dst[1], -1.0f) << n;
  }
  std::vector<float> none;
  EXPECT_EQ(ResampleWave(src, none, 10), 0);
}

TEST(ResampleWave, NeverWritesPastTheBufferHoweverManyPointsAreAsked) {
  const std::vector<float> src = Curve();
  // 500 points of room followed by a guard area.
  std::vector<float> storage(520, -7.0f);
  const std::span<float> dst(storage.data(), 500);
  for (int n : {501, 2000, 1000000, INT_MAX}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(ResampleWave(src, dst, n), 500);
    for (std::size_t i = 500; i < storage.size(); ++i) ASSERT_EQ(storage[i], -7.0f);
    // The points written sit where n points would put them.
    const double x = 499.0 * 150.0 / n;
    const int k = static_cast<int>(x);
    const double expect = (src[static_cast<std::size_t>(k) + 1] - src[static_cast<std::size_t>(k)]) * (x - k) + src[static_cast<std::size_t>(k)];
    EXPECT_NEAR(dst[499], expect, 1e-3);
  }
  // Very many points into a big enough buffer: the last one has almost
  // reached the 0 after sample 149.
  std::vector<float> wide(100000);
  EXPECT_EQ(ResampleWave(src, wide, 100000), 100000);
  EXPECT_GT(wide.back(), 0.0f);
  EXPECT_LT(wide.back(), src[149] * 0.01f);
}

TEST(ResampleWave, ShortOrExtremeCurvesStayFinite) {
  // A source without the element after the curve reads it as 0.
  std::vector<float> shortSrc = Curve();
  shortSrc.resize(150);
  std::vector<float> a(300), b(300);
  ResampleWave(shortSrc, a, 300);
  ResampleWave(Curve(), b, 300);
  EXPECT_EQ(a, b);

  // Neighbours at opposite ends of the float range: no overflow in between.
  const float big = std::numeric_limits<float>::max();
  std::vector<float> src(151, 0.0f);
  for (int i = 0; i < 150; ++i) src[static_cast<std::size_t>(i)] = (i % 2) ? big : -big;
  std::vector<float> dst(300);
  ResampleWave(src, dst, 300);
  for (float v : dst) ASSERT_TRUE(std::isfinite(v));
  EXPECT_EQ(dst[1], 0.0f);
}

}  // namespace
}  // namespace kt
