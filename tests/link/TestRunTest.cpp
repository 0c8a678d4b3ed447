// The handshake, the step framework and the poller's check, on simulated
// time, so the 2000 ms boundaries can be hit exactly.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "link/Form.h"
#include "link/TestRun.h"
#include "support/Fakes.h"

namespace kt {
namespace {

using test::FakeClock;
using test::FakeHost;
using test::ScriptedPort;

std::vector<std::uint8_t> Bytes(unsigned n, std::uint8_t first) {
  std::vector<std::uint8_t> v(n);
  for (unsigned i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + i);
  return v;
}

// A three-block exchange shaped like the mains-side measurement.
std::vector<std::vector<std::uint8_t>> g_stored;
void Keep(Form&, const std::uint8_t* d, unsigned n) { g_stored.emplace_back(d, d + n); }
int g_decodes = 0;
void CountDecode(Form&) { ++g_decodes; }

const BlockSpec kBlocks[] = {{8, 45, Keep}, {8, 90, Keep}, {4, 100, Keep}};

RunSpec TimedSpec() {
  RunSpec s;
  s.Kind = InputTest;
  s.StatusPrefix = "输入性能测试：";
  s.Command = '0';
  s.Blocks = kBlocks;
  s.Decode = CountDecode;
  return s;
}

struct Rig {
  FakeClock clock;
  FakeHost host;
  ScriptedPort port{clock};
  std::unique_ptr<Form> form = std::make_unique<Form>(host, port, clock);
  RunSpec run = TimedSpec();

  Rig() {
    g_stored.clear();
    g_decodes = 0;
    form->Kinds[InputTest].Run = &run;
    form->SelectedKind = InputTest;
  }
  // An instrument that answers the handshake at once and each request for a
  // block `delay` ms later.
  void Instrument(std::uint32_t delay = 10) {
    port.onWrite = [this, delay](ScriptedPort& p, std::uint8_t b) {
      if (b == '?') p.ArriveNow({'A'});
      if (b == '0') p.ArriveAt(clock.now + delay, Bytes(8, 0x10));
      if (b == '!') {
        const std::size_t asked = std::count(p.written.begin(), p.written.end(), '!');
        p.ArriveAt(clock.now + delay, asked == 1 ? Bytes(8, 0x20) : Bytes(4, 0x30));
      }
    };
  }
  // Runs the poller's check after letting `ms` of simulated time pass and
  // hands any notification to the dispatcher, as the window thread would.
  void Poll(std::uint32_t ms = 0) {
    port.WaitForInput(static_cast<int>(ms));
    const int before = host.posts;
    PollerCheck(*form);
    if (host.posts > before) StepDispatch(*form);
  }
};

TEST(LinkCheck, AnyAnswerButAQuestionMarkIsReady) {
  for (std::uint8_t answer : {std::uint8_t{'A'}, std::uint8_t{0}, std::uint8_t{0xFF}, std::uint8_t{'!'}}) {
    Rig r;
    r.host.alarm = true;
    r.port.onWrite = [answer](ScriptedPort& p, std::uint8_t b) {
      if (b == '?') p.ArriveNow({answer});
    };
    EXPECT_EQ(LinkCheck(*r.form), 0);
    EXPECT_FALSE(r.host.alarm) << "a good handshake hides the alarm";
    EXPECT_EQ(r.port.WrittenText(), "?");
  }
}

TEST(LinkCheck, AnEchoingLineFailsOnTheSecondQuestionMark) {
  Rig r;
  r.port.onWrite = [](ScriptedPort& p, std::uint8_t b) { p.ArriveNow({b}); };
  r.form->TestBusy = 1;
  r.form->CommStep = 3;
  EXPECT_EQ(LinkCheck(*r.form), 1);
  EXPECT_EQ(r.port.WrittenText(), "??");
  EXPECT_EQ(r.form->TestBusy, 0);
  EXPECT_EQ(r.form->CommStep, 0);
  EXPECT_TRUE(r.host.timer1) << "unlocked: retried through Timer1";
  EXPECT_TRUE(r.host.alarm);
  EXPECT_TRUE(r.host.messages.empty());
}

TEST(LinkCheck, WaitsExactly2000MsAndSleepsInsteadOfSpinning) {
  Rig r;
  // The answer comes at exactly 2000 ms: still in time.
  const std::uint32_t t0 = r.clock.now;
  r.port.onWrite = [&](ScriptedPort& p, std::uint8_t) { p.ArriveAt(t0 + 2000, {'K'}); };
  EXPECT_EQ(LinkCheck(*r.form), 0);
  EXPECT_LE(r.port.waits, 3) << "the wait sleeps on the port, it does not poll in a loop";

  // Silent: fails once more than 2000 ms have passed, locked: a message.
  Rig s;
  s.form->TestLocked = 1;
  const std::uint32_t s0 = s.clock.now;
  EXPECT_EQ(LinkCheck(*s.form), 1);
  EXPECT_EQ(s.clock.now - s0, 2001u);
  ASSERT_EQ(s.host.messages.size(), 1u);
  EXPECT_EQ(s.host.messages[0].first, "通讯联络失败！");
  EXPECT_EQ(s.host.messages[0].second, "警告！");
  EXPECT_FALSE(s.host.timer1);
  EXPECT_FALSE(s.host.alarm);
  EXPECT_EQ(s.form->Link.StepStartTick, NoDeadline);
}

TEST(LinkCheck, AFirstQuestionMarkGivesASecondFullWait) {
  Rig r;
  const std::uint32_t t0 = r.clock.now;
  int asked = 0;
  r.port.onWrite = [&](ScriptedPort& p, std::uint8_t) {
    // "?" after 1500 ms, then the real answer 1900 ms after the second ask.
    if (++asked == 1)
      p.ArriveAt(t0 + 1500, {'?'});
    else
      p.ArriveAt(r.clock.now + 1900, {'R'});
  };
  EXPECT_EQ(LinkCheck(*r.form), 0);
  EXPECT_EQ(r.clock.now - t0, 3400u);
}

TEST(StepFramework, ACompleteRunShowsItsProgressAndRepeats) {
  Rig r;
  r.Instrument();
  r.form->ShownKind = OutputTest;
  StepDispatch(*r.form);  // step 0: handshake and command
  EXPECT_EQ(r.form->ShownKind, InputTest);
  EXPECT_EQ(r.form->TestBusy, 1);
  EXPECT_EQ(r.form->CommStep, 1);
  EXPECT_EQ(r.form->Link.ExpectedCount, 8u);
  EXPECT_EQ(r.port.purges, 1);
  while (r.form->CommStep != 0 || r.form->TestBusy) r.Poll(10);

  EXPECT_EQ(r.port.WrittenText(), "?0!!");
  const std::vector<std::string> statuses = {"输入性能测试：通讯联络！", "输入性能测试：0%", "输入性能测试：45%",
                                             "输入性能测试：90%", "输入性能测试：100%"};
  EXPECT_EQ(r.host.statuses, statuses);
  EXPECT_EQ(r.host.progress, (std::vector<int>{0, 45, 90, 100}));
  ASSERT_EQ(g_stored.size(), 3u);
  EXPECT_EQ(g_stored[0], Bytes(8, 0x10));
  EXPECT_EQ(g_stored[1], Bytes(8, 0x20));
  EXPECT_EQ(g_stored[2], Bytes(4, 0x30));
  EXPECT_EQ(g_decodes, 1);
  EXPECT_EQ(r.form->Link.ExpectedCount, 1u);
  EXPECT_TRUE(r.host.timer1);
  EXPECT_EQ(r.host.closes, 0);
}

TEST(StepFramework, SplitBlocksAndRepeatedNotificationsAreHarmless) {
  Rig r;
  r.port.onWrite = [](ScriptedPort& p, std::uint8_t b) {
    if (b == '?') p.ArriveNow({'A'});
  };
  StepDispatch(*r.form);
  ASSERT_EQ(r.form->CommStep, 1);
  const auto block = Bytes(8, 0x10);
  r.port.ArriveNow({block.begin(), block.begin() + 5});
  StepDispatch(*r.form);  // a notification while the block is incomplete
  EXPECT_EQ(r.form->CommStep, 1);
  EXPECT_EQ(r.port.WrittenText(), "?0");
  r.port.ArriveNow({block.begin() + 5, block.end()});
  StepDispatch(*r.form);
  EXPECT_EQ(r.form->CommStep, 2);
  StepDispatch(*r.form);  // a second notification for the same block
  EXPECT_EQ(r.form->CommStep, 2);
  EXPECT_EQ(r.port.WrittenText(), "?0!");
  ASSERT_EQ(g_stored.size(), 1u);
  EXPECT_EQ(g_stored[0], block);
}

TEST(PollerCheck, ABlockAt1999MsIsTakenAndNoneBy2001MsEndsTheRun) {
  Rig r;
  // The first block comes after 1999 ms; the second never does.
  r.port.onWrite = [&r](ScriptedPort& p, std::uint8_t b) {
    if (b == '?') p.ArriveNow({'A'});
    if (b == '0') p.ArriveAt(r.clock.now + 1999, Bytes(8, 0x10));
  };
  StepDispatch(*r.form);
  const std::int32_t armed = r.form->Link.StepStartTick;
  ASSERT_NE(armed, NoDeadline);
  EXPECT_GT(r.port.wakes, 0) << "arming a deadline wakes the poller";
  // Let 1998 ms pass: nothing yet, and the check asks to be run again just
  // after the deadline.
  r.clock.now += 1998;
  EXPECT_EQ(PollerCheck(*r.form), 3);
  r.Poll(1);  // 1999 ms: the block is complete
  EXPECT_EQ(r.form->CommStep, 2);
  EXPECT_EQ(r.form->Link.TimeoutFlag, 0);

  // 2000 ms is not late yet, 2001 ms is.
  const std::uint32_t asked = r.clock.now;
  r.clock.now = asked + 2000;
  PollerCheck(*r.form);
  EXPECT_EQ(r.form->Link.TimeoutFlag, 0);
  const int posts = r.host.posts;
  r.clock.now = asked + 2001;
  r.Poll(0);
  EXPECT_EQ(r.host.posts, posts + 1);
  EXPECT_EQ(r.form->Link.StepStartTick, NoDeadline) << "a late block is announced once";
  EXPECT_EQ(r.form->TestBusy, 0);
  EXPECT_EQ(r.form->CommStep, 0);
  EXPECT_EQ(r.form->Link.ExpectedCount, 1u);
  EXPECT_EQ(r.host.statuses.back(), "性能测试：通讯联络！");
  EXPECT_EQ(r.host.progress.back(), 0);
  EXPECT_TRUE(r.host.alarm);
  EXPECT_TRUE(r.host.timer1);
  EXPECT_EQ(g_decodes, 0);
  PollerCheck(*r.form);
  EXPECT_EQ(r.host.posts, posts + 1);
}

TEST(PollerCheck, DeadlinesSurviveTheTickCounterWrapping) {
  Rig r;
  r.clock.now = 0xFFFFFC00u;  // 1024 ms before the counter wraps
  r.Instrument(100000);
  StepDispatch(*r.form);
  ASSERT_EQ(r.form->CommStep, 1);
  r.clock.now = 0xFFFFFC00u + 2000;  // wrapped past zero
  PollerCheck(*r.form);
  EXPECT_EQ(r.form->Link.TimeoutFlag, 0);
  r.clock.now = 0xFFFFFC00u + 2001;
  PollerCheck(*r.form);
  EXPECT_EQ(r.form->Link.TimeoutFlag, 1);
}

TEST(StepFramework, ACloseRequestDuringTheRunClosesAtItsEnd) {
  Rig r;
  r.Instrument();
  StepDispatch(*r.form);
  r.form->ExitPending = 1;
  while (r.form->TestBusy) r.Poll(10);
  EXPECT_EQ(r.host.closes, 1);
  EXPECT_FALSE(r.host.timer1) << "no further run when the window closes";
}

// The untimed shape of the start test: no deadline, never repeated, and the
// lock set on every entry of the last step.
int g_locks = 0;
void Lock(Form& f) {
  f.TestLocked = 1;
  ++g_locks;
}
void Prompt(Form& f) { f.host.DrawStartPrompt(); }

TEST(StepFramework, UntimedRunsWaitForeverAndDoNotRepeat) {
  Rig r;
  r.run.Deadline = false;
  r.run.Repeats = false;
  r.run.Clear = ClearPolicy::Never;
  r.run.Announce = Prompt;
  r.run.OnLastStepEntry = Lock;
  g_locks = 0;
  r.Instrument(60000);  // each block a minute later
  r.form->M.Output.Vrms = 123.0f;  // results of another kind are not cleared
  r.form->ShownKind = OutputTest;
  StepDispatch(*r.form);
  EXPECT_EQ(r.host.prompts, 1);
  EXPECT_EQ(r.form->M.Output.Vrms, 123.0f);
  EXPECT_EQ(r.form->Link.StepStartTick, NoDeadline);
  r.clock.now += 59000;
  PollerCheck(*r.form);
  EXPECT_EQ(r.form->Link.TimeoutFlag, 0) << "no deadline is armed";
  while (r.form->CommStep != 3) r.Poll(1000);
  EXPECT_EQ(r.form->Link.StepStartTick, NoDeadline);
  StepDispatch(*r.form);  // last step entered while its block is still away
  EXPECT_EQ(r.form->TestLocked, 1);
  while (r.form->TestBusy) r.Poll(1000);
  EXPECT_EQ(g_decodes, 1);
  EXPECT_FALSE(r.host.timer1);
}

TEST(StepDispatch, StrayBytesWithNoTestSelectedAreDropped) {
  Rig r;
  r.form->SelectedKind = NoTest;
  r.port.ArriveNow({0x55});
  r.Poll(0);
  EXPECT_EQ(r.host.repaints, 1);
  EXPECT_EQ(r.port.QueuedCount(), 0u);
  const int posts = r.host.posts;
  PollerCheck(*r.form);
  EXPECT_EQ(r.host.posts, posts) << "no endless notifications for the dropped byte";
  EXPECT_TRUE(r.port.written.empty());

  // With a test selected, a stray byte starts a run whose first step
  // discards it.
  Rig s;
  s.Instrument();
  s.port.ArriveNow({0x55});
  s.Poll(0);
  EXPECT_EQ(s.form->CommStep, 1);
  EXPECT_EQ(s.port.WrittenText(), "?0");
}

}  // namespace
}  // namespace kt
