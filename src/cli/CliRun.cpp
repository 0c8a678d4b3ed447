#include "cli/CliRun.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "analysis/AnalysisRun.h"
#include "link/Controller.h"
#include "link/PortConfig.h"
#include "link/Resets.h"
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"

namespace kt {

volatile std::sig_atomic_t StopSignal = 0;
volatile std::sig_atomic_t StopCount = 0;

namespace {

void OnStop(int signal) {
  if (StopSignal == 0) StopSignal = signal;
  StopCount = StopCount + 1;
}

// How long one wait of the loop lasts at most: a stop signal is seen within it.
constexpr int LoopWaitMs = 100;

}  // namespace

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void HeadlessHost::SetStatusText(const std::string& utf8) {
  if (utf8 == status_) return;
  status_ = utf8;
  if (bar_) {
    Progress(percent_);
  } else if (!utf8.empty()) {
    std::fprintf(stderr, "%s\n", utf8.c_str());
  }
}

void HeadlessHost::Progress(int percent) {
  percent_ = std::clamp(percent, 0, 100);
  if (!bar_) return;
  constexpr int Width = 30;
  const int filled = percent_ * Width / 100;
  std::fprintf(stderr, "\r[%s%s] %3d%%  %s\033[K", std::string(static_cast<std::size_t>(filled), '#').c_str(),
               std::string(static_cast<std::size_t>(Width - filled), ' ').c_str(), percent_, status_.c_str());
  std::fflush(stderr);
  lineOpen_ = true;
}

void HeadlessHost::EndLine() {
  if (lineOpen_) std::fputc('\n', stderr);
  lineOpen_ = false;
}

void HeadlessHost::MessageBox(const std::string& text, const std::string&) {
  lastMessage = text;
  EndLine();
  std::fprintf(stderr, "%s\n", text.c_str());
}

void HeadlessHost::DrawStartPrompt() {
  EndLine();
  std::fprintf(stderr, "启动性能测试：请开启被测镇流器 / start test: switch the ballast on\n");
}

HeadlessTester::HeadlessTester(bool progressBar) : host_(progressBar), form_(host_, port_, clock_) {
  RegisterMeasurementKinds(form_);
  RegisterAnalysisKinds(form_);
  form_.Analysis = &analysis_;
  form_.ChineseMode = 1;
  ClearResults(form_.M);
  InitSnapshots(form_.M);
}

int HeadlessTester::Open(const std::string& device, std::string& error) {
  if (device.empty()) {
    ReadPortConfig(form_);  // the window's COM1/COM2; its device choice was given by the caller
  } else if (device == "COM1" || device == "COM2") {
    std::strncpy(form_.PortName, device.c_str(), sizeof form_.PortName - 1);
    form_.PortDevice.clear();
  } else {
    form_.PortDevice = device;
  }
  host_.Reset();
  if (OpenPort(form_) != 0) {
    error = host_.lastMessage;
    return 1;
  }
  return 0;
}

RunOutcome HeadlessTester::Run(TestKind kind, bool stopOnFirstSignal) {
  host_.Reset();
  if (kind == GaoTest || kind == BaoTest) {
    // As the analysis window's commands start them.
    form_.SelectedKind = kind;
    form_.StartRequested = 1;
    host_.PostCommData();
  } else {
    StartTestCommand(form_, kind, kind == StartTest ? StartMode::StartUp : StartMode::Single);
    form_.TestLocked = 1;  // one run: no retry, a silent instrument is told
  }
  while (!host_.ended) {
    if (StopCount > 1 || (stopOnFirstSignal && StopCount > 0)) {
      AbandonRun(form_, "");
      host_.EndLine();
      return RunOutcome::Abandoned;
    }
    if (host_.posts > 0) {
      --host_.posts;
      StepDispatch(form_);
      continue;
    }
    const int wait = PollerCheck(form_);
    if (host_.posts > 0) continue;
    // Nothing under way and nothing asked: the run ended without a word
    // (it cannot, but a loop that never ends is worse).
    if (form_.RunKind == NoTest && form_.StartRequested == 0 && !host_.ended) return RunOutcome::Abandoned;
    port_.WaitForInput(std::min(wait, LoopWaitMs));
  }
  host_.EndLine();
  return host_.outcome;
}

}  // namespace kt
