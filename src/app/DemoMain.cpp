// Runs the program without a display: the main window on Qt's offscreen
// platform, the simulated instrument on a pseudo-terminal, the test commands
// given through the window's own handlers, and what the window shows written
// as PNG files.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QRadioButton>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "core/AnalysisData.h"
#include "core/MeasureSet.h"
#include "platform/Clock.h"
#include "platform/TermiosPort.h"
#include "shell/ScriptedDialogs.h"
#include "shell/TBaoLuoForm.h"
#include "shell/TInfoForm.h"
#include "shell/TKT5100Form.h"
#include "shell/TPrinterForm.h"
#include "sim/SimProcess.h"
#include "station/FontSetup.h"

namespace {

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

// The analysis window as an operator uses it: opened from the main window,
// an envelope test, a click on the lamp-current envelope at its crest, the
// analysis there; the window and its report in both languages, and its data
// file. The test information is answered by the demo's usual script.
int DemoAnalysisWindow(kt::TKT5100Form& window, kt::ScriptedDialogs& dialogs, const std::filesystem::path& out) {
  int failures = 0;
  const auto usual = dialogs.onModal;
  dialogs.onModal = [&](QDialog& dialog) {
    auto* analysis = qobject_cast<kt::TBaoLuoForm*>(&dialog);
    if (!analysis) {
      if (usual) return usual(dialog);
      dialog.accept();
      return static_cast<int>(QDialog::Accepted);
    }
    dialog.show();
    const kt::Form& f = window.form();
    kt::AnalysisData& a = analysis->Data();
    analysis->BaoTestClick();
    const bool envelope = WaitFor([&] { return a.EnvelopeValid == 1 && f.CommStep == 0; }, 15000);
    // One bar every 2 pixels: a crest of the lamp-current envelope in the
    // middle half of the panel.
    const float* il = a.Envelope[kt::ChIl];
    const int crest = static_cast<int>(std::max_element(il + 38, il + 112) - il);
    const QPointF at(2 * crest + 1, 50);
    QMouseEvent press(QEvent::MouseButtonPress, at, analysis->ilPaint->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(analysis->ilPaint, &press);
    a.BlockSamples = 0;
    analysis->GaoTestClick();
    const bool waves = WaitFor([&] { return a.BlockSamples == 600 && f.TestBusy == 0 && f.CommStep == 0; }, 15000);
    std::printf("%-12s %s  lamp current %.3f A, crest factor %.2f at envelope point %d\n", "analysis",
                envelope && waves ? "done  " : "FAILED", a.WaveRms[kt::ChIl], a.CrestFactor[kt::ChIl], a.SelectX / 2);
    if (!envelope || !waves) ++failures;
    WaitFor([] { return false; }, 50);

    dialogs.saveAnswers.push_back(QString::fromStdString((out / "analysis-record").string()));
    analysis->SaveClick();
    for (const char* lang : {"zh", "en"}) {
      const QString png = QString::fromStdString((out / (std::string("window-analysis-") + lang + ".png")).string());
      if (analysis->grab().save(png)) {
        std::printf("wrote %s\n", png.toLocal8Bit().constData());
      } else {
        std::fprintf(stderr, "could not write %s\n", png.toLocal8Bit().constData());
        ++failures;
      }
      dialogs.pdfPath = QString::fromStdString((out / (std::string("report-analysis-") + lang + ".pdf")).string());
      analysis->PrintClick();
      std::printf("wrote %s\n", dialogs.pdfPath.toLocal8Bit().constData());
      analysis->HanYingClick();
      WaitFor([] { return false; }, 50);
    }
    dialog.close();
    return static_cast<int>(QDialog::Rejected);
  };
  window.BaoAnaClick();
  dialogs.onModal = usual;
  return failures;
}

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
  kt::SetApplicationIdentity();
  kt::InstallFontSubstitutions();

  kt::sim::SimProcess sim(opt.sim);
  if (sim.Start({"--link", (work / "COM2").string(), "--seed", "1", "--start-wait-ms", "1500", "--exit-with-parent"}) !=
      0) {
    std::fprintf(stderr, "kt6100-demo: cannot start the simulator: %s\n", sim.Error().c_str());
    return 1;
  }
  std::printf("simulated instrument on %s, linked as %s\n", sim.SlavePath().c_str(), (work / "COM2").c_str());

  // Nobody is there to press OK: messages go to the log.
  kt::ScriptedDialogs dialogs;
  dialogs.echoMessages = true;
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
  // Runs a single test (or waits for the one already started) and shows it.
  // The previous run's "100%" is cleared first: only this run's own end
  // counts.
  const auto run = [&](const char* name, void (kt::TKT5100Form::*command)()) {
    if (command) {
      window.SetStatusText("");
      (window.*command)();
    }
    const bool done =
        WaitFor([&] { return window.form().RunKind == kt::NoTest && window.StatusText().endsWith("100%"); }, 15000);
    WaitFor([] { return false; }, 100);
    std::printf("%-12s %s  status: %s\n", name, done ? "done  " : "FAILED", window.StatusText().toUtf8().constData());
    if (!done) ++failures;
    bothLanguages(name);
  };

  // What an operator would type into the test information before storing
  // and printing.
  bool secondPrinterFamily = false;
  dialogs.onModal = [&secondPrinterFamily](QDialog& dialog) {
    dialog.show();
    if (auto* printer = qobject_cast<kt::TPrinterForm*>(&dialog)) {
      (secondPrinterFamily ? printer->Family1() : printer->Family0())->setChecked(true);
      printer->OkBtnClick();
      return static_cast<int>(QDialog::Accepted);
    }
    if (auto* info = qobject_cast<kt::TInfoForm*>(&dialog)) {
      const char* texts[] = {"T8 36W 电子镇流器", "KT-0418", "EB-236", "GB/T 15144", "25", "60",
                             "示例电子有限公司",  "张工",    "3200",   "4000"};
      for (int f = 0; f < kt::TInfoForm::FieldCount; ++f)
        info->Box(static_cast<kt::TInfoForm::Field>(f))->setText(QString::fromUtf8(texts[f]));
      info->OkBtnClick();
      return static_cast<int>(QDialog::Accepted);
    }
    dialog.accept();
    return static_cast<int>(QDialog::Accepted);
  };
  // Stores the shown result and prints its report in both languages.
  const auto keep = [&](const std::string& name) {
    dialogs.saveAnswers.push_back(QString::fromStdString((out / (name + "-record")).string()));
    window.StoreFileClick();
    for (const char* lang : {"zh", "en"}) {
      dialogs.pdfPath = QString::fromStdString((out / ("report-" + name + "-" + lang + ".pdf")).string());
      window.PrintClick();
      std::printf("wrote %s\n", dialogs.pdfPath.toLocal8Bit().constData());
      window.HanZiClick();
    }
  };
  const auto reopen = [&](const std::string& name) {
    dialogs.openAnswers.push_back(QString::fromStdString((out / (name + "-record.dat")).string()));
    window.OpenFileClick();
    WaitFor([] { return false; }, 50);
    shot(name + "-reopened");
  };

  shot("startup");
  run("input", &kt::TKT5100Form::InputTestLockBtnClick);
  window.WideFreqClick();
  bothLanguages("input-wideband");
  window.WideFreqClick();
  keep("input");
  run("output", &kt::TKT5100Form::OutputTestLockBtnClick);
  keep("output");
  run("comp", &kt::TKT5100Form::CompTestLockBtnClick);
  keep("comp");
  // The English report's rotated captions turn the other way for the second
  // printer family.
  secondPrinterFamily = true;
  window.HanZiClick();
  dialogs.pdfPath = QString::fromStdString((out / "report-comp-en-family1.pdf").string());
  window.PrintClick();
  std::printf("wrote %s\n", dialogs.pdfPath.toLocal8Bit().constData());
  window.HanZiClick();
  run("phase", &kt::TKT5100Form::PhaseTestLockBtnClick);
  keep("phase");

  // The start test: its prompt while the operator switches the lamp, the
  // page, then the cursor moved by a click and the arrow keys.
  window.SetStatusText("");
  window.StartTestComdClick();
  WaitFor([] { return false; }, 400);
  shot("start-prompt");
  run("start", nullptr);
  const double s = window.PaintBox1->width() / 640.0;
  window.PaintBox1MouseDown(static_cast<int>(40 * s + 200 * s), 100);
  for (int i = 0; i < 3; ++i) window.FormKeyDown(39);
  WaitFor([] { return false; }, 50);
  bothLanguages("start-cursor");
  keep("start");

  // Results stored earlier come back from their files.
  reopen("input");
  reopen("comp");
  reopen("start");
  failures += DemoAnalysisWindow(window, dialogs, out);

  window.close();
  sim.Stop();
  return failures == 0 ? 0 : 1;
}
