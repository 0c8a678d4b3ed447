// The start test's exchange and decoding: the simulated instrument's blocks
// through the real run on simulated time, and hand-made blocks for the
// channel-order flag, the absent-channel limits and the cursor's fall-back.
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
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/start/StartCursor.h"
#include "measurements/start/StartRun.h"
#include "sim/BlockWriter.h"
#include "sim/Instrument.h"
#include "support/Fakes.h"

namespace kt {
namespace {

using test::ScriptedPort;

constexpr int kWireU = 0, kWireIf = 1, kWireIl = 2, kWireIk = 3;
// Record channel c's curve came in this wire block (without the flag).
constexpr int kWireOf[4] = {kWireU, kWireIl, kWireIf, kWireIk};

struct Rig : test::FormRig {
  std::vector<sim::Block> blocks;
  std::size_t next = 0;
  std::uint32_t delay = 7;  // ms from a request to its block

  Rig() {
    RegisterMeasurementKinds(*form);
    port.onWrite = [this](ScriptedPort& p, std::uint8_t b) {
      if (b == '?') p.ArriveNow({'A'});
      if (b == '3') next = 0;
      if ((b == '3' || b == '!') && next < blocks.size()) p.ArriveAt(clock.now + delay, blocks[next++]);
    };
  }

  // The start command, then the run to its end as the poller and the window
  // thread would drive it, on simulated time.
  void RunOnce() {
    StartTestCommand(*form, StartTest, StartMode::StartUp);
    StepDispatch(*form);
    for (int guard = 0; guard < 2000 && form->TestBusy; ++guard) {
      port.WaitForInput(PollerIdleWaitMs);
      const int before = host.posts;
      PollerCheck(*form);
      if (host.posts > before) StepDispatch(*form);
    }
  }
};

// Raw stores as the run leaves them: four curve blocks in wire order and the
// summary (peaks U, If, Il, Ik, warm-up time, times to peak U, If, Il, Ik).
void PutBlocks(Form& form, const std::vector<std::vector<std::int16_t>>& wire, const std::vector<float>& summary,
               std::uint8_t flag = 0) {
  for (int b = 0; b < 4; ++b) {
    std::vector<std::int16_t> s = wire[static_cast<std::size_t>(b)];
    s.resize(300, 0);
    sim::BlockWriter w;
    w.Samples(s);
    const sim::Block bytes = w.Take();
    std::memcpy(form.M.Raw.StartFrames[b], bytes.data(), bytes.size());
  }
  sim::BlockWriter w;
  for (float v : summary) w.Float(v);
  const sim::Block s = w.Take();
  std::memcpy(form.M.Raw.StartSummary, s.data(), 36);
  form.M.Raw.StartOrderFlag = flag;
}

// A curve rising to `top` at sample `at` and back to half of it.
std::vector<std::int16_t> Hump(int top, int at) {
  std::vector<std::int16_t> s(300);
  for (int i = 0; i < 300; ++i)
    s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i <= at ? top * i / at : top / 2);
  return s;
}

std::vector<float> Summary(float u, float fil, float lamp, float cathode) {
  return {u, fil, lamp, cathode, 1.25f, 0.5f, 0.25f, 1.5f, 1.75f};
}

// ---------------------------------------------------------------------------

TEST(StartRun, SimulatedStartUpsDecodeToTheInstrumentsCurvesPeaksAndTimes) {
  for (bool flag : {false, true}) {
    for (std::uint64_t seed : {3u, 29u}) {
      SCOPED_TRACE(testing::Message() << "seed " << seed << (flag ? " with the order flag" : ""));
      sim::Instrument instrument(seed, flag);
      const sim::StartCapture cap = instrument.MeasureStart();
      Rig r;
      r.form->PeakIndex = 777;  // left by another kind's search
      r.blocks = sim::Instrument::Blocks(cap);
      r.delay = 60000;  // the operator takes a minute to switch the lamp off and on
      r.RunOnce();

      EXPECT_EQ(r.port.WrittenText(), "?3!!!!") << "no acknowledge after the summary";
      EXPECT_EQ(r.host.statuses,
                (std::vector<std::string>{"启动性能测试：通讯联络！", "启动性能测试：0%", "启动性能测试：25%",
                                          "启动性能测试：50%", "启动性能测试：75%", "启动性能测试：90%",
                                          "启动性能测试：100%"}));
      EXPECT_FALSE(r.host.alarm) << "blocks are awaited without a deadline";
      EXPECT_FALSE(r.host.timer1) << "the start test does not repeat";
      EXPECT_EQ(r.form->TestLocked, 1);
      EXPECT_GE(r.host.prompts, 2) << "the command and step 0 show the prompt";

      const StartResult& s = r.form->M.Start;
      ASSERT_EQ(s.Valid, 1);
      for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(c);
        const auto& raw = cap.Raw[static_cast<std::size_t>(kWireOf[c])];
        const auto& truth = cap.Curve[static_cast<std::size_t>(kWireOf[c])];
        float largest = 0;
        for (int i = 0; i < 300; ++i) {
          ASSERT_EQ(s.Curve[c][i], static_cast<float>(raw[static_cast<std::size_t>(i)])) << i;
          largest = std::max(largest, std::fabs(s.Curve[c][i]));
          const double v = truth[static_cast<std::size_t>(i)];
          ASSERT_NEAR(ScaledSample(s, c, i), v, 1e-6 + 1e-5 * std::fabs(v)) << "sample " << i << " in physical units";
        }
        EXPECT_EQ(s.CurveMax[c], largest);
        EXPECT_EQ(s.Peak[c], cap.Summary[static_cast<std::size_t>(kWireOf[c])]);
        EXPECT_EQ(s.PeakTime[c], cap.Summary[static_cast<std::size_t>(5 + kWireOf[c])]);
      }
      EXPECT_EQ(s.WarmUpTime, cap.Summary[4]);

      // The cursor stands on the lamp-current peak.
      const auto& il = cap.Raw[kWireIl];
      const int peakAt = static_cast<int>(std::max_element(il.begin(), il.end()) - il.begin());
      EXPECT_EQ(s.CursorIndex, peakAt);
      EXPECT_FLOAT_EQ(s.CursorTime, peakAt / 60.0f);
      EXPECT_FLOAT_EQ(s.CursorValue[ChIl], s.Peak[ChIl]);
      EXPECT_NEAR(s.CursorValue[ChU], cap.Curve[kWireU][static_cast<std::size_t>(peakAt)], 1e-3);

      EXPECT_STREQ(r.form->TestDate, "2026-12-6");
      EXPECT_EQ(std::memcmp(&r.form->M.StartSnap, static_cast<const StartCurves*>(&s), sizeof(StartCurves)), 0)
          << "the Back/Next copy is the decoded result";
      EXPECT_GT(r.host.repaints, 0);
    }
  }
}

TEST(StartRun, OrderFlagExchangesFilamentAndCathodeCurvesButNotTheirPeaksOrTimes) {
  for (std::uint8_t flag : {0, 1, 0x80}) {
    SCOPED_TRACE(static_cast<int>(flag));
    test::FormRig r;
    // Block 2 is a hump of 1000 counts, block 4 one of 3000.
    PutBlocks(*r.form, {Hump(10000, 60), Hump(1000, 20), Hump(5000, 90), Hump(3000, 40)},
              Summary(400.0f, 0.5f, 0.3f, 0.9f), flag);
    DecodeStartMeasurement(*r.form);
    const StartResult& s = r.form->M.Start;
    const bool swapped = flag != 0;
    EXPECT_EQ(s.CurveMax[ChIf], swapped ? 3000.0f : 1000.0f);
    EXPECT_EQ(s.CurveMax[ChIk], swapped ? 1000.0f : 3000.0f);
    EXPECT_EQ(s.Curve[ChIf][20], swapped ? 1500.0f : 1000.0f);
    EXPECT_EQ(s.Curve[ChIk][40], swapped ? 500.0f : 3000.0f);
    EXPECT_EQ(s.Peak[ChIf], 0.5f);
    EXPECT_EQ(s.Peak[ChIk], 0.9f);
    EXPECT_EQ(s.PeakTime[ChIf], 0.25f);
    EXPECT_EQ(s.PeakTime[ChIk], 1.75f);
    EXPECT_EQ(s.Peak[ChU], 400.0f);
    EXPECT_EQ(s.Peak[ChIl], 0.3f);
    EXPECT_EQ(s.PeakTime[ChU], 0.5f);
    EXPECT_EQ(s.PeakTime[ChIl], 1.5f);
    EXPECT_EQ(s.WarmUpTime, 1.25f);
    EXPECT_EQ(s.CursorIndex, 90) << "lamp current's peak, whatever the flag";
  }
}

TEST(StartRun, AChannelBelowItsLimitIsClearedAndOneAtItsLimitIsKept) {
  struct Case {
    int channel;
    float limit;
  };
  const Case cases[] = {{ChU, 20.0f}, {ChIl, 0.02f}, {ChIf, 0.01f}, {ChIk, 0.02f}};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const Case& k : cases) {
    for (float peak : {k.limit, std::nextafter(k.limit, 0.0f), nan}) {
      SCOPED_TRACE(testing::Message() << "channel " << k.channel << " peak " << peak);
      StartCurves s;
      for (int c = 0; c < 4; ++c) {
        std::fill_n(s.Curve[c], 300, 100.0f);
        s.Peak[c] = 500.0f;
        s.CurveMax[c] = 100.0f;
        s.PeakTime[c] = 0.75f;
      }
      s.WarmUpTime = 1.5f;
      s.Peak[k.channel] = peak;
      ApplyStartChannelLimits(s);
      const bool kept = peak == k.limit;
      for (int c = 0; c < 4; ++c) {
        const bool cleared = c == k.channel && !kept;
        EXPECT_EQ(s.Curve[c][299], cleared ? 0.0f : 100.0f) << c;
        EXPECT_EQ(s.CurveMax[c], cleared ? 1.0f : 100.0f) << c;
        EXPECT_EQ(s.PeakTime[c], cleared ? 0.0f : 0.75f) << c;
        if (c != k.channel) {
          EXPECT_EQ(s.Peak[c], 500.0f) << c;
        }
      }
      EXPECT_EQ(s.Peak[k.channel], kept ? k.limit : 0.0f);
      EXPECT_EQ(s.WarmUpTime, (k.channel == ChIl && !kept) ? 0.0f : 1.5f) << "only the lamp current takes it along";
    }
  }
}

TEST(StartRun, CursorFallsBackToTheCurvesSearchedBeforeTheLampCurrent) {
  const std::vector<std::int16_t> zero(300, 0);
  struct Case {
    std::vector<std::vector<std::int16_t>> wire;
    int previous;  // PeakIndex before the decoding
    int cursor;
  };
  const Case cases[] = {
      {{Hump(8000, 30), Hump(900, 12), zero, Hump(3000, 250)}, 5, 12},  // the filament curve as received
      {{Hump(8000, 30), zero, zero, Hump(3000, 250)}, 5, 30},           // then the voltage
      {{zero, zero, zero, Hump(3000, 250)}, 123, 123},                  // then an earlier search's index
      {{zero, zero, zero, Hump(3000, 250)}, 1199, 299},                 // held to the curves
      {{zero, zero, zero, zero}, -4, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.previous);
    test::FormRig r;
    r.form->PeakIndex = k.previous;
    // With the flag: the fall-back is the curve of block 2, before the exchange.
    // And a lamp voltage of 19.9 V: absent, though its curve was searched.
    PutBlocks(*r.form, k.wire, Summary(19.9f, 0.5f, 0.3f, 0.9f), 1);
    DecodeStartMeasurement(*r.form);
    const StartResult& s = r.form->M.Start;
    EXPECT_EQ(s.CursorIndex, k.cursor);
    EXPECT_EQ(s.CursorValue[ChU], 0.0f) << "an absent channel reads 0 at the cursor";
    EXPECT_EQ(s.CurveMax[ChU], 1.0f);
    EXPECT_EQ(s.CursorValue[ChIl], 0.0f) << "an all-zero lamp current reads 0, not 0/0";
    EXPECT_EQ(s.CurveMax[ChIl], 0.0f) << "its peak passed the limit, so its scale stays 0";
    EXPECT_TRUE(std::isfinite(s.CursorValue[ChIf]));
  }
}

TEST(StartRun, BackAndNextBringTheMeasuredResultBackButLeaveTheCursor) {
  Rig r;
  r.blocks = sim::Instrument::Blocks(sim::Instrument(5).MeasureStart());
  r.RunOnce();
  ASSERT_EQ(r.form->M.Start.Valid, 1);
  const StartCurves measured = r.form->M.Start;
  SetStartCursor(r.form->M.Start, 17);

  r.form->ShownKind = PhaseTest;
  StartTestCommand(*r.form, InputTest, StartMode::Single);  // clears every working result
  r.form->TestBusy = 0;
  r.form->M.Start.Valid = 0;
  ASSERT_EQ(r.form->M.Start.Peak[ChU], 0.0f);
  BrowseBack(*r.form);  // from 5 to 4
  const StartResult& s = r.form->M.Start;
  EXPECT_EQ(r.form->ShownKind, StartTest);
  EXPECT_EQ(s.Valid, 1);
  EXPECT_EQ(std::memcmp(static_cast<const StartCurves*>(&s), &measured, sizeof measured), 0);
  EXPECT_EQ(s.CursorIndex, 17);
  EXPECT_FLOAT_EQ(s.CursorTime, 17 / 60.0f);
}

}  // namespace
}  // namespace kt
