// The output test's exchange and decoding: the simulated instrument's blocks
// through the real run on simulated time, and hand-made frames for the
// limits, the curve order and the half-wave difference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/MeasureSet.h"
#include "link/Controller.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/output/OutputRun.h"
#include "sim/BlockWriter.h"
#include "sim/Instrument.h"
#include "support/Fakes.h"

namespace kt {
namespace {

using test::FakeClock;
using test::FakeHost;
using test::ScriptedPort;

// Wire order of the envelope frames and where each ends up in the record.
constexpr int kWireU = 0, kWireIf = 1, kWireIl = 2, kWireIk = 3;

struct Rig : test::FormRig {
  std::vector<sim::Block> blocks;  // what the instrument sends for the next command
  std::size_t next = 0;
  bool silentAfter2 = false;  // falls silent after the second block

  Rig() {
    RegisterMeasurementKinds(*form);
    form->SelectedKind = OutputTest;
    form->ShownKind = OutputTest;
    port.onWrite = [this](ScriptedPort& p, std::uint8_t b) {
      if (b == '?') p.ArriveNow({'A'});
      if (b == '1') next = 0;
      if ((b == '1' || b == '!') && next < blocks.size() && !(silentAfter2 && next >= 2))
        p.ArriveAt(clock.now + 7, blocks[next++]);
    };
  }

  // Runs one test run to its end (or failure), as the poller and the window
  // thread would, on simulated time.
  void RunOnce() {
    form->CommStep = 0;
    StepDispatch(*form);
    for (int guard = 0; guard < 500 && form->TestBusy; ++guard) {
      port.WaitForInput(20);
      const int before = host.posts;
      PollerCheck(*form);
      if (host.posts > before) StepDispatch(*form);
    }
  }
};

sim::Block ValueFrame(const std::vector<float>& numbers) {
  sim::BlockWriter w;
  for (float v : numbers) w.Float(v);
  return w.Take();
}

// Sixteen numbers in frame order, all channels present, crest factors
// 1.50 / 1.35.
std::vector<float> PlainValues() {
  //       Vrms   Ifrms Ilrms Ikrms Vm     Ifm   Ilm   (28)   Ikm   Vcf   Ifcf  Pos   Neg   Ikcf  P     f
  return {110.0f, 0.2f, 0.3f, 0.45f, 160.f, 0.3f, 0.45f, -0.4f, 0.7f, 1.45f, 1.5f, 1.5f, 1.35f, 1.55f, 33.f, 45.f};
}

void PutFrames(Form& form, const std::vector<float>& values, const std::vector<std::vector<std::int16_t>>& wire) {
  const sim::Block v = ValueFrame(values);
  std::memcpy(form.M.Raw.OutputValues, v.data(), v.size());
  for (int f = 0; f < 4; ++f) {
    sim::BlockWriter w;
    w.Samples(wire[static_cast<std::size_t>(f)]);
    const sim::Block b = w.Take();
    std::memcpy(form.M.Raw.OutputFrames[f], b.data(), b.size());
  }
  form.M.Input.SampleCount = 150;  // as the run leaves it
}

std::vector<std::int16_t> Ramp(int top) {
  std::vector<std::int16_t> s(150);
  for (int i = 0; i < 150; ++i) s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(top * (i + 1) / 150);
  return s;
}

bool SameSnapshotAsResult(const MeasureSet& m) {
  const OutputValues& v = m.Output;
  return std::memcmp(&v, &m.OutputSnap.Values, sizeof v) == 0 &&
         std::memcmp(m.Output.OutputWave, m.OutputSnap.OutputWave, sizeof m.OutputSnap.OutputWave) == 0 &&
         std::memcmp(m.Output.OutputWavePeak, m.OutputSnap.OutputWavePeak, sizeof m.OutputSnap.OutputWavePeak) == 0;
}

// ---------------------------------------------------------------------------

TEST(OutputRun, SimulatedMeasurementsDecodeToTheInstrumentsValuesAndCurves) {
  for (std::uint64_t seed : {1u, 7u, 42u}) {
    SCOPED_TRACE(seed);
    sim::Instrument instrument(seed);
    const sim::LampCapture cap = instrument.MeasureOutput();
    const sim::LampValues& t = cap.Values;
    ASSERT_GE(t.Vrms, 10.0f);
    ASSERT_GE(std::min({t.Ilrms, t.Ifrms, t.Ikrms}), 0.01f) << "a measurement with every channel present";

    Rig r;
    r.blocks = sim::Instrument::Blocks(cap);
    r.RunOnce();

    EXPECT_EQ(r.port.WrittenText(), "?1!!!!") << "no byte after the last block";
    const std::vector<std::string> statuses = {"输出性能测试：通讯联络！", "输出性能测试：0%", "输出性能测试：20%",
                                               "输出性能测试：40%",       "输出性能测试：60%", "输出性能测试：80%",
                                               "输出性能测试：100%"};
    EXPECT_EQ(r.host.statuses, statuses);
    EXPECT_EQ(r.host.progress, (std::vector<int>{0, 20, 40, 60, 80, 100}));
    EXPECT_EQ(r.form->TestBusy, 0);
    EXPECT_EQ(r.form->CommStep, 0);
    EXPECT_TRUE(r.host.timer1) << "continuous testing goes on";

    const OutputResult& o = r.form->M.Output;
    // The number format carries every float exactly.
    const std::pair<float, float> fields[] = {
        {o.Vrms, t.Vrms}, {o.Ifrms, t.Ifrms},     {o.Ilrms, t.Ilrms},     {o.Ikrms, t.Ikrms}, {o.Vm, t.Vm},
        {o.Ifm, t.Ifm},   {o.Ilm, t.Ilm},         {o.Ikm, t.Ikm},         {o.Vcf, t.Vcf},     {o.Ifcf, t.Ifcf},
        {o.Ikcf, t.Ikcf}, {o.IlcfPos, t.IlcfPos}, {o.IlcfNeg, t.IlcfNeg}, {o.OscFreq, t.OscKHz}, {o.Pout, std::fabs(t.Pout)}};
    for (std::size_t i = 0; i < std::size(fields); ++i) EXPECT_EQ(fields[i].first, fields[i].second) << "field " << i;
    const double larger = std::max(t.IlcfPos, t.IlcfNeg);
    EXPECT_NEAR(o.Ildhc, std::fabs(t.IlcfPos - t.IlcfNeg) / larger * 100.0, 1e-4);

    // Wire U, If, Il, Ik into record U, Il, If, Ik; the filament curve is the
    // smaller one here, so no exchange.
    const int wireOf[4] = {kWireU, kWireIl, kWireIf, kWireIk};
    for (int c = 0; c < 4; ++c) {
      SCOPED_TRACE(c);
      const auto& raw = cap.EnvelopeRaw[static_cast<std::size_t>(wireOf[c])];
      float peak = 0;
      for (int i = 0; i < 150; ++i) {
        ASSERT_EQ(o.OutputWave[c][i], static_cast<float>(raw[static_cast<std::size_t>(i)])) << i;
        peak = std::max(peak, std::fabs(static_cast<float>(raw[static_cast<std::size_t>(i)])));
      }
      for (int i = 150; i < 200; ++i) ASSERT_EQ(o.OutputWave[c][i], 0.0f) << "resampling reads the 0 at " << i;
      EXPECT_EQ(o.OutputWavePeak[c], peak);
    }
    EXPECT_LT(o.OutputWavePeak[ChIf], o.OutputWavePeak[ChIk]);
    EXPECT_STREQ(r.form->TestDate, "2026-12-6");
    EXPECT_TRUE(SameSnapshotAsResult(r.form->M));
  }
}

TEST(OutputRun, EachValueComesFromItsOwnOffsetAndPowerIsAMagnitude) {
  Rig r;
  std::vector<float> v(16);
  for (int i = 0; i < 16; ++i) v[static_cast<std::size_t>(i)] = 100.0f + i;  // 100 at offset 0, 101 at 4, ...
  v[14] = -114.0f;
  PutFrames(*r.form, v, {Ramp(100), Ramp(100), Ramp(100), Ramp(200)});
  DecodeOutputMeasurement(*r.form);
  // Frame order, with the number at offset 28 (108) skipped.
  float OutputValues::* const order[] = {&OutputValues::Vrms, &OutputValues::Ifrms,   &OutputValues::Ilrms,
                                         &OutputValues::Ikrms, &OutputValues::Vm,     &OutputValues::Ifm,
                                         &OutputValues::Ilm,   nullptr,               &OutputValues::Ikm,
                                         &OutputValues::Vcf,   &OutputValues::Ifcf,   &OutputValues::IlcfPos,
                                         &OutputValues::IlcfNeg, &OutputValues::Ikcf, &OutputValues::Pout,
                                         &OutputValues::OscFreq};
  const OutputValues& o = r.form->M.Output;
  for (int i = 0; i < 16; ++i) {
    if (!order[i]) continue;
    EXPECT_EQ(o.*order[i], 100.0f + i) << "offset " << 4 * i;
  }
  EXPECT_GT(r.host.repaints, 0);
}

TEST(OutputRun, HalfWaveDifferenceIsSymmetricAndZeroWithoutAPositiveCrestFactor) {
  EXPECT_NEAR(HalfWaveDifference(1.50f, 1.35f), 10.0f, 1e-4);
  EXPECT_NEAR(HalfWaveDifference(1.35f, 1.50f), 10.0f, 1e-4);
  EXPECT_EQ(HalfWaveDifference(1.42f, 1.42f), 0.0f);
  EXPECT_EQ(HalfWaveDifference(0.0f, 1.5f), 0.0f);
  EXPECT_EQ(HalfWaveDifference(-1.0f, 1.5f), 0.0f);
  EXPECT_EQ(HalfWaveDifference(std::numeric_limits<float>::quiet_NaN(), 1.5f), 0.0f);
  // Far apart, of opposite sign, at the end of the float range: still finite.
  const float big = std::numeric_limits<float>::max();
  EXPECT_NEAR(HalfWaveDifference(big, -big), 200.0f, 1e-3);
  EXPECT_TRUE(std::isfinite(HalfWaveDifference(1e-45f, 3e38f)));

  // Through the decoding, from the value frame.
  Rig r;
  PutFrames(*r.form, PlainValues(), {Ramp(100), Ramp(100), Ramp(100), Ramp(200)});
  DecodeOutputMeasurement(*r.form);
  EXPECT_NEAR(r.form->M.Output.Ildhc, 10.0f, 1e-4);
}

TEST(OutputRun, TheLargerOfFilamentAndCathodeCurvesGoesToTheCathodeLead) {
  // Filament frame with the larger curve: exchanged, peaks too.
  Rig r;
  PutFrames(*r.form, PlainValues(), {Ramp(1000), Ramp(-900), Ramp(500), Ramp(300)});
  DecodeOutputMeasurement(*r.form);
  const OutputResult& o = r.form->M.Output;
  EXPECT_EQ(o.OutputWave[ChIf][149], 300.0f);
  EXPECT_EQ(o.OutputWave[ChIk][149], -900.0f);
  EXPECT_EQ(o.OutputWavePeak[ChIf], 300.0f);
  EXPECT_EQ(o.OutputWavePeak[ChIk], 900.0f) << "a negative sample's size is its peak";
  EXPECT_EQ(o.OutputWave[ChIl][149], 500.0f) << "lamp current untouched";
  EXPECT_EQ(o.OutputWave[ChU][149], 1000.0f);
  EXPECT_EQ(o.Ifrms, 0.2f) << "the values are not exchanged";
  EXPECT_EQ(o.Ikrms, 0.45f);

  // Equal peaks: order kept.
  Rig e;
  std::vector<std::int16_t> f = Ramp(400), k(150, 0);
  k[3] = 400;
  PutFrames(*e.form, PlainValues(), {Ramp(1000), f, Ramp(500), k});
  DecodeOutputMeasurement(*e.form);
  EXPECT_EQ(e.form->M.Output.OutputWave[ChIf][149], 400.0f);
  EXPECT_EQ(e.form->M.Output.OutputWave[ChIk][3], 400.0f);
  EXPECT_EQ(e.form->M.Output.OutputWave[ChIk][149], 0.0f);
}

// The channels left in their reset state, as a list of names: every value of
// the channel 0, its curve 0 and its peak 1.0.
std::string AbsentChannels(const OutputResult& o) {
  const auto flat = [&](int c) {
    return o.OutputWavePeak[c] == 1.0f && std::all_of(o.OutputWave[c], o.OutputWave[c] + 200, [](float x) { return x == 0; });
  };
  std::string out;
  if (flat(ChU) && o.Vrms == 0 && o.Vm == 0 && o.Vcf == 0) out += "U ";
  if (flat(ChIl) && o.Ilrms == 0 && o.Ilm == 0 && o.IlcfPos == 0 && o.IlcfNeg == 0 && o.Ildhc == 0) out += "Il ";
  if (flat(ChIf) && o.Ifrms == 0 && o.Ifm == 0 && o.Ifcf == 0) out += "If ";
  if (flat(ChIk) && o.Ikrms == 0 && o.Ikm == 0 && o.Ikcf == 0) out += "Ik ";
  return out;
}

TEST(OutputRun, ChannelLimitsAreInclusiveAndIndependent) {
  const auto decode = [](int index, float value) {
    std::vector<float> v = PlainValues();
    if (index >= 0) v[static_cast<std::size_t>(index)] = value;
    Rig r;
    PutFrames(*r.form, v, {Ramp(1000), Ramp(400), Ramp(500), Ramp(700)});
    DecodeOutputMeasurement(*r.form);
    return r.form->M.Output;
  };
  const float belowVolts = std::nextafter(10.0f, 0.0f), belowAmps = std::nextafter(0.01f, 0.0f);

  // Exactly at the limit: present.
  for (int index : {0, 1, 2, 3}) EXPECT_EQ(AbsentChannels(decode(index, index ? 0.01f : 10.0f)), "") << index;

  // Just below: that channel alone is reset. The power goes with the lamp
  // voltage or the lamp current, the frequency with the lamp current.
  OutputResult o = decode(0, belowVolts);
  EXPECT_EQ(AbsentChannels(o), "U ");
  EXPECT_EQ(o.Pout, 0.0f);
  EXPECT_EQ(o.OscFreq, 45.0f);
  EXPECT_EQ(o.OutputWavePeak[ChIl], 500.0f);

  o = decode(2, belowAmps);
  EXPECT_EQ(AbsentChannels(o), "Il ");
  EXPECT_EQ(o.Pout, 0.0f);
  EXPECT_EQ(o.OscFreq, 0.0f);
  EXPECT_EQ(o.Vrms, 110.0f);

  o = decode(1, belowAmps);
  EXPECT_EQ(AbsentChannels(o), "If ");
  EXPECT_EQ(o.OutputWavePeak[ChIk], 700.0f);
  o = decode(3, belowAmps);
  EXPECT_EQ(AbsentChannels(o), "Ik ");
  EXPECT_EQ(o.Pout, 33.0f);
  EXPECT_EQ(o.Ifrms, 0.2f);

  // Values that are not numbers count as absent (the wire cannot carry
  // them, a file can).
  OutputResult n = decode(-1, 0);
  n.Vrms = n.Ilrms = n.Ifrms = n.Ikrms = std::numeric_limits<float>::quiet_NaN();
  ApplyOutputChannelLimits(n);
  EXPECT_EQ(AbsentChannels(n), "U Il If Ik ");
  EXPECT_EQ(n.Pout, 0.0f);
}

TEST(OutputRun, CurveCountIsHeldToTheFramesWhateverTheCallerPasses) {
  Rig r;
  PutFrames(*r.form, PlainValues(), {Ramp(1000), Ramp(400), Ramp(500), Ramp(700)});
  OutputResult& o = r.form->M.Output;
  for (auto& w : o.OutputWave) std::fill(std::begin(w), std::end(w), 7.0f);

  EXPECT_EQ(DecodeOutputCurves(*r.form, 100000), 150);
  EXPECT_EQ(o.OutputWave[ChU][149], 1000.0f);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(o.OutputWave[c][150], 7.0f) << "nothing written past the 150 samples";

  for (auto& w : o.OutputWave) std::fill(std::begin(w), std::end(w), 7.0f);
  EXPECT_EQ(DecodeOutputCurves(*r.form, -3), 0);
  EXPECT_EQ(o.OutputWave[ChU][0], 7.0f);
  EXPECT_EQ(o.OutputWavePeak[ChU], 0.0f);

  EXPECT_EQ(DecodeOutputCurves(*r.form, 10), 10);
  EXPECT_EQ(o.OutputWave[ChU][9], 66.0f);  // 1000 * 10 / 150
  EXPECT_EQ(o.OutputWave[ChU][10], 7.0f);
  EXPECT_EQ(o.OutputWavePeak[ChU], 66.0f) << "the peak of the samples decoded";
}

TEST(OutputRun, ExtremeSamplesAndValuesDecodeWithoutHarm) {
  Rig r;
  std::vector<std::int16_t> lowest(150, -32768), zero(150, 0);
  const float big = std::numeric_limits<float>::max();
  std::vector<float> v = {big, 1e-45f, 0.5f, 0.5f, -big, 0, 0, 0, 0, 0, 0, big, -big, 0, -big, big};
  PutFrames(*r.form, v, {lowest, zero, zero, zero});
  DecodeOutputMeasurement(*r.form);
  const OutputResult& o = r.form->M.Output;
  EXPECT_EQ(o.OutputWavePeak[ChU], 32768.0f);
  EXPECT_EQ(o.OutputWave[ChU][0], -32768.0f);
  EXPECT_EQ(o.Pout, big);
  EXPECT_NEAR(o.Ildhc, 200.0f, 1e-3);
  // A subnormal current is below the limit: reset.
  EXPECT_EQ(o.Ifrms, 0.0f);
  EXPECT_EQ(o.OutputWavePeak[ChIf], 1.0f);
  // Lamp and cathode-lead current are present with all-zero curves: peak 0,
  // which the page must cope with.
  EXPECT_EQ(o.Ilrms, 0.5f);
  EXPECT_EQ(o.OutputWavePeak[ChIl], 0.0f);
  EXPECT_EQ(o.OutputWavePeak[ChIk], 0.0f);
}

TEST(OutputRun, ATimeoutInStepThreeLeavesResultAndSnapshotAlone) {
  Rig r;
  sim::Instrument instrument(3);
  r.blocks = sim::Instrument::Blocks(instrument.MeasureOutput());
  r.RunOnce();
  ASSERT_EQ(r.form->TestBusy, 0);
  const OutputResult before = r.form->M.Output;
  const OutputSnapshot snapBefore = r.form->M.OutputSnap;

  r.blocks = sim::Instrument::Blocks(instrument.MeasureOutput());
  r.silentAfter2 = true;
  r.host.statuses.clear();
  r.host.timer1 = false;
  r.RunOnce();

  EXPECT_EQ(r.port.WrittenText(), "?1!!!!?1!!") << "the third block never came";
  ASSERT_FALSE(r.host.statuses.empty());
  EXPECT_EQ(r.host.statuses.back(), "性能测试：通讯联络！");
  EXPECT_EQ(r.form->TestBusy, 0);
  EXPECT_EQ(r.form->CommStep, 0);
  EXPECT_TRUE(r.host.timer1) << "the next run starts from step 0 after the repeat timer";
  EXPECT_EQ(std::memcmp(&r.form->M.Output, &before, sizeof before), 0);
  EXPECT_EQ(std::memcmp(&r.form->M.OutputSnap, &snapBefore, sizeof snapBefore), 0);
}

TEST(OutputRun, BackAndNextBringTheLastOutputResultBack) {
  Rig r;
  sim::Instrument instrument(11);
  r.blocks = sim::Instrument::Blocks(instrument.MeasureOutput());
  r.RunOnce();
  const OutputResult measured = r.form->M.Output;

  // A comprehensive run overwrites the working record; then the operator
  // browses from the comprehensive page back to the output page.
  OutputResult& o = r.form->M.Output;
  o.Vrms = 1.0f;
  o.Pout = 2.0f;
  o.OutputWave[ChIl][5] = -123.0f;
  o.OutputWavePeak[ChIk] = 9.0f;
  r.form->ShownKind = CompTest;
  BrowseBack(*r.form);
  EXPECT_EQ(r.form->ShownKind, OutputTest);
  EXPECT_EQ(std::memcmp(&r.form->M.Output, &measured, sizeof measured), 0);

  // From the input page forwards, after the program-wide clear.
  ClearResults(r.form->M);
  r.form->ShownKind = InputTest;
  BrowseNext(*r.form);
  EXPECT_EQ(r.form->ShownKind, OutputTest);
  EXPECT_EQ(std::memcmp(&r.form->M.Output, &measured, sizeof measured), 0);
}

}  // namespace
}  // namespace kt
