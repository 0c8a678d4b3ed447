// The decoding of the two analysis exchanges on hand-made blocks: the
// signal test, the spike repair, the envelope order, the lamp current as the
// reference period, the order flag, and the repaired faults (zero gain, a
// flat period, periods too long for the drawing copy, a late crossing).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

#include "analysis/WaveAnalysis.h"
#include "core/AnalysisData.h"
#include "core/MeasureSet.h"

namespace kt {
namespace {

constexpr int kWireU = 0, kWireIf = 1, kWireIl = 2, kWireIk = 3;
constexpr double kPi = std::numbers::pi;

// What the instrument sends for the high-frequency analysis: header and the
// four wave frames in wire order.
struct Capture {
  std::uint8_t header[16] = {};
  std::uint8_t frames[4][1200] = {};

  // Gains of the four wire slots: integer part, hundredths, ten-thousandths.
  void Gain(int wire, unsigned whole, unsigned hundredths, unsigned tenThousandths) {
    static constexpr int at[4] = {1, 4, 8, 12};
    std::uint8_t* h = header + at[wire];
    if (wire == kWireU) {
      *h++ = static_cast<std::uint8_t>(whole);
    } else {
      *h++ = static_cast<std::uint8_t>(whole & 0xFF);
      *h++ = static_cast<std::uint8_t>(whole >> 8);
    }
    *h++ = static_cast<std::uint8_t>(hundredths);
    *h = static_cast<std::uint8_t>(tenThousandths);
  }
  void Wave(int wire, const std::function<double(int)>& sample) {
    for (int i = 0; i < 600; ++i) {
      const auto v = static_cast<std::int16_t>(std::lround(sample(i)));
      frames[wire][2 * i] = static_cast<std::uint8_t>(v & 0xFF);
      frames[wire][2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
  }
};

std::function<double(int)> Sine(double amplitude, double period, double phase = 0.3, double offset = 0) {
  return [=](int i) { return offset + amplitude * std::sin(2 * kPi * i / period + phase); };
}

// Four clean channels sharing a 125-sample period, nominal gains.
std::unique_ptr<Capture> CleanCapture() {
  auto c = std::make_unique<Capture>();
  c->Gain(kWireU, 20, 48, 0);          // 20.48 counts per volt
  c->Gain(kWireIf, 10000, 12, 34);     // 10000.1234 counts per ampere
  c->Gain(kWireIl, 9998, 0, 0);
  c->Gain(kWireIk, 10002, 50, 0);
  c->Wave(kWireU, Sine(3000, 125, 1.0, 40));
  c->Wave(kWireIf, Sine(600, 125, 2.0, -20));
  c->Wave(kWireIl, Sine(4000, 125, 0.3, 55));
  c->Wave(kWireIk, Sine(3500, 125, 0.5));
  return c;
}

std::unique_ptr<AnalysisData> Analyse(const Capture& c) {
  auto a = std::make_unique<AnalysisData>();
  AnalyseWaveFrames(*a, c.header, c.frames);
  return a;
}

bool AllFinite(const AnalysisData& a) {
  for (int c = 0; c < 4; ++c)
    if (!std::isfinite(a.WavePeak[c]) || !std::isfinite(a.WaveRms[c]) || !std::isfinite(a.CrestFactor[c])) return false;
  return true;
}

TEST(SignalPresent, MoreThanNinetyPercentSmallSamplesMeanNoSignal) {
  for (int small : {540, 541}) {
    std::vector<float> x(600, 500.0f);
    for (int i = 0; i < small; ++i) x[static_cast<std::size_t>(i)] = i % 2 ? 9.99f : -9.99f;
    EXPECT_EQ(SignalPresent(x.data(), 600), small == 540) << small << " small samples";
  }
  const std::vector<float> atLimit(600, -10.0f);
  EXPECT_TRUE(SignalPresent(atLimit.data(), 600)) << "a magnitude of 10 is not small";
  EXPECT_FALSE(SignalPresent(atLimit.data(), 0)) << "no samples, no signal";
  EXPECT_EQ(RmsOf(atLimit.data(), 0), 0.0f) << "nor an RMS value";
}

TEST(ClipSpike, CutsOneExtremeToTheOtherAndStraightensAGlitchAtTheStart) {
  struct Case {
    const char* what;
    std::vector<float> in, out;
    int n;
  };
  const Case cases[] = {
      {"a positive spike is cut to the size of the negative extreme",
       {0, 1, 2, 3, 4, 5, 90, -20, -10, 0}, {0, 1, 2, 3, 4, 5, 20, -20, -10, 0}, 10},
      {"a negative spike is cut to the size of the positive extreme",
       {0, 1, 2, 3, 4, 5, 30, -80, -10, 0}, {0, 1, 2, 3, 4, 5, 30, -30, -10, 0}, 10},
      {"of two equal maxima the first is cut",
       {0, 1, 2, 3, 4, 5, 50, 50, -10, 0}, {0, 1, 2, 3, 4, 5, 10, 50, -10, 0}, 10},
      {"without negative samples the smallest extreme is the 0 it starts from",
       {1, 2, 3, 4, 5, 6, 9, 7}, {1, 2, 3, 4, 5, 6, 0, 7}, 8},
      {"a sample among 1..4 above sample 5 puts 1..4 on the line from 0 to 5",
       {-10, 12, -6, -2, 2, 10, 30, -30, 0, 0}, {-10, -6, -2, 2, 6, 10, 30, -30, 0, 0}, 10},
      {"fewer than six samples: nothing beyond them is read or written",
       {0, 5, -1, 77, 77, -100, 77, 77}, {0, 1, -1, 77, 77, -100, 77, 77}, 3},
  };
  for (const Case& c : cases) {
    std::vector<float> x = c.in;
    ClipSpike(x.data(), c.n);
    EXPECT_EQ(x, c.out) << c.what;
  }
}

TEST(DecodeEnvelope, ShowsTheSmallerAuxiliaryCurrentAsFilamentAndEmptiesQuietChannels) {
  std::uint8_t frames[4][300] = {};
  const auto fill = [&](int wire, int value) {
    for (int i = 0; i < 150; ++i) {
      const int v = i == 80 ? value : value / 2;
      frames[wire][2 * i] = static_cast<std::uint8_t>(v & 0xFF);
      frames[wire][2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
  };
  fill(kWireU, 49);      // below the floor
  fill(kWireIf, 3000);   // larger than the cathode-lead frame
  fill(kWireIl, 50);     // exactly at the floor
  fill(kWireIk, 1200);
  AnalysisData a;
  for (auto& curve : a.Envelope) std::fill(std::begin(curve), std::end(curve), 7.0f);
  DecodeEnvelopeFrames(a, frames);

  EXPECT_EQ(a.BlockSamples, 150);
  EXPECT_EQ(a.EnvelopeMax[ChU], 0.0f);
  EXPECT_EQ(a.Envelope[ChU][80], 49.0f) << "the samples stay; only the panel is empty";
  EXPECT_EQ(a.EnvelopeMax[ChIl], 50.0f);
  EXPECT_EQ(a.EnvelopeMax[ChIf], 1200.0f);
  EXPECT_EQ(a.Envelope[ChIf][80], 1200.0f);
  EXPECT_EQ(a.EnvelopeMax[ChIk], 3000.0f);
  EXPECT_EQ(a.Envelope[ChIk][0], 1500.0f);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(a.Envelope[c][150], 0.0f) << "the end the resampling reads";
}

TEST(AnalyseWaves, MeasuresEveryChannelOverTheLampCurrentsPeriodWithItsOwnGain) {
  const auto cap = CleanCapture();
  const auto a = Analyse(*cap);
  EXPECT_EQ(a->BlockSamples, 600);
  EXPECT_EQ(a->OrderFlag, 0);
  EXPECT_FLOAT_EQ(a->Gain[ChU], 20.48f);
  EXPECT_FLOAT_EQ(a->Gain[ChIf], 10000.1234f);
  EXPECT_FLOAT_EQ(a->Gain[ChIl], 9998.0f);
  EXPECT_FLOAT_EQ(a->Gain[ChIk], 10002.5f);
  const double amplitude[4] = {3000, 4000, 600, 3500};  // display order
  for (int c = 0; c < 4; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(a->Period[c], 125);
    EXPECT_NEAR(a->WaveRms[c], amplitude[c] / std::sqrt(2.0) / a->Gain[c], 0.002 * a->WaveRms[c]);
    EXPECT_NEAR(a->CrestFactor[c], std::sqrt(2.0), 0.01);
    EXPECT_NEAR(a->WavePeak[c], amplitude[c], 0.01 * amplitude[c]);
    // Two cleaned periods from the rising crossing, the second a copy.
    EXPECT_LT(std::fabs(a->Wave[c][0]), amplitude[c] * 0.1);
    EXPECT_GT(a->Wave[c][1], a->Wave[c][0]) << "rising";
    for (int k : {1, 40, 124}) EXPECT_EQ(a->Wave[c][k], a->Wave[c][k + 125]);
  }
}

TEST(AnalyseWaves, WithoutTheLampCurrentsPeriodEveryChannelReadsZero) {
  // Alone, a channel without signal or without a crossing reads 0.
  auto alone = CleanCapture();
  alone->Wave(kWireU, [](int) { return 3; });
  alone->Wave(kWireIk, [](int) { return -800; });
  const auto one = Analyse(*alone);
  EXPECT_EQ(one->WaveRms[ChU], 0.0f);
  EXPECT_EQ(one->WaveRms[ChIk], 0.0f);
  EXPECT_EQ(one->Period[ChIk], 0);
  EXPECT_GT(one->WaveRms[ChIf], 0.0f);

  struct Case {
    const char* what;
    std::function<double(int)> lamp;
  };
  const Case cases[] = {
      {"lamp current absent", [](int i) { return i % 2 ? 9 : -9; }},
      {"lamp current without a crossing", [](int) { return 1500; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto cap = CleanCapture();
    cap->Wave(kWireIl, c.lamp);
    const auto a = Analyse(*cap);
    EXPECT_EQ(a->Period[ChIl], 0);
    for (int ch = 0; ch < 4; ++ch) {
      EXPECT_EQ(a->WavePeak[ch], 0.0f) << ch;
      EXPECT_EQ(a->WaveRms[ch], 0.0f) << ch;
      EXPECT_EQ(a->CrestFactor[ch], 0.0f) << ch;
    }
  }
}

TEST(AnalyseWaves, TheOrderFlagExchangesTheFilamentAndCathodeResults) {
  auto cap = CleanCapture();
  cap->Wave(kWireIf, Sine(600, 100, 2.0));  // its own period, drawn over two of them
  const auto plain = Analyse(*cap);
  cap->header[0] = 1;
  const auto swapped = Analyse(*cap);
  EXPECT_EQ(swapped->OrderFlag, 1);
  ASSERT_EQ(plain->Period[ChIf], 100);
  const auto same = [](const AnalysisData& x, int cx, const AnalysisData& y, int cy) {
    return x.WavePeak[cx] == y.WavePeak[cy] && x.WaveRms[cx] == y.WaveRms[cy] && x.CrestFactor[cx] == y.CrestFactor[cy] &&
           x.Period[cx] == y.Period[cy] && std::memcmp(x.Wave[cx], y.Wave[cy], sizeof x.Wave[cx]) == 0;
  };
  EXPECT_TRUE(same(*swapped, ChIf, *plain, ChIk));
  EXPECT_TRUE(same(*swapped, ChIk, *plain, ChIf));
  EXPECT_TRUE(same(*swapped, ChU, *plain, ChU));
  EXPECT_TRUE(same(*swapped, ChIl, *plain, ChIl));
  EXPECT_EQ(swapped->Gain[ChIf], plain->Gain[ChIf]) << "the gains stay with their slots";
}

TEST(AnalyseWaves, ZeroGainsAndFlatPeriodsReadZeroInsteadOfInfinityOrNan) {
  auto cap = CleanCapture();
  cap->Gain(kWireIk, 0, 0, 0);
  // A lamp-current period of 45 samples; the voltage a square wave whose
  // 45 samples after its rising edge are all alike: RMS 0 once the mean is
  // gone.
  cap->Wave(kWireIl, Sine(4000, 45, 0.3));
  cap->Wave(kWireU, [](int i) { return (i / 100) % 2 ? 100 : -100; });
  cap->Wave(kWireIk, Sine(3500, 45, 0.5));
  const auto a = Analyse(*cap);
  ASSERT_EQ(a->Period[ChIl], 45);
  EXPECT_TRUE(AllFinite(*a));
  EXPECT_EQ(a->Period[ChU], 200);
  EXPECT_EQ(a->WaveRms[ChU], 0.0f);
  EXPECT_EQ(a->CrestFactor[ChU], 0.0f);
  EXPECT_EQ(a->WaveRms[ChIk], 0.0f) << "no gain, no ampere value";
  EXPECT_NEAR(a->CrestFactor[ChIk], std::sqrt(2.0), 0.02) << "the crest factor needs no gain";
}

TEST(AnalyseWaves, APeriodLongerThanHalfTheCaptureFillsTheSlotsAndNoMore) {
  auto cap = CleanCapture();
  cap->Wave(kWireIl, [](int i) { return 4000 * std::sin(2 * kPi * (i - 5) / 350); });
  cap->Wave(kWireIf, [](int) { return 0; });  // absent: its samples stay as they came
  const auto a = Analyse(*cap);
  ASSERT_EQ(a->Period[ChIl], 350);
  for (int k : {0, 100, 249}) EXPECT_EQ(a->Wave[ChIl][350 + k], a->Wave[ChIl][k]);
  for (int k = 0; k < 600; ++k) ASSERT_EQ(a->Wave[ChIf][k], 0.0f) << "written past the lamp current's slots at " << k;
}

TEST(AnalyseWaves, ACrossingLateInTheCaptureIsMeasuredOnTheSamplesThatFollowIt) {
  auto cap = CleanCapture();
  // Silent (but not small) until sample 500, then a 44-sample wave: its
  // rising crossing leaves 100 samples, fewer than the lamp current's 125.
  cap->Wave(kWireU, [](int i) { return i < 500 ? -50.0 : 1000 * std::sin(2 * kPi * (i - 500) / 44); });
  const auto a = Analyse(*cap);
  ASSERT_EQ(a->Period[ChU], 44);
  // The 25 samples after the capture would be the lamp current's (4000 high).
  EXPECT_NEAR(a->WaveRms[ChU] * a->Gain[ChU], 1000 / std::sqrt(2.0), 30.0);
  EXPECT_LT(a->WavePeak[ChU], 1200.0f);
}

}  // namespace
}  // namespace kt
