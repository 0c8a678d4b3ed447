// The step framework and the main window's test commands, seen from outside:
// what goes over the wire, what the windows are told, and when. Simulated
// time and the simulated instrument; the runs are driven by the poller's
// check and the posted steps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/Controller.h"
#include "link/TestRun.h"
#include "support/Fakes.h"

namespace kt {
namespace {

using test::FormRig;
using test::ScriptedPort;
using Messages = std::vector<std::pair<std::string, std::string>>;

bool Stamped(FormRig& rig) { return rig.f().TestDate[0] != '\0'; }
// No run under way and no block awaited.
bool AtRest(const Form& f) { return f.TestBusy == 0 && f.CommStep == 0 && f.Link.ExpectedCount == 1; }

TEST(StepFramework, ACompleteRunOfEachKind) {
  struct Case {
    TestKind kind;
    const char* wire;
    const char* prefix;  // nullptr: no status texts
    bool linkStatus, mainBar, repeats, owns;
    std::vector<int> bar;
  } cases[] = {
      {InputTest, "?0!!", "输入性能测试：", true, true, true, true, {0, 45, 90, 100}},
      {OutputTest, "?1!!!!", "输出性能测试：", true, true, true, true, {0, 20, 40, 60, 80, 100}},
      {CompTest, "?2!!!!!!", "综合性能测试：", true, true, true, true, {0, 10, 20, 40, 54, 68, 84, 100}},
      {StartTest, "?3!!!!", "启动性能测试：", true, true, false, true, {0, 25, 50, 75, 90, 100}},
      {PhaseTest, "?0!!", "相位角性能测试：", true, true, true, true, {0, 45, 90, 100}},
      {BaoTest, "?1!!!!", "输出性能测试：", false, false, false, false, {0, 20, 40, 60, 80, 100}},
      // the reply to the command is answered with the envelope point (x / 2)
      {GaoTest, "?4*!!!!", nullptr, false, false, false, true, {0, 10, 40, 60, 80, 100}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    FormRig rig;
    rig.Attach(3);
    rig.analysis.SelectX = 2 * '*';
    rig.host.alarm = true;
    rig.Run(c.kind, false);
    std::vector<std::string> statuses;
    if (c.prefix && c.linkStatus) statuses.push_back(std::string(c.prefix) + "通讯联络！");
    for (int p : c.bar)
      if (c.prefix) statuses.push_back(c.prefix + std::to_string(p) + "%");
    const auto& h = rig.host;
    EXPECT_EQ(rig.port.WrittenText(), c.wire);
    EXPECT_EQ(h.statuses, statuses);
    EXPECT_EQ(c.mainBar ? h.progress : h.analysisProgress, c.bar);
    EXPECT_TRUE((c.mainBar ? h.analysisProgress : h.progress).empty());
    EXPECT_EQ(std::tuple(h.timer1, h.alarm, h.messages.empty()), std::tuple(c.repeats, false, true));
    // The start test shows its prompt instead of a repaint and locks itself.
    EXPECT_EQ(std::tuple(h.prompts, rig.f().TestLocked), std::tuple(c.kind == StartTest, c.kind == StartTest));
    EXPECT_EQ(rig.f().ShownKind, c.owns ? c.kind : NoTest);
    EXPECT_TRUE(AtRest(rig.f()));
    EXPECT_STREQ(rig.f().TestDate, "2026-12-6") << "decoded";
  }
}

// What the instrument does with one byte it is sent: its answer after `ms`
// (Never: no answer), with `byte` in place of it, or all of it but the last
// byte; or the line goes away.
struct Act {
  std::uint32_t ms;
  int byte = -1;
  bool partial = false, hangUp = false;
};
constexpr std::uint32_t Never = 0xFFFFFFFF;

TEST(StepFramework, HandshakeAndBlockDeadlines) {
  struct Case {
    const char* what;
    TestKind kind;
    bool locked;
    std::vector<Act> acts;  // for the bytes on the wire in order; later ones are answered in 5 ms
    const char* wire;
    char outcome;      // c: complete, h: handshake failed, b: a block failed, w: still waiting
    std::uint32_t ms;  // when it ended: exactly for a failure, at least for a complete run
    std::vector<int> bar;
    // clang-format off
  } cases[] = {
      {"any answer but ?", InputTest, true, {{5, 'A'}}, "?0!!", 'c', 20, {0, 45, 90, 100}},
      {"a zero byte", InputTest, true, {{5, 0x00}}, "?0!!", 'c', 20, {0, 45, 90, 100}},
      {"an answer after 2000 ms", InputTest, true, {{2000, 'K'}}, "?0!!", 'c', 2000, {0, 45, 90, 100}},
      {"an echo, then an answer", InputTest, false, {{1500, '?'}, {1900, 'R'}}, "??0!!", 'c', 3400, {0, 45, 90, 100}},
      {"an echoing line", InputTest, false, {{5, '?'}, {5, '?'}}, "??", 'h', 10, {0}},
      {"silence", InputTest, false, {{Never}}, "?", 'h', 2001, {0}},
      {"silence, locked", InputTest, true, {{Never}}, "?", 'h', 2001, {0}},
      {"an echo, then silence", InputTest, true, {{5, '?'}, {Never}}, "??", 'h', 2006, {0}},
      {"each block after 1999 ms", InputTest, true, {{5}, {1999}, {1999}, {1999}}, "?0!!", 'c', 6002, {0, 45, 90, 100}},
      {"the second block missing", InputTest, true, {{5}, {5}, {Never}}, "?0!", 'b', 2011, {0, 45, 0}},
      {"the second block incomplete", InputTest, true, {{5}, {5}, {5, -1, true}}, "?0!", 'b', 2011, {0, 45, 0}},
      {"the first block missing", CompTest, false, {{5}, {Never}}, "?2", 'b', 2006, {0, 0}},
      {"untimed: blocks a minute apart", StartTest, false, {{5}, {60000}, {60000}, {60000}, {60000}, {60000}},
       "?3!!!!", 'c', 300005, {0, 25, 50, 75, 90, 100}},
      {"untimed: the third block missing", StartTest, false, {{5}, {5}, {5}, {Never}}, "?3!!", 'w', 0, {0, 25, 50}},
      {"untimed: the line hangs up", StartTest, false, {{5}, {5}, {Never, -1, false, true}}, "?3!", 'b', 10, {0, 25, 0}},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FormRig rig;
    rig.Attach();
    rig.port.onWrite = [&](ScriptedPort& p, std::uint8_t b) {
      const std::size_t n = p.written.size() - 1;
      const Act act = n < c.acts.size() ? c.acts[n] : Act{5};
      const auto reply = rig.responder->OnByte(b);
      auto bytes = reply ? reply->Bytes : std::vector<std::uint8_t>{};
      if (act.byte >= 0) bytes = {static_cast<std::uint8_t>(act.byte)};
      if (act.partial) bytes.pop_back();
      p.hungUp = p.hungUp || act.hangUp;
      if (act.ms != Never && !bytes.empty()) p.ArriveAfter(act.ms, bytes);
    };
    rig.host.alarm = c.outcome == 'c';
    const std::uint32_t t0 = rig.clock.now;
    rig.Run(c.kind, c.locked);
    rig.Drive(400000);
    const std::uint32_t took = rig.clock.now - t0;
    const auto& h = rig.host;
    // A failed block is retried even when locked; a failed handshake only when not.
    const bool failed = c.outcome == 'h' || c.outcome == 'b';
    const bool retried = c.outcome == 'b' || (c.outcome == 'h' && !c.locked);
    EXPECT_EQ(rig.port.WrittenText(), c.wire);
    EXPECT_EQ(h.progress, c.bar);
    EXPECT_EQ(std::tuple(Stamped(rig), AtRest(rig.f())), std::tuple(c.outcome == 'c', c.outcome != 'w'));
    EXPECT_EQ(h.alarm, retried);
    EXPECT_EQ(h.timer1, retried || (c.outcome == 'c' && c.kind != StartTest));
    EXPECT_EQ(h.messages, (c.outcome == 'h' && c.locked ? Messages{{"通讯联络失败！", "警告！"}} : Messages{}));
    EXPECT_EQ(rig.f().Link.StepStartTick, NoDeadline) << "none left behind, and none while untimed";
    // The start test locks continuous testing once its last block is asked for.
    EXPECT_EQ(rig.f().TestLocked, c.locked || (c.kind == StartTest && c.outcome == 'c'));
    EXPECT_GE(took, c.ms);
    if (!failed) continue;
    EXPECT_EQ(took, c.ms) << "ends at the first check past 2000 ms, or at once when the line goes";
    EXPECT_EQ(h.statuses.back(), c.outcome == 'h' ? "输入性能测试：通讯联络！" : "性能测试：通讯联络！");
    EXPECT_EQ(std::tuple(PollerCheck(rig.f()), h.posts), std::tuple(PollerIdleWaitMs, 0)) << "and then nothing";
  }
}

TEST(StepFramework, ResultsAreClearedWhenTheShownKindChangesOrAlways) {
  // Another kind's result, which none of these runs decodes: cleared or left.
  // clang-format off
  const std::tuple<TestKind, TestKind, bool> cases[] = {  // run, shown before, cleared
      {InputTest, OutputTest, true}, {InputTest, InputTest, false}, {StartTest, OutputTest, false}, {BaoTest, BaoTest, true}};
  for (const auto& [kind, shown, cleared] : cases) {
    FormRig rig;
    rig.Attach();
    rig.f().ShownKind = shown;
    rig.f().M.Output.Vrms = 123.0f;
    rig.Run(kind);
    EXPECT_EQ(rig.f().M.Output.Vrms, cleared ? 0.0f : 123.0f) << kind << " after " << shown;
  }
}

TEST(PollerCheck, DeadlinesInWrappingTickArithmetic) {
  constexpr std::uint32_t T = 100000, Wrap = 0xFFFFFC00u, None = NoDeadline;
  struct Case {
    std::uint32_t start, waited;
    unsigned queued, expected;
    bool posted;
    int timeoutFlag, wait;  // flag 7: left as it was
  // clang-format off
  } cases[] = {
      {None, 0, 0, 1, false, 7, 1000},    {None, 0, 1, 1, true, 0, 1000},  // stray bytes are announced too
      {T, 10, 512, 512, true, 0, 1000},   {T, 10, 600, 512, true, 0, 1000},  {T, 0, 511, 512, false, 7, 1000},
      {T, 1500, 100, 512, false, 7, 501}, {T, 1999, 0, 512, false, 7, 2},    {T, 2000, 0, 512, false, 7, 1},
      {T, 2001, 0, 512, true, 1, 1000},   {T, 60000, 0, 512, true, 1, 1000}, {Wrap, 2000, 0, 40, false, 7, 1},
      {Wrap, 2001, 0, 40, true, 1, 1000}, {0x80000010u, 1500, 0, 40, false, 7, 501},
      // clang-format on
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << "+" << c.waited << " with " << c.queued << " bytes");
    FormRig rig;
    Form& f = rig.f();
    f.Link = {c.expected, static_cast<std::int32_t>(c.start), 7};
    rig.clock.now = c.start == None ? T : c.start + c.waited;
    rig.port.ArriveNow(std::vector<std::uint8_t>(c.queued, 0x55));
    EXPECT_EQ(PollerCheck(f), c.wait);
    EXPECT_EQ(rig.host.posts, c.posted ? 1 : 0);
    EXPECT_EQ(f.Link.TimeoutFlag, c.timeoutFlag);
    EXPECT_EQ(f.Link.StepStartTick, static_cast<std::int32_t>(c.posted ? None : c.start));
    // Only a block still on its way lets the port sleep through its pieces.
    EXPECT_EQ(rig.port.wakeAt, !c.posted && c.start != None ? c.expected : 1u);
  }
}

TEST(StepFramework, PiecesNotificationsAnotherSelectionAndACloseRequestDuringARun) {
  FormRig clean, noisy;
  clean.Attach(9);
  clean.Run(CompTest);
  noisy.Attach(9);
  noisy.port.onWrite = [&noisy](ScriptedPort& p, std::uint8_t b) {
    if (const auto reply = noisy.responder->OnByte(b)) {
      const auto& r = reply->Bytes;
      const auto third = static_cast<std::ptrdiff_t>(r.size() / 3);
      p.ArriveAfter(5, {r.begin(), r.begin() + third});
      p.ArriveAfter(9, {r.begin() + third, r.end() - third});
      p.ArriveAfter(13, {r.end() - third, r.end()});
    }
  };
  Form& f = noisy.f();
  f.SelectedKind = CompTest;
  f.TestLocked = f.StartRequested = 1;
  StepDispatch(f);
  f.SelectedKind = OutputTest;  // another test chosen meanwhile
  EXPECT_FALSE(RequestClose(f));
  EXPECT_EQ(f.ExitPending, 1);
  for (int i = 0; i < 2000 && !AtRest(f); ++i) {
    if (f.CommStep != 0) ++noisy.host.posts;  // a notification nobody needed
    noisy.Drive(3);
  }
  EXPECT_EQ(noisy.port.WrittenText(), "?2!!!!!!");
  EXPECT_EQ(noisy.host.statuses, clean.host.statuses);
  EXPECT_EQ(noisy.host.progress, clean.host.progress);
  EXPECT_EQ(std::memcmp(&f.M.Input, &clean.f().M.Input, sizeof(InputResult)), 0);
  EXPECT_EQ(std::memcmp(&f.M.Output, &clean.f().M.Output, sizeof(OutputResult)), 0);
  EXPECT_EQ(f.ShownKind, CompTest);
  EXPECT_EQ(noisy.host.closes, 1) << "closed at the end of the run";
  EXPECT_FALSE(noisy.host.timer1) << "and no further run";
  EXPECT_TRUE(clean.host.timer1);
}

TEST(StepDispatch, StrayBytesWithNoRunToGoToAreDropped) {
  // Nothing asked for, or asked for a kind without an exchange.
  const std::pair<TestKind, int> cases[] = {{InputTest, 0}, {NoTest, 1}, {KindCount, 1}, {-1, 1}};
  for (const auto& [selected, requested] : cases) {
    FormRig rig;
    rig.f().SelectedKind = selected;
    rig.f().StartRequested = requested;
    rig.port.ArriveNow({0x55, 0x66});
    StepDispatch(rig.f());
    EXPECT_EQ(std::tuple(rig.port.QueuedCount(), rig.port.written.size()), std::tuple(0u, 0u)) << selected;
    PollerCheck(rig.f());
    EXPECT_EQ(rig.host.posts, 0) << "dropped bytes are not announced again";
  }
}

TEST(Controller, TestCommandsSetTheLockAndItsButtonByMode) {
  struct Case {
    TestKind kind;
    StartMode mode;
    int locked;
    bool button;
    int prompts, repaints, startValid;
  } cases[] = {
      {InputTest, StartMode::Continuous, 0, false, 0, 1, 1},
      {OutputTest, StartMode::Single, 1, true, 0, 1, 1},
      {StartTest, StartMode::StartUp, 0, true, 1, 0, 0},  // the prompt stays until the run repaints
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    FormRig rig;
    Form& f = rig.f();
    f.TestLocked = 1 - c.locked;
    rig.host.lockBtnDown = !c.button;
    rig.host.timer1 = true;
    f.M.Input.Urms = 230.0f;
    f.M.Start.Valid = 1;
    StartTestCommand(f, c.kind, c.mode);
    EXPECT_EQ(std::tuple(f.SelectedKind, f.TestLocked, rig.host.lockBtnDown, rig.host.timer1, f.M.Start.Valid),
              std::tuple(c.kind, c.locked, c.button, false, c.startValid));
    EXPECT_EQ(std::tuple(rig.host.posts, rig.host.prompts, rig.host.repaints), std::tuple(1, c.prompts, c.repaints));
    EXPECT_EQ(f.M.Input.Urms, 0.0f) << "a new test shows nothing stale";
    EXPECT_EQ(f.ShownKind, NoTest) << "the run's first step makes its kind the shown one";
  }
  for (int locked : {0, 1}) {
    FormRig rig;
    rig.f().TestLocked = locked;
    rig.host.timer1 = true;
    Timer1Tick(rig.f());
    // Locked, the timer keeps ticking so that releasing the lock resumes.
    EXPECT_EQ(std::tuple(rig.host.posts, rig.host.timer1), std::tuple(1 - locked, locked == 1)) << locked;
  }
}

TEST(Controller, TheLockOrAnotherCommandLeavesARunWithoutDeadline) {
  // clang-format off
  const std::tuple<TestKind, bool, bool> cases[] = {  // run, the lock (else a test command), left
      {StartTest, true, true}, {StartTest, false, true}, {InputTest, true, false}};
  for (const auto& [kind, lock, left] : cases) {
    FormRig rig;
    Form& f = rig.f();
    rig.port.onWrite = [](ScriptedPort& p, std::uint8_t b) {
      if (b == '?') p.ArriveAfter(5, {'A'});  // ready, but no block ever comes
    };
    // clang-format on
    f.SelectedKind = kind;
    f.StartRequested = 1;
    StepDispatch(f);
    rig.Drive(100);
    ASSERT_EQ(f.CommStep, 1);
    lock ? ToggleLock(f) : StartTestCommand(f, InputTest, StartMode::Single);
    EXPECT_EQ(f.TestLocked, 1);
    EXPECT_EQ(std::tuple(f.CommStep, f.TestBusy), left ? std::tuple(0, 0) : std::tuple(1, 1)) << kind;
    EXPECT_EQ(rig.host.statuses.back(), left ? "启动性能测试：已中止" : "输入性能测试：0%");
    EXPECT_EQ(rig.host.progress.back(), 0);
    if (lock) ToggleLock(f);
    EXPECT_EQ(f.TestLocked, lock ? 0 : 1) << "the lock toggles";
  }
}

TEST(Controller, ARunHoldsFileCommandsAndIsAbandonedWhenTheCloseTimesOut) {
  for (TestKind kind : {NoTest, InputTest, StartTest}) {  // idle, a run with a deadline, one without
    FormRig rig;
    Form& f = rig.f();
    rig.Feed({});  // ready, but no block ever comes
    f.SelectedKind = kind;
    f.StartRequested = 1;
    StepDispatch(f);
    rig.Drive(100);
    auto said = rig.host.statuses;
    if (kind != NoTest) said.push_back(BusyText);
    EXPECT_EQ(RefuseDuringRun(f), kind != NoTest) << kind;
    EXPECT_EQ(rig.host.statuses, said);
    EXPECT_EQ(std::tuple(f.RunKind, f.TestLocked, rig.host.lockBtnDown), std::tuple(kind, 0, false)) << "nothing else";
    LockForFileCommand(f);
    EXPECT_EQ(std::tuple(f.TestLocked, rig.host.lockBtnDown), std::tuple(1, true));
    EXPECT_EQ(RequestClose(f), kind == NoTest);
    if (kind == NoTest) continue;
    CloseTimedOut(f);
    // The window's own close then goes through.
    EXPECT_EQ(std::tuple(f.RunKind, f.CommStep, rig.host.closes, RequestClose(f)), std::tuple(NoTest, 0, 1, true));
  }
}

std::vector<int> g_restored;
template <int K>
void Restore(Form&) {
  g_restored.push_back(K);
}

TEST(Controller, BackAndNextWrapOverTheFiveMainKindsAndRestoreThem) {
  FormRig rig;
  Form& f = rig.f();
  f.Kinds[1].Restore = Restore<1>;
  f.Kinds[2].Restore = Restore<2>;
  f.Kinds[3].Restore = Restore<3>;
  f.Kinds[4].Restore = nullptr;  // a kind without stored results still shows
  f.Kinds[5].Restore = Restore<5>;
  const std::int32_t from[] = {0, 1, 2, 3, 4, 5, 6, 7, -3, 99}, back[] = {5, 5, 1, 2, 3, 4, 5, 5, 5, 5},
                     next[] = {1, 2, 3, 4, 5, 1, 1, 1, 1, 1};
  for (int i = 0; i < 20; ++i) {
    const bool isBack = i < 10;
    const int to = isBack ? back[i % 10] : next[i % 10];
    g_restored.clear();
    f.ShownKind = from[i % 10];
    isBack ? BrowseBack(f) : BrowseNext(f);
    EXPECT_EQ(f.ShownKind, to) << from[i % 10] << (isBack ? " back" : " next");
    EXPECT_EQ(g_restored, to == 4 ? std::vector<int>{} : std::vector<int>{to}) << from[i % 10];
  }
  EXPECT_EQ(rig.host.repaints, 20);
  EXPECT_EQ(f.SelectedKind, NoTest) << "browsing does not choose the next test";
  f.ShownKind = 2;
  g_restored.clear();
  for (int busy : {0, 1}) {  // a run of the main window, or one that does not mark it busy
    f.TestBusy = busy;
    f.RunKind = busy ? InputTest : BaoTest;
    BrowseBack(f);
    BrowseNext(f);
  }
  EXPECT_EQ(f.ShownKind, 2) << "ignored during a run";
  EXPECT_TRUE(g_restored.empty());
  EXPECT_EQ(rig.host.repaints, 20);
}

}  // namespace
}  // namespace kt
