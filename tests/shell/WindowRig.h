#pragma once
// A main window on Qt's offscreen platform, in a folder of its own, wired to
// a simulated instrument over a real pseudo-terminal.
#include <QCoreApplication>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/TermiosPort.h"
#include "shell/ScriptedDialogs.h"
#include "shell/TKT5100Form.h"
#include "sim/SimProcess.h"
#include "support/Fakes.h"

namespace kt::test {

// Records every status text and progress value while behaving as the window.
// A long soak turns the log off (keepLog) so the probe's own memory does not
// grow with the runs; the counters are always kept.
class ProbeForm : public TKT5100Form {
 public:
  using TKT5100Form::TKT5100Form;
  bool keepLog = true;
  std::vector<std::string> statuses;
  std::vector<std::chrono::steady_clock::time_point> runEnds;
  int runCount = 0;
  int failedRuns = 0;
  void SetStatusText(const std::string& s) override {
    if (keepLog) statuses.push_back(s);
    if (s.size() > 4 && s.compare(s.size() - 4, 4, "100%") == 0) {
      ++runCount;
      if (keepLog) runEnds.push_back(std::chrono::steady_clock::now());
    }
    if (s == "性能测试：通讯联络！") ++failedRuns;
    TKT5100Form::SetStatusText(s);
  }
  int Runs() const { return runCount; }
};

inline bool WaitFor(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(2);
  }
  return true;
}

inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class WorkFolder {
 public:
  WorkFolder() {
    char tmpl[] = "/tmp/kt-window-XXXXXX";
    path_ = mkdtemp(tmpl);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~WorkFolder() {
    std::filesystem::current_path(old_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_, old_;
};

struct WindowRig {
  WorkFolder folder;
  sim::SimProcess sim{KT6100_SIM_PATH};
  ScriptedDialogs dialogs;
  TermiosPort port;
  SystemClock clock;
  std::unique_ptr<ProbeForm> window;

  // Starts a simulator linked as COM2 (unless simArgs holds "none"), then the
  // window.
  explicit WindowRig(std::vector<std::string> simArgs = {}) {
    if (simArgs.empty() || simArgs.front() != "none") {
      std::vector<std::string> args = {"--link", folder.File("COM2"), "--exit-with-parent", "--seed", "11"};
      args.insert(args.end(), simArgs.begin(), simArgs.end());
      if (sim.Start(args) != 0) throw std::runtime_error("simulator: " + sim.Error());
    }
    window = std::make_unique<ProbeForm>(Services{dialogs, port, clock});
    window->resize(900, 600);
    window->show();
  }
  ~WindowRig() {
    window.reset();
    sim.Stop();
  }
  ProbeForm& w() { return *window; }
  Form& f() { return window->form(); }
};

}  // namespace kt::test
