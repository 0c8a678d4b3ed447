// The phase-angle decoding: the angles against the simulated ballast's
// conduction angles, synthetic currents with known angles, the alignment on
// the voltage's rising zero crossing, the currents in amperes and per watt,
// and what a missing current or power leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "link/Controller.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/phase/PhaseDecode.h"
#include "sim/Instrument.h"
#include "sim/MainsModel.h"
#include "support/Fakes.h"

namespace kt {
namespace {

constexpr double DegPerSample = 360.0 / 256;

struct Rig : test::FormRig {
  Rig() { RegisterMeasurementKinds(*form); }
  // Puts the blocks where the run's steps store them and decodes.
  void Decode(const std::vector<sim::Block>& blocks) {
    for (std::size_t b = 0; b < 3; ++b)
      form->Kinds[PhaseTest].Run->Blocks[b].Store(*form, blocks[b].data(), static_cast<unsigned>(blocks[b].size()));
    DecodePhaseMeasurement(*form);
  }
  MeasureSet& M() { return form->M; }
};

// Blocks built from chosen samples and values.
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

// Plausible values: Urms, Irms, Irmsw, P, PF, PFw, Freq, Ihf, CFv, CFi.
std::vector<float> Values(float irms = 0.17f, float p = 36.5f) {
  return {230.0f, irms, irms + 0.003f, p, 0.93f, 0.92f, 50.0f, 0.03f, 1.40f, 1.75f};
}

// A clean mains voltage whose rising zero crossing lies between samples
// `crossing` - 1 and `crossing` (half a sample before the latter).
std::vector<double> Voltage(int crossing) {
  std::vector<double> v(256);
  for (int n = 0; n < 256; ++n) v[n] = 16000 * std::sin(2 * M_PI * (n - crossing + 0.5) / 256);
  return v;
}

// An input current pulse in samples after the voltage's crossing: nothing
// before `begin`, rising to a spike at `peak`, then falling but staying
// well above 5 % of the spike until `end`; the negative half-wave mirrors it.
std::vector<double> Pulse(int crossing, int begin, int peak, int end, double scale = 8000) {
  std::vector<double> i(256, 0.0);
  for (int a = 0; a < 128; ++a) {
    double x = 0;
    if (a == peak)
      x = 1.0;
    else if (a >= begin && a < peak)
      x = 0.4 + 0.4 * (a - begin) / (peak - begin);
    else if (a > peak && a < end)
      x = 0.8 - 0.5 * (a - peak) / (end - peak);
    i[(crossing + a) % 256] = scale * x;
    i[(crossing + a + 128) % 256] = -scale * x;
  }
  return i;
}

TEST(PhaseDecoding, AnglesOfTheSimulatedBallastMatchItsConductionAngles) {
  sim::Random rng(71);
  for (int run = 0; run < 12; ++run) {
    const sim::OperatingPoint op = sim::DrawBallast(rng);
    const sim::MainsCapture c = sim::MeasureMains(op, op.LampPower, rng);
    Rig r;
    r.Decode(sim::Instrument::Blocks(c));
    const MeasureSet& m = r.M();
    SCOPED_TRACE(testing::Message() << "start phase " << c.StartPhase << " begin " << op.CurrentBegin << " peak "
                                    << op.CurrentPeak << " end " << op.CurrentEnd);

    // The aligned voltage starts at the first sample on or after the rising
    // zero crossing: the capture's sample `first`.
    const int first = static_cast<int>(std::ceil((360.0 - c.StartPhase) / DegPerSample)) % 256;
    double mean = 0;
    for (auto s : c.VoltageRaw) mean += s;
    mean /= 256;
    for (int i : {0, 1, 100, 255})
      ASSERT_NEAR(m.VoltageWave3[i], c.VoltageRaw[(first + i) % 256] - mean, 0.01) << i;
    EXPECT_GE(m.VoltageWave3[0], 0.0f);
    EXPECT_LT(m.VoltageWave3[255], 0.0f);

    // The ballast's current reaches 5 % of its crest about half a degree
    // after its conduction begins and falls below it just before the end;
    // the sample grid moves each angle by up to one step (1.4 degrees), and
    // the flat crest lets noise move the peak a little further.
    EXPECT_NEAR(m.PhaseBegin, op.CurrentBegin, 2.5);
    EXPECT_NEAR(m.PhasePeak, op.CurrentPeak, 3.0);
    EXPECT_NEAR(m.PhaseEnd, op.CurrentEnd, 2.5);
    // Angles are whole samples of the period.
    for (float a : {m.PhaseBegin, m.PhasePeak, m.PhaseEnd}) EXPECT_NEAR(std::fmod(a / DegPerSample, 1.0), 0.0, 1e-4);
  }
}

TEST(PhaseDecoding, SyntheticPulsesGiveTheirAnglesWhicheverWayTheyWereSampled) {
  struct Case {
    const char* name;
    int begin, peak, end;
    bool inverted;  // the current's clamp the other way round: its pulse in the second half
    double expectEnd;
  } cases[] = {
      {"valley-fill pulse", 22, 62, 112, false, 112 * DegPerSample},
      {"inverted current", 22, 62, 112, true, 112 * DegPerSample},
      {"early, narrow pulse", 5, 20, 40, false, 40 * DegPerSample},
      {"conducts to the end of the half period", 30, 70, 128, false, 180.0},
      {"inverted, conducts to the end", 30, 70, 128, true, 180.0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const int crossing = 40;
    std::vector<double> i = Pulse(crossing, k.begin, k.peak, k.end);
    if (k.inverted)
      for (double& x : i) x = -x;
    Rig r;
    r.Decode(FromSamples(Voltage(crossing), i, Values()));
    EXPECT_FLOAT_EQ(r.M().PhaseBegin, static_cast<float>(k.begin * DegPerSample));
    EXPECT_FLOAT_EQ(r.M().PhasePeak, static_cast<float>(k.peak * DegPerSample));
    EXPECT_FLOAT_EQ(r.M().PhaseEnd, static_cast<float>(k.expectEnd));
    // The spectrum is measured on the samples as sent, whichever way round.
    EXPECT_GT(r.M().Input.THDI, 10.0f);
  }
}

TEST(PhaseDecoding, AlignsOnTheFirstConfirmedRisingCrossingAndSkipsAGlitch) {
  const int crossing = 100;
  const std::vector<double> current = Pulse(crossing, 22, 62, 112);
  struct Case {
    const char* name;
    std::function<void(std::vector<double>&)> damage;
  } cases[] = {
      {"clean", [](std::vector<double>&) {}},
      // A spike through zero in the negative half-wave, 60 samples before the
      // real crossing: 20 samples after it the voltage is negative again.
      {"glitch", [](std::vector<double>& v) { v[40] = 3000; }},
      {"glitch two samples wide", [](std::vector<double>& v) { v[60] = v[61] = 2500; }},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<double> v = Voltage(crossing);
    k.damage(v);
    Rig r;
    r.Decode(FromSamples(v, current, Values()));
    const MeasureSet& m = r.M();
    double mean = 0;
    for (double x : v) mean += std::lround(x);
    mean /= 256;
    // Index 0 of both aligned periods is sample `crossing` of the capture.
    EXPECT_NEAR(m.VoltageWave3[0], std::lround(v[crossing]) - mean, 1e-3);
    EXPECT_NEAR(m.VoltageWave3[255], std::lround(v[crossing - 1]) - mean, 1e-3);
    EXPECT_EQ(m.CurrentWave3[62], 8000.0f) << "the current pulse's spike";
    EXPECT_FLOAT_EQ(m.PhaseBegin, static_cast<float>(22 * DegPerSample));
    EXPECT_FLOAT_EQ(m.PhasePeak, static_cast<float>(62 * DegPerSample));
  }
}

TEST(PhaseDecoding, WithoutAConfirmedCrossingTheAnglesAreZeroAndTheRestIsDecoded) {
  // A voltage that stays at its mean: nothing ever crosses zero upwards.
  const std::vector<double> flat(256, 1234.0);
  Rig r;
  r.M().PhaseBegin = 11.0f;
  r.Decode(FromSamples(flat, Pulse(0, 22, 62, 112), Values()));
  const MeasureSet& m = r.M();
  EXPECT_EQ(m.PhaseBegin, 0.0f);
  EXPECT_EQ(m.PhasePeak, 0.0f);
  EXPECT_EQ(m.PhaseEnd, 0.0f);
  // The three copies stay as they were made: unaligned.
  for (int i : {0, 62, 200}) {
    EXPECT_EQ(m.CurrentWave3[i], m.CurrentWave3[i + 256]) << i;
    EXPECT_EQ(m.CurrentWave3[i], m.CurrentWave3[i + 512]) << i;
  }
  EXPECT_EQ(m.CurrentWave3[62], 8000.0f);
  EXPECT_GT(m.Input.THDI, 10.0f);
  EXPECT_GT(m.Input.CurrentHarmonic[1], 0.1f);
  EXPECT_GT(m.CurrentPerWatt[1], 1.0f);
}

TEST(PhaseDecoding, HarmonicsInAmperesAndMilliamperesPerWatt) {
  sim::Instrument instrument(33);
  for (int run = 0; run < 3; ++run) {
    const sim::MainsCapture c = instrument.MeasureInput();
    Rig r;
    r.M().Input.CFv = 9.5f;
    r.M().Input.CFi = 8.5f;
    r.Decode(sim::Instrument::Blocks(c));
    const InputResult& in = r.M().Input;
    // The fundamental's RMS current straight from the samples: the DFT bin
    // is 128 times its amplitude.
    std::complex<double> x1 = 0;
    for (int n = 0; n < 256; ++n) x1 += c.Current[n] * std::polar(1.0, -2 * M_PI * n / 256);
    const double i1 = std::abs(x1) / 128 / std::sqrt(2.0);
    EXPECT_NEAR(in.CurrentHarmonic[1], i1, 0.005 * i1);
    EXPECT_FLOAT_EQ(in.CurrentHarmonicPct[1], 100.0f);
    double sumSq = 0;
    for (int k = 0; k < 40; ++k) {
      ASSERT_NEAR(in.CurrentHarmonic[k], 0.01 * in.CurrentHarmonicPct[k] * in.CurrentHarmonic[1],
                  1e-6 * in.CurrentHarmonic[1])
          << k;
      ASSERT_NEAR(r.M().CurrentPerWatt[k], in.CurrentHarmonic[k] * 1000.0 / c.Values.P,
                  1e-5 * std::fabs(r.M().CurrentPerWatt[k]) + 1e-9)
          << k;
      sumSq += static_cast<double>(in.CurrentHarmonic[k]) * in.CurrentHarmonic[k];
    }
    // The harmonics up to 39 make up nearly all of the measured current.
    EXPECT_NEAR(std::sqrt(sumSq), c.Values.Irms, 0.01 * c.Values.Irms);
    // A 36 W ballast draws roughly 4 mA of fundamental per watt at 230 V.
    EXPECT_GT(r.M().CurrentPerWatt[1], 3.5f);
    EXPECT_LT(r.M().CurrentPerWatt[1], 5.5f);
    EXPECT_EQ(in.CFv, 9.5f) << "the crest factors are not this test's";
    EXPECT_EQ(in.CFi, 8.5f);
    EXPECT_EQ(in.P, c.Values.P);
    EXPECT_EQ(r.M().HighFreqCurrent, c.Values.Ihf);
    EXPECT_EQ(in.SampleCount, 256);
    EXPECT_STREQ(r.form->TestDate, "2026-12-6");
    EXPECT_EQ(r.host.repaints, 1);
  }
}

TEST(PhaseDecoding, NoUsablePowerGivesZeroPerWattValuesInsteadOfInfinities) {
  const std::vector<double> v = Voltage(40), i = Pulse(40, 22, 62, 112);
  for (float p : {0.0f, -0.0f, std::numeric_limits<float>::denorm_min()}) {
    SCOPED_TRACE(p);
    Rig r;
    r.Decode(FromSamples(v, i, Values(0.17f, p)));
    EXPECT_GT(r.M().Input.CurrentHarmonic[1], 0.1f) << "the ampere column is still measured";
    for (int k = 0; k < 40; ++k) ASSERT_EQ(r.M().CurrentPerWatt[k], 0.0f) << k;
  }
  // The same rule for any power handed to the computation.
  for (float p : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -1e-37f, 40.0f}) {
    SCOPED_TRACE(p);
    MeasureSet m;
    m.Input.P = p;
    for (int k = 0; k < 40; ++k) m.Input.CurrentHarmonic[k] = 0.2f / (k + 1);
    FillCurrentPerWatt(m);
    for (int k = 0; k < 40; ++k) ASSERT_TRUE(std::isfinite(m.CurrentPerWatt[k])) << k;
    if (p == 40.0f)
      EXPECT_FLOAT_EQ(m.CurrentPerWatt[1], 2.5f);
    else if (p == -1e-37f)
      EXPECT_EQ(m.CurrentPerWatt[1], 0.0f) << "beyond the float range";
    else
      EXPECT_EQ(m.CurrentPerWatt[1], 0.0f);
  }
}

TEST(PhaseDecoding, AMissingCurrentLeavesNoFundamentalAndAMissingVoltageEmptiesAll) {
  const std::vector<double> v = Voltage(40), i = Pulse(40, 22, 62, 112);
  Rig r;
  r.Decode(FromSamples(v, i, Values()));
  ASSERT_GT(r.M().PhasePeak, 0.0f);
  ASSERT_GT(r.M().CurrentPerWatt[3], 0.0f);

  r.Decode(FromSamples(v, i, Values(0.0149f)));
  const MeasureSet& m = r.M();
  EXPECT_EQ(m.Input.CurrentHarmonic[1], 0.0f) << "no current, no fundamental: not the 1.0 of the reset";
  EXPECT_EQ(m.Input.CurrentPeak, 0.1f);
  EXPECT_EQ(m.Input.Irms, 0.0f);
  EXPECT_EQ(m.PhaseBegin, 0.0f);
  EXPECT_EQ(m.PhasePeak, 0.0f);
  EXPECT_EQ(m.PhaseEnd, 0.0f);
  EXPECT_EQ(m.CurrentPerWatt[3], 0.0f);
  EXPECT_EQ(m.Input.Urms, 230.0f);
  EXPECT_NE(m.Input.VoltageWave[50], 0.0f) << "the voltage is still measured";
  EXPECT_EQ(m.PhaseSnap.CurrentHarmonic[1], 0.0f) << "and Back/Next keeps it so";

  r.Decode(FromSamples(v, i, Values(0.17f)));
  r.Decode(FromSamples(v, i, {14.99f, 0.17f, 0.17f, 36.0f, 0.9f, 0.9f, 50.0f, 0.0f, 1.4f, 1.7f}));
  EXPECT_EQ(m.Input.SampleCount, 200);
  EXPECT_EQ(m.Input.VoltagePeak, 10.0f);
  EXPECT_EQ(m.Input.Urms, 0.0f);
  EXPECT_EQ(m.PhasePeak, 0.0f);
  EXPECT_EQ(m.CurrentPerWatt[3], 0.0f);
}

TEST(PhaseRun, AFullExchangeDecodesAndBackNextBringsItBack) {
  Rig r;
  const sim::MainsCapture c = sim::Instrument(9).MeasureInput();
  const auto blocks = sim::Instrument::Blocks(c);
  r.port.onWrite = [&](test::ScriptedPort& p, std::uint8_t b) {
    if (b == '?') p.ArriveNow({'A'});
    if (b == '0') p.ArriveAt(r.clock.now + 5, blocks[0]);
    if (b == '!') {
      const long acks = std::count(p.written.begin(), p.written.end(), '!');
      p.ArriveAt(r.clock.now + 5, blocks[static_cast<std::size_t>(acks)]);
    }
  };
  r.form->SelectedKind = PhaseTest;
  StepDispatch(*r.form);
  for (int i = 0; i < 100 && r.form->TestBusy; ++i) {
    r.port.WaitForInput(5);
    const int before = r.host.posts;
    PollerCheck(*r.form);
    if (r.host.posts > before) StepDispatch(*r.form);
  }
  ASSERT_EQ(r.port.WrittenText(), "?0!!");
  EXPECT_EQ(r.host.statuses.back(), "相位角性能测试：100%");
  EXPECT_EQ(r.form->ShownKind, PhaseTest);
  const MeasureSet measured = r.M();
  EXPECT_GT(measured.PhasePeak, 60.0f);
  EXPECT_GT(measured.CurrentPerWatt[1], 1.0f);

  // Another kind's run clears the shared record; browsing back restores the
  // phase results but not the per-watt column, which is not kept.
  ClearResults(r.M());
  ResetCurrentSide(r.M());
  r.form->ShownKind = InputTest;
  BrowseBack(*r.form);
  ASSERT_EQ(r.form->ShownKind, PhaseTest);
  const MeasureSet& m = r.M();
  EXPECT_EQ(m.PhaseBegin, measured.PhaseBegin);
  EXPECT_EQ(m.PhasePeak, measured.PhasePeak);
  EXPECT_EQ(m.PhaseEnd, measured.PhaseEnd);
  EXPECT_EQ(m.Input.Urms, measured.Input.Urms);
  EXPECT_EQ(m.Input.P, measured.Input.P);
  EXPECT_EQ(m.Input.THDI, measured.Input.THDI);
  EXPECT_EQ(m.Input.CurrentPeak, measured.Input.CurrentPeak);
  EXPECT_EQ(std::memcmp(m.Input.CurrentWave, measured.Input.CurrentWave, 800), 0);
  EXPECT_EQ(std::memcmp(m.Input.CurrentHarmonic, measured.Input.CurrentHarmonic, 160), 0);
  EXPECT_EQ(std::memcmp(m.Input.CurrentHarmonicPct, measured.Input.CurrentHarmonicPct, 160), 0);
  EXPECT_EQ(m.CurrentPerWatt[1], 0.0f);
}

}  // namespace
}  // namespace kt
