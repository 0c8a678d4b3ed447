// Runs the program without a display: the main window on Qt's offscreen
// platform, the simulated instrument on a pseudo-terminal, the test commands
// given through the window's own handlers, and what the window shows written
// as PNG files.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QThread>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "app/FontSetup.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/TermiosPort.h"
#include "shell/TKT5100Form.h"
#include "sim/SimProcess.h"

namespace {

// Nobody is there to press OK: messages go to the log.
class LoggedDialogs final : public kt::Dialogs {
 public:
  void MessageBox(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "message box [%s] %s\n", caption.c_str(), text.c_str());
  }
};

bool WaitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
  return true;
}

struct Options {
  std::string out = "demo-output";
  std::string sim = KT6100_SIM_PATH;
};

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--sim" && i + 1 < argc)
      opt.sim = argv[++i];
    else if (a == "--help") {
      std::printf("usage: kt6100-demo [--sim PATH] [OUTPUT-FOLDER]\n");
      return 0;
    } else
      opt.out = a;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  namespace fs = std::filesystem;
  const fs::path out = fs::absolute(opt.out);
  const fs::path work = out / "work";
  fs::create_directories(work);
  fs::current_path(work);  // Port.cfg and the COM2 link live here

  QApplication app(argc, argv);
  kt::InstallFontSubstitutions();

  kt::sim::SimProcess sim(opt.sim);
  if (sim.Start({"--link", (work / "COM2").string(), "--seed", "1", "--exit-with-parent"}) != 0) {
    std::fprintf(stderr, "kt6100-demo: cannot start the simulator: %s\n", sim.Error().c_str());
    return 1;
  }
  std::printf("simulated instrument on %s, linked as %s\n", sim.SlavePath().c_str(), (work / "COM2").c_str());

  LoggedDialogs dialogs;
  kt::TermiosPort port;
  kt::SystemClock clock;
  kt::TKT5100Form window({dialogs, port, clock});
  window.resize(1280, 800);
  window.show();
  WaitFor([] { return false; }, 200);

  int failures = 0;
  const auto shot = [&](const std::string& name) {
    const QString file = QString::fromStdString((out / ("window-" + name + ".png")).string());
    if (window.grab().save(file))
      std::printf("wrote %s\n", file.toLocal8Bit().constData());
    else {
      std::fprintf(stderr, "could not write %s\n", file.toLocal8Bit().constData());
      ++failures;
    }
  };
  // Each page in both languages; the window starts in Chinese.
  const auto bothLanguages = [&](const std::string& name) {
    shot(name + "-zh");
    window.HanZiClick();
    WaitFor([] { return false; }, 50);
    shot(name + "-en");
    window.HanZiClick();
    WaitFor([] { return false; }, 50);
  };
  const auto run = [&](const char* name, void (kt::TKT5100Form::*command)()) {
    (window.*command)();
    const bool done = WaitFor(
        [&] {
          const auto& f = window.form();
          return f.TestBusy == 0 && f.CommStep == 0 && window.StatusText().endsWith("100%");
        },
        15000);
    WaitFor([] { return false; }, 100);
    std::printf("%-12s %s  status: %s\n", name, done ? "done  " : "FAILED", window.StatusText().toUtf8().constData());
    if (!done) ++failures;
    bothLanguages(name);
  };

  shot("startup");
  run("input", &kt::TKT5100Form::InputTestLockBtnClick);
  window.WideFreqClick();
  bothLanguages("input-wideband");
  window.WideFreqClick();
  run("output", &kt::TKT5100Form::OutputTestLockBtnClick);
  run("comp", &kt::TKT5100Form::CompTestLockBtnClick);
  run("phase", &kt::TKT5100Form::PhaseTestLockBtnClick);
  run("start", &kt::TKT5100Form::StartTestComdClick);

  window.close();
  sim.Stop();
  return failures == 0 ? 0 : 1;
}
