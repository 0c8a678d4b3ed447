#pragma once
// Test runs without a window: the window's own steps, decoders and port,
// driven by a loop that does what the window's event loop and poller do.
#include <csignal>
#include <functional>
#include <memory>
#include <string>

#include "core/AnalysisData.h"
#include "link/Form.h"
#include "platform/Clock.h"
#include "platform/Host.h"
#include "platform/TermiosPort.h"

namespace kt {

// What a run tells a window, told to a terminal: progress and messages on
// stderr; the posted "data arrived" notifications counted for the loop.
class HeadlessHost final : public QuietHost {
 public:
  // `bar`: stderr is a terminal, so progress is one line redrawn in place.
  explicit HeadlessHost(bool bar) : bar_(bar) {}

  int posts = 0;
  bool ended = false;  // RunEnded since the last Reset; what the window says after it is not printed
  int endedKind = NoTest;
  RunOutcome outcome = RunOutcome::Completed;
  void Reset() { ended = false, lastMessage.clear(); }

  // The rest is let pass: the command line starts each run itself and has
  // no buttons, alarm or analysis window.
  void SetStatusText(const std::string& utf8) override;
  void SetProgress(int percent) override { Progress(percent); }
  void SetAnalysisProgress(int percent) override { Progress(percent); }
  void MessageBox(const std::string& text, const std::string& caption) override;
  void DrawStartPrompt() override;
  void PostCommData() override {
    if (onPost)
      onPost();
    else
      ++posts;
  }
  void RunEnded(int kind, RunOutcome how) override {
    ended = true, endedKind = kind, outcome = how;
    if (onEnded) onEnded(kind, how);
  }
  // A served station's event loop takes the notifications instead.
  std::function<void()> onPost;
  std::function<void(int kind, RunOutcome how)> onEnded;
  // Ends a progress bar's line before other output.
  void EndLine();

 private:
  void Progress(int percent);
  bool bar_;
  bool lineOpen_ = false;
  std::string status_;
  int percent_ = -1;
};

// The first SIGINT or SIGTERM; a second one of either.
extern volatile std::sig_atomic_t StopSignal;
extern volatile std::sig_atomic_t StopCount;
void CatchStopSignals();

// The device a run opens without --port: the one chosen in the window (its
// settings), else the window's COM1 or COM2 as its Port.cfg in the working
// folder says (read, never written: the command line leaves no file behind
// where it runs), COM2 without one.
std::string WindowDevice();

class RunRecorder;
// What the log knows for a scan of `serial`: its last pass today and the
// newest golden pass of its profile on this station (0: none, or no log).
void LoggedPasses(RunRecorder& recorder, const std::string& serial, std::int64_t& lastPass, std::int64_t& goldenPass);

class HeadlessTester {
 public:
  explicit HeadlessTester(bool progressBar);
  Form& form() { return form_; }
  AnalysisData& analysis() { return analysis_; }
  HeadlessHost& host() { return host_; }
  SerialPort& port() { return port_; }

  // Opens `device` (a path, or COM1/COM2 as the window names them; empty:
  // WindowDevice()). 0, or 1 with the device and the cause.
  int Open(const std::string& device, std::string& error);
  void Close() { port_.Close(); }
  // One run of `kind` to its end, as the window's single-run command. The
  // run is abandoned when a second stop signal comes (or the first, with
  // `stopOnFirstSignal`).
  RunOutcome Run(TestKind kind, bool stopOnFirstSignal);
  // What Run does at the start of each run and at each "data arrived", for
  // a caller with its own loop.
  void Begin() { host_.Reset(); }
  void Step();
  // What went wrong in the last run that did not complete: the awaited
  // block, the device, the likely cause (and the window's message).
  std::string FailureText(TestKind kind, RunOutcome outcome) const;

 private:
  HeadlessHost host_;
  TermiosPort port_;
  SystemClock clock_;
  Form form_;
  AnalysisData analysis_;
  std::string device_;
  int awaited_ = 0;  // the block the run waited for (0: the handshake's answer)
};

}  // namespace kt
