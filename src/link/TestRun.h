#pragma once
#include <cstdint>
#include <span>
#include <string>

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
  bool OwnsRun = true;       // makes its kind the shown one and marks the run busy
  bool Repeats = true;       // arms Timer1 at its end (continuous testing)
  bool ClosesOnExit = true;  // closes the main window at its end when asked to
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

// Runs the step of `run` that is due: the first step when no run is under
// way, then the handshake, then the block steps by CommStep. Returns whether
// a step did anything (a repeated notification does nothing).
bool RunStep(Form& form, const RunSpec& run);

// The "?" handshake, as an awaited answer like any block: BeginLinkCheck
// sends the "?" and arms the 2000 ms wait; LinkCheckStep takes the answer
// when it is there or the wait is over. Any answer but "?" means ready; a
// "?" is asked once more (a line that echoes answers "?" twice). 0: the
// instrument answered or the wait goes on; 1: it failed, and the failure has
// been handled (flags reset, message or alarm, retry armed).
void BeginLinkCheck(Form& form);
int LinkCheckStep(Form& form);

// Ends the current test run after a block came too late or the line went
// away: status, alarm, retry through Timer1.
void RunFailed(Form& form);

// Ends the run under way without a result (the operator left a run that
// waits without a deadline, or its window closed); `status` is shown when
// not empty.
void AbandonRun(Form& form, const std::string& status);

// The WM_COMMDATA handler: runs the next step of the run under way, or
// starts a run of the selected kind when a command or Timer1 asked for one;
// bytes that arrive while no run is under way and none was asked for are
// dropped. Repaints when a step ran.
void StepDispatch(Form& form);

// The receive poller's check, run on the window thread: posts WM_COMMDATA when
// the awaited block is complete, its deadline has passed or the line of a run
// under way hung up. Returns how long the poller may sleep before the next
// check is due (ms).
int PollerCheck(Form& form);

inline constexpr int PollerIdleWaitMs = 1000;

}  // namespace kt
