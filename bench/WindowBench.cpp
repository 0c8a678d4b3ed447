// The real main window on Qt's offscreen platform, driven through its own
// handlers against the simulated instrument on pseudo-terminals: start-up
// time to the first painted window, CPU while testing continuously at the
// line rate, one run of each kind at the line rate against the pure wire
// time of its exchange, runs of each kind against the instant instrument
// from the command to the repainted page, and the peak resident memory
// after all of it. KT_BENCH_TRACE=file writes a timeline (see BenchSupport.h).
// Prints table rows (see BenchSupport.h), not a verdict.
#include <QAction>
#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BenchLog.h"
#include "BenchSupport.h"
#include "platform/Clock.h"
#include "platform/TermiosPort.h"
#include "runlog/LogTarget.h"
#include "shell/ScriptedDialogs.h"
#include "shell/TLogForm.h"
#include "shell/TLogStatsForm.h"
#include "sim/SimProcess.h"
#include "station/FontSetup.h"

extern char** environ;

namespace {

using namespace kt::bench;

const kt::TestKind AllKinds[] = {kt::InputTest, kt::OutputTest, kt::CompTest, kt::StartTest,
                                 kt::PhaseTest, kt::BaoTest,    kt::GaoTest};

struct Options {
  int cpuSeconds = 20;
  int lineRuns = 3;     // line-rate runs of each kind; the median is shown
  int instantRuns = 5;  // instant runs of each kind; the median is shown
  int startups = 5;
  int logRuns = 20000;  // the window's run log, for its window and statistics
  // Only the event-loop blocks, under this name for the machine's state
  // (run beside a CPU load by the benchmark script).
  bool blocksOnly = false;
  std::string machine = "no load added";
};

// ---- start-up, measured inside a fresh process ----

// Seconds since boot at which this process started (/proc/self/stat field
// 22, in clock ticks).
double ProcessStartSeconds() {
  std::ifstream in("/proc/self/stat");
  std::string line;
  std::getline(in, line);
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22 && rest >> field; ++i) {
  }
  return std::strtod(field.c_str(), nullptr) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double BootSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Ends the event loop once the first paint of the main window has been
// carried out: that paint is one pass over all its widgets, so a call queued
// from its first paint event runs right after the whole window is on screen.
class FirstPaint : public QObject {
 public:
  FirstPaint(QWidget& window, std::function<void()> done) : window_(window), done_(std::move(done)) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (!seen_ && e->type() == QEvent::Paint) {
      auto* w = qobject_cast<QWidget*>(o);
      if (w && w->window() == &window_) {
        seen_ = true;
        QTimer::singleShot(0, qApp, done_);
      }
    }
    return false;
  }

 private:
  QWidget& window_;
  std::function<void()> done_;
  bool seen_ = false;
};

// What kt6100's main() does, with dialogs that answer themselves; prints
// the time from the process's start to its first painted window.
int StartupChild(int argc, char** argv) {
  QApplication app(argc, argv);
  kt::InstallFontSubstitutions();
  kt::ScriptedDialogs dialogs;
  kt::TermiosPort port;
  kt::SystemClock clock;
  kt::TKT5100Form main({dialogs, port, clock});
  if (const QScreen* screen = main.screen()) main.resize(screen->availableGeometry().size());
  double sinceStart = 0;
  long long paintedNs = 0;
  FirstPaint watch(main, [&] {
    sinceStart = BootSeconds() - ProcessStartSeconds();
    paintedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    app.quit();
  });
  app.installEventFilter(&watch);
  QTimer::singleShot(10000, &app, &QApplication::quit);
  main.showMaximized();
  app.exec();
  std::printf("STARTUP %.3f %lld %zu\n", sinceStart * 1000, paintedNs, dialogs.messages.size());
  std::fflush(stdout);
  _exit(paintedNs ? 0 : 1);
}

struct Startup {
  double fromStartMs = NAN;  // from the process's start time (10 ms ticks)
  double fromSpawnMs = NAN;  // from just before the parent spawned it
};

Startup SpawnStartup() {
  Startup s;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return s;
  self[n] = 0;
  int out[2];
  if (pipe(out) != 0) return s;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char arg0[] = "window_bench";
  char arg1[] = "--startup-child";
  char* args[] = {arg0, arg1, nullptr};
  const auto t0 = Clock::now();
  pid_t pid = -1;
  const int r = posix_spawn(&pid, self, &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  if (r == 0) {
    char buf[256];
    ssize_t got;
    while ((got = read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(got));
    int status = 0;
    waitpid(pid, &status, 0);
  }
  close(out[0]);
  double fromStart = 0;
  long long paintedNs = 0;
  std::size_t messages = 0;
  if (std::sscanf(text.c_str(), "STARTUP %lf %lld %zu", &fromStart, &paintedNs, &messages) == 3 && paintedNs) {
    s.fromStartMs = fromStart;
    s.fromSpawnMs =
        (static_cast<double>(paintedNs) -
         static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(t0.time_since_epoch()).count())) /
        1e6;
    if (messages) std::fprintf(stderr, "window_bench: the starting window showed %zu message(s)\n", messages);
  }
  return s;
}

// ---- the window at work ----

// Waits (in the event loop) until no run is under way, at most `ms`.
bool WaitIdle(BenchForm& w, int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (w.form().TestBusy || w.form().CommStep) {
    if (Clock::now() > end) return false;
    Idle(5);
  }
  return true;
}

// After the lock, the run under way ends, and a run that Timer1 asked for
// just before may still start: wait until a whole pause has passed quietly.
void StopContinuous(BenchForm& w) {
  for (int i = 0; i < 20; ++i) {
    const int ends = w.runEnds;
    WaitIdle(w, 5000);
    Idle(700);
    if (ends == w.runEnds && !w.form().TestBusy && !w.form().CommStep) return;
  }
}

// How much later than the line allows the instrument's answers came, summed
// over the exchange since the given read and write counts: for each read, the
// time from the byte that asked for it to the last wake-up on the port before
// it, less the answer's wire time.
double LateDelivery(TimedPort& port, std::size_t read0, std::size_t write0) {
  const std::vector<Clock::time_point> arrivals = port.Arrivals();
  double late = 0;
  for (std::size_t i = read0; i < port.reads.size(); ++i) {
    const Transfer& r = port.reads[i];
    const Transfer* asked = nullptr;
    for (std::size_t j = write0; j < port.writes.size() && port.writes[j].at <= r.at; ++j) asked = &port.writes[j];
    if (!asked) continue;
    Clock::time_point arrived = r.at;
    const auto last = std::upper_bound(arrivals.begin(), arrivals.end(), r.at);
    if (last != arrivals.begin() && *(last - 1) >= asked->at) arrived = *(last - 1);
    late += std::max(0.0, Ms(asked->at, arrived) - 1000.0 * r.bytes / LineBytesPerSecond);
  }
  return late;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  Options opt;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto number = [&](int& field) {
      if (i + 1 < argc) field = std::max(1, std::atoi(argv[++i]));
    };
    if (a == "--startup-child")
      return StartupChild(argc, argv);
    else if (a == "--quick") {
      opt.cpuSeconds = 5;
      opt.lineRuns = 1;
      opt.instantRuns = 2;
      opt.startups = 3;
      opt.logRuns = 2000;
    } else if (a == "--cpu-seconds")
      number(opt.cpuSeconds);
    else if (a == "--line-runs")
      number(opt.lineRuns);
    else if (a == "--instant-runs")
      number(opt.instantRuns);
    else if (a == "--startups")
      number(opt.startups);
    else if (a == "--log-runs")
      number(opt.logRuns);
    else if (a == "--blocks-only" && i + 1 < argc) {
      opt.blocksOnly = true;
      opt.machine = argv[++i];
    } else {
      std::printf(
          "usage: window_bench [--quick] [--cpu-seconds N] [--line-runs N] [--instant-runs N] [--startups N]\n"
          "                    [--log-runs N] [--blocks-only MACHINE-STATE]\n");
      return a == "--help" ? 0 : 2;
    }
  }

  WorkFolder folder;
  // The line-rate instrument on COM2 (the port a new program opens), the
  // instant one on COM1 for later.
  kt::sim::SimProcess lineSim(KT6100_SIM_PATH), instantSim(KT6100_SIM_PATH);
  // KT_BENCH_SIM_LOG=1: the line-rate simulator logs every byte and block.
  std::vector<std::string> lineArgs = {"--link", folder.File("COM2"), "--exit-with-parent", "--seed",
                                       "5",      "--line-rate"};
  if (std::getenv("KT_BENCH_SIM_LOG")) lineArgs.push_back("--log");
  if (lineSim.Start(lineArgs) != 0 ||
      instantSim.Start({"--link", folder.File("COM1"), "--exit-with-parent", "--seed", "6"}) != 0) {
    std::fprintf(stderr, "window_bench: cannot start the simulator: %s%s\n", lineSim.Error().c_str(),
                 instantSim.Error().c_str());
    return 1;
  }

  const std::string sStart = "Start-up and memory";
  if (!opt.blocksOnly) {
    std::vector<double> fromStart, fromSpawn;
    for (int i = 0; i < opt.startups; ++i) {
      const Startup s = SpawnStartup();
      if (std::isnan(s.fromStartMs)) continue;
      fromStart.push_back(s.fromStartMs);
      fromSpawn.push_back(s.fromSpawnMs);
    }
    if (fromStart.empty())
      Row(sStart, "start-up to first painted window", "not measured", "< 400 ms");
    else
      Row(sStart,
          Format("start-up to first painted window, offscreen (median of %zu; from /proc starttime, 10 ms ticks)",
                 fromStart.size()),
          Format("%.0f ms (from spawn %.0f ms; max %.0f ms)", Median(fromStart), Median(fromSpawn), Max(fromStart)),
          "< 400 ms");
  }

  // The window logs into a log of its own, already holding a station's
  // runs, so that its log window and statistics have something to read.
  const std::string logTarget = "sqlite:" + folder.File("log.db");
  setenv("KT6100_LOG", logTarget.c_str(), 1);
  double filledMs = 0;
  if (!opt.blocksOnly) {
    kt::LogTarget target;
    std::string error;
    kt::ParseLogTarget(logTarget, target, error);
    const auto t0 = Clock::now();
    if (FillLog(target, opt.logRuns)) return 1;
    filledMs = Ms(t0, Clock::now());
  }
  QApplication app(argc, argv);
  kt::InstallFontSubstitutions();
  kt::ScriptedDialogs dialogs;
  dialogs.echoMessages = true;
  const char* traceFile = StartTracing();
  TimedPort port;
  kt::SystemClock clock;
  BenchForm w({dialogs, port, clock});
  // A maximised window on a full-HD screen.
  w.resize(1920, 1080);
  w.show();
  PaintWatch paint(*w.PaintBox1);
  Idle(300);
  const std::string box = Format("%dx%d", w.PaintBox1->width(), w.PaintBox1->height());

  if (!opt.blocksOnly) {
    // Continuous input testing at the line rate, as on the production line.
    const std::string sCpu = "CPU";
    {
      const int before = w.runEnds;
      w.InputTestClick();
      const double c0 = CpuSeconds();
      const auto t0 = Clock::now();
      Idle(opt.cpuSeconds * 1000);
      const double cpu = CpuSeconds() - c0;
      const double wall = Ms(t0, Clock::now()) / 1000;
      const int runs = w.runEnds - before;
      w.LockTestClick();
      StopContinuous(w);
      Row(sCpu,
          Format("continuous input test, line-rate simulator, %d s (%d runs; page %s)", opt.cpuSeconds, runs,
                 box.c_str()),
          Format("%.2f %% of a core", 100 * cpu / wall));
      Aim("CPU of a continuous input test at line rate", Format("%.2f %% of a core", 100 * cpu / wall), "< 2 %");
    }

    // The same test's run rate with the run log's window and its statistics
    // open, against the rate with them closed.
    {
      const auto perMinute = [&] {
        std::vector<Clock::time_point> ends;
        w.onRunEnd = [&] { ends.push_back(Clock::now()); };
        w.InputTestClick();
        Idle(opt.cpuSeconds * 1000);
        w.LockTestClick();
        StopContinuous(w);
        w.onRunEnd = nullptr;
        return ends.size() < 2 ? 0.0 : 60000.0 * static_cast<double>(ends.size() - 1) / Ms(ends.front(), ends.back());
      };
      const double closed = perMinute();
      w.findChild<QAction*>("ShowLog")->trigger();
      kt::TLogForm* log = nullptr;
      for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* l = qobject_cast<kt::TLogForm*>(top)) log = l;
      const auto t0 = Clock::now();
      if (log) log->ShowStatistics();
      while (log && (log->Busy() || !log->Statistics() || log->Statistics()->Busy())) Idle(10);
      const double shown = Ms(t0, Clock::now());
      const double open = log ? perMinute() : 0.0;
      const double change = closed > 0 ? 100 * (open / closed - 1) : 0.0;
      Row("CPU",
          Format("continuous input test, runs a minute: log windows closed / log and statistics open (a log of %d "
                 "runs, written in %.0f s; statistics first shown after %.0f ms)",
                 opt.logRuns, filledMs / 1000, shown),
          Format("%.1f / %.1f (%+.1f %%)", closed, open, change), "within 5 %");
      Aim(Format("run rate of a continuous input test with the log and statistics windows open (%d runs)", opt.logRuns),
          Format("%+.1f %% against closed", change), "within 5 %");
      if (log) {
        if (log->Statistics()) log->Statistics()->close();
        log->close();
      }
    }

    // One run of each kind at the line rate, against the pure wire time.
    const std::string sLine = "Line-rate simulator: one run / pure wire time (1920 B/s)";
    const double waitSelf0 = CpuWaitMs(), waitSim0 = CpuWaitMs(lineSim.Pid());
    const auto lineStart = Clock::now();
    double worstShare = -1;
    std::string worstKind;
    for (kt::TestKind kind : AllKinds) {
      const kt::RunSpec* run = w.form().Kinds[static_cast<std::size_t>(kind)].Run;
      if (!run) continue;
      const double wireMs = 1000.0 * WireBytes(*run) / LineBytesPerSecond;
      std::vector<std::pair<double, double>> runs;  // run time, late delivery
      for (int i = 0; i < opt.lineRuns; ++i) {
        const std::size_t read0 = port.reads.size(), write0 = port.writes.size();
        const RunTimes t = TimeRun(w, paint, kind, 30000);
        if (t.ok) runs.emplace_back(t.toEndMs, LateDelivery(port, read0, write0));
        WaitIdle(w, 5000);
        Idle(20);
      }
      const std::string what = Format("%d %s (%u bytes%s)", kind, KindName(kind), WireBytes(*run),
                                      opt.lineRuns > 1 ? Format(", median of %d", opt.lineRuns).c_str() : "");
      if (runs.empty()) {
        Row(sLine, what, "run failed", "<= 1.02");
        continue;
      }
      std::sort(runs.begin(), runs.end());
      const auto [runMs, lateMs] = runs[(runs.size() - 1) / 2];
      if (runMs - wireMs - lateMs > worstShare) {
        worstShare = runMs - wireMs - lateMs;
        worstKind = KindName(kind);
      }
      Row(sLine, what,
          Format("%.3f (%.0f / %.0f ms; late delivery %.1f ms, program %.1f ms)", runMs / wireMs, runMs, wireMs, lateMs,
                 runMs - wireMs - lateMs),
          "<= 1.02");
    }
    Aim(Format("program's own share of a line-rate run, worst kind (%s)", worstKind.c_str()),
        worstShare < 0 ? "not measured" : Format("%.1f ms", worstShare), "< 2 ms every kind");
    Row(sLine,
        Format("time ready to run but without a free core over these %.0f s (0 on an idle machine)",
               Ms(lineStart, Clock::now()) / 1000),
        Format("program %.1f ms, simulator %.1f ms", CpuWaitMs() - waitSelf0, CpuWaitMs(lineSim.Pid()) - waitSim0));
    Note(
        "line-rate runs: the time over the wire time splits into late delivery (answers arriving later than their "
        "wire time after the byte that asked for them: the simulator's and the kernel's share, which grows when "
        "the machine is busy) and the program's share (the rest: from a block's last byte to its acknowledge, "
        "whatever else the window thread was doing then included). The page is not drawn between a block and its "
        "acknowledge: a step's repaint records the page's drawing and compares it, and a changed page is "
        "rasterised on a thread of its own.");

    // The same against the instant instrument: the program's own share.
    w.ChangePort("COM1");
    Idle(100);
    const std::string sInstant = "Instant simulator: command -> repainted page (6, 7: end of run)";
    for (kt::TestKind kind : AllKinds) {
      std::vector<double> times;
      for (int i = 0; i < opt.instantRuns; ++i) {
        const RunTimes t = TimeRun(w, paint, kind, 10000);
        if (t.ok) times.push_back(kind <= kt::PhaseTest ? t.toPaintMs : t.toEndMs);
        WaitIdle(w, 5000);
        Idle(20);
      }
      const std::string what = Format("%d %s (median of %d; page %s)", kind, KindName(kind), opt.instantRuns,
                                      kind <= kt::PhaseTest ? box.c_str() : "-");
      if (times.empty())
        Row(sInstant, what, "run failed");
      else
        Row(sInstant, what, Format("%.1f ms (max %.1f)", Median(times), Max(times)));
    }

    Note(
        Format("instant simulator: each block is there as soon as it is asked for; the time runs to the page "
               "shown (%s), rasterised off the window thread once the results changed.",
               box.c_str()));
  }

  // How long the window's event loop is held at a time during continuous
  // testing: a precise 1 ms timer notes the longest gap between its ticks.
  // A handshake that waited inside a step would show here as up to 2 s
  // (4 s when echoed).
  const std::string sBlock = "Window responsiveness: longest event-loop block in a continuous input test";
  const std::string aim = opt.machine == "no load added" ? "< 30 ms" : "< 50 ms";
  std::vector<std::string> blocks;
  const auto longestBlock = [&](int seconds) {
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    auto last = Clock::now();
    double worst = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const auto now = Clock::now();
      worst = std::max(worst, Ms(last, now));
      last = now;
    });
    w.InputTestClick();
    last = Clock::now();
    tick.start();
    Idle(seconds * 1000);
    tick.stop();
    w.LockTestClick();
    StopContinuous(w);
    return worst;
  };
  for (const auto& [name, flag] : {std::pair{"silent instrument", "--silent"}, {"echoing line", "--echo"}}) {
    instantSim.Stop();
    if (instantSim.Start({"--link", folder.File("COM1"), "--exit-with-parent", flag}) != 0) continue;
    w.ChangePort("COM1");
    Idle(100);
    blocks.push_back(Format("%.1f", longestBlock(opt.cpuSeconds)));
    Row(sBlock,
        Format("%s, %d s (failed handshakes retried every 500 ms), %s", name, opt.cpuSeconds, opt.machine.c_str()),
        blocks.back() + " ms", aim);
  }
  w.ChangePort("COM2");
  Idle(100);
  blocks.push_back(Format("%.1f", longestBlock(opt.cpuSeconds)));
  Row(sBlock, Format("line-rate instrument, %d s, %s", opt.cpuSeconds, opt.machine.c_str()), blocks.back() + " ms",
      aim);
  std::string all;
  for (const std::string& b : blocks) all += (all.empty() ? "" : " / ") + b;
  Aim("longest event-loop block, silent / echo / line-rate, " + opt.machine, all + " ms", aim);
  w.ShowAlarm(false);

  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  if (!opt.blocksOnly)
    Row(sStart, "peak resident memory after runs of every kind (ru_maxrss, window process)",
        Format("%.1f MB", static_cast<double>(u.ru_maxrss) / 1024));

  w.close();
  if (traceFile) WriteTrace(traceFile);
  return 0;
}
