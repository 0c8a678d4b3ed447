// Each kind's exchange against the simulated instrument, decoded and checked
// against what the instrument measured: its own values, an independent DFT
// of its samples, its curves and summary. A twin instrument with the same
// seed repeats the session measurement for measurement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "link/Form.h"
#include "sim/InstrumentFloat.h"
#include "support/Dft.h"
#include "support/Fakes.h"

namespace kt {
namespace {

using test::FormRig;

// The voltage or current spectrum the input decoding must give: bins in
// counts, percentages of bin 1 and the distortion over bins 0 and 2..39.
struct Spectrum {
  std::vector<double> mag, pct;
  double thd = 0;
};
template <typename Raw>
Spectrum Reference(const Raw& raw) {
  Spectrum s;
  s.mag = test::HarmonicMagnitudes(raw, HarmonicBins);
  for (double m : s.mag) s.pct.push_back(m / s.mag[1] * 100);
  for (int k = 0; k < HarmonicBins; ++k)
    if (k != 1) s.thd += s.pct[k] * s.pct[k];
  s.thd = std::sqrt(s.thd);
  return s;
}

void ExpectMains(const Form& f, const sim::MainsCapture& c, int values) {
  const InputResult& in = f.M.Input;
  const sim::MainsValues& v = c.Values;
  const float got[10] = {in.Urms, in.Irms, in.Irmsw, in.P, in.PF, in.PFw, in.Freq, f.M.HighFreqCurrent, in.CFv, in.CFi};
  const float sent[10] = {v.Urms, v.Irms, v.Irmsw, v.P, v.PF, v.PFw, v.Freq, v.Ihf, v.CFv, v.CFi};
  for (int i = 0; i < values; ++i) EXPECT_EQ(got[i], sent[i]) << "value " << i;
  const Spectrum u = Reference(c.VoltageRaw), i = Reference(c.CurrentRaw);
  for (int k = 0; k < HarmonicBins; ++k) {
    EXPECT_NEAR(in.VoltageHarmonic[k], u.mag[k], 1e-4 * u.mag[1] + 0.05) << k;
    EXPECT_NEAR(in.VoltageHarmonicPct[k], u.pct[k], 1e-3) << k;
    EXPECT_NEAR(in.CurrentHarmonicPct[k], i.pct[k], 1e-3) << k;
  }
  EXPECT_NEAR(in.THDU, u.thd, 1e-3);
  EXPECT_NEAR(in.THDI, i.thd, 1e-3);
  EXPECT_NEAR(v.Urms, 230, 12);
  EXPECT_GT(in.THDI, 20);
  EXPECT_LT(in.THDI, 35);
  // The 256 samples of one period become 200 display points: point 100 lies
  // on sample 128, point 50 a quarter of the way from sample 64 to 65.
  double mean = 0;
  for (auto s : c.VoltageRaw) mean += s;
  mean /= 256;
  EXPECT_NEAR(in.VoltageWave[100], c.VoltageRaw[128] - mean, 1e-2);
  EXPECT_NEAR(in.VoltageWave[50], c.VoltageRaw[64] - mean, 1e-2);
  EXPECT_NEAR(in.VoltageWave[1], c.VoltageRaw[1] - mean + 0.28 * (c.VoltageRaw[2] - c.VoltageRaw[1]), 1e-2);
  float peak = 0;
  for (int j = 0; j < 200; ++j) peak = std::max(peak, std::fabs(in.VoltageWave[j]));
  EXPECT_EQ(in.VoltagePeak, peak);
  EXPECT_STREQ(f.TestDate, "2026-12-6");
}

// Lamp values in the instrument's wire order against the record's fields.
void ExpectLamp(const OutputResult& o, const sim::LampValues& v, bool all) {
  EXPECT_EQ(o.Vrms, v.Vrms);
  EXPECT_EQ(o.Ifrms, v.Ifrms);
  EXPECT_EQ(o.Ilrms, v.Ilrms);
  EXPECT_EQ(o.Ikrms, v.Ikrms);
  EXPECT_EQ(o.Ilm, v.Ilm);
  EXPECT_EQ(o.IlcfPos, v.IlcfPos);
  EXPECT_EQ(o.Pout, std::fabs(v.Pout));
  EXPECT_EQ(o.OscFreq, v.OscKHz);
  if (!all) return;
  EXPECT_EQ(o.Vm, v.Vm);
  EXPECT_EQ(o.Ifm, v.Ifm);
  EXPECT_EQ(o.Ikm, v.Ikm);
  EXPECT_EQ(o.Vcf, v.Vcf);
  EXPECT_EQ(o.Ifcf, v.Ifcf);
  EXPECT_EQ(o.IlcfNeg, v.IlcfNeg);
  EXPECT_EQ(o.Ikcf, v.Ikcf);
  EXPECT_NEAR(o.Ildhc, std::fabs(v.IlcfPos - v.IlcfNeg) / std::max(v.IlcfPos, v.IlcfNeg) * 100, 1e-4);
}

// The envelope frames arrive as U, If, Il, Ik; the record keeps U, Il, If,
// Ik, with the larger of the two auxiliary curves as the cathode lead's.
void ExpectEnvelopes(const OutputResult& o, const sim::LampCapture& c, int channels) {
  const auto& raw = c.EnvelopeRaw;
  const auto peak = [](const auto& a) {
    int m = 0;
    for (auto s : a) m = std::max(m, std::abs(int(s)));
    return m;
  };
  const bool swap = peak(raw[sim::WireIf]) > peak(raw[sim::WireIk]);
  const int wireOf[4] = {sim::WireU, sim::WireIl, swap ? sim::WireIk : sim::WireIf, swap ? sim::WireIf : sim::WireIk};
  for (int ch = 0; ch < channels; ++ch) {
    for (int i = 0; i < 150; ++i) ASSERT_EQ(o.OutputWave[ch][i], raw[wireOf[ch]][i]) << ch << " " << i;
    for (int i = 150; i < 200; ++i) ASSERT_EQ(o.OutputWave[ch][i], 0.0f) << ch;
    EXPECT_EQ(o.OutputWavePeak[ch], peak(raw[wireOf[ch]])) << ch;
  }
}

TEST(Decoding, InputMeasurementsAgreeWithTheInstrumentAndADirectDft) {
  FormRig r;
  r.Attach(7);
  sim::Instrument twin(7);
  for (int run = 0; run < 2; ++run) {
    r.Run(InputTest);
    const auto c = twin.MeasureInput();
    ExpectMains(r.f(), c, 10);
    const InputResult& in = r.f().M.Input;
    // Over the wide band the high-frequency current adds to the distortion.
    const double i1 = std::sqrt(in.Irms * in.Irms / (1 + in.THDI * in.THDI * 1e-4));
    EXPECT_NEAR(in.THDIw, std::hypot(in.THDI, c.Values.Ihf / i1 * 100), 1e-3);
  }
}

TEST(Decoding, OutputAndComprehensiveMeasurementsAgreeWithTheInstrument) {
  FormRig r;
  r.Attach(7);
  sim::Instrument twin(7);
  r.Run(OutputTest);
  const auto lamp = twin.MeasureOutput();
  ExpectLamp(r.f().M.Output, lamp.Values, true);
  ExpectEnvelopes(r.f().M.Output, lamp, 4);
  EXPECT_STREQ(r.f().TestDate, "2026-12-6");

  r.Run(CompTest);
  const auto comp = twin.MeasureComp();
  ExpectMains(r.f(), comp.Mains, 10);
  ExpectLamp(r.f().M.Output, comp.Lamp.Values, false);
  ExpectEnvelopes(r.f().M.Output, comp.Lamp, 2);
}

TEST(Decoding, StartCurvesPeaksTimesAndCursorAgreeWithTheInstrumentWhicheverTheChannelOrder) {
  for (bool flag : {false, true}) {
    SCOPED_TRACE(flag);
    FormRig r;
    r.Attach(9, 5, flag);
    sim::Instrument twin(9, flag);
    r.Run(StartTest, false);
    const auto c = twin.MeasureStart();
    const StartResult& s = r.f().M.Start;
    const int wireOf[4] = {sim::WireU, sim::WireIl, sim::WireIf, sim::WireIk};
    const int summaryOf[4] = {0, 2, 1, 3};  // the summary lists U, If, Il, Ik
    for (int ch = 0; ch < 4; ++ch) {
      float peak = 0;
      for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(s.Curve[ch][i], c.Raw[wireOf[ch]][i]) << ch << " " << i;
        peak = std::max(peak, std::fabs(s.Curve[ch][i]));
      }
      EXPECT_EQ(s.CurveMax[ch], peak) << ch;
      EXPECT_EQ(s.Peak[ch], c.Summary[summaryOf[ch]]) << ch;
      EXPECT_EQ(s.PeakTime[ch], c.Summary[5 + summaryOf[ch]]) << ch;
    }
    EXPECT_EQ(s.WarmUpTime, c.Summary[4]);
    EXPECT_EQ(s.Valid, 1);
    // The cursor stands on the lamp current's peak, with each curve's value there.
    const int at = static_cast<int>(std::max_element(s.Curve[ChIl], s.Curve[ChIl] + 300,
                                                     [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
                                    s.Curve[ChIl]);
    EXPECT_EQ(s.CursorIndex, at);
    EXPECT_NEAR(s.CursorTime, at / 60.0, 1e-5);
    for (int ch = 0; ch < 4; ++ch)
      EXPECT_NEAR(s.CursorValue[ch], s.Curve[ch][at] * s.Peak[ch] / s.CurveMax[ch], 1e-4 * std::fabs(s.Peak[ch]));
    // A start test runs once: it locks, arms no retry and waited for no deadline.
    EXPECT_EQ(r.f().TestLocked, 1);
    EXPECT_FALSE(r.host.timer1);
  }
}

TEST(Decoding, PhaseAnglesAndHarmonicCurrentsAgreeWithTheBallast) {
  FormRig r;
  r.Attach(7);
  sim::Instrument twin(7);
  r.Run(PhaseTest);
  twin.MeasureInput();
  // A repeated phase test leaves the two crest factors as they were.
  r.f().M.Input.CFv = 5.5f;
  r.Run(PhaseTest);
  const auto c = twin.MeasureInput();
  ExpectMains(r.f(), c, 8);
  const MeasureSet& m = r.f().M;
  EXPECT_EQ(m.Input.CFv, 5.5f);
  const sim::OperatingPoint& op = twin.Nominal();
  EXPECT_NEAR(m.PhaseBegin, op.CurrentBegin, 3.0);
  EXPECT_NEAR(m.PhasePeak, op.CurrentPeak, 3.5);
  EXPECT_NEAR(m.PhaseEnd, op.CurrentEnd, 3.0);
  for (float a : {m.PhaseBegin, m.PhasePeak, m.PhaseEnd}) EXPECT_NEAR(std::fmod(a / 1.40625, 1.0), 0.0, 1e-4) << a;
  // Harmonics in amperes of the fundamental current, and per watt.
  const double i1 = std::sqrt(m.Input.Irms * m.Input.Irms / (1 + m.Input.THDI * m.Input.THDI * 1e-4));
  double sumSq = 0;
  for (int k = 0; k < HarmonicBins; ++k) {
    EXPECT_NEAR(m.Input.CurrentHarmonic[k], m.Input.CurrentHarmonicPct[k] * 0.01 * i1, 1e-6) << k;
    EXPECT_NEAR(m.CurrentPerWatt[k], m.Input.CurrentHarmonic[k] * 1000 / c.Values.P, 1e-4) << k;
    if (k) sumSq += m.Input.CurrentHarmonic[k] * m.Input.CurrentHarmonic[k];
  }
  EXPECT_NEAR(std::sqrt(sumSq), c.Values.Irms, 0.01 * c.Values.Irms);
}

// The instrument's blocks of one measurement with one number of one block
// replaced, as a channel with nothing on its terminal would send it.
std::vector<sim::Block> BlocksOf(TestKind kind, int block, int offset, float value) {
  sim::Instrument inst(7);
  std::vector<sim::Block> b;
  switch (kind) {
    case InputTest:
    case PhaseTest:
      b = sim::Instrument::Blocks(inst.MeasureInput());
      break;
    case OutputTest:
      b = sim::Instrument::Blocks(inst.MeasureOutput());
      break;
    case CompTest:
      b = sim::Instrument::Blocks(inst.MeasureComp());
      break;
    default:
      b = sim::Instrument::Blocks(inst.MeasureStart());
      break;
  }
  const auto bytes = sim::EncodeInstrumentFloat(value);
  std::copy(bytes.begin(), bytes.end(), b[static_cast<std::size_t>(block)].begin() + offset);
  return b;
}

TEST(Decoding, AChannelBelowItsThresholdIsResetAndOneAtItKept) {
  struct Case {
    const char* what;
    TestKind kind;
    int block, offset;
    float value;
    std::function<bool(const MeasureSet&)> holds;
  };
  const Case cases[] = {
      {"mains voltage below 15 V", InputTest, 2, 0, 14.99f,
       [](const MeasureSet& m) {
         return m.Input.Urms == 0 && m.Input.VoltagePeak == 10.0f && m.Input.SampleCount == 200 &&
                m.Input.CurrentPeak == 0.1f && m.Input.VoltageHarmonic[1] == 1.0f && m.Input.THDI == 0;
       }},
      {"mains voltage of 15 V", InputTest, 2, 0, 15.0f, [](const MeasureSet& m) { return m.Input.Urms == 15.0f; }},
      {"current just below 15 mA (the float of 0.015 is below it)", InputTest, 2, 4, 0.015f,
       [](const MeasureSet& m) {
         return m.Input.Irms == 0 && m.Input.CurrentPeak == 0.1f && m.Input.CurrentHarmonic[1] == 1.0f &&
                m.Input.Urms > 200 && m.Input.VoltagePeak > 1000;
       }},
      {"current above 15 mA", InputTest, 2, 4, 0.0151f, [](const MeasureSet& m) { return m.Input.THDI > 1; }},
      {"phase test without current has no fundamental", PhaseTest, 2, 4, 0.001f,
       [](const MeasureSet& m) { return m.Input.CurrentHarmonic[1] == 0 && m.PhasePeak == 0; }},
      {"lamp voltage below 10 V", OutputTest, 0, 0, 9.99f,
       [](const MeasureSet& m) { return m.Output.Vrms == 0 && m.Output.Vm == 0 && m.Output.OutputWavePeak[ChU] == 1; }},
      {"lamp current of exactly 0.01 A", OutputTest, 0, 8, 0.01f,
       [](const MeasureSet& m) { return m.Output.Ilrms == 0.01f && m.Output.OscFreq > 1; }},
      {"lamp current below 0.01 A", OutputTest, 0, 8, 0.0099f,
       [](const MeasureSet& m) {
         return m.Output.Ilrms == 0 && m.Output.OscFreq == 0 && m.Output.Pout == 0 && m.Output.Ildhc == 0 &&
                m.Output.OutputWave[ChIl][10] == 0 && m.Output.Vrms > 50;
       }},
      {"filament current below 0.01 A", OutputTest, 0, 4, 0.005f,
       [](const MeasureSet& m) { return m.Output.Ifrms == 0 && m.Output.Ifcf == 0 && m.Output.Ikrms > 0; }},
      {"cathode current below 0.01 A", OutputTest, 0, 12, 0.005f,
       [](const MeasureSet& m) { return m.Output.Ikrms == 0 && m.Output.OutputWavePeak[ChIk] == 1; }},
      {"comprehensive: no mains voltage, the lamp side still decoded", CompTest, 2, 0, 1.0f,
       [](const MeasureSet& m) { return m.Input.VoltagePeak == 10.0f && m.Output.Vrms > 50; }},
      {"comprehensive: no lamp voltage, the mains side still decoded", CompTest, 2, 40, 1.0f,
       [](const MeasureSet& m) { return m.Output.Vrms == 0 && m.Input.Urms > 200; }},
      {"start: lamp voltage peak below 20 V", StartTest, 4, 0, 19.9f,
       [](const MeasureSet& m) {
         return m.Start.Peak[ChU] == 0 && m.Start.CurveMax[ChU] == 1 && m.Start.Curve[ChU][100] == 0 &&
                m.Start.PeakTime[ChU] == 0;
       }},
      {"start: lamp current below 0.02 A takes the warm-up time", StartTest, 4, 8, 0.0199f,
       [](const MeasureSet& m) { return m.Start.Peak[ChIl] == 0 && m.Start.WarmUpTime == 0; }},
      {"start: lamp current of 0.02 A kept", StartTest, 4, 8, 0.02f,
       [](const MeasureSet& m) { return m.Start.Peak[ChIl] == 0.02f && m.Start.WarmUpTime > 0; }},
      {"start: filament below 0.01 A", StartTest, 4, 4, 0.0099f,
       [](const MeasureSet& m) { return m.Start.Peak[ChIf] == 0 && m.Start.Peak[ChIk] > 0; }},
      {"start: cathode lead below 0.02 A", StartTest, 4, 12, 0.0199f,
       [](const MeasureSet& m) { return m.Start.Peak[ChIk] == 0 && m.Start.Peak[ChIf] > 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FormRig r;
    r.Feed(BlocksOf(c.kind, c.block, c.offset, c.value));
    r.Run(c.kind);
    ASSERT_EQ(r.f().CommStep, 0);
    EXPECT_TRUE(c.holds(r.f().M));
  }
}

TEST(Decoding, TheHalfWaveDifferenceIsTheGapOfTheCrestFactorsOverTheLargerOne) {
  struct Case {
    float pos, neg, percent;
  } cases[] = {{1.5f, 1.4f, 6.6667f}, {1.4f, 1.5f, 6.6667f}, {1.6f, 1.6f, 0.0f}, {0.0f, 1.5f, 0.0f}};
  for (const auto& c : cases) {
    auto blocks = BlocksOf(OutputTest, 0, 44, c.pos);
    const auto neg = sim::EncodeInstrumentFloat(c.neg);
    std::copy(neg.begin(), neg.end(), blocks[0].begin() + 48);
    FormRig r;
    r.Feed(blocks);
    r.Run(OutputTest);
    EXPECT_NEAR(r.f().M.Output.Ildhc, c.percent, 1e-3) << c.pos << " " << c.neg;
  }
}

}  // namespace
}  // namespace kt
