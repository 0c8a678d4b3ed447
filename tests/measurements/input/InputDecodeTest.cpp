// The input decoding against an independent computation on the simulated
// instrument's samples, its thresholds, and what a failed run leaves behind.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "link/Form.h"
#include "link/Resets.h"
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/input/InputDecode.h"
#include "sim/Instrument.h"
#include "support/Fakes.h"

namespace kt {
namespace {

struct Rig : test::FormRig {
  Rig() { RegisterMeasurementKinds(*form); }
  // Puts a capture's blocks where the run's steps store them and decodes.
  void Decode(const std::vector<sim::Block>& blocks) {
    for (std::size_t b = 0; b < 3; ++b) {
      const auto& block = blocks[b];
      form->Kinds[InputTest].Run->Blocks[b].Store(*form, block.data(), static_cast<unsigned>(block.size()));
    }
    DecodeInputMeasurement(*form);
  }
  void Decode(const sim::MainsCapture& c) { Decode(sim::Instrument::Blocks(c)); }
  // An instrument on the scripted port that sends these blocks on request.
  void Serve(std::vector<sim::Block> blocks, bool withholdSecond = false) {
    port.onWrite = [this, blocks, withholdSecond](test::ScriptedPort& p, std::uint8_t b) {
      if (b == '?') p.ArriveNow({'A'});
      if (b == '0') p.ArriveAt(clock.now + 5, blocks[0]);
      if (b == '!') {
        const long acks = std::count(p.written.begin(), p.written.end(), '!');
        if (acks == 1 && withholdSecond) return;
        p.ArriveAt(clock.now + 5, blocks[static_cast<std::size_t>(acks)]);
      }
    };
  }
  void Poll(int ms) {
    port.WaitForInput(ms);
    const int before = host.posts;
    PollerCheck(*form);
    if (host.posts > before) StepDispatch(*form);
  }
};

// Mean-free samples and their DFT bins 0..39, in double precision.
struct Reference {
  std::vector<double> wave;
  double magnitude[40];
  double percent[40];
  double thd;
};

Reference Compute(const std::array<std::int16_t, 256>& raw) {
  Reference r;
  double mean = 0;
  for (auto s : raw) mean += s;
  mean /= 256;
  for (auto s : raw) r.wave.push_back(s - mean);
  for (int k = 0; k < 40; ++k) {
    std::complex<double> sum = 0;
    for (int n = 0; n < 256; ++n) sum += r.wave[n] * std::polar(1.0, -2 * M_PI * k * n / 256);
    r.magnitude[k] = std::abs(sum);
  }
  double s = 0;
  for (int k = 0; k < 40; ++k) {
    r.percent[k] = r.magnitude[k] / r.magnitude[1] * 100;
    if (k != 1) s += r.percent[k] * r.percent[k];
  }
  r.thd = std::sqrt(s);
  return r;
}

TEST(InputDecoding, AgreesWithADirectDftOfTheInstrumentsSamples) {
  sim::Instrument instrument(21);
  for (int run = 0; run < 3; ++run) {
    const sim::MainsCapture c = instrument.MeasureInput();
    Rig r;
    r.Decode(c);
    const InputResult& in = r.form->M.Input;
    const Reference v = Compute(c.VoltageRaw), i = Compute(c.CurrentRaw);

    EXPECT_EQ(in.Urms, c.Values.Urms);
    EXPECT_EQ(in.Irms, c.Values.Irms);
    EXPECT_EQ(in.P, c.Values.P);
    EXPECT_EQ(in.CFi, c.Values.CFi);
    EXPECT_EQ(r.form->M.HighFreqCurrent, c.Values.Ihf);
    for (int k = 0; k < 40; ++k) {
      ASSERT_NEAR(in.VoltageHarmonic[k], v.magnitude[k], 1e-4 * v.magnitude[1]) << k;
      ASSERT_NEAR(in.CurrentHarmonicPct[k], i.percent[k], 2e-3) << k;
      ASSERT_NEAR(in.VoltageHarmonicPct[k], v.percent[k], 2e-3) << k;
    }
    EXPECT_NEAR(in.THDU, v.thd, 2e-3);
    EXPECT_NEAR(in.THDI, i.thd, 2e-3);
    EXPECT_GT(in.THDI, 15.0f) << "a ballast's input current is visibly distorted";
    // Wide band: the fundamental from Irms and THDI, the high-frequency
    // current as a share of it.
    const double i1 = c.Values.Irms / std::sqrt(1 + std::pow(0.01 * i.thd, 2));
    const double h = c.Values.Ihf / i1 * 100;
    EXPECT_NEAR(in.THDIw, std::sqrt(i.thd * i.thd + h * h), 2e-3);

    // 200 display points at source positions 1.28 j of the mean-free period.
    for (int j : {0, 1, 50, 125, 199}) {
      const double x = 1.28 * j;
      const int k = static_cast<int>(x);
      const double expect = j == 0 ? v.wave[0] : v.wave[k] + (v.wave[k + 1] - v.wave[k]) * (x - k);
      ASSERT_NEAR(in.VoltageWave[j], expect, 0.05) << j;
    }
    double peak = 0;
    for (int j = 0; j < 200; ++j) peak = std::max(peak, static_cast<double>(std::fabs(in.CurrentWave[j])));
    EXPECT_EQ(in.CurrentPeak, static_cast<float>(peak));
    EXPECT_EQ(in.SampleCount, 256);
    EXPECT_STREQ(r.form->TestDate, "2026-12-6");
  }
}

// A capture whose value frame is replaced by chosen numbers.
std::vector<sim::Block> WithValues(const sim::MainsCapture& c, std::vector<float> values) {
  auto blocks = sim::Instrument::Blocks(c);
  sim::Block frame;
  for (float v : values)
    for (auto b : sim::EncodeInstrumentFloat(v)) frame.push_back(b);
  frame.resize(40, 0);
  blocks[2] = frame;
  return blocks;
}

TEST(InputDecoding, VoltageAndCurrentThresholdsAreInclusiveInDoublePrecision) {
  const sim::MainsCapture c = sim::Instrument(3).MeasureInput();
  struct Case {
    float urms, irms;
    bool voltage, current;
  } cases[] = {
      {15.0f, 0.2f, true, true},
      {14.99f, 0.2f, false, false},
      {230.0f, 0.015f, true, false},  // the float nearest 0.015 lies below it
      {230.0f, std::nextafter(0.015f, 1.0f), true, true},
      {230.0f, 0.0149f, true, false},
  };
  for (const auto& k : cases) {
    Rig r;
    r.Decode(WithValues(c, {k.urms, k.irms, 0.2f, 37.0f, 0.96f, 0.95f, 50.0f, 0.03f, 1.41f, 1.7f}));
    const InputResult& in = r.form->M.Input;
    SCOPED_TRACE(testing::Message() << "Urms " << k.urms << " Irms " << k.irms);
    if (!k.voltage) {
      EXPECT_EQ(in.SampleCount, 200);
      EXPECT_EQ(in.VoltagePeak, 10.0f);
      EXPECT_EQ(in.CurrentPeak, 0.1f);
      EXPECT_EQ(in.Urms, 0.0f);
      EXPECT_EQ(in.VoltageHarmonic[1], 1.0f);
      EXPECT_EQ(in.VoltageWave[100], 0.0f);
      continue;
    }
    EXPECT_GT(in.THDU, 0.0f);
    EXPECT_NE(in.VoltageWave[50], 0.0f);
    if (k.current) {
      EXPECT_GT(in.THDI, 0.0f);
      EXPECT_NE(in.CurrentPeak, 0.1f);
    } else {
      EXPECT_EQ(in.Irms, 0.0f);
      EXPECT_EQ(in.P, 0.0f);
      EXPECT_EQ(in.THDI, 0.0f);
      EXPECT_EQ(in.CurrentPeak, 0.1f);
      EXPECT_EQ(in.CurrentHarmonic[1], 1.0f);
      EXPECT_EQ(in.CurrentHarmonicPct[3], 0.0f);
      EXPECT_EQ(in.CurrentWave[50], 0.0f);
    }
  }
}

// Blocks built from chosen samples.
std::vector<sim::Block> FromSamples(const std::vector<double>& v, const std::vector<double>& i,
                                    std::vector<float> values) {
  std::vector<sim::Block> blocks(3);
  for (int n = 0; n < 256; ++n) {
    for (auto [src, dst] : {std::pair{&v, &blocks[0]}, std::pair{&i, &blocks[1]}}) {
      const auto s = static_cast<std::int16_t>(std::lround((*src)[n]));
      dst->push_back(static_cast<std::uint8_t>(s & 0xFF));
      dst->push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
    }
  }
  for (float x : values)
    for (auto b : sim::EncodeInstrumentFloat(x)) blocks[2].push_back(b);
  blocks[2].resize(40, 0);
  return blocks;
}

TEST(InputDecoding, APureSineHasNoDistortionAndNoHighFrequencyKeepsThdiwAtThdi) {
  std::vector<double> v(256), i(256);
  for (int n = 0; n < 256; ++n) {
    v[n] = 16000 * std::sin(2 * M_PI * n / 256);
    i[n] = 8000 * std::sin(2 * M_PI * n / 256) + 2000 * std::sin(3 * 2 * M_PI * n / 256);
  }
  Rig r;
  r.Decode(FromSamples(v, i, {230.0f, 0.2f, 0.2f, 40.0f, 0.9f, 0.9f, 50.0f, 0.0f, 1.41f, 1.5f}));
  const InputResult& in = r.form->M.Input;
  EXPECT_FLOAT_EQ(in.VoltageHarmonicPct[1], 100.0f);
  EXPECT_TRUE(std::isfinite(in.THDU));
  EXPECT_LT(in.THDU, 0.05f);
  EXPECT_NEAR(in.THDI, 25.0f, 0.05f);
  EXPECT_EQ(in.THDIw, in.THDI) << "no high-frequency current: the wide band adds nothing";
}

TEST(InputDecoding, ExtremeBlocksDecodeToFiniteOrExplicitValuesWithoutACrash) {
  std::vector<double> alternating(256), zeros(256, 0.0);
  for (int n = 0; n < 256; ++n) alternating[n] = (n % 2) ? 32767 : -32768;
  const float big = std::numeric_limits<float>::max();
  const float tiny = std::numeric_limits<float>::denorm_min();
  struct Case {
    const char* name;
    std::vector<double> v, i;
    std::vector<float> values;
  } cases[] = {
      {"full-scale alternation", alternating, alternating, {big, big, big, -big, 1, 1, 50, big, 1, 1}},
      {"zero fundamental", zeros, zeros, {230, 1, 1, 1, 1, 1, 50, 0, 1, 1}},
      {"subnormal values", alternating, zeros, {tiny, tiny, tiny, tiny, tiny, tiny, tiny, tiny, tiny, tiny}},
  };
  for (const auto& k : cases) {
    Rig r;
    r.Decode(FromSamples(k.v, k.i, k.values));
    const InputResult& in = r.form->M.Input;
    for (int b = 0; b < 40; ++b) {
      ASSERT_FALSE(std::isnan(in.VoltageHarmonicPct[b])) << k.name << " bin " << b;
      ASSERT_FALSE(std::isnan(in.CurrentHarmonicPct[b])) << k.name << " bin " << b;
    }
    EXPECT_FALSE(std::isnan(in.THDU)) << k.name;
    EXPECT_GE(in.THDU, 0.0f) << k.name;
  }
}

TEST(InputRun, AFullExchangeDecodesAndATimeoutInStep2LeavesTheResultsAlone) {
  Rig r;
  sim::Instrument instrument(8);
  const sim::MainsCapture first = instrument.MeasureInput();
  r.Serve(sim::Instrument::Blocks(first));
  r.form->SelectedKind = InputTest;
  StepDispatch(*r.form);
  while (r.form->TestBusy) r.Poll(5);
  ASSERT_EQ(r.port.WrittenText(), "?0!!");
  ASSERT_EQ(r.form->M.Input.Urms, first.Values.Urms);
  const InputResult before = r.form->M.Input;
  const InputSnapshot snapshot = r.form->M.InputSnap;

  // The next run loses its second block.
  r.port.written.clear();
  r.Serve(sim::Instrument::Blocks(instrument.MeasureInput()), true);
  StepDispatch(*r.form);
  for (int i = 0; i < 600 && r.form->TestBusy; ++i) r.Poll(5);
  EXPECT_EQ(r.host.statuses.back(), "性能测试：通讯联络！");
  EXPECT_EQ(std::memcmp(&r.form->M.Input, &before, sizeof before), 0) << "the failed run changed the results";
  EXPECT_EQ(std::memcmp(&r.form->M.InputSnap, &snapshot, sizeof snapshot), 0);
}

TEST(InputSnapshot, BackAndNextBringBackTheLastInputMeasurement) {
  Rig r;
  r.Decode(sim::Instrument(5).MeasureInput());
  const InputResult measured = r.form->M.Input;
  // Another kind's run overwrites the shared record, as the comprehensive test does.
  ClearResults(r.form->M);
  r.form->M.Input.Urms = 1.0f;
  r.form->ShownKind = OutputTest;
  r.form->Kinds[InputTest].Restore(*r.form);
  const InputResult& in = r.form->M.Input;
  EXPECT_EQ(in.Urms, measured.Urms);
  EXPECT_EQ(in.THDIw, measured.THDIw);
  EXPECT_EQ(in.VoltagePeak, measured.VoltagePeak);
  EXPECT_EQ(std::memcmp(in.CurrentWave, measured.CurrentWave, sizeof(float) * 200), 0);
  EXPECT_EQ(std::memcmp(in.VoltageHarmonicPct, measured.VoltageHarmonicPct, sizeof measured.VoltageHarmonicPct), 0);
}

}  // namespace
}  // namespace kt
