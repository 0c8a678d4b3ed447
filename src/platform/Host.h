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
  virtual void Repaint() = 0;          // the main window's paint box
  virtual void RepaintAnalysis() = 0;  // the analysis window
  virtual void SetStatusText(const std::string& utf8) = 0;
  virtual void SetProgress(int percent) = 0;  // main window's bar
  virtual void SetAnalysisProgress(int percent) = 0;
  virtual void EnableTimer1(bool on) = 0;
  virtual void ShowAlarm(bool visible) = 0;
  virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
  virtual void CloseMainWindow() = 0;
  virtual void SetLockTestBtnDown(bool down) = 0;
  virtual void SetHanZiBtnDown(bool down) = 0;
  virtual void SetGaoTestEnabled(bool enabled) = 0;  // analysis window's command
  virtual void DrawStartPrompt() = 0;
  virtual void PostCommData() = 0;  // WM_COMMDATA to the main window
  // A run began or ended (Form::RunKind changed): the commands that must
  // wait for the run's end are enabled or disabled.
  virtual void RunStateChanged() {}
  // A run of `kind` ended; a completed one has been decoded (and shown).
  virtual void RunEnded(int kind, RunOutcome outcome) {}
};

// A host with no window behind it (a file decoded for the log, the command
// line): every request is let pass; the last message box's text is kept,
// as it is often the reason a step gave up.
class QuietHost : public Host {
 public:
  std::string lastMessage;
  void Repaint() override {}
  void RepaintAnalysis() override {}
  void SetStatusText(const std::string&) override {}
  void SetProgress(int) override {}
  void SetAnalysisProgress(int) override {}
  void EnableTimer1(bool) override {}
  void ShowAlarm(bool) override {}
  void MessageBox(const std::string& text, const std::string&) override { lastMessage = text; }
  void CloseMainWindow() override {}
  void SetLockTestBtnDown(bool) override {}
  void SetHanZiBtnDown(bool) override {}
  void SetGaoTestEnabled(bool) override {}
  void DrawStartPrompt() override {}
  void PostCommData() override {}
};

}  // namespace kt
