#pragma once
#include <cstdint>
#include <span>

#include "core/TestKind.h"

namespace kt {

struct Form;

// One block of a test run's exchange.
struct BlockSpec {
  unsigned Bytes;  // length of the block on the wire
  int Progress;    // percentage shown once it is read; -1 leaves bar and status alone
  // Copies the block into its raw store (and sets the counters that go with it).
  void (*Store)(Form& form, const std::uint8_t* data, unsigned n);
};

enum class ClearPolicy { OnKindChange, Always, Never };
enum class ProgressTarget { MainWindow, AnalysisWindow };

// A test kind's exchange as data: every kind runs the same first, middle and
// last step; only what is listed here differs between them.
struct RunSpec {
  TestKind Kind = NoTest;
  const char* StatusPrefix = nullptr;  // nullptr: the run writes no status text
  std::uint8_t Command = 0;
  std::span<const BlockSpec> Blocks;
  bool Deadline = true;       // each block must come within BlockDeadlineMs
  bool ChecksTimeout = true;  // a step that finds the timeout flag ends the run
  ClearPolicy Clear = ClearPolicy::OnKindChange;
  bool OwnsRun = true;        // makes its kind the shown one and marks the run busy
  bool Repeats = true;        // arms Timer1 at its end (continuous testing)
  bool ClosesOnExit = true;   // closes the main window at its end when asked to
  ProgressTarget Bar = ProgressTarget::MainWindow;
  bool HandshakeStatus = true;  // shows prefix + "通讯联络！" while the link is tested
  // Drawn as the run starts instead of a repaint (the start test's prompt).
  void (*Announce)(Form& form) = nullptr;
  // The byte sent after block `block` (0-based) instead of the acknowledge.
  std::uint8_t (*AckAfter)(Form& form, int block) = nullptr;
  // Run at each entry of the last step, before the queue is looked at.
  void (*OnLastStepEntry)(Form& form) = nullptr;
  void (*Decode)(Form& form) = nullptr;
};

inline constexpr std::uint8_t HandshakeByte = '?';
inline constexpr std::uint8_t AcknowledgeByte = '!';

// Runs the step of `run` selected by the form's CommStep.
void RunStep(Form& form, const RunSpec& run);

// The "?" handshake. Blocks the calling (window) thread for at most 2000 ms
// per wait. 0: the instrument answered; 1: it did not, and the failure has
// been handled (flags reset, message or alarm, retry armed).
int LinkCheck(Form& form);

// Ends the current test run after a block came too late.
void RunFailed(Form& form);

// The WM_COMMDATA handler: runs the next step of the running (or selected)
// kind, then repaints.
void StepDispatch(Form& form);

// The receive poller's check, run on the window thread: posts WM_COMMDATA when
// the awaited block is complete or its deadline has passed. Returns how long
// the poller may sleep before the next check is due (ms).
int PollerCheck(Form& form);

inline constexpr int PollerIdleWaitMs = 1000;

}  // namespace kt
