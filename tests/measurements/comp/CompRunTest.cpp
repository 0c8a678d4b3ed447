// The comprehensive exchange and decoding: the simulated instrument's blocks
// through the real run on simulated time, compared with the instrument's
// values and with what the input and output decodings make of the same
// blocks; the split of the value block; each side's absent channels; and
// Back/Next between the kinds that share the working records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/MeasureSet.h"
#include "link/Controller.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/comp/CompRun.h"
#include "measurements/input/InputDecode.h"
#include "measurements/output/OutputRun.h"
#include "sim/BlockWriter.h"
#include "sim/Instrument.h"
#include "support/Fakes.h"

namespace kt {
namespace {

using test::ScriptedPort;

struct Rig : test::FormRig {
  std::vector<sim::Block> blocks;  // what the instrument sends for the next command
  std::size_t next = 0;
  std::size_t silentFrom = 99;  // the instrument falls silent before this block

  Rig() {
    RegisterMeasurementKinds(*form);
    port.onWrite = [this](ScriptedPort& p, std::uint8_t b) {
      if (b == '?') p.ArriveNow({'A'});
      if (b == '0' || b == '1' || b == '2') next = 0;
      if ((b == '0' || b == '1' || b == '2' || b == '!') && next < blocks.size() && next < silentFrom)
        p.ArriveAt(clock.now + 7, blocks[next++]);
    };
  }

  // One test run of `kind` to its end (or failure), as the poller and the
  // window thread would run it, on simulated time.
  void Run(TestKind kind, std::vector<sim::Block> b) {
    blocks = std::move(b);
    form->SelectedKind = kind;
    form->CommStep = 0;
    StepDispatch(*form);
    for (int guard = 0; guard < 500 && form->TestBusy; ++guard) {
      port.WaitForInput(20);
      const int before = host.posts;
      PollerCheck(*form);
      if (host.posts > before) StepDispatch(*form);
    }
  }

  // Puts blocks where the comprehensive run's steps store them and decodes,
  // without the exchange.
  void Decode(const std::vector<sim::Block>& b) {
    const RunSpec& run = *form->Kinds[CompTest].Run;
    for (std::size_t i = 0; i < b.size(); ++i) run.Blocks[i].Store(*form, b[i].data(), static_cast<unsigned>(b[i].size()));
    DecodeCompMeasurement(*form);
  }
};

sim::Block Floats(const std::vector<float>& numbers) {
  sim::BlockWriter w;
  for (float v : numbers) w.Float(v);
  return w.Take();
}

// One period of a sine with a share of its third harmonic, over an offset.
sim::Block Samples(int n, int top, double third = 0.0) {
  sim::BlockWriter w;
  for (int i = 0; i < n; ++i) {
    const double phase = 2 * M_PI * i / n;
    w.Int16(static_cast<std::int16_t>(top * (std::sin(phase) + third * std::sin(3 * phase)) + top / 7));
  }
  return w.Take();
}

// A comprehensive exchange of hand-made blocks: ten mains values, then
// sixteen lamp values, with plausible samples behind them.
std::vector<sim::Block> HandMade(const std::vector<float>& mains, const std::vector<float>& lamp) {
  sim::Block values = Floats(mains);
  const sim::Block lampValues = Floats(lamp);
  values.insert(values.end(), lampValues.begin(), lampValues.end());
  return {Samples(256, 16000), Samples(256, 6000, 0.3), values,
          Samples(150, 9000),  Samples(150, 300),  Samples(150, 4000), Samples(150, 5000)};
}

std::vector<float> MainsValues() {  // Urms Irms Irmsw P PF PFw Freq Ihf CFv CFi
  return {230.0f, 0.17f, 0.18f, 37.0f, 0.95f, 0.93f, 50.0f, 0.02f, 1.41f, 1.9f};
}
std::vector<float> LampValues() {  // Vrms Ifrms Ilrms Ikrms Vm Ifm Ilm (28) Ikm Vcf Ifcf Pos Neg Ikcf P f
  return {110.0f, 0.2f, 0.3f, 0.45f, 160.f, 0.3f, 0.45f, -0.4f, 0.7f, 1.45f, 1.5f, 1.5f, 1.35f, 1.55f, -33.f, 45.f};
}

bool SameInput(const InputResult& a, const InputResult& b) {
  return std::memcmp(&static_cast<const InputValues&>(a), &static_cast<const InputValues&>(b), sizeof(InputValues)) == 0 &&
         a.VoltagePeak == b.VoltagePeak && a.CurrentPeak == b.CurrentPeak &&
         std::memcmp(a.VoltageWave, b.VoltageWave, sizeof(float) * WavePoints) == 0 &&
         std::memcmp(a.CurrentWave, b.CurrentWave, sizeof(float) * WavePoints) == 0 &&
         std::memcmp(a.VoltageHarmonic, b.VoltageHarmonic, sizeof a.VoltageHarmonic) == 0 &&
         std::memcmp(a.CurrentHarmonic, b.CurrentHarmonic, sizeof a.CurrentHarmonic) == 0 &&
         std::memcmp(a.VoltageHarmonicPct, b.VoltageHarmonicPct, sizeof a.VoltageHarmonicPct) == 0 &&
         std::memcmp(a.CurrentHarmonicPct, b.CurrentHarmonicPct, sizeof a.CurrentHarmonicPct) == 0;
}

bool SameOutput(const OutputResult& a, const OutputResult& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ---------------------------------------------------------------------------

TEST(CompRun, SimulatedMeasurementsDecodeLikeTheInputAndOutputTestsWouldFromTheSameBlocks) {
  for (std::uint64_t seed : {1u, 5u, 42u}) {
    SCOPED_TRACE(seed);
    sim::Instrument instrument(seed);
    const sim::CompCapture cap = instrument.MeasureComp();
    const auto& mains = cap.Mains.Values;
    const auto& lamp = cap.Lamp.Values;
    ASSERT_GE(mains.Urms, 15.0f);
    ASSERT_GE(std::min({lamp.Ilrms, lamp.Ifrms, lamp.Ikrms}), 0.01f) << "a measurement with every channel present";

    Rig r;
    r.form->M.Output.Ildhc = 12.5f;  // left by an earlier output test
    const InputSnapshot inputSnap = r.form->M.InputSnap;
    const OutputSnapshot outputSnap = r.form->M.OutputSnap;
    r.Run(CompTest, sim::Instrument::Blocks(cap));

    EXPECT_EQ(r.port.WrittenText(), "?2!!!!!!") << "2328 bytes in seven blocks, nothing after the last";
    const std::vector<std::string> statuses = {"综合性能测试：通讯联络！", "综合性能测试：0%",  "综合性能测试：10%",
                                               "综合性能测试：20%",       "综合性能测试：40%", "综合性能测试：54%",
                                               "综合性能测试：68%",       "综合性能测试：84%", "综合性能测试：100%"};
    EXPECT_EQ(r.host.statuses, statuses);
    EXPECT_EQ(r.host.progress, (std::vector<int>{0, 10, 20, 40, 54, 68, 84, 100}));
    EXPECT_EQ(r.form->TestBusy, 0);
    EXPECT_EQ(r.form->ShownKind, CompTest);
    EXPECT_EQ(r.form->M.OutputSampleCount, 150);
    EXPECT_TRUE(r.host.timer1);

    // The instrument's numbers arrive exactly.
    const InputResult& in = r.form->M.Input;
    EXPECT_EQ(in.Urms, mains.Urms);
    EXPECT_EQ(in.Irmsw, mains.Irmsw);
    EXPECT_EQ(in.CFi, mains.CFi);
    EXPECT_EQ(r.form->M.HighFreqCurrent, mains.Ihf);
    const OutputResult& o = r.form->M.Output;
    EXPECT_EQ(o.Vrms, lamp.Vrms);
    EXPECT_EQ(o.Ikcf, lamp.Ikcf);
    EXPECT_EQ(o.IlcfNeg, lamp.IlcfNeg);
    EXPECT_EQ(o.Pout, std::fabs(lamp.Pout));
    EXPECT_EQ(o.OscFreq, lamp.OscKHz);
    EXPECT_EQ(o.Ildhc, 12.5f) << "the half-wave difference is not part of this test";
    EXPECT_EQ(o.OutputWave[ChU][10], static_cast<float>(cap.Lamp.EnvelopeRaw[0][10]));
    EXPECT_NEAR(in.VoltageHarmonicPct[1], 100.0f, 1e-3);

    // Spectra, waveforms, curves: what the input and the output decodings
    // compute from the same blocks, to the bit.
    Rig input;
    const auto mainsBlocks = sim::Instrument::Blocks(cap.Mains);
    for (std::size_t b = 0; b < 3; ++b)
      input.form->Kinds[InputTest].Run->Blocks[b].Store(*input.form, mainsBlocks[b].data(),
                                                       static_cast<unsigned>(mainsBlocks[b].size()));
    DecodeInputMeasurement(*input.form);
    EXPECT_TRUE(SameInput(in, input.form->M.Input));

    Rig output;
    output.Run(OutputTest, sim::Instrument::Blocks(cap.Lamp));
    OutputResult expected = output.form->M.Output;
    expected.Ildhc = 12.5f;
    EXPECT_TRUE(SameOutput(o, expected));

    // Only the comprehensive copy is written.
    EXPECT_EQ(std::memcmp(&r.form->M.InputSnap, &inputSnap, sizeof inputSnap), 0);
    EXPECT_EQ(std::memcmp(&r.form->M.OutputSnap, &outputSnap, sizeof outputSnap), 0);
    EXPECT_EQ(r.form->M.CompSnap.In.Values.THDI, in.THDI);
    EXPECT_EQ(std::memcmp(r.form->M.CompSnap.Out.OutputWave, o.OutputWave, sizeof o.OutputWave), 0);
    EXPECT_STREQ(r.form->TestDate, "2026-12-6");
  }
}

TEST(CompRun, TheValueBlockSplitsFortyBytesForTheMainsAndSixtyFourForTheLamp) {
  // Every number distinct (and every channel present): 20..29 for the mains
  // frame, 101..116 for the lamp.
  std::vector<float> mains, lamp;
  for (int i = 0; i < 10; ++i) mains.push_back(20.0f + i);
  for (int i = 0; i < 16; ++i) lamp.push_back(101.0f + i);
  const auto blocks = HandMade(mains, lamp);
  ASSERT_EQ(blocks[2].size(), 104u);

  Rig r;
  r.form->M.Input.Urms = -1.0f;  // not from this block
  const RunSpec& run = *r.form->Kinds[CompTest].Run;
  ASSERT_EQ(run.Blocks.size(), 7u);
  run.Blocks[2].Store(*r.form, blocks[2].data(), 104);
  EXPECT_EQ(std::memcmp(r.form->M.Raw.InputValues, blocks[2].data(), 40), 0);
  EXPECT_EQ(std::memcmp(r.form->M.Raw.OutputValues, blocks[2].data() + 40, 64), 0);

  r.Decode(blocks);
  const InputResult& in = r.form->M.Input;
  const OutputResult& o = r.form->M.Output;
  EXPECT_EQ(in.Urms, 20.0f);
  EXPECT_EQ(in.CFi, 29.0f) << "byte 36, the last mains number";
  EXPECT_EQ(o.Vrms, 101.0f) << "byte 40 is the first lamp number";
  EXPECT_EQ(o.Ifrms, 102.0f);
  EXPECT_EQ(o.OscFreq, 116.0f) << "byte 100, the last";
  EXPECT_EQ(o.IlcfNeg, 113.0f);
}

// The channels left in their reset state, as a list of names.
std::string AbsentSides(const Form& f) {
  const InputResult& in = f.M.Input;
  const OutputResult& o = f.M.Output;
  std::string out;
  if (in.Urms == 0 && in.VoltagePeak == 10.0f && in.SampleCount == 200) out += "U ";
  if (in.Irms == 0 && in.CurrentPeak == 0.1f && in.THDI == 0) out += "I ";
  if (o.Vrms == 0 && o.OutputWavePeak[ChU] == 1.0f) out += "Vl ";
  if (o.Ilrms == 0 && o.OutputWavePeak[ChIl] == 1.0f && o.OscFreq == 0) out += "Il ";
  if (o.Ifrms == 0 && o.OutputWavePeak[ChIf] == 1.0f) out += "If ";
  if (o.Ikrms == 0 && o.OutputWavePeak[ChIk] == 1.0f) out += "Ik ";
  return out;
}

TEST(CompRun, EachSidesAbsentChannelsLeaveTheOtherSideAlone) {
  const auto decode = [](std::vector<float> mains, std::vector<float> lamp, Rig& r) { r.Decode(HandMade(mains, lamp)); };

  {  // No mains voltage: the whole mains side resets, the lamp is measured.
    Rig r;
    std::vector<float> mains = MainsValues();
    mains[0] = 14.99f;
    decode(mains, LampValues(), r);
    EXPECT_EQ(AbsentSides(*r.form), "U I ");
    EXPECT_EQ(r.form->M.Output.Vrms, 110.0f);
    EXPECT_EQ(r.form->M.Output.Pout, 33.0f);
    EXPECT_GT(r.form->M.Output.OutputWavePeak[ChU], 1000.0f);
    EXPECT_EQ(r.form->M.CompSnap.Out.Values.Vrms, 110.0f) << "and kept for Back/Next";
  }
  {  // No mains current: the voltage side stays.
    Rig r;
    std::vector<float> mains = MainsValues();
    mains[1] = 0.0149f;
    decode(mains, LampValues(), r);
    EXPECT_EQ(AbsentSides(*r.form), "I ");
    EXPECT_EQ(r.form->M.Input.Urms, 230.0f);
    EXPECT_EQ(r.form->M.Input.VoltageHarmonicPct[1], 100.0f) << "the voltage spectrum is computed";
    EXPECT_LT(r.form->M.Input.THDU, 1.0f);
    EXPECT_EQ(r.form->M.Output.Ilrms, 0.3f);
  }
  {  // No lamp at all: the mains side is whole.
    Rig r;
    std::vector<float> lamp = LampValues();
    lamp[0] = 9.99f;
    lamp[1] = lamp[2] = 0.0f;
    lamp[3] = 0.0099f;
    decode(MainsValues(), lamp, r);
    EXPECT_EQ(AbsentSides(*r.form), "Vl Il If Ik ");
    EXPECT_EQ(r.form->M.Input.Urms, 230.0f);
    EXPECT_EQ(r.form->M.Input.Irms, 0.17f);
    EXPECT_NEAR(r.form->M.Input.THDI, 30.0f, 0.5f) << "the current spectrum is computed";
    EXPECT_EQ(r.form->M.Output.Pout, 0.0f);
  }
  {  // Nothing anywhere: both sides in their empty states, still a date and a copy.
    Rig r;
    r.Decode(HandMade(std::vector<float>(10, 0.0f), std::vector<float>(16, 0.0f)));
    EXPECT_EQ(AbsentSides(*r.form), "U I Vl Il If Ik ");
    EXPECT_STREQ(r.form->TestDate, "2026-12-6");
    EXPECT_EQ(r.form->M.CompSnap.In.VoltagePeak, 10.0f);
  }
}

TEST(CompRun, ATimeoutLeavesResultsAndTheCopyAsTheyWere) {
  Rig r;
  sim::Instrument instrument(9);
  r.Run(CompTest, sim::Instrument::Blocks(instrument.MeasureComp()));
  ASSERT_EQ(r.host.statuses.back(), "综合性能测试：100%");
  const InputResult in = r.form->M.Input;
  const OutputResult out = r.form->M.Output;
  const CompSnapshot snap = r.form->M.CompSnap;

  r.silentFrom = 4;  // the envelopes never come
  r.Run(CompTest, sim::Instrument::Blocks(instrument.MeasureComp()));
  EXPECT_EQ(r.host.statuses.back(), "性能测试：通讯联络！");
  EXPECT_EQ(r.form->CommStep, 0);
  EXPECT_TRUE(SameInput(r.form->M.Input, in));
  EXPECT_TRUE(SameOutput(r.form->M.Output, out));
  EXPECT_EQ(std::memcmp(&r.form->M.CompSnap, &snap, sizeof snap), 0);
}

TEST(CompRun, BackAndNextShowEachKindsOwnResultAcrossTheSharedRecords) {
  Rig r;
  sim::Instrument instrument(21);
  r.Run(InputTest, sim::Instrument::Blocks(instrument.MeasureInput()));
  const InputResult inputOwn = r.form->M.Input;
  r.Run(OutputTest, sim::Instrument::Blocks(instrument.MeasureOutput()));
  const OutputResult outputOwn = r.form->M.Output;
  ASSERT_GT(outputOwn.Ildhc, 0.0f);
  r.Run(CompTest, sim::Instrument::Blocks(instrument.MeasureComp()));
  const InputResult compIn = r.form->M.Input;
  const OutputResult compOut = r.form->M.Output;
  ASSERT_NE(compIn.Urms, inputOwn.Urms);
  ASSERT_NE(compOut.Vrms, outputOwn.Vrms);

  // The comprehensive run cleared the output result when the kind changed,
  // then filled it; the operator browses back from the comprehensive page.
  BrowseBack(*r.form);
  ASSERT_EQ(r.form->ShownKind, OutputTest);
  EXPECT_TRUE(SameOutput(r.form->M.Output, outputOwn));
  BrowseBack(*r.form);
  ASSERT_EQ(r.form->ShownKind, InputTest);
  EXPECT_TRUE(SameInput(r.form->M.Input, inputOwn));
  BrowseNext(*r.form);
  BrowseNext(*r.form);
  ASSERT_EQ(r.form->ShownKind, CompTest);
  EXPECT_TRUE(SameInput(r.form->M.Input, compIn));
  OutputResult expected = compOut;
  // Neither measured nor shown by this kind: what the output page left.
  expected.IlcfNeg = outputOwn.IlcfNeg;
  expected.Ildhc = outputOwn.Ildhc;
  EXPECT_TRUE(SameOutput(r.form->M.Output, expected));

  // And back once more: the output page is the output test's again.
  BrowseBack(*r.form);
  EXPECT_TRUE(SameOutput(r.form->M.Output, outputOwn));
}

TEST(CompRun, BeforeAnyMeasurementTheCopyHoldsTheEmptyResult) {
  Rig r;
  r.form->ShownKind = OutputTest;
  BrowseNext(*r.form);
  ASSERT_EQ(r.form->ShownKind, CompTest);
  EXPECT_EQ(r.form->M.Input.Urms, 0.0f);
  EXPECT_EQ(r.form->M.Input.VoltagePeak, 1.0f) << "a scale to draw with, not a zero";
  EXPECT_EQ(r.form->M.Output.OutputWavePeak[ChIl], 1.0f);
}

}  // namespace
}  // namespace kt
