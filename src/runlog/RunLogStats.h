#pragma once
// The statistics of the filtered runs, aggregated in SQL, and the data of
// the run chart and the histogram of one chosen figure. The filter's whole
// UTC days come from the log's day summaries (a row per day and filter key,
// written with each run), the rest of a day at either end from the runs, so
// a year of runs costs a few thousand summary rows; the first-pass yield
// reads the runs' serial index.
//
// The statistics cover every figure some filtered run has a rule with a
// bound for, plus the caller's extra figure. A figure's n, mean, spread,
// min, max and charts are the filtered runs' measured values of it, judged
// or not; the rule outcomes give the failures (the yield, the ranking) and
// the limits: the pair (min, max) most of the figure's outcomes were judged
// against, which Cpk and the charts use.
#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runlog/RunLogQuery.h"
#include "runlog/RunStats.h"

namespace kt {

int ComputeRunStats(QSqlDatabase& db, const RunFilter& filter, const std::string& extraFigure, RunStats& stats,
                    QString& error);
// The same read from the runs alone, never from the day summaries: what the
// summaries are checked against.
int ComputeRunStatsFromRuns(QSqlDatabase& db, const RunFilter& filter, const std::string& extraFigure, RunStats& stats,
                            QString& error);

struct SeriesPoint {
  std::int64_t TimeMs = 0;
  double Value = 0;
};
struct FigureSeries {
  std::string Figure;
  std::vector<SeriesPoint> Points;  // oldest first
  std::optional<double> Lsl, Usl;
  bool Truncated = false;  // only the newest maxPoints are there
};
// The figure's measured values over time, the newest maxPoints of them.
int ComputeFigureSeries(QSqlDatabase& db, const RunFilter& filter, const std::string& figure, int maxPoints,
                        FigureSeries& series, QString& error);

struct FigureHistogram {
  std::string Figure;
  double Low = 0, BinWidth = 0;  // bin k covers [Low + k w, Low + (k + 1) w); the last one includes its top
  std::vector<std::int64_t> Counts;
  std::optional<double> Lsl, Usl;
};
int ComputeFigureHistogram(QSqlDatabase& db, const RunFilter& filter, const std::string& figure, int bins,
                           FigureHistogram& histogram, QString& error);

// The figure names of the newest 2000 filtered runs, in their order (for
// the figure chooser; a scan of a whole large log would keep it waiting).
int ListFigureNames(QSqlDatabase& db, const RunFilter& filter, std::vector<std::string>& names, QString& error);

}  // namespace kt
