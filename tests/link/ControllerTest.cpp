// The main window's test commands, the continuous-test timer and Back/Next.
#include <gtest/gtest.h>

#include <memory>

#include "link/Controller.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "support/Fakes.h"

namespace kt {
namespace {

using Rig = test::FormRig;

TEST(TestCommands, SetTheLockAndItsButtonByMode) {
  struct Case {
    StartMode mode;
    int locked;
    bool button;
  } cases[] = {{StartMode::Continuous, 0, false}, {StartMode::Single, 1, true}, {StartMode::StartUp, 0, true}};
  for (const auto& c : cases) {
    Rig r;
    r.form->TestLocked = 1 - c.locked;
    r.host.lockBtnDown = !c.button;
    r.host.timer1 = true;
    r.form->M.Input.Urms = 230.0f;
    StartTestCommand(*r.form, InputTest, c.mode);
    EXPECT_EQ(r.form->SelectedKind, InputTest);
    EXPECT_EQ(r.form->TestLocked, c.locked);
    EXPECT_EQ(r.host.lockBtnDown, c.button);
    EXPECT_FALSE(r.host.timer1);
    EXPECT_EQ(r.host.posts, 1);
    EXPECT_EQ(r.form->M.Input.Urms, 0.0f) << "a new test shows nothing stale";
    EXPECT_EQ(r.form->ShownKind, NoTest) << "only the run's first step changes the shown kind";
  }
}

TEST(TestCommands, TheStartCommandShowsItsPromptInsteadOfRepainting) {
  Rig r;
  r.form->M.Start.Valid = 1;
  StartTestCommand(*r.form, StartTest, StartMode::StartUp);
  EXPECT_EQ(r.form->M.Start.Valid, 0);
  EXPECT_EQ(r.host.prompts, 1);
  EXPECT_EQ(r.host.repaints, 0);
  Rig s;
  StartTestCommand(*s.form, OutputTest, StartMode::Continuous);
  EXPECT_EQ(s.host.repaints, 1);
  EXPECT_EQ(s.host.prompts, 0);
}

TEST(Timer1, StartsTheNextRunUnlessLocked) {
  Rig r;
  r.host.timer1 = true;
  Timer1Tick(*r.form);
  EXPECT_EQ(r.host.posts, 1);
  EXPECT_FALSE(r.host.timer1);

  r.form->TestLocked = 1;
  r.host.timer1 = true;
  Timer1Tick(*r.form);
  EXPECT_EQ(r.host.posts, 1) << "locked: nothing runs";
  EXPECT_TRUE(r.host.timer1) << "but the timer keeps ticking, so releasing the lock resumes";
}

int g_restored[KindCount];
template <int K>
void Restore(Form&) {
  ++g_restored[K];
}

TEST(BackNext, WrapOverTheFiveMainKindsAndRestoreTheirResults) {
  Rig r;
  std::fill(std::begin(g_restored), std::end(g_restored), 0);
  r.form->Kinds[1].Restore = Restore<1>;
  r.form->Kinds[2].Restore = Restore<2>;
  r.form->Kinds[3].Restore = Restore<3>;
  r.form->Kinds[5].Restore = Restore<5>;  // kind 4 not plugged in: browsing still works

  const std::int32_t backFrom[] = {0, 1, 2, 3, 4, 5, 6, 7, -3, 99};
  const std::int32_t backTo[] = {5, 5, 1, 2, 3, 4, 5, 5, 5, 5};
  const std::int32_t nextTo[] = {1, 2, 3, 4, 5, 1, 1, 1, 1, 1};
  for (std::size_t i = 0; i < std::size(backFrom); ++i) {
    r.form->ShownKind = backFrom[i];
    BrowseBack(*r.form);
    EXPECT_EQ(r.form->ShownKind, backTo[i]) << "back from " << backFrom[i];
    r.form->ShownKind = backFrom[i];
    BrowseNext(*r.form);
    EXPECT_EQ(r.form->ShownKind, nextTo[i]) << "next from " << backFrom[i];
  }
  EXPECT_EQ(g_restored[5], 7);
  EXPECT_EQ(g_restored[1], 7);
  EXPECT_EQ(r.form->SelectedKind, NoTest) << "browsing does not choose the next test";

  r.form->TestBusy = 1;
  r.form->ShownKind = 2;
  const int repaints = r.host.repaints;
  BrowseBack(*r.form);
  BrowseNext(*r.form);
  EXPECT_EQ(r.form->ShownKind, 2) << "ignored during a run";
  EXPECT_EQ(r.host.repaints, repaints);
}

TEST(Closing, IsHeldWhileARunIsBusy) {
  Rig r;
  EXPECT_TRUE(RequestClose(*r.form));
  EXPECT_EQ(r.form->ExitPending, 0);
  r.form->TestBusy = 1;
  EXPECT_FALSE(RequestClose(*r.form));
  EXPECT_EQ(r.form->ExitPending, 1);
}

TEST(Results, ClearingKeepsWhatOnlyMeasurementsAndSnapshotsOwn) {
  MeasureSet ms;
  InitSnapshots(ms);
  ms.Input.SampleCount = 256;
  ms.Input.Urms = 230.0f;
  ms.Input.VoltagePeak = 99.0f;
  ms.PhaseBegin = 30.0f;
  ms.CurrentPerWatt[3] = 2.0f;
  ms.Output.Ildhc = 4.5f;
  ms.Output.Vrms = 100.0f;
  ms.Output.OutputWave[3][149] = 7.0f;
  ms.Start.Curve[2][299] = 5.0f;
  ms.Start.CurveMax[1] = 0.0f;
  ms.InputSnap.Values.Urms = 229.0f;
  ClearResults(ms);
  EXPECT_EQ(ms.Input.Urms, 0.0f);
  EXPECT_EQ(ms.Input.VoltagePeak, 1.0f);
  EXPECT_EQ(ms.Input.CurrentPeak, 0.01f);
  EXPECT_EQ(ms.Input.VoltageHarmonic[1], 1.0f);
  EXPECT_EQ(ms.Input.SampleCount, 256);
  EXPECT_EQ(ms.PhaseBegin, 30.0f);
  EXPECT_EQ(ms.CurrentPerWatt[3], 2.0f);
  EXPECT_EQ(ms.Output.Ildhc, 4.5f);
  EXPECT_EQ(ms.Output.Vrms, 0.0f);
  EXPECT_EQ(ms.Output.OutputWave[3][149], 0.0f);
  EXPECT_EQ(ms.Output.OutputWavePeak[3], 1.0f);
  EXPECT_EQ(ms.Start.Curve[2][299], 0.0f);
  EXPECT_EQ(ms.Start.CurveMax[1], 1.0f);
  EXPECT_EQ(ms.InputSnap.Values.Urms, 229.0f);
}

TEST(TestDate, IsTheUtcDateWithoutLeadingZeros) {
  Rig r;
  r.clock.today = {2002, 12, 31};
  StampTestDate(*r.form);
  EXPECT_STREQ(r.form->TestDate, "2002-12-31");
  r.clock.today = {2002, 7, 5};
  StampTestDate(*r.form);
  EXPECT_STREQ(r.form->TestDate, "2002-7-5");
}

TEST(TestDate, TheSystemClockGivesTheUtcDayInAnyTimeZone) {
  const char* zones[] = {"Asia/Shanghai", "Pacific/Kiritimati", "America/Adak"};
  for (const char* zone : zones) {
    setenv("TZ", zone, 1);
    tzset();
    SystemClock clock;
    const std::time_t now = std::time(nullptr);
    const UtcDate d = clock.Today();
    // Days since 1970 from the date, by the civil-calendar formula.
    const int y = d.Month <= 2 ? d.Year - 1 : d.Year;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (d.Month + (d.Month > 2 ? -3 : 9)) + 2) / 5 + d.Day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = era * 146097L + doe - 719468L;
    EXPECT_EQ(days, static_cast<long>(now / 86400)) << zone;
  }
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace kt
