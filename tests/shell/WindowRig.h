#pragma once
// The real main window on Qt's offscreen platform, in a folder of its own,
// with the simulated instrument on a real pseudo-terminal linked as COM2.
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QTest>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/TermiosPort.h"
#include "shell/ScriptedDialogs.h"
#include "shell/TLogForm.h"
#include "shell/TKT5100Form.h"
#include "sim/SimProcess.h"
#include "support/Files.h"

namespace kt::test {

// The window, counting the runs that reach 100 % and the failed ones.
class ProbeForm : public TKT5100Form {
 public:
  using TKT5100Form::TKT5100Form;
  bool keepLog = true;
  std::vector<std::string> statuses;
  std::vector<std::chrono::steady_clock::time_point> runEnds;
  int runs = 0, failedRuns = 0, repaints = 0;
  void Repaint() override {
    ++repaints;
    TKT5100Form::Repaint();
  }
  void SetStatusText(const std::string& s) override {
    if (keepLog) statuses.push_back(s);
    if (s.size() > 4 && s.compare(s.size() - 4, 4, "100%") == 0) {
      ++runs;
      if (keepLog) runEnds.push_back(std::chrono::steady_clock::now());
    }
    if (s == "性能测试：通讯联络！") ++failedRuns;
    TKT5100Form::SetStatusText(s);
  }
};

// The run log's window, opened through its menu as the operator opens it.
inline TLogForm& OpenLogWindow(TKT5100Form& w) {
  w.findChild<QAction*>("ShowLog")->trigger();
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* log = qobject_cast<TLogForm*>(top)) return *log;
  throw std::runtime_error("the log window did not open");
}

// Processes events until `done` or `ms` milliseconds; a loaded machine only
// makes the wait longer, never the test wrong.
inline bool WaitFor(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(2);
  }
  return true;
}

struct WindowRig {
  TempDir folder{true};
  sim::SimProcess sim{KT6100_SIM_PATH};
  ScriptedDialogs dialogs;
  TermiosPort port;
  SystemClock clock;
  std::unique_ptr<ProbeForm> window;

  // `simArgs` {"none"}: no instrument on the line.
  explicit WindowRig(std::vector<std::string> simArgs = {}) {
    if (simArgs.empty() || simArgs.front() != "none") Swap(simArgs);
    window = std::make_unique<ProbeForm>(Services{dialogs, port, clock});
    window->resize(900, 600);
    window->show();
  }
  ~WindowRig() {
    window.reset();
    sim.Stop();
  }
  // Another instrument on the same line, as when one is switched for another.
  void Swap(std::vector<std::string> args, int seed = 11) {
    std::vector<std::string> all = {"--link", folder.File("COM2"), "--exit-with-parent", "--seed",
                                    std::to_string(seed)};
    all.insert(all.end(), args.begin(), args.end());
    sim.Stop();
    if (sim.Start(all) != 0) throw std::runtime_error("simulator: " + sim.Error());
  }
  ProbeForm& w() { return *window; }
  Form& f() { return window->form(); }
  // The message boxes shown, as (text, caption).
  bool Said(const std::string& text) const {
    for (const auto& m : dialogs.messages)
      if (m.first == text) return true;
    return false;
  }
};

}  // namespace kt::test
