// Finding, exporting and summarising runs, against a small log worked out
// by hand.
#include <QBuffer>
#include <QLocale>

#include <cmath>
#include <tuple>

#include "PgCluster.h"
#include "RunLogTestKit.h"
#include "runlog/LogTarget.h"
#include "runlog/RunLogExport.h"
#include "runlog/RunLogQuery.h"
#include "runlog/RunLogSchema.h"
#include "runlog/RunLogStats.h"
#include "runlog/RunLogStore.h"

namespace kt::test {
namespace {

constexpr std::int64_t T0 = 1796638530000;  // 2026-12-07T10:15:30Z
constexpr std::int64_t Hour = 3600000;
constexpr auto None = std::nullopt;

struct Engine {
  const char* Name;
  bool Postgres;
};

class RunLogQueryTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    QString error;
    LogTarget target = SqliteAt(Dir / "log.db");
    std::string e;
    ASSERT_TRUE(!GetParam().Postgres || PgCluster::FreshDatabase(target, e) == 0) << e;
    ASSERT_EQ(Log.Open(target, error), 0) << error.toStdString();
    using V = VerdictResult;
    using O = RuleOutcome;
    LoggedRun r1 = MakeRun("r1", T0, "A", V::Fail);
    r1.Info.Name = "Lamp, \"big\"";
    r1.Info.Manufacturer = "line1\nline2";
    r1.Figures = {{"Urms", 230, true}, {"P", 12, true}, {"PF", 0.80, true}};
    r1.Result.Rules = {Rule("P", 12, 9, 11, O::Fail), Rule("PF", 0.80, 0.9, None, O::Fail)};
    LoggedRun r2 = MakeRun("r2", T0 + Hour + 500, "A", V::Pass);
    r2.Figures = {{"Urms", 231, true}, {"P", 10, true}, {"PF", 0.95, true}};
    r2.Result.Rules = {Rule("P", 10, 9, 11, O::Pass), Rule("PF", 0.95, 0.9, None, O::Pass)};
    LoggedRun r3 = MakeRun("r3", T0 + 2 * Hour, "B", V::Pass);
    r3.Station = "bench-2";
    r3.Figures = {{"Urms", 229, true}, {"P", 9.5, true}, {"PF", 0.92, true}};
    r3.Result.Rules = {Rule("P", 9.5, 9, 11, O::Pass), Rule("PF", 0.92, 0.9, None, O::Pass)};
    LoggedRun r4 = MakeRun("r4", T0 + 3 * Hour, "C", V::Fail, CompTest);
    r4.Info.Type = "T5-28W";
    r4.Figures = {{"P", 10.5, true}, {"PF", 0.85, true}, {"THD", 25, true}};
    r4.Result.Rules = {Rule("P", 10.5, 9, 11, O::Pass), Rule("PF", 0.85, 0.9, None, O::Fail),
                       Rule("THD", 25, None, 20, O::Fail)};
    LoggedRun r5 = MakeRun("r5", T0 + 4 * Hour, "", V::Pass);
    r5.Figures = {{"P", 10, true}, {"PF", 0.93, true}, {"THD", 10, true}};
    r5.Result.Rules = {Rule("P", 10, 8, 12, O::Pass), Rule("PF", 0.93, 0.9, None, O::Pass),
                       Rule("THD", 10, None, 20, O::Pass)};
    LoggedRun r6 = MakeRun("r6", T0 + 5 * Hour, "D", V::None);
    for (const LoggedRun* r : {&r1, &r2, &r3, &r4, &r5, &r6}) Write(*r);
  }
  void Write(const LoggedRun& run) {
    QSqlDatabase db = Log.Db();
    WriteOutcome outcome{};
    QString error;
    ASSERT_EQ(WriteRun(db, run, outcome, error), 0) << error.toStdString();
  }
  TempFolder Dir;
  RunLogConnection Log;
};

TEST_P(RunLogQueryTest, FiltersFindTheRightRunsNewestFirst) {
  struct Case {
    const char* What;
    RunFilter Filter;
    std::vector<QString> Ids;
  };
  auto f = [](auto set) {
    RunFilter r;
    set(r);
    return r;
  };
  const Case cases[] = {
      {"all", {}, {"r6", "r5", "r4", "r3", "r2", "r1"}},
      {"serial", f([](RunFilter& r) { r.Serial = "A"; }), {"r2", "r1"}},
      {"type", f([](RunFilter& r) { r.Type = "T5-28W"; }), {"r4"}},
      {"kind", f([](RunFilter& r) { r.Kind = CompTest; }), {"r4"}},
      {"verdict", f([](RunFilter& r) { r.Result = VerdictResult::Fail; }), {"r4", "r1"}},
      {"no verdict", f([](RunFilter& r) { r.Result = VerdictResult::None; }), {"r6"}},
      {"station", f([](RunFilter& r) { r.Station = "bench-2"; }), {"r3"}},
      {"dates, end excluded", f([](RunFilter& r) { r.FromMs = T0 + Hour, r.ToMs = T0 + 3 * Hour; }), {"r3", "r2"}},
      {"serial and verdict", f([](RunFilter& r) { r.Serial = "A", r.Result = VerdictResult::Pass; }), {"r2"}},
      {"nothing", f([](RunFilter& r) { r.Serial = "Z"; }), {}},
  };
  RunTableModel model;
  model.SetConnection(Log.Name());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    model.SetFilter(c.Filter);
    std::vector<QString> ids;
    for (int row = 0; row < model.rowCount(); ++row) ids.push_back(model.RunId(row));
    EXPECT_EQ(ids, c.Ids);
    std::int64_t count = -1;
    QString error;
    QSqlDatabase db = Log.Db();
    ASSERT_EQ(CountRuns(db, c.Filter, count, error), 0);
    EXPECT_EQ(count, static_cast<std::int64_t>(c.Ids.size()));
  }
  model.SetFilter({});
  model.sort(static_cast<int>(RunColumn::Serial), Qt::AscendingOrder);
  std::vector<QString> bySerial;
  for (int row = 0; row < model.rowCount(); ++row) bySerial.push_back(model.RunId(row));
  EXPECT_EQ(bySerial, (std::vector<QString>{"r5", "r1", "r2", "r3", "r4", "r6"}));
  EXPECT_EQ(model.data(model.index(3, static_cast<int>(RunColumn::Kind))).toString(), "input");
  model.SetChinese(true);
  EXPECT_EQ(model.data(model.index(4, static_cast<int>(RunColumn::Kind))).toString(), QString("综合特性"));
  EXPECT_EQ(model.headerData(static_cast<int>(RunColumn::Serial), Qt::Horizontal).toString(), QString("序列号"));
}

// What a scan asks the log before it runs: a pass of the serial since a
// moment, and this station's newest passing golden check of a profile. The
// audit trail reads back as written, apart from the link's events.
TEST_P(RunLogQueryTest, ScanLookUpsAndTheAuditTrail) {
  QSqlDatabase db = Log.Db();
  QString error;
  std::int64_t at = -1;
  ASSERT_EQ(LastPass(db, "A", T0, at, error), 0) << error.toStdString();
  EXPECT_EQ(at, T0 + Hour + 500);  // r2; r1 failed
  ASSERT_EQ(LastPass(db, "A", T0 + 2 * Hour, at, error), 0);
  EXPECT_EQ(at, 0);
  WriteOutcome written{};
  const auto audit = [&](const char* id, std::int64_t time, const char* station, const char* what, const char* after) {
    LoggedEvent e;
    e.Id = id, e.TimeUtcMs = time, e.Station = station, e.Audit = true, e.Who = "boss", e.What = what;
    e.OldValue = "old", e.NewValue = after;
    ASSERT_EQ(WriteEvent(db, e, written, error), 0) << error.toStdString();
  };
  audit("a1", T0 + 10, "bench-1", GoldenPassedWhat, "T8");
  audit("a2", T0 + 20, "bench-2", GoldenPassedWhat, "T8");
  audit("a3", T0 + 30, "bench-1", "override", "golden");
  ASSERT_EQ(LastGoldenPass(db, "bench-1", "T8", at, error), 0);
  EXPECT_EQ(at, T0 + 10);
  ASSERT_EQ(LastGoldenPass(db, "bench-1", "T5", at, error), 0);
  EXPECT_EQ(at, 0);
  std::vector<EventRow> rows;
  RunFilter station;
  station.Station = "bench-1";
  ASSERT_EQ(QueryAudit(db, station, rows, error), 0);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(rows[1].Who == "boss" && rows[1].What == "override" && rows[1].OldValue == "old" &&
              rows[1].NewValue == "golden");
  ASSERT_EQ(QueryEvents(db, {}, rows, error), 0);
  EXPECT_TRUE(rows.empty());
}

TEST_P(RunLogQueryTest, ModelFetchesAPageAtATimeAndInsertsNewRunsWhereTheyBelong) {
  for (int i = 0; i < 300; ++i) Write(MakeRun("bulk-" + std::to_string(i), T0 - (i + 1) * 1000, "S"));
  RunTableModel model;
  model.SetConnection(Log.Name());
  EXPECT_EQ(model.rowCount(), RunTableModel::PageRows);
  // The newest on top, one among the rows shown, one past them (a later page's).
  for (auto [id, time] : {std::pair{"new", T0 + 9 * Hour}, {"mid", T0 - 50500}, {"oldest", T0 - 999000}})
    Write(MakeRun(id, time, "N"));
  EXPECT_EQ(model.Update(), 2);
  EXPECT_EQ(model.RunId(0), "new");
  EXPECT_EQ(model.RunId(57), "mid");  // after r6 … r1, bulk-0 … bulk-49
  ASSERT_TRUE(model.canFetchMore({}));
  model.fetchMore({});
  EXPECT_EQ(model.rowCount(), 309);
  EXPECT_FALSE(model.canFetchMore({}));
  EXPECT_EQ(model.RunId(307), "bulk-299");
  EXPECT_EQ(model.RunId(308), "oldest");
}

TEST_P(RunLogQueryTest, CsvQuotesAndUsesPointDecimalsInEveryLocale) {
  const QString expected =
      QString("\xEF\xBB\xBF") +
      "id,time_utc,station,kind,serial,type,name,standard,temperature,humidity,manufacturer,operator,"
      "luminous_flux,colour_temperature,test_date,verdict,profile,profile_revision,profile_hash,program_version,"
      "Urms,P,PF,P.min,P.max,P.outcome,PF.min,PF.max,PF.outcome\r\n"
      "r2,2026-12-07T11:15:30.500Z,bench-1,input,A,T8-36W,,,,,,,,,,PASS,,,,,231,10,0.95,9,11,pass,0.9,,pass\r\n"
      "r1,2026-12-07T10:15:30.000Z,bench-1,input,A,T8-36W,\"Lamp, \"\"big\"\"\",,,,\"line1\nline2\",,,,,FAIL,,,,,"
      "230,12,0.8,9,11,fail,0.9,,fail\r\n";
  RunFilter filter;
  filter.Serial = "A";
  const QLocale saved;
  std::int64_t rows = 0;
  QString error;
  QSqlDatabase db = Log.Db();
  for (const QLocale& locale :
       {QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Chinese, QLocale::China), QLocale::c()}) {
    SCOPED_TRACE(locale.name().toStdString());
    QLocale::setDefault(locale);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_EQ(ExportRunsCsv(db, filter, RunColumn::Time, true, out, rows, error), 0) << error.toStdString();
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(QString::fromUtf8(out.data()).toStdString(), expected.toStdString());
  }
  QLocale::setDefault(saved);
  // A run printed as it ends (the command line) reads as its export does.
  LoggedRun r1;
  ASSERT_EQ(ReadRun(db, "r1", r1, error), 0) << error.toStdString();
  EXPECT_EQ(QString::fromUtf8(RunCsvHeader(r1) + RunCsvRow(r1)).toStdString(),
            expected.left(expected.indexOf("\r\n") + 2).toStdString() +
                expected.mid(expected.indexOf("\r\nr1,") + 2).toStdString());
  // The events beside them: the serial (which events have not) selects none away.
  WriteOutcome written{};
  ASSERT_EQ(WriteEvent(db, {"e1", T0 + 1500, "bench-1", InputTest, "no answer, \"late\""}, written, error), 0);
  QBuffer events;
  events.open(QIODevice::WriteOnly);
  ASSERT_EQ(ExportEventsCsv(db, filter, events, rows, error), 0) << error.toStdString();
  EXPECT_EQ(events.data().toStdString(),
            "\xEF\xBB\xBFid,time_utc,station,kind,what\r\n"
            "e1,2026-12-07T10:15:31.500Z,bench-1,input,\"no answer, \"\"late\"\"\"\r\n");
  EXPECT_EQ(EventsCsvPath("/data/runs.csv"), "/data/runs-events.csv");
  EXPECT_EQ(CsvNumber(1e-7), "1e-07");
  EXPECT_EQ(CsvNumber(1234567.25), "1234567.25");
  EXPECT_EQ(CsvField("a\rb"), "\"a\rb\"");
}

struct FigureRow {
  const char* Name;
  std::int64_t N;
  std::optional<double> Mean, Sd, Min, Max, Lsl, Usl, Cpk;
  bool Differ;
};

// Within 1e-6, relative to the value's size beyond 1.
void ExpectFigure(const FigureStats& f, const FigureRow& e) {
  SCOPED_TRACE(e.Name);
  EXPECT_EQ(f.Figure, e.Name);
  EXPECT_EQ(f.N, e.N);
  const auto near = [](std::optional<double> a, std::optional<double> b) {
    return a.has_value() == b.has_value() && (!a || std::fabs(*a - *b) < 1e-6 * std::max(1.0, std::fabs(*b)));
  };
  for (auto [got, want] : {std::pair{f.Mean, e.Mean}, {f.StdDev, e.Sd}, {f.Min, e.Min}, {f.Max, e.Max}, {f.Cpk, e.Cpk}})
    EXPECT_TRUE(near(got, want)) << got.value_or(-1) << " for " << want.value_or(-1);
  EXPECT_EQ(f.Lsl, e.Lsl);
  EXPECT_EQ(f.Usl, e.Usl);
  EXPECT_EQ(f.Unreliable, f.N < ReliableSampleSize);
  EXPECT_EQ(f.LimitsDiffer, e.Differ);
}

TEST_P(RunLogQueryTest, StatisticsMatchTheHandWorkedValues) {
  // A run judged on Urms after the filter's end: the filtered runs' measured
  // Urms stays theirs.
  LoggedRun r7 = MakeRun("r7", T0 + 6 * Hour, "E");
  r7.Figures = {{"Urms", 240, true}};
  r7.Result.Rules = {Rule("Urms", 240, 200, 250, RuleOutcome::Pass)};
  Write(r7);
  // A golden check counts in no figure below: not as A's first run (it comes
  // before it), nor its verdict, its failed rule or its value.
  LoggedRun check = MakeRun("g1", T0 - 1, "A", VerdictResult::Fail);
  check.Purpose = RunPurpose::GoldenCheck;
  check.Figures = {{"Urms", 999, true}};
  check.Result.Rules = {Rule("PF", 0.1, 0.9, None, RuleOutcome::Fail)};
  Write(check);
  RunFilter upToR6;
  upToR6.ToMs = T0 + 6 * Hour;
  RunStats s;
  QString error;
  QSqlDatabase db = Log.Db();
  ASSERT_EQ(ComputeRunStats(db, upToR6, "Urms", s, error), 0) << error.toStdString();
  EXPECT_EQ(std::tuple(s.Runs, s.Passed, s.Failed, s.Unjudged), std::tuple(6, 3, 2, 1));
  // A failed then passed (one retest), B passed, C failed; r5 has no serial.
  EXPECT_EQ(std::tuple(s.Units, s.FirstPassUnits, s.Retests, s.RunsWithoutSerial), std::tuple(3, 1, 1, 1));
  ASSERT_TRUE(s.FirstPassYield);
  EXPECT_DOUBLE_EQ(*s.FirstPassYield, 1.0 / 3);
  ASSERT_EQ(s.Pareto.size(), 3u);
  const std::pair<const char*, std::int64_t> pareto[] = {{"PF", 2}, {"P", 1}, {"THD", 1}};
  const double cumulative[] = {0.5, 0.75, 1.0};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(s.Pareto[i].Figure, pareto[i].first);
    EXPECT_EQ(s.Pareto[i].Count, pareto[i].second);
    EXPECT_DOUBLE_EQ(s.Pareto[i].Cumulative, cumulative[i]);
  }
  ASSERT_EQ(s.Figures.size(), 4u);
  ExpectFigure(s.Figures[0], {"P", 5, 10.4, 0.9617692, 9.5, 12, 9.0, 11.0, 0.2079501, true});
  ExpectFigure(s.Figures[1], {"PF", 5, 0.89, 0.0628490, 0.80, 0.95, 0.9, None, -0.0530372, false});
  ExpectFigure(s.Figures[2], {"THD", 2, 17.5, 10.6066017, 10, 25, None, 20.0, 0.0785674, false});
  ExpectFigure(s.Figures[3], {"Urms", 3, 230, 1, 229, 231, None, None, None, false});
  FigureSeries series;
  ASSERT_EQ(ComputeFigureSeries(db, upToR6, "Urms", 10, series, error), 0);
  ASSERT_EQ(series.Points.size(), 3u);
  EXPECT_EQ(series.Points[2].Value, 229);
  FigureHistogram h;
  ASSERT_EQ(ComputeFigureHistogram(db, upToR6, "Urms", 2, h, error), 0);
  EXPECT_EQ(h.Counts, (std::vector<std::int64_t>{1, 2}));

  // All runs: Urms judged once, its values all four measured ones; a figure
  // nobody measured has no value, not zeros.
  ASSERT_EQ(ComputeRunStats(db, {}, "Nope", s, error), 0);
  ASSERT_EQ(s.Figures.size(), 5u);
  ExpectFigure(s.Figures[3], {"Urms", 4, 232.5, 5.0662281, 229, 240, 200.0, 250.0, 1.1514155, false});
  ExpectFigure(s.Figures[4], {"Nope", 0, None, None, None, None, None, None, None, false});
  ASSERT_EQ(ComputeRunStats(db, upToR6, "P", s, error), 0);
  EXPECT_EQ(s.Figures.size(), 3u);  // the extra figure is not listed twice
  RunFilter serialA;
  serialA.Serial = "A";
  ASSERT_EQ(ComputeRunStats(db, serialA, "", s, error), 0);
  EXPECT_EQ(std::tuple(s.Units, s.FirstPassUnits, s.Retests), std::tuple(1, 0, 1));
}

TEST_P(RunLogQueryTest, SeriesAndHistogramOfOneFigure) {
  QSqlDatabase db = Log.Db();
  QString error;
  FigureSeries series;
  ASSERT_EQ(ComputeFigureSeries(db, {}, "P", 3, series, error), 0) << error.toStdString();
  ASSERT_EQ(series.Points.size(), 3u);
  EXPECT_TRUE(series.Truncated);
  EXPECT_EQ(series.Points[0].TimeMs, T0 + 2 * Hour);
  EXPECT_EQ(series.Points[0].Value, 9.5);
  EXPECT_EQ(series.Points[2].Value, 10);
  EXPECT_EQ(series.Lsl, 9.0);
  EXPECT_EQ(series.Usl, 11.0);

  FigureHistogram h;
  ASSERT_EQ(ComputeFigureHistogram(db, {}, "P", 5, h, error), 0) << error.toStdString();
  EXPECT_EQ(h.Low, 9.5);
  EXPECT_EQ(h.BinWidth, 0.5);
  EXPECT_EQ(h.Counts, (std::vector<std::int64_t>{1, 2, 1, 0, 1}));  // 9.5 | 10 10 | 10.5 | | 12
}

// The day summaries against the runs themselves: whole days, days cut at
// either end, every key of the filter, values far from zero against their
// spread; then again after the summaries are rebuilt from the runs.
TEST_P(RunLogQueryTest, SummariesGiveWhatTheRunsGive) {
  const std::int64_t day = StatsBucketMs, d0 = StatsDay(T0) * day;
  std::vector<LoggedRun> runs;
  std::vector<double> fars;
  for (int i = 0; i < 48; ++i) {
    const VerdictResult v = i % 13 == 0   ? VerdictResult::None
                            : i % 11 == 0 ? VerdictResult::Incomplete
                            : i % 5 == 0  ? VerdictResult::Fail
                                          : VerdictResult::Pass;
    LoggedRun r = MakeRun("s" + std::to_string(i), d0 + i * 9000000LL + 60000, i % 7 ? "S" + std::to_string(i / 3) : "",
                          v, i % 3 ? InputTest : CompTest);
    r.Station = "bench-" + std::to_string(i % 2);
    r.Info.Type = "T" + std::to_string(i % 4 / 2);
    const double far = 1e6 + 0.001 * (i * 37 % 11), p = 9 + (i % 7) * 0.5;
    fars.push_back(far);
    r.Figures = {{"Far", far, true}, {"P", p, true}, {"P", p + 0.25, true}, {"THD", 30, i % 4 != 0}};
    r.Result.Rules = {
        Rule("P", p, i % 5 ? 9.0 : 8.0, i % 5 ? 11.0 : 12.0, p > 11 ? RuleOutcome::Fail : RuleOutcome::Pass),
        Rule("THD", 30, None, 20, RuleOutcome::Fail), Rule("Far", far, 1e6, None, RuleOutcome::Pass)};
    runs.push_back(r);
  }
  QSqlDatabase db = Log.Db();
  QString error;
  std::reverse(runs.begin(), runs.end());  // each comes before those logged: the serial's first moves
  ASSERT_EQ(WriteRuns(db, runs, error), 0) << error.toStdString();
  const std::optional<std::int64_t> any;
  const RunFilter filters[] = {
      // from, to, serial, type, station, kind, verdict
      {any, any, "", "", "", None, None},
      {d0 + day + 5400000, any, "", "", "", None, None},
      {any, d0 + 3 * day + 7200000, "", "", "", None, None},
      {d0 + day, d0 + 3 * day, "", "", "", None, None},
      {d0 + 2 * day + 3600000, d0 + 2 * day + 36000000, "", "", "", None, None},
      {d0 + 1800000, any, "", "T1", "", None, None},
      {any, any, "", "", "bench-0", CompTest, None},
      {any, any, "", "", "", None, VerdictResult::Fail},
      {any, any, "S4", "", "", None, None},
  };
  for (bool rebuilt : {false, true}) {
    ASSERT_EQ(rebuilt ? RebuildRunStats(db, error) : 0, 0) << error.toStdString();
    for (const RunFilter& f : filters) {
      SCOPED_TRACE(testing::Message() << rebuilt << " " << f.FromMs.value_or(0) - d0 << " " << f.ToMs.value_or(0) - d0);
      RunStats a, b;
      ASSERT_EQ(ComputeRunStats(db, f, "Far", a, error), 0) << error.toStdString();
      ASSERT_EQ(ComputeRunStatsFromRuns(db, f, "Far", b, error), 0) << error.toStdString();
      EXPECT_EQ(std::tuple(a.Runs, a.Passed, a.Failed, a.Incomplete, a.Unjudged, a.Units, a.FirstPassUnits, a.Retests,
                           a.RunsWithoutSerial),
                std::tuple(b.Runs, b.Passed, b.Failed, b.Incomplete, b.Unjudged, b.Units, b.FirstPassUnits, b.Retests,
                           b.RunsWithoutSerial));
      ASSERT_EQ(a.Pareto.size(), b.Pareto.size());
      for (std::size_t i = 0; i < a.Pareto.size(); ++i)
        EXPECT_EQ(std::tie(a.Pareto[i].Figure, a.Pareto[i].Count), std::tie(b.Pareto[i].Figure, b.Pareto[i].Count));
      ASSERT_EQ(a.Figures.size(), b.Figures.size());
      for (std::size_t i = 0; i < a.Figures.size(); ++i) {
        const FigureStats &x = a.Figures[i], &y = b.Figures[i];
        ExpectFigure(x, {y.Figure.c_str(), y.N, y.Mean, y.StdDev, y.Min, y.Max, y.Lsl, y.Usl, y.Cpk, y.LimitsDiffer});
      }
      FigureHistogram h, g;
      ASSERT_EQ(ComputeFigureHistogram(db, f, "P", 4, h, error), 0) << error.toStdString();
      RunFilter all = f;  // the same runs, counted by the engine instead of the figure's index
      all.FromMs = f.FromMs.value_or(d0 - day);
      ASSERT_EQ(ComputeFigureHistogram(db, all, "P", 4, g, error), 0) << error.toStdString();
      EXPECT_EQ(std::tie(h.Low, h.BinWidth, h.Counts, h.Lsl, h.Usl),
                std::tie(g.Low, g.BinWidth, g.Counts, g.Lsl, g.Usl));
    }
  }
  // Far from zero: the mean and spread of its 48 values, worked out apart.
  RunStats s;
  ASSERT_EQ(ComputeRunStats(db, {}, "", s, error), 0) << error.toStdString();
  ASSERT_EQ(s.Figures[0].Figure, "Far");
  double mean = 0, m2 = 0;
  for (double v : fars) mean += (v - 1e6) / 48;
  for (double v : fars) m2 += (v - 1e6 - mean) * (v - 1e6 - mean);
  EXPECT_NEAR(*s.Figures[0].Mean, 1e6 + mean, 1e-9);
  EXPECT_NEAR(*s.Figures[0].StdDev, std::sqrt(m2 / 47), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Engines, RunLogQueryTest,
                         ::testing::Values(Engine{"SQLite", false}, Engine{"PostgreSQL", true}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST(RunLogStats, CpkAndShiftedMoments) {
  struct Case {
    double Mean, Sd;
    std::optional<double> Lsl, Usl, Cpk;
  };
  const Case cases[] = {
      {10, 1, 7.0, 16.0, 1.0},                                                            // the nearer bound decides
      {10, 1, None, 13.0, 1.0},  {10, 1, 4.0, None, 2.0},  {12, 1, 7.0, 10.0, -2.0 / 3},  // outside: negative
      {10, 1, None, None, None}, {10, 0, 7.0, 13.0, None},
  };
  for (const Case& c : cases) {
    const auto cpk = ProcessCpk(c.Mean, c.Sd, c.Lsl, c.Usl);
    ASSERT_EQ(cpk.has_value(), c.Cpk.has_value());
    if (cpk) {
      EXPECT_NEAR(*cpk, *c.Cpk, 1e-12);
    }
  }
  // {10, 20} summed around 15: n, sum, sum of squares, min, max.
  const Moments m = MomentsOf({2, 15, 0, 50, 10, 20});
  EXPECT_EQ(std::tuple(m.N, m.Mean, m.M2, m.Min, m.Max), std::tuple(2, 15.0, 50.0, 10.0, 20.0));
  EXPECT_DOUBLE_EQ(SampleStdDev(m), std::sqrt(50.0));
}

}  // namespace
}  // namespace kt::test
