// The shared numeric routines against independent references.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "core/MeasureSet.h"
#include "link/InstrumentFloat.h"
#include "link/Waveform.h"

namespace kt {
namespace {

// The number the instrument means, built from the format's definition in
// double precision (exact for every single-precision value).
double Reference(std::uint8_t e, std::uint32_t mantissa, bool negative) {
  if (e == 0) return 0.0;
  const double sign = negative ? -1.0 : 1.0;
  if (e == 1) return sign * std::ldexp(static_cast<double>(mantissa), -149);
  return sign * std::ldexp(1.0 + mantissa / 8388608.0, e - 128);
}

TEST(InstrumentFloat, MatchesTheFormatForEveryExponentAndSign) {
  const std::uint32_t mantissas[] = {0, 1, 0x400000, 0x7FFFFF, 0x123456, 0x654321};
  for (int e = 0; e < 256; ++e) {
    for (std::uint32_t m : mantissas) {
      for (bool neg : {false, true}) {
        std::uint8_t b[4] = {static_cast<std::uint8_t>(e), static_cast<std::uint8_t>(m & 0xFF),
                             static_cast<std::uint8_t>((m >> 8) & 0xFF),
                             static_cast<std::uint8_t>(((m >> 16) & 0x7F) | (neg ? 0x80 : 0))};
        const float got = DecodeInstrumentFloat(b);
        ASSERT_TRUE(std::isfinite(got)) << "e=" << e;
        ASSERT_EQ(static_cast<double>(got), Reference(static_cast<std::uint8_t>(e), m, neg))
            << "e=" << e << " m=" << m << " neg=" << neg;
        // The routine leaves a decremented exponent behind; callers rely on
        // decoding a copy.
        ASSERT_EQ(b[0], e == 0 ? 0 : e - 1);
      }
    }
  }
}

TEST(InstrumentFloat, KnownPatternsAndTheScratchCopy) {
  const std::uint8_t one[4] = {0x80, 0, 0, 0}, minusTwo[4] = {0x81, 0, 0, 0x80}, half[4] = {0x7F, 0, 0, 0},
                     ten[4] = {0x83, 0, 0, 0x20};
  EXPECT_EQ(ReadInstrumentFloat(one), 1.0f);
  EXPECT_EQ(ReadInstrumentFloat(minusTwo), -2.0f);
  EXPECT_EQ(ReadInstrumentFloat(half), 0.5f);
  EXPECT_EQ(ReadInstrumentFloat(ten), 10.0f);
  EXPECT_EQ(one[0], 0x80) << "ReadInstrumentFloat must not touch the block";

  std::uint8_t zero[4] = {0x00, 0x12, 0x34, 0x56};
  EXPECT_EQ(DecodeInstrumentFloat(zero), 0.0f);
  EXPECT_EQ(std::memcmp(zero, "\x00\x12\x34\x56", 4), 0);
  std::uint8_t smallest[4] = {0x01, 0x01, 0, 0};
  EXPECT_EQ(DecodeInstrumentFloat(smallest), std::numeric_limits<float>::denorm_min());
  std::uint8_t plusZero[4] = {0x01, 0, 0, 0};
  const float z = DecodeInstrumentFloat(plusZero);
  EXPECT_EQ(z, 0.0f);
  EXPECT_FALSE(std::signbit(z));
}

std::vector<std::complex<double>> Dft(const std::vector<float>& x) {
  const std::size_t n = x.size() / 2;
  std::vector<std::complex<double>> out(n);
  for (std::size_t k = 0; k < n; ++k) {
    std::complex<double> s = 0;
    for (std::size_t j = 0; j < n; ++j)
      s += std::complex<double>(x[2 * j], x[2 * j + 1]) * std::polar(1.0, -2 * M_PI * double(k * j % n) / n);
    out[k] = s;
  }
  return out;
}

TEST(ForwardFft, AgreesWithADirectDftOnRandomData) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1000.0f, 1000.0f);
  for (int m : {8, 3, 8, 1, 5}) {  // changing lengths rebuild the kept table
    const int n = 1 << m;
    std::vector<float> x(2 * n);
    for (auto& v : x) v = u(rng);
    const auto ref = Dft(x);
    ForwardFft(x.data(), m);
    double scale = 0;
    for (const auto& c : ref) scale = std::max(scale, std::abs(c));
    for (int k = 0; k < n; ++k) {
      ASSERT_NEAR(x[2 * k], ref[k].real(), scale * 2e-6) << "m=" << m << " k=" << k;
      ASSERT_NEAR(x[2 * k + 1], ref[k].imag(), scale * 2e-6) << "m=" << m << " k=" << k;
    }
  }
}

TEST(ForwardFft, ConstantAndCosineLandInTheirBins) {
  std::vector<float> x(512, 0.0f);
  for (int i = 0; i < 256; ++i) x[2 * i] = 1.0f;
  ForwardFft(x.data(), 8);
  EXPECT_NEAR(x[0], 256.0f, 1e-3);
  for (int k = 1; k < 256; ++k) ASSERT_NEAR(std::hypot(x[2 * k], x[2 * k + 1]), 0.0, 1e-3) << k;

  for (int i = 0; i < 256; ++i) {
    x[2 * i] = static_cast<float>(std::cos(2 * M_PI * i / 256));
    x[2 * i + 1] = 0;
  }
  ForwardFft(x.data(), 8);
  EXPECT_NEAR(std::hypot(x[2], x[3]), 128.0, 1e-3);
  EXPECT_NEAR(std::hypot(x[510], x[511]), 128.0, 1e-3);
  for (int k = 2; k < 255; ++k) ASSERT_NEAR(std::hypot(x[2 * k], x[2 * k + 1]), 0.0, 1e-3) << k;
}

TEST(MaxAbs, FirstOfEqualMagnitudesAndIndexKeptWhenAllZero) {
  std::int32_t index = 42;
  const float a[] = {-3.0f, 3.0f};
  EXPECT_EQ(MaxAbs(index, 2, a), 3.0f);
  EXPECT_EQ(index, 0);
  const float zeros[] = {0.0f, -0.0f, 0.0f};
  index = 42;
  EXPECT_EQ(MaxAbs(index, 3, zeros), 0.0f);
  EXPECT_EQ(index, 42);
  EXPECT_EQ(MaxAbs(index, 0, a), 0.0f);
  EXPECT_EQ(index, 42);
  const float b[] = {1.0f, -7.5f, 2.0f, 7.5f};
  EXPECT_EQ(MaxAbs(index, 4, b), 7.5f);
  EXPECT_EQ(index, 1);
}

std::vector<float> Sine(int n, double period, double phase) {
  std::vector<float> x(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) x[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(2 * M_PI * i / period + phase));
  return x;
}

TEST(FindPeriod, FindsTheFirstRisingCrossingAndThePeriod) {
  // Starts just past a positive peak: first rising crossing at 3/4 period.
  const auto x = Sine(600, 150.0, M_PI / 2 + 0.01);
  int period = -1, start = -1;
  ASSERT_EQ(FindPeriod(x.data(), 600, period, start), 0);
  EXPECT_EQ(period, 150);
  EXPECT_NEAR(start, 113, 1);
  EXPECT_GE(x[static_cast<std::size_t>(start)], 0.0f);
  EXPECT_LT(x[static_cast<std::size_t>(start - 1)], 0.0f);
}

TEST(FindPeriod, RejectsGlitchesAndUnconfirmableCrossings) {
  // A negative stretch with a 5-sample positive glitch at 30, then a real
  // rising edge at 60 and one at 160.
  std::vector<float> x(200, -1.0f);
  for (int i = 30; i < 35; ++i) x[i] = 0.5f;
  for (int i = 60; i < 110; ++i) x[i] = 1.0f;
  for (int i = 160; i < 200; ++i) x[i] = 1.0f;
  int period = 0, start = 0;
  ASSERT_EQ(FindPeriod(x.data(), 200, period, start), 0);
  EXPECT_EQ(start, 60);
  EXPECT_EQ(period, 100);

  // The second crossing lies within the last 20 samples: cannot be confirmed.
  std::vector<float> y(200, -1.0f);
  for (int i = 60; i < 110; ++i) y[i] = 1.0f;
  for (int i = 185; i < 200; ++i) y[i] = 1.0f;
  EXPECT_EQ(FindPeriod(y.data(), 200, period, start), 1);

  // NaN counts as negative: a NaN run before a rising edge makes a crossing.
  std::vector<float> z(200, 1.0f);
  for (int i = 10; i < 40; ++i) z[i] = std::numeric_limits<float>::quiet_NaN();
  for (int i = 90; i < 140; ++i) z[i] = -1.0f;
  ASSERT_EQ(FindPeriod(z.data(), 200, period, start), 0);
  EXPECT_EQ(start, 40);
  EXPECT_EQ(period, 100);

  // All positive: no crossing at all.
  std::vector<float> up(100, 1.0f);
  EXPECT_EQ(FindPeriod(up.data(), 100, period, start), 1);
}

TEST(PhaseAngles, MeasuresBeginPeakAndEndOfTheCurrentPulse) {
  MeasureSet ms;
  ms.Input.SampleCount = 256;
  ms.Input.Irms = 0.2f;
  // A pulse rising from sample 32 to its peak at 64, falling to zero at 112.
  std::vector<float> w(256, 0.0f);
  for (int i = 32; i <= 64; ++i) w[i] = (i - 32) / 32.0f;
  for (int i = 64; i <= 112; ++i) w[i] = (112 - i) / 48.0f;
  for (int i = 160; i < 240; ++i) w[i] = -0.5f;  // the other half-wave, smaller
  PhaseAngles(ms, w.data());
  EXPECT_FLOAT_EQ(ms.PhasePeak, 64 / 256.0f * 360.0f);
  EXPECT_FLOAT_EQ(ms.PhaseBegin, 34 / 256.0f * 360.0f);  // first sample above 5 % (0.05)
  EXPECT_FLOAT_EQ(ms.PhaseEnd, 110 / 256.0f * 360.0f);   // first sample below 5 % after the peak
}

TEST(PhaseAngles, PeakInTheSecondHalfMeasuresTheNegatedWave) {
  MeasureSet ms;
  ms.Input.SampleCount = 256;
  ms.Input.Irms = 0.2f;
  std::vector<float> w(256, 0.0f);
  w[200] = 3.0f;                                  // positive peak late in the period
  for (int i = 40; i < 90; ++i) w[i] = -2.0f;     // the negative pulse, first half
  w[60] = -2.5f;
  PhaseAngles(ms, w.data());
  EXPECT_FLOAT_EQ(w[60], 2.5f) << "the period is negated in place";
  EXPECT_FLOAT_EQ(ms.PhasePeak, 60 / 256.0f * 360.0f);
  EXPECT_FLOAT_EQ(ms.PhaseBegin, 40 / 256.0f * 360.0f);
  EXPECT_FLOAT_EQ(ms.PhaseEnd, 90 / 256.0f * 360.0f);
}

TEST(PhaseAngles, NoFallWithinTheHalfPeriodEndsAt180AndSmallCurrentsGiveZeros) {
  MeasureSet ms;
  ms.Input.SampleCount = 256;
  ms.Input.Irms = 0.2f;
  std::vector<float> w(256, 1.0f);
  w[100] = 2.0f;
  PhaseAngles(ms, w.data());
  EXPECT_FLOAT_EQ(ms.PhaseEnd, 180.0f);
  EXPECT_FLOAT_EQ(ms.PhaseBegin, 0.0f);

  for (float irms : {0.004f, std::numeric_limits<float>::quiet_NaN()}) {
    ms.Input.Irms = irms;
    ms.PhaseBegin = ms.PhasePeak = ms.PhaseEnd = 7.0f;
    PhaseAngles(ms, w.data());
    EXPECT_EQ(ms.PhaseBegin, 0.0f);
    EXPECT_EQ(ms.PhasePeak, 0.0f);
    EXPECT_EQ(ms.PhaseEnd, 0.0f);
  }
}

}  // namespace
}  // namespace kt
