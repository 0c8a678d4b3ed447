// Figures of the log window and its statistics, printed, not judged, on a
// log written through the program's own writing code (WriteRun) and never
// ANALYZEd, as a station's log is: the window open until its first page,
// a search, a sort, the statistics shown, and the longest the window thread
// was held meanwhile (a 1 ms timer noting its longest gap).
//
//   log_window_bench [--runs N] [--engine sqlite|postgresql] [--keep FILE]
//                    [--log TARGET] [--grab DIR]
// --engine postgresql: the log on a throw-away cluster; --keep: the SQLite
// file, reused when it is there; --log: an existing log measured as it is;
// --grab: pictures of both windows while they are busy and after, to look
// at (grabbing takes time: not the run to quote figures from).
#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>

#include <random>

#include "BenchLog.h"
#include "BenchSupport.h"
#include "PgCluster.h"
#include "runlog/RunLogConnection.h"
#include "runlog/RunLogStore.h"
#include "shell/TLogForm.h"
#include "shell/TLogStatsForm.h"

namespace {

using namespace kt;
using namespace kt::bench;
using Clock = kt::bench::Clock;

// Runs the event loop until `done`, noting the longest the window thread
// went without its 1 ms timer.
struct Watch {
  QTimer tick;
  Clock::time_point last = Clock::now();
  double worst = 0;
  Watch() {
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [this] {
      const auto now = Clock::now();
      worst = std::max(worst, Ms(last, now));
      last = now;
    });
    tick.start();
  }
  double Until(const std::function<bool()>& done, Clock::time_point from) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return Ms(from, Clock::now());
  }
};

int Bench(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int runs = 20000;
  std::string keep, given, grab, engine = "sqlite";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    if (a == "--keep") keep = argv[i + 1];
    if (a == "--log") given = argv[i + 1];
    if (a == "--grab") grab = argv[i + 1];
    if (a == "--engine") engine = argv[i + 1];
  }
  QApplication app(argc, argv);
  char temp[] = "/tmp/kt-logbench-XXXXXX";
  const std::filesystem::path folder = mkdtemp(temp);
  struct Remove {
    std::filesystem::path Path;
    ~Remove() {
      std::error_code ec;
      std::filesystem::remove_all(Path, ec);
    }
  } remove{folder};
  RunLogConfig config;
  config.UseEnvironment = false;
  config.Target = given.empty() ? "sqlite:" + (keep.empty() ? (folder / "log.db").string() : keep) : given;
  test::PgCluster pg;
  if (given.empty() && engine == "postgresql") {
    std::string error;
    if (pg.Start(error)) return std::fprintf(stderr, "PostgreSQL: %s\n", error.c_str()), 1;
    config.Target = pg.Target();
    keep.clear();
  }
  std::string what = given.empty() ? Format("%d runs, %s, written by the program", runs,
                                            engine == "postgresql" ? "PostgreSQL" : "SQLite")
                                   : given;
  if (given.empty() && (keep.empty() || !std::filesystem::exists(keep))) {
    LogTarget target;
    std::string error;
    ParseLogTarget(config.Target, target, error);
    const auto t = Clock::now();
    if (FillLog(target, runs)) return 1;
    Note(Format("log of %d runs written through WriteRuns in %.1f s", runs, Ms(t, Clock::now()) / 1000));
  }
  const std::string section = "log window (" + what + ")";

  Watch watch;
  auto t = Clock::now();
  auto owned = std::make_unique<TLogForm>(config);
  TLogForm& form = *owned;
  const double built = Ms(t, Clock::now());
  form.resize(1000, 600);
  form.show();
  Row(section, "window open until its first page", Format("%.0f ms", watch.Until([&] { return !form.Busy(); }, t)),
      "< 300 ms");
  Row(section, "of it on the window thread (constructor)", Format("%.0f ms", built), "-");

  // Grabbing takes time: the figures of a run with --grab are not the ones to quote.
  const auto picture = [&](QWidget* window, const char* name) {
    if (!grab.empty()) window->grab().save(QString::fromStdString(grab + "/" + name + ".png"));
  };
  const auto search = [&](const char* measure, const std::function<void()>& set) {
    set();
    const auto from = Clock::now();
    form.Refresh();
    picture(&form, "log-busy");
    Row(section, measure, Format("%.0f ms", watch.Until([&] { return !form.Busy(); }, from)), "< 200 ms");
  };
  auto* serial = form.findChild<QLineEdit*>("SerialFilter");
  search("search: one serial", [&] { serial->setText(QString("SN%1").arg(runs / 2)); });
  search("search: from a date on", [&] {
    serial->clear();
    form.findChild<QDateTimeEdit*>("From")->setDateTime(
        QDateTime::fromMSecsSinceEpoch(YearStartMs + static_cast<std::int64_t>(runs) * 31000 / 2));
    form.findChild<QCheckBox*>("FromOn")->setChecked(true);
  });
  search("search: every run", [&] { form.findChild<QCheckBox*>("FromOn")->setChecked(false); });

  auto* table = form.findChild<QTableView*>("LogTable");
  for (auto [column, order, name] : {std::tuple{RunColumn::Name, Qt::DescendingOrder, "name, descending"},
                                     {RunColumn::Operator, Qt::AscendingOrder, "operator"},
                                     {RunColumn::Profile, Qt::AscendingOrder, "profile"},
                                     {RunColumn::Serial, Qt::AscendingOrder, "serial"},
                                     {RunColumn::Time, Qt::DescendingOrder, "time (the window's own)"}}) {
    const auto from = Clock::now();
    table->sortByColumn(static_cast<int>(column), order);
    Row(section, std::string("sort by ") + name + ", first page shown",
        Format("%.0f ms", watch.Until([&] { return !form.Busy(); }, from)), "< 500 ms");
  }

  watch.worst = 0;
  t = Clock::now();
  form.ShowStatistics();
  const double opened = Ms(t, Clock::now());
  picture(form.Statistics(), "stats-busy");
  const double stats = watch.Until([&] { return !form.Statistics()->Busy(); }, t);
  // The gap that holds the answer ends at the next tick.
  const double computing = watch.worst;
  Idle(300);
  picture(&form, "log-after");
  picture(form.Statistics(), "stats-after");
  Row(section, "statistics shown (every run)", Format("%.0f ms", stats), "< 1000 ms");
  Aim("the log window's statistics shown, " + what, Format("%.0f ms", stats), "< 1000 ms");
  Row(section, "of it on the window thread: the statistics window built and shown", Format("%.0f ms", opened), "-");
  Row(section, "longest window-thread block while the statistics compute", Format("%.1f ms", computing),
      "< 30 ms idle, < 50 ms loaded");
  Row(section, "longest window-thread block, their tables and charts drawn", Format("%.1f ms", watch.worst), "< 50 ms");
  Aim("longest window-thread block while the statistics compute and are drawn, " + what,
      Format("%.1f / %.1f ms", computing, watch.worst), "< 30 / < 50 ms");

  // A new filter while they compute: the computation under way is stopped
  // (SQLite), so the new one comes after its own time, not after both.
  TLogStatsForm& statistics = *form.Statistics();
  statistics.Recompute();
  Idle(200);
  RunFilter half;
  half.FromMs = YearStartMs + static_cast<std::int64_t>(runs) * 31000 / 2;
  t = Clock::now();
  statistics.SetFilter(half);
  Row(section, "statistics of the newer half, asked while those of every run compute, shown",
      Format("%.0f ms", watch.Until([&] { return !statistics.Busy(); }, t)), "-");
  statistics.Recompute();
  Idle(200);
  t = Clock::now();
  owned.reset();
  Row(section, "both windows closed while the statistics compute", Format("%.0f ms", Ms(t, Clock::now())), "< 100 ms");
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return Bench(argc, argv); }
