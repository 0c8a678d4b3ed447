#include "cli/CliRun.h"

#include <QDateTime>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "analysis/AnalysisRun.h"
#include "link/Controller.h"
#include "link/PortConfig.h"
#include "link/Resets.h"
#include "link/TestRun.h"
#include "measurements/MeasurementKinds.h"
#include "runlog/RunLogConnection.h"
#include "runlog/RunLogQuery.h"
#include "runlog/RunLogWriter.h"
#include "station/RunRecorder.h"
#include "station/RunText.h"
#include "station/StationSettings.h"

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

// Why `device` does not open as a serial line: asked again the way the port
// opens it, since the port says only that it failed.
std::string PortProblem(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  termios tio{};
  const char* why = ::flock(fd, LOCK_EX | LOCK_NB) != 0 ? "in use by another program"
                    : ::tcgetattr(fd, &tio) != 0        ? "not a serial line"
                                                        : "it does not take 19200 baud 8N1";
  ::close(fd);
  return why;
}

}  // namespace

std::string WindowDevice() {
  const std::string chosen = settings::PortDevice();
  if (!chosen.empty()) return chosen;
  char name[8] = {};
  std::ifstream(PortConfigFile, std::ios::binary).read(name, sizeof name - 1);
  return DevicePathFor(std::strcmp(name, "COM1") == 0 ? "COM1" : "COM2");
}

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void HeadlessHost::SetStatusText(const std::string& utf8) {
  // After a failed run the window shows "testing the link" again for its
  // retry; here the command line says what failed instead.
  if (utf8 == status_ || ended) return;
  status_ = utf8;
  if (bar_) {
    Progress(percent_);
  } else if (!utf8.empty()) {
    std::fprintf(stderr, "%s\n", utf8.c_str());
  }
}

void HeadlessHost::Progress(int percent) {
  percent_ = std::clamp(percent, 0, 100);
  if (!bar_ || ended) return;
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
  if (ended && outcome != RunOutcome::Completed) return;  // part of the failure's own line
  // The failed call's errno is the cause the command line names next.
  const int cause = errno;
  EndLine();
  std::fprintf(stderr, "%s\n", text.c_str());
  errno = cause;
}

void HeadlessHost::DrawStartPrompt() {
  EndLine();
  std::fprintf(stderr, "启动性能测试：请开启被测镇流器 / start test: switch the ballast on\n");
}

HeadlessTester::HeadlessTester(bool progressBar) : host_(progressBar), form_(host_, port_, clock_) {
  PrepareForm(form_);
  form_.Analysis = &analysis_;
  form_.ChineseMode = 1;
}

int HeadlessTester::Open(const std::string& device, std::string& error) {
  device_ = device.empty() ? WindowDevice() : device == "COM1" || device == "COM2" ? DevicePathFor(device) : device;
  form_.PortDevice = device_;
  host_.Reset();
  if (OpenPort(form_) != 0) {
    error = "cannot open the port " + device_ + ": " + PortProblem(device_);
    return 1;
  }
  return 0;
}

std::string HeadlessTester::FailureText(TestKind kind, RunOutcome outcome) const {
  const RunSpec* run = form_.Kinds[static_cast<std::size_t>(kind)].Run;
  const std::string block = "block " + std::to_string(awaited_) + " of " + std::to_string(run ? run->Blocks.size() : 0);
  std::string text = std::string(CliKindName(kind)) + ": ";
  if (outcome == RunOutcome::HandshakeFailed)
    text += "no answer to the handshake on " + device_ + ": is the instrument on and its cable in?";
  else if (outcome == RunOutcome::LineLost)
    text += "the line " + device_ + " went away during " + (awaited_ ? block : "the handshake") +
            ": the instrument was switched off or its adapter pulled";
  else if (outcome == RunOutcome::BlockLate)
    text += block + " did not come within " + std::to_string(BlockDeadlineMs) + " ms on " + device_ +
            ": the instrument stopped sending";
  else
    text += "the run was abandoned";
  return host_.lastMessage.empty() ? text : host_.lastMessage + " " + text;
}

void HeadlessTester::Step() {
  awaited_ = form_.Link.Handshake ? 0 : form_.CommStep;
  StepDispatch(form_);
}

RunOutcome HeadlessTester::Run(TestKind kind, bool stopOnFirstSignal) {
  host_.Reset();
  StartSingleRun(form_, kind);
  while (!host_.ended) {
    if (StopCount > 1 || (stopOnFirstSignal && StopCount > 0)) {
      AbandonRun(form_, "");
      host_.EndLine();
      return RunOutcome::Abandoned;
    }
    if (host_.posts > 0) {
      --host_.posts;
      Step();
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

void LoggedPasses(RunRecorder& recorder, const std::string& serial, std::int64_t& lastPass, std::int64_t& goldenPass) {
  lastPass = goldenPass = 0;
  RunLogConnection connection;
  QString error;
  RunLogWriter* writer = recorder.Writer();
  if (!writer || connection.Open(writer->Log().Target, error, RunLogSchemaVersion, true) != 0) return;
  QSqlDatabase db = connection.Db();
  const std::int64_t since = QDateTime(QDate::currentDate(), QTime(0, 0)).toMSecsSinceEpoch();
  const ProductionGate probe = recorder.Gate(0);
  if (LastPass(db, serial, since, lastPass, error) != 0) lastPass = 0;
  if (probe.Limits && LastGoldenPass(db, writer->Log().Station, probe.Limits->Name, goldenPass, error) != 0)
    goldenPass = 0;
}

}  // namespace kt
