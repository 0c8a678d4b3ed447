#include "link/TestRun.h"

#include <algorithm>
#include <string>

#include "link/Form.h"
#include "link/Resets.h"

namespace kt {

namespace {

constexpr const char* LinkTestingText = "通讯联络！";

std::int32_t Now(Form& form) { return static_cast<std::int32_t>(form.clock.TickCount()); }

// Milliseconds since `since`, in the wrapping 32-bit arithmetic of the tick
// counter.
std::int32_t Since(Form& form, std::int32_t since) {
  return static_cast<std::int32_t>(form.clock.TickCount() - static_cast<std::uint32_t>(since));
}

void StartDeadline(Form& form) {
  form.Link.StepStartTick = Now(form);
  // The poller may be asleep on an idle wait; let it take up the deadline.
  form.port.Wake();
}

void SetBar(Form& form, const RunSpec& run, int percent) {
  if (run.Bar == ProgressTarget::AnalysisWindow)
    form.host.SetAnalysisProgress(percent);
  else
    form.host.SetProgress(percent);
}

void ShowProgress(Form& form, const RunSpec& run, int percent) {
  if (percent < 0) return;
  if (run.StatusPrefix) form.host.SetStatusText(std::string(run.StatusPrefix) + std::to_string(percent) + "%");
  SetBar(form, run, percent);
}

void FirstStep(Form& form, const RunSpec& run) {
  if (run.OwnsRun) {
    if (run.Clear == ClearPolicy::OnKindChange && form.ShownKind != form.SelectedKind)
      ClearResults(form.M);
    form.ShownKind = form.SelectedKind;
    form.TestBusy = 1;
  } else if (run.Clear == ClearPolicy::Always) {
    ClearResults(form.M);
  }
  if (run.Announce)
    run.Announce(form);
  else
    form.host.Repaint();
  form.port.PurgeReceive();
  if (run.OwnsRun) form.Link.TimeoutFlag = 0;
  if (run.StatusPrefix && run.HandshakeStatus)
    form.host.SetStatusText(std::string(run.StatusPrefix) + LinkTestingText);
  SetBar(form, run, 0);
  if (LinkCheck(form) != 0) return;
  if (run.StatusPrefix) form.host.SetStatusText(std::string(run.StatusPrefix) + "0%");
  form.Link.ExpectedCount = run.Blocks.front().Bytes;
  form.port.WriteByte(run.Command);
  form.CommStep = 1;
  if (run.Deadline)
    StartDeadline(form);
  else
    form.Link.StepStartTick = NoDeadline;
}

void BlockStep(Form& form, const RunSpec& run, int step) {
  const int last = static_cast<int>(run.Blocks.size());
  if (run.ChecksTimeout && form.Link.TimeoutFlag) {
    RunFailed(form);
    return;
  }
  if (step == last && run.OnLastStepEntry) run.OnLastStepEntry(form);
  // Notifications can outlive the block they were meant for; only a complete
  // block is read.
  if (form.port.QueuedCount() < form.Link.ExpectedCount) return;
  const unsigned n = std::min<unsigned>(form.Link.ExpectedCount, sizeof form.RxBuffer);
  const unsigned got = form.port.Read(form.RxBuffer, n);
  std::fill(form.RxBuffer + got, form.RxBuffer + n, std::uint8_t{0});
  const BlockSpec& block = run.Blocks[static_cast<std::size_t>(step - 1)];
  if (block.Store) block.Store(form, form.RxBuffer, n);

  if (step < last) {
    ShowProgress(form, run, block.Progress);
    form.Link.ExpectedCount = run.Blocks[static_cast<std::size_t>(step)].Bytes;
    form.port.WriteByte(run.AckAfter ? run.AckAfter(form, step - 1) : AcknowledgeByte);
    form.CommStep = step + 1;
    if (run.Deadline) StartDeadline(form);
    return;
  }

  form.CommStep = 0;
  form.Link.ExpectedCount = 1;
  ShowProgress(form, run, 100);
  if (run.Decode) run.Decode(form);
  if (run.OwnsRun) form.TestBusy = 0;
  if (form.ExitPending && run.ClosesOnExit)
    form.host.CloseMainWindow();
  else if (run.Repeats)
    form.host.EnableTimer1(true);
}

}  // namespace

void RunStep(Form& form, const RunSpec& run) {
  if (run.Blocks.empty()) return;
  const int step = form.CommStep;
  if (step == 0)
    FirstStep(form, run);
  else if (step >= 1 && step <= static_cast<int>(run.Blocks.size()))
    BlockStep(form, run, step);
}

int LinkCheck(Form& form) {
  // A line that went away (an instrument switched off, an adapter pulled)
  // may be back by now: the retries of the alarm look for it again.
  if (form.port.HungUp()) form.port.Reopen();
  form.Link.ExpectedCount = 1;
  form.port.WriteByte(HandshakeByte);
  std::int32_t asked = Now(form);
  bool askedTwice = false;
  for (;;) {
    if (form.port.QueuedCount() < form.Link.ExpectedCount) {
      const std::int32_t waited = Since(form, asked);
      if (waited > BlockDeadlineMs) break;
      // Sleep until an answer comes or the wait is over; never spin.
      form.port.WaitForInput(BlockDeadlineMs - waited + 1);
      continue;
    }
    std::uint8_t answer = 0;
    form.port.Read(&answer, 1);
    if (answer != HandshakeByte) {
      form.host.ShowAlarm(false);
      return 0;
    }
    // "?" back may be a line that echoes; ask once more to tell.
    if (askedTwice) break;
    askedTwice = true;
    form.port.WriteByte(HandshakeByte);
    asked = Now(form);
  }
  form.TestBusy = 0;
  form.CommStep = 0;
  form.Link.ExpectedCount = 1;
  if (form.TestLocked) {
    form.Link.StepStartTick = NoDeadline;
    form.host.MessageBox("通讯联络失败！", "警告！");
  } else {
    form.host.EnableTimer1(true);
    form.host.ShowAlarm(true);
  }
  return 1;
}

void RunFailed(Form& form) {
  form.TestBusy = 0;
  form.host.Repaint();
  form.host.SetStatusText(std::string("性能测试：") + LinkTestingText);
  form.host.SetProgress(0);
  form.CommStep = 0;
  form.Link.ExpectedCount = 1;
  form.host.EnableTimer1(true);
  form.host.ShowAlarm(true);
}

void StepDispatch(Form& form) {
  const std::int32_t kind = form.TestBusy ? form.ShownKind : form.SelectedKind;
  const RunSpec* run = (kind > NoTest && kind < KindCount) ? form.Kinds[static_cast<std::size_t>(kind)].Run : nullptr;
  if (run) {
    RunStep(form, *run);
  } else if (!form.TestBusy) {
    // Bytes nobody asked for, with no test to start: drop them, or every
    // check of the poller would announce them again.
    form.port.PurgeReceive();
  }
  form.host.Repaint();
}

int PollerCheck(Form& form) {
  LinkState& link = form.Link;
  if (form.port.QueuedCount() >= link.ExpectedCount) {
    link.TimeoutFlag = 0;
    link.StepStartTick = NoDeadline;
    form.host.PostCommData();
    return PollerIdleWaitMs;
  }
  if (link.StepStartTick != NoDeadline) {
    const std::int32_t waited = Since(form, link.StepStartTick);
    if (waited > BlockDeadlineMs) {
      link.StepStartTick = NoDeadline;
      link.TimeoutFlag = 1;
      form.host.PostCommData();
      return PollerIdleWaitMs;
    }
    return std::clamp(BlockDeadlineMs - waited + 1, 1, PollerIdleWaitMs);
  }
  return PollerIdleWaitMs;
}

}  // namespace kt
