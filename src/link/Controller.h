#pragma once
#include "core/TestKind.h"

namespace kt {

struct Form;

// How a test command wants its kind to run.
enum class StartMode {
  Continuous,  // repeats 500 ms after each run until locked
  Single,      // one run, the lock set
  StartUp,     // the start test: lock button shown down, lock flag clear
};

// The common part of every test command of the main window. A run that waits
// without a deadline (the start test) is left first, with a status message.
void StartTestCommand(Form& form, TestKind kind, StartMode mode);

// One run of `kind` asked for by a program rather than a button (the command
// line, a remote controller): the main window's single-run command, or for
// the envelope and the analysis what the analysis window's commands do. No
// retry: an instrument that does not answer ends the run.
void StartSingleRun(Form& form, TestKind kind);

// The lock command: toggles continuous testing; it also leaves a run that
// waits without a deadline.
void ToggleLock(Form& form);

// Timer1 has expired: start the next run of the selected kind unless the
// lock holds (then the timer keeps ticking and does nothing).
void Timer1Tick(Form& form);

// Back/Next through kinds 1..5 with their stored results; ignored while a
// run is under way.
void BrowseBack(Form& form);
void BrowseNext(Form& form);

// What the status bar says when a command has to wait for the run's end.
inline constexpr const char* BusyText = "测试进行中，请在本次测试结束后操作";

// A file opened or stored, a report printed, another kind browsed or a
// logged run opened in the middle of a run would mix two kinds' results:
// these wait for its end. True, and BusyText said, when the command is
// refused; nothing else changes.
bool RefuseDuringRun(Form& form);

// Files and reports stop continuous testing after the current run, also
// when the operator then cancels: the lock set and its button down.
void LockForFileCommand(Form& form);

// A request to close the main window. Returns true when it may close now;
// otherwise the request is held (ExitPending) and the caller arms the close
// timer, counted from the first request.
bool RequestClose(Form& form);

// Longest wait for a run when closing.
inline constexpr int CloseTimeoutMs = 4000;

// The close timer expired and the run has not ended: it is abandoned and
// the main window closes.
void CloseTimedOut(Form& form);

}  // namespace kt
