#include "runlog/RunLogStats.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <thread>
#include <tuple>

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

// A figure's values are the runs' measured ones, whether or not a rule
// judged them: a run judged on a figure and one that only measured it count
// alike, and the figure's rules elsewhere in the log change nothing.
const QString Measured = "c.measured = 1 AND c.value IS NOT NULL";

struct LimitCount {
  std::optional<double> Min, Max;
  std::int64_t Count = 0;
};

// One figure's outcomes per pair of limits (bounds: 1 a min, 2 a max; an
// absent bound is 0), its failures and its measured values.
struct FigureAccumulator {
  std::map<std::tuple<int, double, double>, std::int64_t> Limits;
  std::int64_t Fails = 0;
  Moments All;
};
using Accumulators = std::map<std::string, FigureAccumulator>;

// The pair most outcomes used; ties to the first in the order the engine
// sorts them (by min, then max; SQLite puts an absent bound first,
// PostgreSQL last).
void PickLimits(const FigureAccumulator& a, bool nullsLast, std::optional<double>& lsl, std::optional<double>& usl,
                bool& differ) {
  std::vector<LimitCount> limits;
  for (const auto& [k, count] : a.Limits) {
    const auto [bounds, min, max] = k;
    limits.push_back(
        {bounds & 1 ? std::optional(min) : std::nullopt, bounds & 2 ? std::optional(max) : std::nullopt, count});
  }
  const auto before = [nullsLast](const std::optional<double>& x, const std::optional<double>& y) {
    if (x.has_value() != y.has_value()) return nullsLast ? x.has_value() : y.has_value();
    return x && *x < *y;
  };
  std::sort(limits.begin(), limits.end(), [&](const LimitCount& x, const LimitCount& y) {
    if (x.Count != y.Count) return x.Count > y.Count;
    if (x.Min != y.Min) return before(x.Min, y.Min);
    return before(x.Max, y.Max);
  });
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

bool Bounded(const FigureAccumulator& a) {
  return std::any_of(a.Limits.begin(), a.Limits.end(), [](const auto& l) { return std::get<0>(l.first) != 0; });
}

// A filter cut in two: its whole UTC days come from the summaries (one row
// per day and filter key, however many runs), the part of a day at either
// end from the runs themselves through the time index. A serial's runs
// are few, and the summaries do not know serials: they come from the runs.
struct Parts {
  std::optional<SqlWhere> Summary;  // on the summaries, alias s
  std::vector<SqlWhere> Runs;       // on the runs, alias r
};

Parts SplitFilter(const RunFilter& f, bool summaries) {
  Parts p;
  std::optional<std::int64_t> first, end;  // the whole days: first <= day < end
  if (f.FromMs) first = StatsDay(*f.FromMs - 1) + 1;
  if (f.ToMs) end = StatsDay(*f.ToMs);
  if (!summaries || !f.Serial.empty() || (first && end && *first >= *end)) {
    p.Runs.push_back(BuildRunWhere(f));
    return p;
  }
  RunFilter keys = f;
  keys.FromMs = keys.ToMs = std::nullopt;
  keys.ProductionOnly = false;  // the summaries hold nothing else
  SqlWhere w = BuildRunWhere(keys, "s");
  QStringList days;
  QVariantList values;
  if (first) days << "s.day >= ?", values << QVariant(static_cast<qint64>(*first));
  if (end) days << "s.day < ?", values << QVariant(static_cast<qint64>(*end));
  if (!days.isEmpty()) {
    w.Sql = (w.Sql.isEmpty() ? " WHERE " : w.Sql + " AND ") + days.join(" AND ");
    w.Values += values;
  }
  p.Summary = w;
  if (first && *f.FromMs < *first * StatsBucketMs) {
    RunFilter edge = f;
    edge.ToMs = *first * StatsBucketMs;
    p.Runs.push_back(BuildRunWhere(edge));
  }
  if (end && *end * StatsBucketMs < *f.ToMs) {
    RunFilter edge = f;
    edge.FromMs = *end * StatsBucketMs;
    p.Runs.push_back(BuildRunWhere(edge));
  }
  return p;
}

// A runs part joined to its child rows (`table` c) and the conditions on
// them, runs first, each run's rows under it: SQLite keeps a CROSS JOIN's
// order; PostgreSQL a LATERAL one's (it would otherwise hash the figure's
// every row, however few runs the part has). `name` (c.name or c.figure)
// selects rows by figure as `selects` says ("= ?", "IN (?,?)"), written as an
// expression so that neither engine takes the figure's index for it and
// walks all of the figure's rows for every run (both did on a log not yet
// analysed). The values: the part's and the names, in the text's order.
SqlWhere RunsJoin(const QSqlDatabase& db, const SqlWhere& w, const char* table, const QString& name = QString(),
                  const QString& selects = QString(), const QVariantList& names = {}, const QString& also = QString()) {
  QString rows = "c.run_seq = r.seq";
  if (!name.isEmpty()) rows += " AND " + name + " || '' " + selects;
  if (!also.isEmpty()) rows += " AND " + also;
  if (IsPostgres(db))
    return {QString(" FROM runs r CROSS JOIN LATERAL (SELECT * FROM %1 c WHERE %2) c").arg(table, rows) + w.Sql,
            names + w.Values};
  return {QString(" FROM runs r CROSS JOIN %1 c WHERE ").arg(table) + (w.Sql.isEmpty() ? "" : w.Sql.mid(7) + " AND ") +
              rows,
          w.Values + names};
}

template <typename Row>
int Each(QSqlDatabase& db, const QString& sql, const QVariantList& values, Row&& row, QString& error) {
  QSqlQuery q(db);
  if (Run(q, sql, values, error)) return 1;
  while (q.next()) row(q);
  return 0;
}

// How many runs the filter finds, by verdict, and how many of them carry no
// serial.
int CountVerdicts(QSqlDatabase& db, const Parts& parts, RunStats& stats, std::int64_t& judgedWithSerial,
                  QString& error) {
  std::map<int, std::pair<std::int64_t, std::int64_t>> byVerdict;
  auto add = [&](QSqlQuery& q) {
    auto& [runs, noSerial] = byVerdict[q.value(0).toInt()];
    runs += q.value(1).toLongLong();
    noSerial += q.value(2).toLongLong();
    if (q.record().count() > 3) {  // the summaries' units: the yield of all runs
      stats.Units += q.value(3).toLongLong();
      stats.FirstPassUnits += q.value(4).toLongLong();
    }
  };
  if (parts.Summary && Each(db,
                            "SELECT s.verdict, SUM(s.runs), SUM(s.no_serial), SUM(s.units), SUM(s.first_pass)"
                            " FROM stats_runs s" +
                                parts.Summary->Sql + " GROUP BY s.verdict",
                            parts.Summary->Values, add, error))
    return 1;
  for (const SqlWhere& w : parts.Runs)
    if (Each(db,
             "SELECT r.verdict, COUNT(*), SUM(CASE WHEN r.serial = '' THEN 1 ELSE 0 END) FROM runs r" + w.Sql +
                 " GROUP BY r.verdict",
             w.Values, add, error))
      return 1;
  judgedWithSerial = 0;
  for (const auto& [code, counts] : byVerdict) {
    const auto [runs, noSerial] = counts;
    stats.Runs += runs;
    const VerdictResult v = VerdictFromCode(code);
    if (v == VerdictResult::Pass) stats.Passed += runs;
    if (v == VerdictResult::Fail) stats.Failed += runs;
    if (v == VerdictResult::Incomplete) stats.Incomplete += runs;
    if (v == VerdictResult::Pass || v == VerdictResult::Fail || v == VerdictResult::Incomplete) {
      stats.RunsWithoutSerial += noSerial;
      judgedWithSerial += runs - noSerial;
    }
  }
  stats.Unjudged = stats.Runs - stats.Passed - stats.Failed - stats.Incomplete;
  return 0;
}

// The rule outcomes per figure and pair of limits: how many were judged
// against it and how many failed. Every figure, or only `figure`.
int TallyRules(QSqlDatabase& db, const Parts& parts, const std::string& figure, Accumulators& figures, QString& error) {
  auto add = [&](QSqlQuery& q) {
    FigureAccumulator& a = figures[q.value(0).toString().toStdString()];
    a.Limits[{q.value(1).toInt(), q.value(2).toDouble(), q.value(3).toDouble()}] += q.value(4).toLongLong();
    a.Fails += q.value(5).toLongLong();
  };
  const QVariant name = QString::fromStdString(figure);
  if (parts.Summary) {
    QVariantList values = parts.Summary->Values;
    if (!figure.empty()) values << name;
    if (Each(db,
             "SELECT s.figure, s.bounds, s.min_value, s.max_value, SUM(s.n), SUM(s.fails) FROM stats_rules s" +
                 And(*parts.Summary, figure.empty() ? "1 = 1" : "s.figure = ?") +
                 " GROUP BY s.figure, s.bounds, s.min_value, s.max_value",
             values, add, error))
      return 1;
  }
  for (const SqlWhere& w : parts.Runs) {
    const SqlWhere join = RunsJoin(db, w, "rules", figure.empty() ? QString() : "c.figure", "= ?",
                                   figure.empty() ? QVariantList{} : QVariantList{name});
    if (Each(db,
             QString("SELECT c.figure, CASE WHEN c.min_value IS NULL THEN 0 ELSE 1 END"
                     " + CASE WHEN c.max_value IS NULL THEN 0 ELSE 2 END, COALESCE(c.min_value, 0),"
                     " COALESCE(c.max_value, 0), COUNT(*), SUM(CASE WHEN c.outcome = %1 THEN 1 ELSE 0 END)")
                     .arg(OutcomeCode(RuleOutcome::Fail)) +
                 join.Sql + " GROUP BY 1, 2, 3, 4",
             join.Values, add, error))
      return 1;
  }
  return 0;
}

// n, sums around shift, min and max of one figure's values in a runs part.
int FigureMomentsAround(QSqlDatabase& db, const SqlWhere& w, const std::string& figure, double shift, Moments& m,
                        QString& error) {
  const SqlWhere join = RunsJoin(db, w, "figures", "c.name", "= ?", {QString::fromStdString(figure)}, Measured);
  QVariantList values{shift};
  values += join.Values;
  m = Moments{};
  return Each(
      db,
      "SELECT COUNT(d), SUM(d), SUM(d * d), MIN(v), MAX(v) FROM (SELECT c.value AS v, c.value - ? AS d" + join.Sql +
          ") t",
      values,
      [&](QSqlQuery& q) {
        ShiftedSums s;
        s.N = q.value(0).toLongLong();
        if (s.N == 0) return;
        s.Shift = shift;
        s.Sum = q.value(1).toDouble();
        s.SumSquares = q.value(2).toDouble();
        s.Min = q.value(3).toDouble();
        s.Max = q.value(4).toDouble();
        m = MomentsOf(s);
      },
      error);
}

// The listed figures' measured values, merged over the parts. The summaries
// give per day a count, mean and squared deviations: the engine merges them
// around the overall mean, found first, so that nothing cancels. A runs part
// is summed plainly, the cheapest the engines do; where plain sums of
// squares would cancel (values far from zero against their spread), that
// figure gets a second pass around its mean.
int ListedMoments(QSqlDatabase& db, const Parts& parts, const std::vector<std::string>& listed, Accumulators& figures,
                  QString& error) {
  if (listed.empty()) return 0;
  QVariantList names;
  QStringList marks;
  for (const std::string& name : listed) {
    names << QString::fromStdString(name);
    marks << "?";
  }
  const QString in = "s.name IN (" + marks.join(',') + ")";
  auto merge = [&](const std::string& name, const Moments& m) {
    Moments& all = figures[name].All;
    all = MergeMoments(all, m);
  };
  if (parts.Summary) {
    const QString where = And(*parts.Summary, in);
    QVariantList values = parts.Summary->Values + names;
    values += parts.Summary->Values + names;
    if (Each(
            db,
            "SELECT s.name, SUM(s.n), t.mean, SUM(s.m2 + s.n * (s.mean - t.mean) * (s.mean - t.mean)),"
            " MIN(s.min_value), MAX(s.max_value) FROM stats_figures s JOIN (SELECT s.name AS name,"
            " SUM(s.n * s.mean) / SUM(s.n) AS mean FROM stats_figures s" +
                where + " GROUP BY s.name) t ON t.name = s.name" + where + " GROUP BY s.name, t.mean",
            values,
            [&](QSqlQuery& q) {
              merge(q.value(0).toString().toStdString(),
                    {q.value(1).toLongLong(), q.value(2).toDouble(), q.value(3).toDouble(), q.value(4).toDouble(),
                     q.value(5).toDouble()});
            },
            error))
      return 1;
  }
  for (const SqlWhere& w : parts.Runs) {
    const SqlWhere join = RunsJoin(db, w, "figures", "c.name", "IN (" + marks.join(',') + ")", names, Measured);
    std::vector<std::pair<std::string, Moments>> part;
    std::vector<std::string> refine;
    if (Each(
            db,
            "SELECT c.name, COUNT(c.value), SUM(c.value), SUM(c.value * c.value), MIN(c.value), MAX(c.value)" +
                join.Sql + " GROUP BY c.name",
            join.Values,
            [&](QSqlQuery& q) {
              ShiftedSums sums;
              sums.N = q.value(1).toLongLong();
              sums.Sum = q.value(2).toDouble();
              sums.SumSquares = q.value(3).toDouble();
              sums.Min = q.value(4).toDouble();
              sums.Max = q.value(5).toDouble();
              part.emplace_back(q.value(0).toString().toStdString(), MomentsOf(sums));
              if (sums.SumSquares > CancellationRatio * part.back().second.M2 && sums.Max > sums.Min)
                refine.push_back(part.back().first);
            },
            error))
      return 1;
    for (auto& [name, m] : part) {
      if (std::find(refine.begin(), refine.end(), name) != refine.end() &&
          FigureMomentsAround(db, w, name, m.Mean, m, error))
        return 1;
      merge(name, m);
    }
  }
  return 0;
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

// One figure's limits and values over the parts.
int OneFigure(QSqlDatabase& db, const Parts& parts, const std::string& figure, FigureAccumulator& a,
              std::optional<double>& lsl, std::optional<double>& usl, QString& error) {
  Accumulators figures;
  if (TallyRules(db, parts, figure, figures, error) || ListedMoments(db, parts, {figure}, figures, error)) return 1;
  a = figures[figure];
  bool differ = false;
  PickLimits(a, IsPostgres(db), lsl, usl, differ);
  return 0;
}

int Compute(QSqlDatabase& db, const RunFilter& asked, const std::string& extraFigure, bool summaries, RunStats& stats,
            QString& error) {
  stats = RunStats{};
  // Golden checks count in no statistic; the summaries never held them.
  RunFilter filter = asked;
  filter.ProductionOnly = true;
  const Parts parts = SplitFilter(filter, summaries);
  std::int64_t judgedWithSerial = 0;
  if (CountVerdicts(db, parts, stats, judgedWithSerial, error)) return 1;
  // The yield reads the runs' serial index, the rest the summaries: on a
  // second connection the two go side by side. A unit's first run is the
  // first within the filter, so the yield cannot be cut into days.
  const SqlWhere w = BuildRunWhere(filter);
  const int pass = VerdictCode(VerdictResult::Pass), fail = VerdictCode(VerdictResult::Fail),
            incomplete = VerdictCode(VerdictResult::Incomplete);
  // As an expression, so that SQLite reads the serial index in its order
  // rather than the verdict index and a sort of the whole log.
  const QString judged = QString("r.verdict + 0 IN (%1, %2, %3)").arg(pass).arg(fail).arg(incomplete);
  const QString yieldSql = QString(
                               "SELECT COUNT(*), SUM(CASE WHEN verdict = %1 THEN 1 ELSE 0 END) FROM ("
                               " SELECT r.verdict AS verdict, ROW_NUMBER() OVER (PARTITION BY r.serial"
                               " ORDER BY r.time_ms, r.seq) AS n FROM runs r")
                               .arg(pass) +
                           And(w, "r.serial <> '' AND " + judged) + ") t WHERE n = 1";
  // All runs: each serial's first judged run is marked as the log is
  // written, and the summaries count them.
  const bool allRuns = summaries && BuildRunWhere(asked).Sql.isEmpty();
  auto yield = [&stats, &w, yieldSql, allRuns](QSqlDatabase& on, QString& e) {
    if (allRuns) return 0;
    QSqlQuery u(on);
    if (Run(u, yieldSql, w.Values, e) || !u.next()) return 1;
    stats.Units = u.value(0).toLongLong();
    stats.FirstPassUnits = u.value(1).toLongLong();
    return 0;
  };
  int yieldFailed = -1;  // -1: not run yet
  QString yieldError;
  const QString side = QString("%1_stats_%2").arg(db.connectionName()).arg(NextSideConnection.fetch_add(1));
  if (!allRuns) stats.Units = stats.FirstPassUnits = 0;
  std::thread beside([&] {
    if (allRuns) return;
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
  Accumulators figures;
  if (TallyRules(db, parts, "", figures, error)) return 1;
  std::vector<std::string> listed;  // figures with a bound, then the extra one
  std::vector<std::pair<std::string, std::int64_t>> fails;
  for (const auto& [name, a] : figures) {
    if (a.Fails > 0) fails.emplace_back(name, a.Fails);
    if (Bounded(a)) listed.push_back(name);
  }
  if (!extraFigure.empty() && std::find(listed.begin(), listed.end(), extraFigure) == listed.end())
    listed.push_back(extraFigure);
  if (ListedMoments(db, parts, listed, figures, error)) return 1;
  beside.join();
  if (!allRuns && yieldFailed != 0 && yield(db, error)) return 1;  // no second connection: here, then
  stats.Retests = judgedWithSerial - stats.Units;
  if (stats.Units > 0)
    stats.FirstPassYield = static_cast<double>(stats.FirstPassUnits) / static_cast<double>(stats.Units);
  for (const std::string& name : listed) {
    const FigureAccumulator& a = figures[name];
    std::optional<double> lsl, usl;
    bool differ = false;
    PickLimits(a, IsPostgres(db), lsl, usl, differ);
    stats.Figures.push_back(Finish(name, a.All, lsl, usl, differ));
  }
  stats.Pareto = RankPareto(std::move(fails));
  return 0;
}

// The smallest value that falls in bin k or above, as the engine computes
// a value's bin ((v - low) / width, truncated): its bins are then ranges of
// the figure's index. The engines' arithmetic is the same IEEE double.
double BinStart(double low, double width, int k) {
  const auto bin = [&](double v) { return std::floor((v - low) / width); };
  double t = low + k * width;
  while (bin(t) >= k) t = std::nextafter(t, -INFINITY);
  while (bin(t) < k) t = std::nextafter(t, INFINITY);
  return t;
}

}  // namespace

int ComputeRunStats(QSqlDatabase& db, const RunFilter& filter, const std::string& extraFigure, RunStats& stats,
                    QString& error) {
  return Compute(db, filter, extraFigure, true, stats, error);
}

int ComputeRunStatsFromRuns(QSqlDatabase& db, const RunFilter& filter, const std::string& extraFigure, RunStats& stats,
                            QString& error) {
  return Compute(db, filter, extraFigure, false, stats, error);
}

int ComputeFigureSeries(QSqlDatabase& db, const RunFilter& asked, const std::string& figure, int maxPoints,
                        FigureSeries& series, QString& error) {
  RunFilter filter = asked;
  filter.ProductionOnly = true;
  series = FigureSeries{};
  series.Figure = figure;
  Accumulators limits;
  if (TallyRules(db, SplitFilter(filter, true), figure, limits, error)) return 1;
  bool differ = false;
  PickLimits(limits[figure], IsPostgres(db), series.Lsl, series.Usl, differ);
  // The newest runs first, as the table's first page finds them (from the
  // time index, no sort), then their values: `runs` runs, more when too few
  // of them have the figure. Every run comes back, with or without a value,
  // so that a short answer says the filter has no more runs.
  const SqlWhere w = BuildRunWhere(filter);
  const int wanted = std::max(1, maxPoints) + 1;
  for (qint64 runs = wanted;; runs *= 8) {
    QVariantList values = w.Values;
    values << runs << QString::fromStdString(figure);
    QSqlQuery q(db);
    if (Run(q,
            "SELECT r.time_ms, r.seq, c.value FROM (SELECT r.time_ms, r.seq FROM runs r" + w.Sql +
                " ORDER BY r.time_ms DESC, r.seq DESC LIMIT ?) r LEFT JOIN " +
                (IsPostgres(db) ? "LATERAL (SELECT c.value FROM figures c WHERE c.run_seq = r.seq AND "
                                : "figures c ON c.run_seq = r.seq AND ") +
                "c.name || '' = ? AND " + Measured + (IsPostgres(db) ? ") c ON true" : "") +
                " ORDER BY r.time_ms DESC, r.seq DESC",
            values, error))
      return 1;
    series.Points.clear();
    qint64 found = 0, last = -1;
    while (q.next()) {
      if (q.value(1).toLongLong() != last || found == 0) ++found, last = q.value(1).toLongLong();
      if (!q.value(2).isNull() && static_cast<int>(series.Points.size()) < wanted)
        series.Points.push_back({q.value(0).toLongLong(), q.value(2).toDouble()});
    }
    if (static_cast<int>(series.Points.size()) >= wanted || found < runs) break;
  }
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
  FigureAccumulator a;
  if (OneFigure(db, SplitFilter(filter, true), figure, a, h.Lsl, h.Usl, error)) return 1;
  const Moments& m = a.All;
  h.Counts.assign(static_cast<std::size_t>(bins), 0);
  if (m.N == 0) return 0;
  h.Low = m.Min;
  h.BinWidth = (m.Max - m.Min) / bins;
  if (!(h.BinWidth > 0)) {  // one value: its bin in the middle, 1 % of it wide
    h.BinWidth = (m.Min != 0 ? std::fabs(m.Min) : 1.0) / 100;
    h.Low = m.Min - h.BinWidth * (bins / 2);
  }
  const SqlWhere w = BuildRunWhere(filter);
  const QVariant name = QString::fromStdString(figure);
  QSqlQuery q(db);
  if (w.Sql.isEmpty()) {
    // All runs: a count per bin over the figure's index, range by range;
    // the engine never orders or groups the values.
    QStringList counts;
    QVariantList values;
    for (int k = 0; k < bins; ++k) {
      QString range = "SELECT COUNT(*) FROM figures c WHERE c.name = ? AND " + Measured;
      values << name;
      if (k > 0) range += " AND c.value >= ?", values << BinStart(h.Low, h.BinWidth, k);
      if (k + 1 < bins) range += " AND c.value < ?", values << BinStart(h.Low, h.BinWidth, k + 1);
      counts << "(" + range + ")";
    }
    if (Run(q, "SELECT " + counts.join(", "), values, error) || !q.next()) return 1;
    for (int k = 0; k < bins; ++k) h.Counts[static_cast<std::size_t>(k)] = q.value(k).toLongLong();
    return 0;
  }
  // Values are >= Low, so truncation is the floor; PostgreSQL rounds a cast.
  const QString index = IsPostgres(db) ? "FLOOR((c.value - ?) / ?)" : "CAST((c.value - ?) / ? AS INTEGER)";
  const SqlWhere join = RunsJoin(db, w, "figures", "c.name", "= ?", {name}, Measured);
  QVariantList values{h.Low, h.BinWidth};
  values += join.Values;
  if (Run(q, "SELECT b, COUNT(*) FROM (SELECT " + index + " AS b" + join.Sql + ") t GROUP BY b", values, error))
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
