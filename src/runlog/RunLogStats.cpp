#include "runlog/RunLogStats.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <thread>

#include "runlog/RunLogNames.h"
#include "runlog/RunLogSchema.h"

namespace kt {
namespace {

std::atomic<int> NextSideConnection{0};

// Plain sums of squares lose about eps * sum(v^2) / sum((v - mean)^2) of the
// variance: past this ratio (a relative error near 1e-7) a figure is summed
// again around its mean.
constexpr double CancellationRatio = 1e9;

QString And(const SqlWhere& w, const QString& condition) {
  return w.Sql.isEmpty() ? " WHERE " + condition : w.Sql + " AND " + condition;
}

int Run(QSqlQuery& q, const QString& sql, const QVariantList& values, QString& error) {
  q.setForwardOnly(true);
  if (!q.prepare(sql)) {
    error = q.lastError().text();
    return 1;
  }
  BindAll(q, values);
  if (!q.exec()) {
    error = q.lastError().text();
    return 1;
  }
  return 0;
}

std::optional<double> Opt(const QVariant& v) { return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble()); }

struct LimitCount {
  std::optional<double> Min, Max;
  std::int64_t Count = 0;
};

struct FigureAccumulator {
  Moments All;
  std::vector<LimitCount> Limits;
  std::int64_t Fails = 0;
};

// The pair most outcomes used; ties to the first seen (the query orders them).
void PickLimits(const std::vector<LimitCount>& limits, std::optional<double>& lsl, std::optional<double>& usl,
                bool& differ) {
  const LimitCount* best = nullptr;
  int bounded = 0;
  for (const LimitCount& l : limits) {
    if (!l.Min && !l.Max) continue;
    ++bounded;
    if (!best || l.Count > best->Count) best = &l;
  }
  differ = bounded > 1;
  if (best) {
    lsl = best->Min;
    usl = best->Max;
  }
}

// Rows of the filtered runs only: a semi-join on the runs' sequence, which
// both engines turn into one pass over the matching runs. Nothing when there
// is no filter.
QString InRuns(const SqlWhere& w, QVariantList& values) {
  if (w.Sql.isEmpty()) return QString();
  values += w.Values;
  return " AND c.run_seq IN (SELECT r.seq FROM runs r" + w.Sql + ")";
}

// A figure's values are the runs' measured ones, whether or not a rule
// judged them: a run judged on a figure and one that only measured it count
// alike, and the figure's rules elsewhere in the log change nothing.
const QString Measured = "c.measured = 1 AND c.value IS NOT NULL";

// The limits of one figure, from the filtered runs' rule outcomes.
int FigureLimits(QSqlDatabase& db, const SqlWhere& w, const std::string& figure, std::optional<double>& lsl,
                 std::optional<double>& usl, bool& differ, QString& error) {
  QSqlQuery q(db);
  QVariantList values{QString::fromStdString(figure)};
  const QString in = InRuns(w, values);
  if (Run(q,
          "SELECT c.min_value, c.max_value, COUNT(*) FROM rules c WHERE c.figure = ?" + in +
              " GROUP BY c.min_value, c.max_value ORDER BY 3 DESC, 1, 2",
          values, error))
    return 1;
  std::vector<LimitCount> limits;
  while (q.next()) limits.push_back({Opt(q.value(0)), Opt(q.value(1)), q.value(2).toLongLong()});
  PickLimits(limits, lsl, usl, differ);
  return 0;
}

// n, sums around shift, min and max of one figure's values.
int FigureMomentsAround(QSqlDatabase& db, const SqlWhere& w, const std::string& figure, double shift, Moments& m,
                        QString& error) {
  QVariantList values{shift, QString::fromStdString(figure)};
  const QString in = InRuns(w, values);
  QSqlQuery q(db);
  if (Run(q,
          "SELECT COUNT(d), SUM(d), SUM(d * d), MIN(v), MAX(v) FROM ("
          " SELECT c.value AS v, c.value - ? AS d FROM figures c WHERE c.name = ? AND " +
              Measured + in + ") t",
          values, error))
    return 1;
  m = Moments{};
  if (!q.next()) return 0;
  ShiftedSums s;
  s.N = q.value(0).toLongLong();
  if (s.N == 0) return 0;
  s.Shift = shift;
  s.Sum = q.value(1).toDouble();
  s.SumSquares = q.value(2).toDouble();
  s.Min = q.value(3).toDouble();
  s.Max = q.value(4).toDouble();
  m = MomentsOf(s);
  return 0;
}

// The same shifted by one of its values, so that the sums stay small.
int FigureMoments(QSqlDatabase& db, const SqlWhere& w, const std::string& figure, Moments& m, QString& error) {
  QSqlQuery q(db);
  if (Run(q, "SELECT c.value FROM figures c WHERE c.name = ? AND " + Measured + " LIMIT 1",
          {QString::fromStdString(figure)}, error))
    return 1;
  const double shift = q.next() ? q.value(0).toDouble() : 0.0;
  return FigureMomentsAround(db, w, figure, shift, m, error);
}

FigureStats Finish(const std::string& figure, const Moments& m, std::optional<double> lsl, std::optional<double> usl,
                   bool differ) {
  FigureStats f;
  f.Figure = figure;
  f.N = m.N;
  if (m.N > 0) f.Mean = m.Mean, f.Min = m.Min, f.Max = m.Max;
  if (m.N >= 2) {
    f.StdDev = SampleStdDev(m);
    f.Cpk = ProcessCpk(m.Mean, *f.StdDev, lsl, usl);
  }
  f.Lsl = lsl;
  f.Usl = usl;
  f.LimitsDiffer = differ;
  f.Unreliable = m.N < ReliableSampleSize;
  return f;
}

// How many runs the filter finds, by verdict, and how many judged ones
// carry a serial number.
int CountVerdicts(QSqlDatabase& db, const SqlWhere& w, const QString& judged, RunStats& stats,
                  std::int64_t& judgedWithSerial, QString& error) {
  const int pass = VerdictCode(VerdictResult::Pass), fail = VerdictCode(VerdictResult::Fail),
            incomplete = VerdictCode(VerdictResult::Incomplete);
  QSqlQuery q(db);
  if (Run(q,
          QString("SELECT COUNT(*), SUM(CASE WHEN r.verdict = %1 THEN 1 ELSE 0 END),"
                  " SUM(CASE WHEN r.verdict = %2 THEN 1 ELSE 0 END), SUM(CASE WHEN r.verdict = %3 THEN 1 ELSE 0 END),"
                  " SUM(CASE WHEN r.serial = '' AND %4 THEN 1 ELSE 0 END),"
                  " SUM(CASE WHEN r.serial <> '' AND %4 THEN 1 ELSE 0 END) FROM runs r")
                  .arg(pass)
                  .arg(fail)
                  .arg(incomplete)
                  .arg(judged) +
              w.Sql,
          w.Values, error) ||
      !q.next())
    return 1;
  stats.Runs = q.value(0).toLongLong();
  stats.Passed = q.value(1).toLongLong();
  stats.Failed = q.value(2).toLongLong();
  stats.Incomplete = q.value(3).toLongLong();
  stats.Unjudged = stats.Runs - stats.Passed - stats.Failed - stats.Incomplete;
  stats.RunsWithoutSerial = q.value(4).toLongLong();
  judgedWithSerial = q.value(5).toLongLong();
  return 0;
}

// One pass over the rule outcomes: per figure and pair of limits, how many
// were judged against it and how many failed.
int TallyRules(QSqlDatabase& db, const SqlWhere& w, std::map<std::string, FigureAccumulator>& figures, QString& error) {
  QSqlQuery q(db);
  QVariantList values;
  const QString in = InRuns(w, values);
  if (Run(q,
          QString("SELECT c.figure, c.min_value, c.max_value, COUNT(*),"
                  " SUM(CASE WHEN c.outcome = %1 THEN 1 ELSE 0 END) FROM rules c WHERE 1 = 1")
                  .arg(OutcomeCode(RuleOutcome::Fail)) +
              in + " GROUP BY c.figure, c.min_value, c.max_value ORDER BY 1, 4 DESC, 2, 3",
          values, error))
    return 1;
  while (q.next()) {
    FigureAccumulator& a = figures[q.value(0).toString().toStdString()];
    a.Limits.push_back({Opt(q.value(1)), Opt(q.value(2)), q.value(3).toLongLong()});
    a.Fails += q.value(4).toLongLong();
  }
  return 0;
}

// One pass over the listed figures' measured values: plain sums, the
// cheapest the engines do. Where plain sums of squares would cancel
// (values far from zero against their spread), that figure gets a second
// pass around its mean.
int ListedMoments(QSqlDatabase& db, const SqlWhere& w, const std::vector<std::string>& listed,
                  std::map<std::string, FigureAccumulator>& figures, QString& error) {
  if (listed.empty()) return 0;
  QVariantList values;
  QStringList marks;
  for (const std::string& name : listed) {
    values << QString::fromStdString(name);
    marks << "?";
  }
  const QString in = InRuns(w, values);
  QSqlQuery q(db);
  if (Run(q,
          "SELECT c.name, COUNT(c.value), SUM(c.value), SUM(c.value * c.value), MIN(c.value), MAX(c.value)"
          " FROM figures c WHERE c.name IN (" +
              marks.join(',') + ") AND " + Measured + in + " GROUP BY c.name",
          values, error))
    return 1;
  std::vector<std::string> refine;
  while (q.next()) {
    const std::string name = q.value(0).toString().toStdString();
    ShiftedSums sums;
    sums.N = q.value(1).toLongLong();
    sums.Sum = q.value(2).toDouble();
    sums.SumSquares = q.value(3).toDouble();
    sums.Min = q.value(4).toDouble();
    sums.Max = q.value(5).toDouble();
    Moments& m = figures[name].All;
    m = MomentsOf(sums);
    if (sums.SumSquares > CancellationRatio * m.M2 && sums.Max > sums.Min) refine.push_back(name);
  }
  for (const std::string& name : refine) {
    Moments& m = figures[name].All;
    if (FigureMomentsAround(db, w, name, m.Mean, m, error)) return 1;
  }
  return 0;
}

}  // namespace

int ComputeRunStats(QSqlDatabase& db, const RunFilter& filter, const std::string& extraFigure, RunStats& stats,
                    QString& error) {
  stats = RunStats{};
  const SqlWhere w = BuildRunWhere(filter);
  const int pass = VerdictCode(VerdictResult::Pass), fail = VerdictCode(VerdictResult::Fail),
            incomplete = VerdictCode(VerdictResult::Incomplete);
  const QString judged = QString("r.verdict IN (%1, %2, %3)").arg(pass).arg(fail).arg(incomplete);
  std::int64_t judgedWithSerial = 0;
  if (CountVerdicts(db, w, judged, stats, judgedWithSerial, error)) return 1;
  // The yield reads the runs' serial index, the rest the rule outcomes: on a
  // second connection the two go side by side.
  const QString yieldSql = QString(
                               "SELECT COUNT(*), SUM(CASE WHEN verdict = %1 THEN 1 ELSE 0 END) FROM ("
                               " SELECT r.verdict AS verdict, ROW_NUMBER() OVER (PARTITION BY r.serial"
                               " ORDER BY r.time_ms, r.seq) AS n FROM runs r")
                               .arg(pass) +
                           And(w, "r.serial <> '' AND " + judged) + ") t WHERE n = 1";
  auto yield = [&stats, &w, yieldSql](QSqlDatabase& on, QString& e) {
    QSqlQuery u(on);
    if (Run(u, yieldSql, w.Values, e) || !u.next()) return 1;
    stats.Units = u.value(0).toLongLong();
    stats.FirstPassUnits = u.value(1).toLongLong();
    return 0;
  };
  int yieldFailed = -1;  // -1: not run yet
  QString yieldError;
  const QString side = QString("%1_stats_%2").arg(db.connectionName()).arg(NextSideConnection.fetch_add(1));
  std::thread beside([&] {
    {
      QSqlDatabase clone = QSqlDatabase::cloneDatabase(db.connectionName(), side);
      if (clone.open()) yieldFailed = yield(clone, yieldError);
      clone.close();
    }
    QSqlDatabase::removeDatabase(side);
  });
  struct Joiner {
    std::thread& Thread;
    ~Joiner() {
      if (Thread.joinable()) Thread.join();
    }
  } joiner{beside};
  // One pass over the rule outcomes: per figure and pair of limits, how
  // many were judged against it and how many failed.
  std::map<std::string, FigureAccumulator> figures;
  if (TallyRules(db, w, figures, error)) return 1;
  std::vector<std::string> listed;  // figures with a bound, then the extra one
  std::vector<std::pair<std::string, std::int64_t>> fails;
  for (const auto& [name, a] : figures) {
    if (a.Fails > 0) fails.emplace_back(name, a.Fails);
    if (std::any_of(a.Limits.begin(), a.Limits.end(), [](const LimitCount& l) { return l.Min || l.Max; }))
      listed.push_back(name);
  }
  if (!extraFigure.empty() && std::find(listed.begin(), listed.end(), extraFigure) == listed.end())
    listed.push_back(extraFigure);
  if (ListedMoments(db, w, listed, figures, error)) return 1;
  beside.join();
  if (yieldFailed != 0 && yield(db, error)) return 1;  // no second connection: here, then
  stats.Retests = judgedWithSerial - stats.Units;
  if (stats.Units > 0)
    stats.FirstPassYield = static_cast<double>(stats.FirstPassUnits) / static_cast<double>(stats.Units);
  for (const std::string& name : listed) {
    const FigureAccumulator& a = figures[name];
    std::optional<double> lsl, usl;
    bool differ = false;
    PickLimits(a.Limits, lsl, usl, differ);
    stats.Figures.push_back(Finish(name, a.All, lsl, usl, differ));
  }
  stats.Pareto = RankPareto(std::move(fails));
  return 0;
}

int ComputeFigureSeries(QSqlDatabase& db, const RunFilter& filter, const std::string& figure, int maxPoints,
                        FigureSeries& series, QString& error) {
  series = FigureSeries{};
  series.Figure = figure;
  const SqlWhere w = BuildRunWhere(filter);
  bool differ = false;
  if (FigureLimits(db, w, figure, series.Lsl, series.Usl, differ, error)) return 1;
  QVariantList values{QString::fromStdString(figure)};
  values += w.Values;
  values << std::max(1, maxPoints) + 1;
  QSqlQuery q(db);
  // Runs first, newest first: SQLite keeps a CROSS JOIN's order, so the
  // newest points are found without reading the figure's every value.
  if (Run(q,
          "SELECT r.time_ms, c.value FROM runs r CROSS JOIN figures c WHERE c.run_seq = r.seq AND c.name = ? AND " +
              Measured + (w.Sql.isEmpty() ? QString() : " AND " + w.Sql.mid(7)) +
              " ORDER BY r.time_ms DESC, r.seq DESC LIMIT ?",
          values, error))
    return 1;
  while (q.next()) series.Points.push_back({q.value(0).toLongLong(), q.value(1).toDouble()});
  if (static_cast<int>(series.Points.size()) > std::max(1, maxPoints)) {
    series.Points.pop_back();
    series.Truncated = true;
  }
  std::reverse(series.Points.begin(), series.Points.end());
  return 0;
}

int ComputeFigureHistogram(QSqlDatabase& db, const RunFilter& filter, const std::string& figure, int bins,
                           FigureHistogram& h, QString& error) {
  h = FigureHistogram{};
  h.Figure = figure;
  bins = std::clamp(bins, 1, 1000);
  const SqlWhere w = BuildRunWhere(filter);
  bool differ = false;
  if (FigureLimits(db, w, figure, h.Lsl, h.Usl, differ, error)) return 1;
  Moments m;
  if (FigureMoments(db, w, figure, m, error)) return 1;
  h.Counts.assign(static_cast<std::size_t>(bins), 0);
  if (m.N == 0) return 0;
  h.Low = m.Min;
  h.BinWidth = (m.Max - m.Min) / bins;
  if (!(h.BinWidth > 0)) {  // one value: its bin in the middle, 1 % of it wide
    h.BinWidth = (m.Min != 0 ? std::fabs(m.Min) : 1.0) / 100;
    h.Low = m.Min - h.BinWidth * (bins / 2);
  }
  // Values are >= Low, so truncation is the floor; PostgreSQL rounds a cast.
  const QString index = IsPostgres(db) ? "FLOOR((c.value - ?) / ?)" : "CAST((c.value - ?) / ? AS INTEGER)";
  QVariantList values{h.Low, h.BinWidth, QString::fromStdString(figure)};
  const QString in = InRuns(w, values);
  QSqlQuery q(db);
  if (Run(q,
          "SELECT b, COUNT(*) FROM (SELECT " + index + " AS b FROM figures c WHERE c.name = ? AND " + Measured + in +
              ") t GROUP BY b",
          values, error))
    return 1;
  while (q.next()) {
    const auto bin = std::clamp<qint64>(q.value(0).toLongLong(), 0, bins - 1);
    h.Counts[static_cast<std::size_t>(bin)] += q.value(1).toLongLong();
  }
  return 0;
}

int ListFigureNames(QSqlDatabase& db, const RunFilter& filter, std::vector<std::string>& names, QString& error) {
  names.clear();
  const SqlWhere w = BuildRunWhere(filter);
  QSqlQuery q(db);
  if (Run(q,
          "SELECT f.name FROM figures f WHERE f.run_seq IN (SELECT r.seq FROM runs r" + w.Sql +
              " ORDER BY r.time_ms DESC LIMIT 2000) GROUP BY f.name ORDER BY MIN(f.pos), f.name",
          w.Values, error))
    return 1;
  while (q.next()) names.push_back(q.value(0).toString().toStdString());
  return 0;
}

}  // namespace kt
