#include "link/Controller.h"

#include <string>

#include "link/Form.h"
#include "link/Resets.h"
#include "link/TestRun.h"

namespace kt {

namespace {

// A run that waits without a deadline (the start test waits for the lamp to
// be switched) would hold the program for good if the instrument never sent
// its block: the operator leaves it with another command.
void LeaveUntimedRun(Form& form) {
  if (form.RunKind == NoTest) return;
  const RunSpec* run = form.Kinds[static_cast<std::size_t>(form.RunKind)].Run;
  if (!run || run->Deadline) return;
  AbandonRun(form, std::string(run->StatusPrefix ? run->StatusPrefix : "") + "已中止");
}

}  // namespace

void StartTestCommand(Form& form, TestKind kind, StartMode mode) {
  LeaveUntimedRun(form);
  if (mode == StartMode::StartUp) {
    form.M.Start.Valid = 0;
    form.host.DrawStartPrompt();
  }
  form.SelectedKind = kind;
  form.host.EnableTimer1(false);
  ClearResults(form.M);
  form.TestLocked = (mode == StartMode::Single) ? 1 : 0;
  form.host.SetLockTestBtnDown(mode != StartMode::Continuous);
  form.StartRequested = 1;
  form.host.PostCommData();
  // The start test keeps its prompt on the page until its run repaints.
  if (mode != StartMode::StartUp) form.host.Repaint();
}

void StartSingleRun(Form& form, TestKind kind) {
  if (kind == GaoTest || kind == BaoTest) {
    form.SelectedKind = kind;
    form.StartRequested = 1;
    form.host.PostCommData();
    return;
  }
  StartTestCommand(form, kind, kind == StartTest ? StartMode::StartUp : StartMode::Single);
  form.TestLocked = 1;  // the start test's own mode leaves it clear
}

void ToggleLock(Form& form) {
  form.TestLocked = form.TestLocked ? 0 : 1;
  LeaveUntimedRun(form);
}

void Timer1Tick(Form& form) {
  form.host.EnableTimer1(false);
  if (form.TestLocked) {
    form.host.EnableTimer1(true);
    return;
  }
  form.StartRequested = 1;
  form.host.PostCommData();
}

namespace {

void Browse(Form& form, std::int32_t next) {
  if (form.TestBusy || form.RunKind != NoTest) return;
  form.ShownKind = next;
  if (auto restore = form.Kinds[static_cast<std::size_t>(next)].Restore) restore(form);
  form.host.Repaint();
}

}  // namespace

void BrowseBack(Form& form) {
  const std::int32_t k = form.ShownKind;
  Browse(form, (IsMainKind(k) && k != InputTest) ? k - 1 : PhaseTest);
}

void BrowseNext(Form& form) {
  const std::int32_t k = form.ShownKind;
  Browse(form, (IsMainKind(k) && k != PhaseTest) ? k + 1 : InputTest);
}

bool RefuseDuringRun(Form& form) {
  if (form.RunKind == NoTest) return false;
  form.host.SetStatusText(BusyText);
  return true;
}

void LockForFileCommand(Form& form) {
  form.TestLocked = 1;
  form.host.SetLockTestBtnDown(true);
}

bool RequestClose(Form& form) {
  if (!form.TestBusy) return true;
  form.ExitPending = 1;
  return false;
}

void CloseTimedOut(Form& form) {
  AbandonRun(form, "");
  // Cleared whatever still holds it, or the close would be held again.
  form.TestBusy = 0;
  form.host.CloseMainWindow();
}

}  // namespace kt
