#pragma once
// A log as a line writes it, for the benchmarks that need one: runs made
// like an input test's and written through the program's own writing code.
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "runlog/RunLogConnection.h"
#include "runlog/RunLogStore.h"

namespace kt::bench {

constexpr std::int64_t YearStartMs = 1767225600000;  // 2026-01-01

// An input test as a line logs it: 40 figures, 12 rules (one in twenty
// runs failing one), a serial retested now and then, a few types,
// stations and operators, a 3 KB record; one run a minute on average.
inline LoggedRun LineRun(std::mt19937& random, int i) {
  std::normal_distribution<double> noise(0, 1);
  LoggedRun run;
  run.Id = NewRunId();
  run.TimeUtcMs = YearStartMs + static_cast<std::int64_t>(i) * 31000;
  run.Station = "st" + std::to_string(i % 4);
  run.Kind = InputTest;
  run.Info.No = "SN" + std::to_string(i - i % 7 / 6);
  run.Info.Type = "T" + std::to_string(5 + i % 6);
  run.Info.Name = "Ballast " + std::to_string(i % 97);
  run.Info.Operator = "op" + std::to_string(i % 13);
  const bool fails = i % 20 == 0;
  run.Result.Result = fails ? VerdictResult::Fail : VerdictResult::Pass;
  run.Result.ProfileName = "line " + std::to_string(i % 3);
  for (int k = 0; k < 40; ++k)
    run.Figures.push_back({"CurrentHarmonicPct[" + std::to_string(k) + "]", 10 + noise(random), true});
  for (int k = 0; k < 12; ++k) {
    const NamedFigure& f = run.Figures[static_cast<std::size_t>(k)];
    const bool fail = fails && k == i % 12;
    run.Result.Rules.push_back(
        {f.Name, fail ? 16.0 : f.Value, 5.0, 15.0, 5.0, fail ? RuleOutcome::Fail : RuleOutcome::Pass, "", ""});
  }
  run.Record.assign(3072, static_cast<std::uint8_t>(i));
  return run;
}

// Writes `runs` runs into the log at `target`, a thousand a transaction, as
// the writer writes them; never ANALYZEd.
inline int FillLog(const LogTarget& target, int runs) {
  RunLogConnection log;
  QString error;
  if (log.Open(target, error)) return std::fprintf(stderr, "%s\n", qPrintable(error)), 1;
  QSqlDatabase db = log.Db();
  // The rows are the program's own; only the wait for the disk is left out.
  QSqlQuery(db).exec("PRAGMA synchronous=OFF");
  std::mt19937 random(1);
  constexpr int Batch = 1000;
  for (int from = 0; from < runs; from += Batch) {
    std::vector<LoggedRun> batch;
    for (int i = from; i < std::min(runs, from + Batch); ++i) batch.push_back(LineRun(random, i));
    if (WriteRuns(db, batch, error)) return std::fprintf(stderr, "%s\n", qPrintable(error)), 1;
  }
  QSqlQuery(db).exec("PRAGMA wal_checkpoint(TRUNCATE)");
  return 0;
}

}  // namespace kt::bench
