#pragma once
#include <string>

namespace kt {

// How a test run ended.
enum class RunOutcome { Completed, HandshakeFailed, BlockLate, LineLost, Abandoned };

// What a test run asks of the windows. The main window implements it; unit
// tests use a recording fake.
class Host {
 public:
  virtual ~Host() = default;
  virtual void Repaint() = 0;                       // the main window's paint box
  virtual void RepaintAnalysis() = 0;               // the analysis window
  virtual void SetStatusText(const std::string& utf8) = 0;
  virtual void SetProgress(int percent) = 0;        // main window's bar
  virtual void SetAnalysisProgress(int percent) = 0;
  virtual void EnableTimer1(bool on) = 0;
  virtual void ShowAlarm(bool visible) = 0;
  virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
  virtual void CloseMainWindow() = 0;
  virtual void SetLockTestBtnDown(bool down) = 0;
  virtual void SetHanZiBtnDown(bool down) = 0;
  virtual void SetGaoTestEnabled(bool enabled) = 0;  // analysis window's command
  virtual void DrawStartPrompt() = 0;
  virtual void PostCommData() = 0;                   // WM_COMMDATA to the main window
  // A run began or ended (Form::RunKind changed): the commands that must
  // wait for the run's end are enabled or disabled.
  virtual void RunStateChanged() {}
  // A run of `kind` ended; a completed one has been decoded (and shown).
  virtual void RunEnded(int kind, RunOutcome outcome) {}
};

}  // namespace kt
