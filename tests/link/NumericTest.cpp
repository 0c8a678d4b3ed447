// The instrument's number format, the shared numeric routines and the empty
// states of the results, against hand-worked values and independent
// references.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "core/MeasureSet.h"
#include "link/InstrumentFloat.h"
#include "link/Resets.h"
#include "link/Waveform.h"
#include "sim/InstrumentFloat.h"
#include "support/Dft.h"
#include "support/Fakes.h"

namespace kt {
namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
using Limits = std::numeric_limits<float>;

TEST(InstrumentFloat, KnownPatterns) {
  struct Case {
    std::uint8_t in[4];
    float value;
    // clang-format off
  } cases[] = {
      {{0x80, 0, 0, 0}, 1.0f}, {{0x81, 0, 0, 0x80}, -2.0f}, {{0x7F, 0, 0, 0}, 0.5f}, {{0x83, 0, 0, 0x20}, 10.0f},
      {{0x80, 0, 0, 0xC0}, -1.5f}, {{0x80, 0x01, 0x02, 0x03}, 1.0f + 0x030201 / 8388608.0f},  // mantissa low byte first
      {{0x00, 0x12, 0x34, 0x56}, 0.0f}, {{0x02, 0, 0, 0}, Limits::min()}, {{0xFF, 0xFF, 0xFF, 0x7F}, Limits::max()},
      // exponent byte 1 is the subnormal range
      {{0x01, 0x01, 0, 0}, Limits::denorm_min()}, {{0x01, 0xFF, 0xFF, 0x7F}, std::ldexp(8388607.0f, -149)},
  };
  // clang-format on
  for (const auto& c : cases) {
    std::uint8_t b[4], left[4];
    std::memcpy(b, c.in, 4);
    std::memcpy(left, c.in, 4);
    left[0] = static_cast<std::uint8_t>(c.in[0] == 0 ? 0 : c.in[0] - 1);
    EXPECT_EQ(ReadInstrumentFloat(b), c.value) << +c.in[0];
    EXPECT_EQ(std::memcmp(b, c.in, 4), 0) << "ReadInstrumentFloat leaves the block alone";
    EXPECT_EQ(DecodeInstrumentFloat(b), c.value) << +c.in[0];
    EXPECT_EQ(std::memcmp(b, left, 4), 0) << "decoding in place leaves the exponent one lower";
  }
  std::uint8_t negZero[4] = {0x01, 0, 0, 0x80};
  EXPECT_TRUE(std::signbit(DecodeInstrumentFloat(negZero)));
}

TEST(InstrumentFloat, EveryExponentAndSignRoundTripsThroughTheSimulatorsEncoder) {
  for (int e = 0; e < 256; ++e)
    for (std::uint32_t m : {0u, 1u, 0x400000u, 0x7FFFFFu, 0x123456u})
      for (std::uint8_t sign : {std::uint8_t{0}, std::uint8_t{0x80}}) {
        const std::array<std::uint8_t, 4> b = {static_cast<std::uint8_t>(e), static_cast<std::uint8_t>(m),
                                               static_cast<std::uint8_t>(m >> 8),
                                               static_cast<std::uint8_t>((m >> 16) | sign)};
        const float v = ReadInstrumentFloat(b.data());
        ASSERT_TRUE(std::isfinite(v)) << e;
        // Zero has many spellings; the encoder writes 00 00 00 00.
        const bool zero = e == 0 || (e == 1 && m == 0 && sign == 0);
        ASSERT_EQ(sim::EncodeInstrumentFloat(v), (zero ? std::array<std::uint8_t, 4>{} : b)) << e << " " << m;
      }
}

TEST(ReadSample, SignedLowByteFirst) {
  const std::uint8_t b[] = {0x34, 0x12, 0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F};
  const std::int16_t values[] = {0x1234, 1, -1, -32768, 32767};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ReadSample(b + 2 * i), values[i]) << i;
}

TEST(MaxAbs, LargestMagnitudeAndItsFirstIndex) {
  struct Case {
    std::vector<float> v;
    int count;
    float max;
    int index;  // 42: left as it was
  } cases[] = {
      {{-3, 3}, 2, 3, 0},        {{1, -7.5f, 2, 7.5f}, 4, 7.5f, 1},
      {{1, 2, 3, 9}, 3, 3, 2},   {{0.5f, -1e-3f, 0.25f}, 3, 0.5f, 0},
      {{0, -0.0f, 0}, 3, 0, 42}, {{5}, 0, 0, 42},
      {{5}, -1, 0, 42},
  };
  for (const auto& c : cases) {
    std::int32_t index = 42;
    EXPECT_EQ(MaxAbs(index, c.count, c.v.data()), c.max) << c.v.size() << " " << c.count;
    EXPECT_EQ(index, c.index) << c.v.size() << " " << c.count;
  }
}

TEST(ForwardFft, AgreesWithADirectDftAtEveryLength) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1000.0f, 1000.0f);
  for (int m : {8, 3, 4, 5, 1, 6, 7, 2, 8}) {  // changing lengths rebuild the kept table
    const int n = 1 << m;
    std::vector<float> x(2 * static_cast<std::size_t>(n));
    std::vector<std::complex<double>> ref;
    for (int i = 0; i < n; ++i) ref.emplace_back(x[2 * i] = u(rng), x[2 * i + 1] = u(rng));
    ref = test::Dft(ref);
    ForwardFft(x.data(), m);
    double scale = 0;
    for (const auto& c : ref) scale = std::max(scale, std::abs(c));
    for (int k = 0; k < n; ++k) {
      ASSERT_NEAR(x[2 * k], ref[k].real(), scale * 1e-5) << "m=" << m << " k=" << k;
      ASSERT_NEAR(x[2 * k + 1], ref[k].imag(), scale * 1e-5) << "m=" << m << " k=" << k;
    }
  }
}

TEST(ForwardFft, ConstantAndCosineLandInTheirBins) {
  for (int cycles : {0, 1, 5}) {
    std::vector<float> x(512, 0.0f);
    for (int i = 0; i < 256; ++i) x[2 * i] = static_cast<float>(std::cos(2 * M_PI * cycles * i / 256));
    ForwardFft(x.data(), 8);
    for (int k = 0; k < 256; ++k) {
      const double expected = cycles == 0 ? (k == 0) * 256.0 : (k == cycles || k == 256 - cycles) * 128.0;
      ASSERT_NEAR(std::hypot(x[2 * k], x[2 * k + 1]), expected, 1e-3) << cycles << " " << k;
    }
  }
  // Lengths past 4096 points (or none) are refused, the data left as it was.
  for (int m : {13, 0}) {
    std::vector<float> x(2 << 13, 1.0f);
    ForwardFft(x.data(), m);
    EXPECT_TRUE(std::all_of(x.begin(), x.end(), [](float v) { return v == 1.0f; })) << m;
  }
}

// Current shapes; the 5 % threshold of a peak of 2.0 is exactly 0.1f, so the
// samples of 0.1f test the strict comparisons.
void Pulse(std::vector<float>& w) {
  std::fill(&w[31], &w[90], 1.0f);
  w[30] = w[90] = 0.1f;
  w[64] = w[70] = 2.0f;  // the first of two equal peaks counts
  std::fill(&w[150], &w[200], -1.0f);
}
void NegativeFirst(std::vector<float>& w) {  // the largest positive sample late in the period
  std::fill(&w[40], &w[90], -2.0f);
  w[60] = -2.5f, w[200] = 3.0f;
}
void Step(std::vector<float>& w) {  // nothing above 5 % before the peak: it begins there, not at 0
  std::fill(&w[0], &w[45], 0.1f);
  w[45] = 2.0f, w[46] = 1.0f;
}
void PeakAtHalf(std::vector<float>& w) {  // exactly half way still counts as the first half
  std::fill(&w[100], &w[128], 1.0f);
  std::fill(&w[40], &w[60], -1.5f);
  w[128] = 2.0f;
}

TEST(PhaseAngles, BeginPeakAndEndOfTheCurrentPulse) {
  struct Case {
    int n;
    float irms;
    void (*shape)(std::vector<float>&);
    int begin, peak, end;  // sample indices; -1: all three angles 0
  } cases[] = {
      {256, 0.2f, Pulse, 31, 64, 91},         {800, 0.2f, Pulse, 31, 64, 91},         {256, 0.0051f, Pulse, 31, 64, 91},
      {256, 0.2f, NegativeFirst, 40, 60, 90}, {256, 0.2f, PeakAtHalf, 100, 128, 128},  // no fall: 180 degrees
      {256, 0.2f, Step, 45, 45, 47},          {256, 0.0049f, Pulse, -1, -1, -1},      {256, NaN, Pulse, -1, -1, -1},
      {0, 0.2f, Pulse, -1, -1, -1},           {801, 0.2f, Pulse, -1, -1, -1},
  };
  for (const auto& c : cases) {
    MeasureSet ms;
    ms.Input.SampleCount = c.n;
    ms.Input.Irms = c.irms;
    ms.PhaseBegin = ms.PhasePeak = ms.PhaseEnd = 7.0f;
    std::vector<float> w(900, 0.0f);
    c.shape(w);
    const float w60 = w[60];
    PhaseAngles(ms, w.data());
    const auto deg = [&](int i) { return i < 0 ? 0.0f : static_cast<float>(i * 360.0 / c.n); };
    SCOPED_TRACE(testing::Message() << "n=" << c.n << " irms=" << c.irms << " peak at " << c.peak);
    EXPECT_FLOAT_EQ(ms.PhaseBegin, deg(c.begin));
    EXPECT_FLOAT_EQ(ms.PhasePeak, deg(c.peak));
    EXPECT_FLOAT_EQ(ms.PhaseEnd, deg(c.end));
    EXPECT_EQ(w[60], c.shape == NegativeFirst ? -w60 : w60) << "the period is negated in place";
  }
}

TEST(FindPeriod, FirstTwoConfirmedRisingCrossings) {
  struct Case {
    const char* what;
    std::vector<std::pair<int, float>> runs;  // samples, value
    int rc, period, start;
  } cases[] = {
      {"zero counts as non-negative", {{10, -1}, {50, 0}, {50, -1}, {50, 1}, {40, -1}}, 0, 100, 10},
      {"confirmed by the sample 20 later", {{10, -1}, {21, 1}, {69, -1}, {60, 1}, {40, -1}}, 0, 90, 10},
      {"a dip inside the hold-off", {{10, -1}, {19, 1}, {1, -1}, {30, 1}, {50, -1}, {90, 1}}, 0, 100, 10},
      {"a short glitch", {{30, -1}, {5, 0.5f}, {25, -1}, {50, 1}, {50, -1}, {40, 1}}, 0, 100, 60},
      {"no crossing at the start", {{50, 1}, {50, -1}, {50, 1}, {50, -1}}, 1, 0, 0},
      {"second crossing in the last 20", {{60, -1}, {50, 1}, {70, -1}, {20, 1}}, 1, 0, 0},
      {"second crossing 21 from the end", {{60, -1}, {50, 1}, {69, -1}, {21, 1}}, 0, 119, 60},
      {"NaN counts as negative", {{10, 1}, {30, NaN}, {50, 1}, {50, -1}, {60, 1}}, 0, 100, 40},
      {"NaN does not confirm", {{10, -1}, {20, 1}, {1, NaN}, {69, -1}, {50, 1}, {50, -1}, {40, 1}}, 0, 100, 100},
      {"all positive", {{200, 1}}, 1, 0, 0},
      {"all negative", {{200, -1}}, 1, 0, 0},
  };
  for (const auto& c : cases) {
    std::vector<float> x;
    for (const auto& [count, value] : c.runs) x.insert(x.end(), static_cast<std::size_t>(count), value);
    const int n = static_cast<int>(x.size());
    x.push_back(1.0f);  // a sample past the end that would confirm anything
    int period = -1, start = -1;
    EXPECT_EQ(FindPeriod(x.data(), n, period, start), c.rc) << c.what;
    if (c.rc != 0) continue;
    EXPECT_EQ(std::pair(period, start), std::pair(c.period, c.start)) << c.what;
  }
}

// The empty results keep the divisors and scales the pages use; a wrong one
// divides by zero or draws a curve at the wrong height.
#define AT(path, value)                                   \
  {                                                       \
    [](MeasureSet& m) -> float& { return m.path; }, value \
  }
template <int Channel>
void ResetChannel(MeasureSet& m) {
  ResetOutputChannel(m.Output, Channel);
}

TEST(Resets, LeaveTheirDivisors) {
  const struct {
    void (*apply)(MeasureSet&);
    std::vector<std::pair<float& (*)(MeasureSet&), float>> fields;
  } cases[] = {
      {ClearResults,
       {AT(Input.VoltagePeak, 1), AT(Input.CurrentPeak, 0.01f), AT(Input.VoltageHarmonic[1], 1),
        AT(Input.CurrentHarmonic[1], 1), AT(Output.OutputWavePeak[0], 1), AT(Output.OutputWavePeak[3], 1),
        AT(Start.CurveMax[0], 1), AT(Start.CurveMax[3], 1), AT(Input.VoltageHarmonic[0], 0)}},
      {ResetCurrentSide,
       {AT(Input.CurrentPeak, 0.1f), AT(Input.CurrentHarmonic[1], 1), AT(Input.CurrentHarmonic[0], 0)}},
      {ResetInputResult,
       {AT(Input.VoltagePeak, 10), AT(Input.CurrentPeak, 0.1f), AT(Input.VoltageHarmonic[1], 1),
        AT(Input.CurrentHarmonic[1], 1)}},
      {ResetChannel<ChU>, {AT(Output.OutputWavePeak[ChU], 1), AT(Output.OutputWave[ChU][199], 0)}},
      {ResetChannel<ChIl>, {AT(Output.OutputWavePeak[ChIl], 1), AT(Output.OutputWave[ChIl][0], 0)}},
      {ResetChannel<ChIf>, {AT(Output.OutputWavePeak[ChIf], 1), AT(Output.OutputWave[ChIf][0], 0)}},
      {ResetChannel<ChIk>, {AT(Output.OutputWavePeak[ChIk], 1), AT(Output.OutputWave[ChIk][199], 0)}},
      {InitSnapshots,
       {AT(InputSnap.VoltagePeak, 1), AT(InputSnap.CurrentPeak, 0.01f), AT(InputSnap.VoltageHarmonic[1], 1),
        AT(InputSnap.CurrentHarmonic[1], 1), AT(OutputSnap.OutputWavePeak[0], 1), AT(OutputSnap.OutputWavePeak[3], 1),
        AT(CompSnap.In.VoltagePeak, 1), AT(CompSnap.In.CurrentPeak, 0.01f), AT(CompSnap.In.VoltageHarmonic[1], 1),
        AT(CompSnap.In.CurrentHarmonic[1], 1), AT(CompSnap.Out.OutputWavePeak[0], 1),
        AT(CompSnap.Out.OutputWavePeak[3], 1), AT(StartSnap.CurveMax[0], 1), AT(StartSnap.CurveMax[3], 1),
        AT(PhaseSnap.VoltagePeak, 1), AT(PhaseSnap.CurrentPeak, 0.01f), AT(PhaseSnap.CurrentHarmonic[1], 1),
        AT(PhaseSnap.Urms, 0)}},
  };
  auto ms = std::make_unique<MeasureSet>();
  for (const auto& c : cases) {
    for (std::size_t i = 0; i < c.fields.size(); ++i) {
      std::memset(static_cast<void*>(ms.get()), 0x41, sizeof *ms);  // stale values everywhere
      c.apply(*ms);
      EXPECT_EQ(c.fields[i].first(*ms), c.fields[i].second) << "routine " << (&c - cases) << ", field " << i;
    }
  }
  // The neighbouring channels keep theirs; the sample count goes back to a
  // mains period.
  std::memset(static_cast<void*>(ms.get()), 0x41, sizeof *ms);
  const float stale = ms->Output.OutputWavePeak[ChIl];
  ResetOutputChannel(ms->Output, ChIf);
  ResetOutputChannel(ms->Output, 4);
  EXPECT_EQ(ms->Output.OutputWavePeak[ChIl], stale);
  EXPECT_EQ(ms->Output.OutputWavePeak[ChIk], stale);
  ResetInputResult(*ms);
  EXPECT_EQ(ms->Input.SampleCount, 200);
}

TEST(StampTestDate, UtcDateWithoutLeadingZeros) {
  const std::pair<UtcDate, std::string> cases[] = {
      {{2002, 12, 31}, "2002-12-31"}, {{2002, 7, 5}, "2002-7-5"}, {{2026, 1, 10}, "2026-1-10"}};
  test::FormRig rig;
  char* date = rig.f().TestDate;
  for (const auto& [today, text] : cases) {
    std::memset(date, 'x', sizeof rig.f().TestDate);
    rig.clock.today = today;
    StampTestDate(rig.f());
    EXPECT_EQ(std::string(date, sizeof rig.f().TestDate), text + std::string(11 - text.size(), '\0'));
  }
}

}  // namespace
}  // namespace kt
