#include "link/Controller.h"

#include "link/Form.h"
#include "link/Resets.h"

namespace kt {

void StartTestCommand(Form& form, TestKind kind, StartMode mode) {
  if (mode == StartMode::StartUp) {
    form.M.Start.Valid = 0;
    form.host.DrawStartPrompt();
  }
  form.SelectedKind = kind;
  form.host.EnableTimer1(false);
  ClearResults(form.M);
  form.TestLocked = (mode == StartMode::Single) ? 1 : 0;
  form.host.SetLockTestBtnDown(mode != StartMode::Continuous);
  form.host.PostCommData();
  // The start test keeps its prompt on the page until its run repaints.
  if (mode != StartMode::StartUp) form.host.Repaint();
}

void Timer1Tick(Form& form) {
  form.host.EnableTimer1(false);
  if (form.TestLocked) {
    form.host.EnableTimer1(true);
    return;
  }
  form.host.PostCommData();
}

namespace {

void Browse(Form& form, std::int32_t next) {
  if (form.TestBusy) return;
  form.ShownKind = next;
  if (auto restore = form.Kinds[static_cast<std::size_t>(next)].Restore) restore(form);
  form.host.Repaint();
}

bool IsMainKind(std::int32_t k) { return k >= InputTest && k <= PhaseTest; }

}  // namespace

void BrowseBack(Form& form) {
  const std::int32_t k = form.ShownKind;
  Browse(form, (IsMainKind(k) && k != InputTest) ? k - 1 : PhaseTest);
}

void BrowseNext(Form& form) {
  const std::int32_t k = form.ShownKind;
  Browse(form, (IsMainKind(k) && k != PhaseTest) ? k + 1 : InputTest);
}

bool RequestClose(Form& form) {
  if (!form.TestBusy) return true;
  form.ExitPending = 1;
  return false;
}

}  // namespace kt
