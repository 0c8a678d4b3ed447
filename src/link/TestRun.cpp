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

const RunSpec* RunOf(const Form& form, std::int32_t kind) {
  return (kind > NoTest && kind < KindCount) ? form.Kinds[static_cast<std::size_t>(kind)].Run : nullptr;
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

// The run is over, however it ended: nothing awaited any more. Returns the
// kind it was.
std::int32_t EndRun(Form& form) {
  const std::int32_t kind = form.RunKind;
  form.CommStep = 0;
  form.Link.ExpectedCount = 1;
  form.Link.Handshake = 0;
  form.RunKind = NoTest;
  form.host.RunStateChanged();
  return kind;
}

void FirstStep(Form& form, const RunSpec& run) {
  if (run.OwnsRun) {
    if (run.Clear == ClearPolicy::OnKindChange && form.ShownKind != form.SelectedKind) ClearResults(form.M);
    form.ShownKind = run.Kind;
    form.TestBusy = 1;
  } else if (run.Clear == ClearPolicy::Always) {
    ClearResults(form.M);
  }
  form.RunKind = run.Kind;
  form.host.RunStateChanged();
  if (run.Announce)
    run.Announce(form);
  else
    form.host.Repaint();
  form.Link.TimeoutFlag = 0;
  form.Link.LineLost = 0;
  if (run.StatusPrefix && run.HandshakeStatus) form.host.SetStatusText(std::string(run.StatusPrefix) + LinkTestingText);
  SetBar(form, run, 0);
  BeginLinkCheck(form);
}

// The instrument is ready: the command, and the wait for the first block.
void SendCommand(Form& form, const RunSpec& run) {
  if (run.StatusPrefix) form.host.SetStatusText(std::string(run.StatusPrefix) + "0%");
  form.Link.ExpectedCount = run.Blocks.front().Bytes;
  form.port.WriteByte(run.Command);
  form.CommStep = 1;
  if (run.Deadline)
    StartDeadline(form);
  else
    form.Link.StepStartTick = NoDeadline;
}

bool BlockStep(Form& form, const RunSpec& run, int step) {
  const int last = static_cast<int>(run.Blocks.size());
  if ((run.ChecksTimeout && form.Link.TimeoutFlag) || form.Link.LineLost) {
    RunFailed(form);
    return true;
  }
  if (step == last && run.OnLastStepEntry) run.OnLastStepEntry(form);
  // Notifications can outlive the block they were meant for; only a complete
  // block is read.
  if (form.port.QueuedCount() < form.Link.ExpectedCount) return false;
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
    return true;
  }

  const std::int32_t kind = EndRun(form);
  ShowProgress(form, run, 100);
  if (run.Decode) run.Decode(form);
  if (run.OwnsRun) form.TestBusy = 0;
  form.host.RunEnded(kind, RunOutcome::Completed);
  if (form.ExitPending && run.ClosesOnExit)
    form.host.CloseMainWindow();
  else if (run.Repeats)
    form.host.EnableTimer1(true);
  return true;
}

}  // namespace

bool RunStep(Form& form, const RunSpec& run) {
  if (run.Blocks.empty()) return false;
  if (form.RunKind == NoTest) {
    FirstStep(form, run);
    return true;
  }
  if (form.Link.Handshake) {
    const bool answered = form.Link.TimeoutFlag || form.Link.LineLost || form.port.QueuedCount() > 0;
    if (LinkCheckStep(form) == 0 && form.Link.Handshake == 0) SendCommand(form, run);
    return answered;
  }
  const int step = form.CommStep;
  if (step >= 1 && step <= static_cast<int>(run.Blocks.size())) return BlockStep(form, run, step);
  return false;
}

void BeginLinkCheck(Form& form) {
  // A line that went away (an instrument switched off, an adapter pulled)
  // or was never there may be back by now: the retries of the alarm look
  // for it again.
  if (form.port.HungUp() || !form.port.IsOpen()) form.port.Reopen();
  form.port.PurgeReceive();
  form.Link.ExpectedCount = 1;
  form.Link.TimeoutFlag = 0;
  form.Link.Handshake = 1;
  form.port.WriteByte(HandshakeByte);
  StartDeadline(form);
}

int LinkCheckStep(Form& form) {
  LinkState& link = form.Link;
  bool failed = link.TimeoutFlag || link.LineLost;
  if (!failed) {
    if (form.port.QueuedCount() < 1) return 0;  // a notification of something else
    std::uint8_t answer = 0;
    form.port.Read(&answer, 1);
    if (answer != HandshakeByte) {
      link.Handshake = 0;
      link.StepStartTick = NoDeadline;
      form.host.ShowAlarm(false);
      return 0;
    }
    // "?" back may be a line that echoes; ask once more to tell.
    failed = link.Handshake == 2;
    if (!failed) {
      link.Handshake = 2;
      form.port.WriteByte(HandshakeByte);
      StartDeadline(form);
      return 0;
    }
  }
  form.TestBusy = 0;
  link.TimeoutFlag = 0;
  form.host.RunEnded(EndRun(form), RunOutcome::HandshakeFailed);
  if (form.TestLocked) {
    link.StepStartTick = NoDeadline;
    form.host.MessageBox("通讯联络失败！", "警告！");
  } else {
    link.StepStartTick = NoDeadline;
    form.host.EnableTimer1(true);
    form.host.ShowAlarm(true);
  }
  return 1;
}

void RunFailed(Form& form) {
  form.TestBusy = 0;
  form.host.RunEnded(EndRun(form), form.Link.LineLost ? RunOutcome::LineLost : RunOutcome::BlockLate);
  form.Link.StepStartTick = NoDeadline;
  // Whatever is still on its way belongs to the failed run.
  form.port.PurgeReceive();
  form.host.Repaint();
  form.host.SetStatusText(std::string("性能测试：") + LinkTestingText);
  form.host.SetProgress(0);
  form.host.EnableTimer1(true);
  form.host.ShowAlarm(true);
}

void AbandonRun(Form& form, const std::string& status) {
  if (form.RunKind == NoTest) return;
  const RunSpec* run = RunOf(form, form.RunKind);
  if (run && run->OwnsRun) form.TestBusy = 0;
  form.host.RunEnded(EndRun(form), RunOutcome::Abandoned);
  form.Link.StepStartTick = NoDeadline;
  form.Link.TimeoutFlag = 0;
  form.port.PurgeReceive();
  if (!status.empty()) form.host.SetStatusText(status);
  if (run) SetBar(form, *run, 0);
}

void StepDispatch(Form& form) {
  std::int32_t kind = form.RunKind;
  if (kind == NoTest) {
    if (!form.StartRequested) {
      // Bytes nobody asked for: dropped, or every check of the poller would
      // announce them again; they never start a run.
      form.port.PurgeReceive();
      return;
    }
    kind = form.SelectedKind;
  }
  // A request given while a run is under way is taken up by that run, as
  // the test commands always were: the selected kind takes effect at the
  // next run Timer1 starts.
  form.StartRequested = 0;
  const RunSpec* run = RunOf(form, kind);
  if (!run) {
    form.port.PurgeReceive();
    return;
  }
  if (RunStep(form, *run)) form.host.Repaint();
}

int PollerCheck(Form& form) {
  LinkState& link = form.Link;
  // While a block is on its way, its pieces need no look each: the port may
  // sleep until all of it is in. Otherwise any byte wakes it.
  unsigned wakeAt = 1;
  int wait = PollerIdleWaitMs;
  if (form.RunKind != NoTest && !link.LineLost && form.port.HungUp()) {
    // The instrument was switched off or its adapter pulled: no block can
    // come any more, deadline or not.
    link.LineLost = 1;
    link.StepStartTick = NoDeadline;
    form.host.PostCommData();
  } else if (form.port.QueuedCount() >= link.ExpectedCount) {
    link.TimeoutFlag = 0;
    link.StepStartTick = NoDeadline;
    form.host.PostCommData();
  } else if (link.StepStartTick != NoDeadline) {
    const std::int32_t waited = Since(form, link.StepStartTick);
    if (waited > BlockDeadlineMs) {
      link.StepStartTick = NoDeadline;
      link.TimeoutFlag = 1;
      form.host.PostCommData();
    } else {
      wakeAt = link.ExpectedCount;
      wait = std::clamp(BlockDeadlineMs - waited + 1, 1, PollerIdleWaitMs);
    }
  }
  form.port.WakeAtCount(wakeAt);
  return wait;
}

}  // namespace kt
