// Figures of the run log, printed, not judged:
//   - runs written per second through the writer (SQLite; PostgreSQL on a
//     throw-away cluster when its binaries are there), and the time Submit
//     takes on the caller's thread;
//   - log size per run;
//   - on a log of 1 000 000 runs written through the program's own write
//     path and never analysed by the bench, in SQLite and in PostgreSQL:
//     the table's first page, a search, every sort, the statistics, the run
//     chart and the histogram, each beside its aim, and the commit of a run
//     at one run a second (--commits of them).
//
//   runlog_bench [--runs N] [--large N] [--pg-large N] [--commits N] [--keep DIR]
// --large 0 leaves the large SQLite log out (--pg-large 0 PostgreSQL's); --pg-large sizes PostgreSQL's apart
// (its generation is the slower: about 500 runs a second here).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "PgCluster.h"
#include "runlog/RunLogConnection.h"
#include "runlog/RunLogQuery.h"
#include "runlog/RunLogSchema.h"
#include "runlog/RunLogStats.h"
#include "runlog/RunLogStore.h"
#include "runlog/RunLogWriter.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

constexpr std::int64_t LargeStartMs = 1767225600000;  // 2026-01-01T00:00:00Z

// A run as an input test gives it: 40 figures, 12 rules, a 3 KB record.
kt::LoggedRun TypicalRun(std::mt19937& random, int i) {
  std::normal_distribution<double> noise(0, 1);
  kt::LoggedRun run;
  run.Kind = kt::InputTest;
  run.Info.No = "SN" + std::to_string(i / 2);
  run.Info.Type = "T8-36W";
  run.Info.Operator = "bench";
  run.Result.Result = kt::VerdictResult::Pass;
  run.Result.ProfileName = "T8 line";
  for (int k = 0; k < 40; ++k)
    run.Figures.push_back({"CurrentHarmonicPct[" + std::to_string(k) + "]", 10 + noise(random), true});
  for (int k = 0; k < 12; ++k)
    run.Result.Rules.push_back({run.Figures[static_cast<std::size_t>(k)].Name,
                                run.Figures[static_cast<std::size_t>(k)].Value, 5.0, 15.0, 5.0, kt::RuleOutcome::Pass,
                                "", ""});
  run.Record.assign(3072, static_cast<std::uint8_t>(i));
  return run;
}

void Throughput(const char* name, const std::string& target, const std::string& outbox, int runs,
                const std::string& sizeOf) {
  kt::RunLogConfig config;
  config.Target = target;
  config.OutboxDir = outbox;
  config.UseEnvironment = false;
  kt::RunLogWriter writer(config);
  QString error;
  if (writer.Start(error) || writer.WaitIdle(60000)) {
    std::printf("%-44s cannot start: %s\n", name, error.toUtf8().constData());
    return;
  }
  std::mt19937 random(1);
  std::vector<kt::LoggedRun> prepared;
  for (int i = 0; i < runs; ++i) prepared.push_back(TypicalRun(random, i));
  std::vector<double> submit;
  const auto start = Clock::now();
  for (kt::LoggedRun& run : prepared) {
    const auto t = Clock::now();
    writer.Submit(std::move(run));
    submit.push_back(Ms(Clock::now() - t));
  }
  writer.WaitIdle(600000);
  const double seconds = Ms(Clock::now() - start) / 1000;
  std::sort(submit.begin(), submit.end());
  std::printf("%-44s %8.0f runs/s  (%d runs, 40 figures, 12 rules, 3 KB record)\n", name, runs / seconds, runs);
  std::printf("%-44s %8.3f ms median, %.3f ms p99, %.3f ms max\n", "  Submit on the caller's thread",
              submit[submit.size() / 2], submit[submit.size() * 99 / 100], submit.back());
  if (!sizeOf.empty()) {
    {
      kt::RunLogConnection c;
      kt::LogTarget t;
      t.Kind = kt::LogTarget::Driver::Sqlite;
      t.Path = sizeOf;
      if (c.Open(t, error) == 0) QSqlQuery(c.Db()).exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(sizeOf, ec);
    std::printf("%-44s %8.1f KB per run\n", "  log size", static_cast<double>(bytes) / 1024.0 / runs);
  }
}

// The large log's runs: 12 figures and 4 rules per run, 256 record bytes;
// serials repeat once in ten (retests), one run in twenty fails; times 30 s
// apart, four stations, five kinds, twenty types.
kt::LoggedRun LargeRun(std::mt19937& random, int i) {
  std::normal_distribution<double> noise(10, 0.5);
  kt::LoggedRun run;
  char id[40];
  std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", i);
  run.Id = id;
  run.TimeUtcMs = LargeStartMs + static_cast<std::int64_t>(i) * 30000;
  run.Station = "st" + std::to_string(i % 4);
  run.Kind = 1 + i % 5;
  run.Info.No = "SN" + std::to_string(i - (i % 10 == 9 ? 1 : 0));
  run.Info.Type = "T" + std::to_string(i % 20);
  run.Info.Name = "lamp " + std::to_string(i % 97);
  run.Info.Operator = "op" + std::to_string(i % 13);
  run.Result.Result = i % 20 == 0 ? kt::VerdictResult::Fail : kt::VerdictResult::Pass;
  run.Result.ProfileName = "line " + std::to_string(i % 7);
  for (int k = 0; k < 12; ++k) run.Figures.push_back({"F" + std::to_string(k), noise(random), true});
  for (int k = 0; k < 4; ++k)
    run.Result.Rules.push_back({"F" + std::to_string(k), run.Figures[static_cast<std::size_t>(k)].Value, 7.5, 12.5,
                                std::nullopt, i % 20 == 0 && k == i % 3 ? kt::RuleOutcome::Fail : kt::RuleOutcome::Pass,
                                "", ""});
  run.Record.assign(256, static_cast<std::uint8_t>(i));
  return run;
}

template <typename F>
double Time(F&& f) {
  const auto t = Clock::now();
  f();
  return Ms(Clock::now() - t);
}

// Writes the runs missing from the log through the program's own write
// path (WriteRuns: each run as WriteRun writes it, a thousand a
// transaction), on a writer's connection; nothing is analysed here.
int FillLarge(const kt::LogTarget& target, int runs, QString& error) {
  // The writer's own connection keeps a small page cache; a large one here
  // only makes the generation faster (the rows are the same).
  kt::RunLogConnection writer;
  if (writer.Open(target, error, kt::RunLogSchemaVersion, true)) return 1;
  QSqlDatabase db = writer.Db();
  QSqlQuery count(db);
  if (!count.exec("SELECT COUNT(*) FROM runs") || !count.next()) return 1;
  const int have = count.value(0).toInt();
  count.finish();
  if (have == runs) {
    std::printf("%-44s %d runs\n", "  reusing the large log", runs);
    return 0;
  }
  if (have > 0) {
    error = QString("the log holds %1 runs, not %2").arg(have).arg(runs);
    return 1;
  }
  // PostgreSQL takes the two halves on two connections at once (the
  // server works while the client waits); apart in time, they share no
  // summary row.
  const int ways = target.Kind == kt::LogTarget::Driver::Postgres ? 2 : 1;
  std::vector<QString> errors(static_cast<std::size_t>(ways));
  const double ms = Time([&] {
    auto write = [&](int way) {
      kt::RunLogConnection own;
      QString& e = errors[static_cast<std::size_t>(way)];
      if (way > 0 && own.Open(target, e, kt::RunLogSchemaVersion, true)) return;
      QSqlDatabase on = way > 0 ? own.Db() : db;
      std::mt19937 random(static_cast<unsigned>(7 + way));
      const int end = runs / ways * (way + 1) + (way + 1 == ways ? runs % ways : 0);
      for (int first = runs / ways * way; first < end && e.isEmpty(); first += 1000) {
        std::vector<kt::LoggedRun> batch;
        for (int i = first; i < std::min(end, first + 1000); ++i) batch.push_back(LargeRun(random, i));
        if (kt::WriteRuns(on, batch, e) && e.isEmpty()) e = "write failed";
      }
    };
    std::vector<std::thread> others;
    for (int way = 1; way < ways; ++way) others.emplace_back(write, way);
    write(0);
    for (std::thread& t : others) t.join();
  });
  for (const QString& e : errors)
    if (!e.isEmpty()) error = e;
  if (!error.isEmpty()) return 1;
  std::printf("%-44s %8.1f s  (%d runs written by WriteRuns, %.0f runs/s)\n", "  generated large log", ms / 1000, runs,
              runs / ms * 1000);
  return 0;
}

// The engine and size of the log being measured, for the summary lines.
std::string Measured;

// A figure beside its aim, and the same as an AIM line for the benchmarks'
// summary table.
void Aim(const char* what, double ms, double aim, const std::string& note = "") {
  std::printf("%-44s %8.1f ms  (aim < %.0f ms)%s%s\n", what, ms, aim, note.empty() ? "" : "  ", note.c_str());
  std::string name = what;
  name.erase(0, name.find_first_not_of(' '));
  std::printf("AIM\t%s, %s\t%.1f ms\t< %.0f ms\n", name.c_str(), Measured.c_str(), ms, aim);
}

// Until autovacuum has nothing left to do on the log's tables (no run is
// left whose rows would set it off), at most `seconds`: the state a
// station's PostgreSQL log is in between two runs. Seconds waited, or -1.
double SettleAutovacuum(QSqlDatabase& db, int seconds) {
  const auto start = Clock::now();
  for (;;) {
    QSqlQuery q(db);
    if (!q.exec("SELECT COUNT(*) FROM pg_stat_user_tables WHERE relname IN ('runs', 'figures', 'rules') AND"
                " (n_ins_since_vacuum > current_setting('autovacuum_vacuum_insert_threshold')::float8 +"
                " current_setting('autovacuum_vacuum_insert_scale_factor')::float8 * n_live_tup OR"
                " n_mod_since_analyze > current_setting('autovacuum_analyze_threshold')::float8 +"
                " current_setting('autovacuum_analyze_scale_factor')::float8 * n_live_tup)"
                " OR EXISTS (SELECT 1 FROM pg_stat_progress_vacuum)") ||
        !q.next())
      return -1;
    const double waited = Ms(Clock::now() - start) / 1000;
    if (q.value(0).toInt() == 0) return waited;
    if (waited > seconds) return -1;
    std::this_thread::sleep_for(std::chrono::seconds(2));
  }
}

void Large(const char* engine, const kt::LogTarget& target, int runs, int commits) {
  std::printf("%s, large log of %d runs (written by the program, not analysed by the bench):\n", engine, runs);
  Measured = std::string(engine).substr(0, std::string(engine).find(' ')) + " " + std::to_string(runs) + " runs";
  QString error;
  if (FillLarge(target, runs, error)) {
    std::printf("  large log: %s\n", error.toUtf8().constData());
    return;
  }
  kt::RunLogConnection log;
  if (log.Open(target, error, kt::RunLogSchemaVersion, true)) {
    std::printf("  large log: %s\n", error.toUtf8().constData());
    return;
  }
  QSqlDatabase db = log.Db();
  if (kt::IsPostgres(db)) {
    // PostgreSQL's own upkeep (statistics, the visibility map that lets a
    // count come from an index alone) is autovacuum's: measured once as
    // just written, then as autovacuum leaves the log.
    kt::FigureHistogram h;
    std::printf("%-44s %8.1f ms  (before autovacuum went through)\n", "  histogram, all runs, 20 bins, just written",
                Time([&] { kt::ComputeFigureHistogram(db, {}, "F1", 20, h, error); }));
    const double settled = SettleAutovacuum(db, 1200);
    if (settled < 0)
      std::printf("  autovacuum: not through after 20 minutes; measured as it is\n");
    else
      std::printf("%-44s %8.0f s after the last run was written\n", "  autovacuum through", settled);
  }
  kt::RunTableModel model;
  model.SetConnection(log.Name());
  auto page = [&](const kt::RunFilter& filter, kt::RunColumn sort, bool descending) {
    return Time([&] {
      model.sort(static_cast<int>(sort), descending ? Qt::DescendingOrder : Qt::AscendingOrder);
      model.SetFilter(filter);
    });
  };
  page({}, kt::RunColumn::Time, true);  // the connection's first query
  Aim("  log window, first page (newest first)", page({}, kt::RunColumn::Time, true), 300);
  kt::RunFilter fail, serial, typeMonth, station;
  fail.Result = kt::VerdictResult::Fail;
  serial.Serial = "SN" + std::to_string(runs / 2);
  typeMonth.Type = "T7";
  typeMonth.FromMs = LargeStartMs + static_cast<std::int64_t>(runs / 2) * 30000;
  typeMonth.ToMs = *typeMonth.FromMs + 30LL * 86400000;
  station.Station = "st2";
  station.Kind = 3;
  double worst = 0;
  std::string which;
  for (const auto& [name, filter] : {std::pair<const char*, kt::RunFilter>{"verdict FAIL", fail},
                                     {"one serial", serial},
                                     {"type + 30 days", typeMonth},
                                     {"station + kind", station}}) {
    const double ms = page(filter, kt::RunColumn::Time, true);
    if (ms >= worst) worst = ms, which = name;
  }
  Aim("  a search, first page (worst)", worst, 200, which);
  worst = 0;
  const char* columns[] = {"time", "station", "kind", "serial", "type", "name", "verdict", "profile", "operator"};
  for (int c = 0; c < kt::RunColumnCount; ++c)
    for (bool descending : {false, true}) {
      const double ms = page({}, static_cast<kt::RunColumn>(c), descending);
      if (ms >= worst) worst = ms, which = std::string(columns[c]) + (descending ? " descending" : " ascending");
    }
  Aim("  a sort, first page (worst of every column)", worst, 500, which);
  kt::RunStats stats;
  for (const auto& [name, filter] : {std::pair<const char*, kt::RunFilter>{"  statistics, all runs", {}},
                                     {"  statistics, type + 30 days", typeMonth}}) {
    const double ms = Time([&] { kt::ComputeRunStats(db, filter, "F9", stats, error); });
    char note[120];
    std::snprintf(note, sizeof note, "%lld runs, %zu figures, FPY %.4f", static_cast<long long>(stats.Runs),
                  stats.Figures.size(), stats.FirstPassYield.value_or(0));
    Aim(name, ms, 1000, note);
  }
  kt::FigureSeries series;
  kt::FigureHistogram histogram;
  Aim("  run chart, 5000 newest points", Time([&] { kt::ComputeFigureSeries(db, {}, "F1", 5000, series, error); }),
      300);
  Aim("  histogram, all runs, 20 bins", Time([&] { kt::ComputeFigureHistogram(db, {}, "F1", 20, histogram, error); }),
      300);
  Aim("  histogram, type + 30 days, 20 bins",
      Time([&] { kt::ComputeFigureHistogram(db, typeMonth, "F1", 20, histogram, error); }), 300);
  std::vector<std::string> names;
  Aim("  figure names of the newest runs", Time([&] { kt::ListFigureNames(db, {}, names, error); }), 300);
  if (!error.isEmpty()) std::printf("  failed: %s\n", error.toUtf8().constData());
  // The commit of one more run on the large log, as the writer makes it,
  // one run a second as a line makes them.
  kt::RunLogConnection writer;
  if (writer.Open(target, error)) return;
  QSqlDatabase wdb = writer.Db();
  std::mt19937 random(3);
  std::vector<double> times;
  const auto start = Clock::now();
  for (int i = 0; i < commits; ++i) {
    std::this_thread::sleep_until(start + std::chrono::seconds(i));
    kt::LoggedRun run = TypicalRun(random, i);
    run.Id = kt::NewRunId();
    run.TimeUtcMs = LargeStartMs + static_cast<std::int64_t>(runs + i) * 30000;
    kt::WriteOutcome outcome{};
    times.push_back(Time([&] { kt::WriteRun(wdb, run, outcome, error); }));
  }
  if (times.empty()) return;
  std::sort(times.begin(), times.end());
  std::printf(
      "%-44s %8.1f ms p99, %.1f ms median  (%d runs at one a second; WriteRun, 40 figures, 12 rules, on the writer "
      "thread, never the window's)\n",
      "  commit of a run on the large log", times[times.size() * 99 / 100], times[times.size() / 2], commits);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  auto option = [&](const QString& name, int fallback) {
    const auto i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
  };
  const int runs = option("--runs", 2000), large = option("--large", 1000000), pgLarge = option("--pg-large", large),
            commits = option("--commits", 30);
  const auto keep = args.indexOf("--keep");
  char templ[] = "/tmp/ktbench-XXXXXX";
  const std::string dir = keep >= 0 && keep + 1 < args.size() ? args[keep + 1].toStdString() : mkdtemp(templ);
  std::filesystem::create_directories(dir);
  std::filesystem::remove(dir + "/log.db");

  Throughput("SQLite: writer", "sqlite:" + dir + "/log.db", dir + "/outbox", runs, dir + "/log.db");
  {
    kt::test::PgCluster pg;
    std::string error;
    if (pg.Start(error, true) == 0)
      Throughput("PostgreSQL (Unix socket, fsync on): writer", pg.Target(), dir + "/outbox-pg", runs, "");
    else
      std::printf("PostgreSQL: not measured (%s)\n", error.c_str());
  }
  if (large > 0) {
    kt::LogTarget sqlite;
    sqlite.Kind = kt::LogTarget::Driver::Sqlite;
    sqlite.Path = dir + "/large.db";
    Large("SQLite", sqlite, large, commits);
  }
  if (pgLarge > 0) {
    kt::test::PgCluster pg;
    std::string error;
    kt::LogTarget postgres;
    if (pg.Start(error, false) == 0 && kt::ParseLogTarget(pg.Target(), postgres, error) == 0)
      Large("PostgreSQL (Unix socket)", postgres, pgLarge, commits);
    else
      std::printf("PostgreSQL: large log not measured (%s)\n", error.c_str());
  }
  if (keep < 0) std::filesystem::remove_all(dir);
  return 0;
}
