// The envelope test and the high-frequency analysis through the real step
// framework, on simulated time, with the simulated instrument answering
// byte by byte as it would on the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "analysis/AnalysisRun.h"
#include "core/AnalysisData.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "link/TestRun.h"
#include "sim/Instrument.h"
#include "sim/Responder.h"
#include "support/Fakes.h"

namespace kt {
namespace {

using test::ScriptedPort;

constexpr int kWireU = 0, kWireIf = 1, kWireIl = 2, kWireIk = 3;

struct Rig : test::FormRig {
  AnalysisData data;
  sim::Instrument instrument;
  sim::Responder responder{instrument};
  std::uint32_t delay = 7;             // ms from a byte to its answer
  int slowBlock = -1;                  // this answer (counted from 0) comes after 5 s
  int answers = 0;
  std::vector<std::uint8_t> positions;  // bytes the instrument took as positions
  std::function<void()> beforeStep;     // runs before every WM_COMMDATA

  explicit Rig(std::uint64_t seed = 3, bool orderFlag = false) : instrument(seed, orderFlag) {
    RegisterAnalysisKinds(*form);
    form->Analysis = &data;
    port.onWrite = [this](ScriptedPort& p, std::uint8_t b) {
      const bool position = responder.InSequence() && lastCommand_ == '4' && answers == 1;
      if (position) positions.push_back(b);
      const auto reply = responder.OnByte(b);
      if (!reply) return;
      if (reply->Command != '?') lastCommand_ = reply->Command;
      if (reply->Command == '?') {
        answers = 0;
        p.ArriveNow(reply->Bytes);
        return;
      }
      const std::uint32_t wait = answers == slowBlock ? 5000 : delay;
      ++answers;
      p.ArriveAt(clock.now + wait, reply->Bytes);
    };
  }

  // One run of `kind` to its end, as the poller and the window thread would
  // drive it. Kind 7 never marks the run busy, so the step counter tells
  // when it is over.
  void Run(TestKind kind) {
    form->SelectedKind = kind;
    answers = 0;
    Dispatch();
    for (int guard = 0; guard < 2000 && form->CommStep != 0; ++guard) {
      port.WaitForInput(20);
      const int before = host.posts;
      PollerCheck(*form);
      if (host.posts > before) Dispatch();
    }
  }

 private:
  void Dispatch() {
    if (beforeStep) beforeStep();
    StepDispatch(*form);
  }
  char lastCommand_ = 0;
};

// The last lamp measurement the instrument took, for the truth of the
// envelope: the instrument replays the same seed.
sim::LampCapture FirstLampCapture(std::uint64_t seed) {
  sim::Instrument twin(seed);
  return twin.MeasureOutput();
}

TEST(EnvelopeRun, FetchesTheOutputBlocksWithoutDeadlineAndLeavesTheMainWindowsRunAlone) {
  Rig r;
  r.form->ShownKind = OutputTest;
  // A late block of an earlier run left the flag set; this run neither
  // clears nor reads it.
  r.beforeStep = [&] { r.form->Link.TimeoutFlag = 1; };
  r.form->ExitPending = 1;
  r.form->M.Output.Vrms = 230.0f;
  r.data.SelectX = 40;
  r.slowBlock = 3;  // far beyond the 2000 ms of the timed kinds

  r.Run(BaoTest);

  EXPECT_EQ(r.port.WrittenText(), "?1!!!!") << "no byte after the last block";
  const std::vector<std::string> statuses = {"输出性能测试：0%",  "输出性能测试：20%", "输出性能测试：40%",
                                             "输出性能测试：60%", "输出性能测试：80%", "输出性能测试：100%"};
  EXPECT_EQ(r.host.statuses, statuses) << "no link-test text, and the status on the main window";
  EXPECT_EQ(r.host.analysisProgress, (std::vector<int>{0, 20, 40, 60, 80, 100}));
  EXPECT_TRUE(r.host.progress.empty()) << "the main window's bar is not used";
  EXPECT_EQ(r.form->ShownKind, OutputTest);
  EXPECT_EQ(r.form->TestBusy, 0);
  EXPECT_EQ(r.form->Link.TimeoutFlag, 1) << "not cleared by the steps";
  EXPECT_EQ(r.form->M.Output.Vrms, 0.0f) << "the working results are cleared";
  EXPECT_FALSE(r.host.alarm);
  EXPECT_FALSE(r.host.timer1) << "no repeat";
  EXPECT_EQ(r.host.closes, 0) << "the envelope test does not close the main window";
  EXPECT_EQ(r.form->Link.ExpectedCount, 1u);

  EXPECT_EQ(r.data.EnvelopeValid, 1);
  EXPECT_EQ(r.data.BlockSamples, 150);
  EXPECT_TRUE(r.host.gaoEnabled);
  EXPECT_GE(r.host.analysisRepaints, 1);
  EXPECT_STREQ(r.form->TestDate, "2026-12-6");
  EXPECT_EQ(r.data.SelectX, 40) << "the position survives";

  const sim::LampCapture truth = FirstLampCapture(3);
  const auto& env = truth.EnvelopeRaw;
  for (int i : {0, 75, 149}) {
    EXPECT_EQ(r.data.Envelope[ChU][i], env[kWireU][static_cast<std::size_t>(i)]);
    EXPECT_EQ(r.data.Envelope[ChIl][i], env[kWireIl][static_cast<std::size_t>(i)]);
  }
  // The smaller auxiliary envelope is the filament current's.
  const auto peakOf = [&](int wire) {
    int m = 0;
    for (auto v : env[static_cast<std::size_t>(wire)]) m = std::max(m, std::abs(static_cast<int>(v)));
    return static_cast<float>(m);
  };
  EXPECT_EQ(r.data.EnvelopeMax[ChIf], std::min(peakOf(kWireIf), peakOf(kWireIk)));
  EXPECT_EQ(r.data.EnvelopeMax[ChIk], std::max(peakOf(kWireIf), peakOf(kWireIk)));
  EXPECT_EQ(r.data.EnvelopeMax[ChU], peakOf(kWireU));
}

TEST(WaveRun, SendsTheClickedPointWaitsForEveryBlockAndMeasuresTheWavesThere) {
  for (bool orderFlag : {false, true}) {
    SCOPED_TRACE(orderFlag ? "order flag set" : "plain order");
    Rig r(3, orderFlag);
    r.Run(BaoTest);
    r.data.SelectX = 151;  // a click in the middle of a 300-pixel panel
    r.form->ExitPending = 1;  // asked to close meanwhile
    r.slowBlock = 4;          // and a block far beyond 2000 ms
    r.host.statuses.clear();
    r.host.analysisProgress.clear();
    r.port.written.clear();

    r.Run(GaoTest);

    EXPECT_EQ(r.port.WrittenText(), std::string("?4") + char(75) + "!!!!");
    ASSERT_EQ(r.positions, std::vector<std::uint8_t>{75});
    EXPECT_TRUE(r.host.statuses.empty()) << "no status text";
    EXPECT_EQ(r.host.analysisProgress, (std::vector<int>{0, 10, 40, 60, 80, 100}));
    EXPECT_EQ(r.form->ShownKind, GaoTest);
    EXPECT_EQ(r.form->TestBusy, 0);
    EXPECT_FALSE(r.host.timer1);
    EXPECT_FALSE(r.host.alarm) << "no deadline";
    EXPECT_EQ(r.host.closes, 1);
    EXPECT_EQ(r.data.BlockSamples, 600);
    EXPECT_EQ(r.data.OrderFlag, orderFlag ? 1 : 0);

    // The same capture again, for the truth: same seed, same history.
    sim::Instrument twin(3, orderFlag);
    twin.MeasureOutput();
    const sim::WaveCapture truth = twin.MeasureWave(75);
    const int channelOfWire[4] = {ChU, ChIf, ChIl, ChIk};
    // The gains describe the wire slots, so with the flag the filament and
    // cathode-lead gains stay where the waves came in.
    const int gainOfSlot[4] = {kWireU, orderFlag ? kWireIk : kWireIf, kWireIl, orderFlag ? kWireIf : kWireIk};
    for (int wire = 0; wire < 4; ++wire) {
      const int c = channelOfWire[wire];
      SCOPED_TRACE(c);
      EXPECT_NEAR(r.data.Gain[c] / truth.Gain[static_cast<std::size_t>(gainOfSlot[wire])], 1.0, 1e-6);
      EXPECT_NEAR(r.data.WaveRms[c] / truth.Rms[static_cast<std::size_t>(wire)], 1.0, 0.03);
      EXPECT_NEAR(r.data.CrestFactor[c] / truth.Crest[static_cast<std::size_t>(wire)], 1.0, 0.05);
      EXPECT_GT(r.data.WavePeak[c], 0.0f);
      EXPECT_NEAR(r.data.Period[c], truth.PeriodSamples, 1.5);
    }
  }
}

TEST(WaveRun, ClosingTheWindowMidRunAbandonsItAndDropsTheBlockInFlight) {
  Rig r;
  r.Run(BaoTest);  // an envelope to analyse
  r.slowBlock = 3;  // the second wave block takes 5 s
  r.form->SelectedKind = GaoTest;
  r.answers = 0;
  StepDispatch(*r.form);
  for (int i = 0; i < 200 && r.form->CommStep != 4; ++i) {
    r.port.WaitForInput(20);
    const int before = r.host.posts;
    PollerCheck(*r.form);
    if (r.host.posts > before) StepDispatch(*r.form);
  }
  ASSERT_EQ(r.form->CommStep, 4);
  ASSERT_EQ(r.form->TestBusy, 1);
  const AnalysisData before = r.data;
  const OutputResult output = r.form->M.Output;

  EndAnalysisRuns(*r.form);  // the window closes; the main window shows kind 2
  r.form->ShownKind = OutputTest;
  EXPECT_EQ(r.form->TestBusy, 0);
  EXPECT_EQ(r.form->CommStep, 0);
  EXPECT_EQ(r.form->SelectedKind, NoTest);
  const std::size_t written = r.port.written.size();
  for (int i = 0; i < 400; ++i) {  // the late block arrives after all
    r.port.WaitForInput(20);
    const int posts = r.host.posts;
    PollerCheck(*r.form);
    if (r.host.posts > posts) StepDispatch(*r.form);
  }
  EXPECT_EQ(r.port.written.size(), written) << "no new run starts by itself";
  EXPECT_EQ(std::memcmp(&r.form->M.Output, &output, sizeof output), 0) << "the waves were not decoded as an output test";
  EXPECT_EQ(std::memcmp(r.data.WaveRms, before.WaveRms, sizeof before.WaveRms), 0);
  EXPECT_EQ(r.port.QueuedCount(), 0u);
}

TEST(PositionByte, IsHalfTheClickedPixelInItsLowEightBits) {
  EXPECT_EQ(PositionByte(151), 75);
  EXPECT_EQ(PositionByte(0), 0);
  EXPECT_EQ(PositionByte(299), 149);
  EXPECT_EQ(PositionByte(600), 44) << "300 sent as its low byte";
}

}  // namespace
}  // namespace kt
