// Figures of the run log, printed, not judged:
//   - runs written per second through the writer (SQLite; PostgreSQL on a
//     throw-away cluster when its binaries are there), and the time Submit
//     takes on the caller's thread;
//   - log size per run;
//   - on a generated log of 1 000 000 runs: the table's first page for a few
//     filters and sorts, the statistics, the run chart and the histogram.
//
//   runlog_bench [--runs N] [--large N] [--keep DIR]
// --large 0 leaves the large log out.
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
#include <vector>

#include "PgCluster.h"
#include "runlog/RunLogConnection.h"
#include "runlog/RunLogQuery.h"
#include "runlog/RunLogStats.h"
#include "runlog/RunLogWriter.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

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

int Exec(QSqlDatabase& db, const QString& sql) {
  QSqlQuery q(db);
  if (!q.exec(sql)) {
    std::printf("generation failed: %s\n", q.lastError().text().toUtf8().constData());
    return 1;
  }
  return 0;
}

// 12 figures and 4 rules per run, 256 record bytes; serials repeat once in
// ten (retests), one run in twenty fails; times 30 s apart.
int Generate(QSqlDatabase& db, int runs) {
  const QString series =
      QString("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ").arg(runs);
  const QString value =
      "(10 + ((abs(random()) % 2000) + (abs(random()) % 2000) + (abs(random()) % 2000) - 3000) / 1000.0)";
  return Exec(db, "BEGIN") ||
         Exec(db, series +
                      "INSERT INTO runs (seq, uuid, time_ms, station, kind, serial, type, verdict, profile_name)"
                      " SELECT i, printf('00000000-0000-4000-8000-%012d', i), 1767225600000 + i * 30000,"
                      " 'st' || (i % 4), 1 + i % 5, 'SN' || (i - i % 10 / 9), 'T' || (i % 20),"
                      " CASE WHEN i % 20 = 0 THEN 2 ELSE 1 END, 'line' FROM n") ||
         Exec(db, series + "INSERT INTO run_records (run_seq, record) SELECT i, randomblob(256) FROM n") ||
         Exec(db, series +
                      ", k(p) AS (SELECT 0 UNION ALL SELECT p + 1 FROM k WHERE p < 11)"
                      " INSERT INTO figures (run_seq, pos, name, value, measured)"
                      " SELECT i, p, 'F' || p, " +
                      value + ", 1 FROM n, k") ||
         Exec(db, series +
                      ", k(p) AS (SELECT 0 UNION ALL SELECT p + 1 FROM k WHERE p < 3)"
                      " INSERT INTO rules (run_seq, pos, figure, value, min_value, max_value, outcome)"
                      " SELECT i, p, 'F' || p, " +
                      value +
                      ", 7.5, 12.5,"
                      " CASE WHEN i % 20 = 0 AND p = i % 3 THEN 1 ELSE 0 END FROM n, k") ||
         Exec(db, "COMMIT") || Exec(db, "ANALYZE");
}

template <typename F>
double Time(F&& f) {
  const auto t = Clock::now();
  f();
  return Ms(Clock::now() - t);
}

void Large(const std::string& dir, int runs) {
  const std::string path = dir + "/large.db";
  kt::LogTarget target;
  target.Kind = kt::LogTarget::Driver::Sqlite;
  target.Path = path;
  kt::RunLogConnection log;
  QString error;
  if (log.Open(target, error, kt::RunLogSchemaVersion, true)) {
    std::printf("large log: %s\n", error.toUtf8().constData());
    return;
  }
  QSqlDatabase db = log.Db();
  QSqlQuery existing(db);
  const bool reuse = existing.exec("SELECT COUNT(*) FROM runs") && existing.next() && existing.value(0).toInt() == runs;
  existing.finish();
  if (reuse) {
    std::printf("%-44s %d runs\n", "reusing the large log", runs);
  } else {
    const double made = Time([&] { Generate(db, runs); });
    QSqlQuery(db).exec("PRAGMA wal_checkpoint(TRUNCATE)");
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(path, ec);
    std::printf("%-44s %8.1f s  (%d runs, %.0f bytes per run with 12 figures, 4 rules, 256-byte record)\n",
                "generated large log", made / 1000, runs, static_cast<double>(bytes) / runs);
  }

  kt::RunTableModel model;
  model.SetConnection(log.Name());
  struct Page {
    const char* Name;
    kt::RunFilter Filter;
    kt::RunColumn Sort;
    bool Descending;
  };
  kt::RunFilter fail, serial, typeMonth, station;
  fail.Result = kt::VerdictResult::Fail;
  serial.Serial = "SN500000";
  typeMonth.Type = "T7";
  typeMonth.FromMs = 1767225600000 + static_cast<std::int64_t>(runs / 2) * 30000;
  typeMonth.ToMs = *typeMonth.FromMs + 30LL * 86400000;
  station.Station = "st2";
  station.Kind = 3;
  const Page pages[] = {{"first page, no filter, newest first", {}, kt::RunColumn::Time, true},
                        {"first page, verdict FAIL", fail, kt::RunColumn::Time, true},
                        {"first page, one serial", serial, kt::RunColumn::Time, true},
                        {"first page, type + 30 days", typeMonth, kt::RunColumn::Time, true},
                        {"first page, station + kind", station, kt::RunColumn::Time, true},
                        {"first page, sorted by serial", {}, kt::RunColumn::Serial, false},
                        {"first page, sorted by type", {}, kt::RunColumn::Type, false}};
  for (const Page& p : pages) {
    const double ms = Time([&] {
      model.sort(static_cast<int>(p.Sort), p.Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
      model.SetFilter(p.Filter);
    });
    std::printf("%-44s %8.1f ms  (%d rows)\n", p.Name, ms, model.rowCount());
  }
  kt::RunStats stats;
  for (const auto& [name, filter] : {std::pair<const char*, kt::RunFilter>{"statistics, all runs", {}},
                                     std::pair<const char*, kt::RunFilter>{"statistics, type + 30 days", typeMonth}}) {
    const double ms = Time([&] { kt::ComputeRunStats(db, filter, "F9", stats, error); });
    std::printf("%-44s %8.1f ms  (%lld runs, %zu figures, FPY %.3f)\n", name, ms, static_cast<long long>(stats.Runs),
                stats.Figures.size(), stats.FirstPassYield.value_or(0));
  }
  kt::FigureSeries series;
  kt::FigureHistogram histogram;
  std::printf("%-44s %8.1f ms\n", "run chart, 5000 newest points",
              Time([&] { kt::ComputeFigureSeries(db, {}, "F1", 5000, series, error); }));
  std::printf("%-44s %8.1f ms\n", "histogram, all runs, 20 bins",
              Time([&] { kt::ComputeFigureHistogram(db, {}, "F1", 20, histogram, error); }));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  auto option = [&](const QString& name, int fallback) {
    const auto i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
  };
  const int runs = option("--runs", 2000), large = option("--large", 1000000);
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
  if (large > 0) Large(dir, large);
  if (keep < 0) std::filesystem::remove_all(dir);
  return 0;
}
