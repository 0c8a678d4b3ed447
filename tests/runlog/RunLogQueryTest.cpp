// Finding, exporting and summarising runs, against a small log worked out
// by hand.
#include <QBuffer>
#include <QLocale>

#include <cmath>

#include "PgCluster.h"
#include "RunLogTestKit.h"
#include "runlog/LogTarget.h"
#include "runlog/RunLogExport.h"
#include "runlog/RunLogQuery.h"
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

// One server for the suite, a fresh database for each test.
LogTarget FreshPostgres(std::string& error) {
  static PgCluster cluster;
  static int started = -1, next = 0;
  if (started < 0) started = cluster.Start(error);
  LogTarget t;
  if (started != 0) return t;
  std::string e;
  ParseLogTarget(cluster.Target(), t, e);
  RunLogConnection admin;
  QString message;
  if (admin.Open(t, message)) {
    error = message.toStdString();
    return LogTarget{};
  }
  t.Database = "query" + std::to_string(next++);
  QSqlQuery(admin.Db()).exec(QString::fromStdString("CREATE DATABASE " + t.Database));
  return t;
}

class RunLogQueryTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    QString error;
    LogTarget target = SqliteAt(Dir / "log.db");
    if (GetParam().Postgres) {
      std::string e;
      target = FreshPostgres(e);
      ASSERT_EQ(target.Kind, LogTarget::Driver::Postgres) << e;
    }
    ASSERT_EQ(Log.Open(target, error), 0) << error.toStdString();
    using V = VerdictResult;
    using O = RuleOutcome;
    LoggedRun r1 = MakeRun("r1", T0, "A", V::Fail);
    r1.Info.Name = "Lamp, \"big\"";
    r1.Info.Manufacturer = "line1\nline2";
    r1.Figures = {{"Urms", 230, true}, {"P", 12, true}, {"PF", 0.80, true}};
    r1.Result.Rules = {Rule("P", 12, 9, 11, O::Fail), Rule("PF", 0.80, 0.9, None, O::Fail)};
    LoggedRun r2 = MakeRun("r2", T0 + Hour, "A", V::Pass);
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

TEST_P(RunLogQueryTest, ModelFetchesAPageAtATime) {
  for (int i = 0; i < 300; ++i) Write(MakeRun("bulk-" + std::to_string(i), T0 - (i + 1) * 1000, "S"));
  RunTableModel model;
  model.SetConnection(Log.Name());
  EXPECT_EQ(model.rowCount(), RunTableModel::PageRows);
  ASSERT_TRUE(model.canFetchMore({}));
  model.fetchMore({});
  EXPECT_EQ(model.rowCount(), 306);
  EXPECT_FALSE(model.canFetchMore({}));
  EXPECT_EQ(model.RunId(305), "bulk-299");
}

TEST_P(RunLogQueryTest, CsvQuotesAndUsesPointDecimalsInEveryLocale) {
  const QString expected =
      QString("\xEF\xBB\xBF") +
      "id,time_utc,station,kind,serial,type,name,standard,temperature,humidity,manufacturer,operator,"
      "luminous_flux,colour_temperature,test_date,verdict,profile,profile_revision,profile_hash,program_version,"
      "Urms,P,PF,P.min,P.max,P.outcome,PF.min,PF.max,PF.outcome\r\n"
      "r2,2026-12-07T11:15:30Z,bench-1,input,A,T8-36W,,,,,,,,,,PASS,,,,,231,10,0.95,9,11,pass,0.9,,pass\r\n"
      "r1,2026-12-07T10:15:30Z,bench-1,input,A,T8-36W,\"Lamp, \"\"big\"\"\",,,,\"line1\nline2\",,,,,FAIL,,,,,"
      "230,12,0.8,9,11,fail,0.9,,fail\r\n";
  RunFilter filter;
  filter.Serial = "A";
  const QLocale saved;
  for (const QLocale& locale : {QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Chinese, QLocale::China),
                                QLocale::c()}) {
    SCOPED_TRACE(locale.name().toStdString());
    QLocale::setDefault(locale);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    std::int64_t rows = 0;
    QString error;
    QSqlDatabase db = Log.Db();
    ASSERT_EQ(ExportRunsCsv(db, filter, RunColumn::Time, true, out, rows, error), 0) << error.toStdString();
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(QString::fromUtf8(out.data()).toStdString(), expected.toStdString());
  }
  QLocale::setDefault(saved);
  EXPECT_EQ(CsvNumber(1e-7), "1e-07");
  EXPECT_EQ(CsvNumber(1234567.25), "1234567.25");
  EXPECT_EQ(CsvField("a\rb"), "\"a\rb\"");
}

void ExpectFigure(const FigureStats& f, const char* name, std::int64_t n, double mean, double sd, double min,
                  double max, std::optional<double> lsl, std::optional<double> usl, std::optional<double> cpk,
                  bool differ) {
  SCOPED_TRACE(name);
  EXPECT_EQ(f.Figure, name);
  EXPECT_EQ(f.N, n);
  EXPECT_NEAR(f.Mean, mean, 1e-9);
  EXPECT_NEAR(f.StdDev, sd, 1e-6);
  EXPECT_EQ(f.Min, min);
  EXPECT_EQ(f.Max, max);
  EXPECT_EQ(f.Lsl, lsl);
  EXPECT_EQ(f.Usl, usl);
  ASSERT_EQ(f.Cpk.has_value(), cpk.has_value());
  if (cpk) {
    EXPECT_NEAR(*f.Cpk, *cpk, 1e-5);
  }
  EXPECT_TRUE(f.Unreliable);
  EXPECT_EQ(f.LimitsDiffer, differ);
}

TEST_P(RunLogQueryTest, StatisticsMatchTheHandWorkedValues) {
  RunStats s;
  QString error;
  QSqlDatabase db = Log.Db();
  ASSERT_EQ(ComputeRunStats(db, {}, "Urms", s, error), 0) << error.toStdString();
  EXPECT_EQ(s.Runs, 6);
  EXPECT_EQ(s.Passed, 3);
  EXPECT_EQ(s.Failed, 2);
  EXPECT_EQ(s.Unjudged, 1);
  // A failed then passed (one retest), B passed, C failed; r5 has no serial.
  EXPECT_EQ(s.Units, 3);
  EXPECT_EQ(s.FirstPassUnits, 1);
  ASSERT_TRUE(s.FirstPassYield);
  EXPECT_DOUBLE_EQ(*s.FirstPassYield, 1.0 / 3);
  EXPECT_EQ(s.Retests, 1);
  EXPECT_EQ(s.RunsWithoutSerial, 1);
  ASSERT_EQ(s.Pareto.size(), 3u);
  const std::pair<const char*, std::int64_t> pareto[] = {{"PF", 2}, {"P", 1}, {"THD", 1}};
  const double cumulative[] = {0.5, 0.75, 1.0};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(s.Pareto[i].Figure, pareto[i].first);
    EXPECT_EQ(s.Pareto[i].Count, pareto[i].second);
    EXPECT_DOUBLE_EQ(s.Pareto[i].Cumulative, cumulative[i]);
  }
  ASSERT_EQ(s.Figures.size(), 4u);
  ExpectFigure(s.Figures[0], "P", 5, 10.4, 0.9617692, 9.5, 12, 9.0, 11.0, 0.2079501, true);
  ExpectFigure(s.Figures[1], "PF", 5, 0.89, 0.0628490, 0.80, 0.95, 0.9, None, -0.0530372, false);
  ExpectFigure(s.Figures[2], "THD", 2, 17.5, 10.6066017, 10, 25, None, 20.0, 0.0785674, false);
  ExpectFigure(s.Figures[3], "Urms", 3, 230, 1, 229, 231, None, None, None, false);

  ASSERT_EQ(ComputeRunStats(db, {}, "P", s, error), 0);
  EXPECT_EQ(s.Figures.size(), 3u);  // the extra figure is not listed twice
  RunFilter serialA;
  serialA.Serial = "A";
  ASSERT_EQ(ComputeRunStats(db, serialA, "", s, error), 0);
  EXPECT_EQ(s.Units, 1);
  EXPECT_EQ(s.FirstPassUnits, 0);
  EXPECT_EQ(s.Retests, 1);
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

INSTANTIATE_TEST_SUITE_P(Engines, RunLogQueryTest,
                         ::testing::Values(Engine{"SQLite", false}, Engine{"PostgreSQL", true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(RunLogStats, CpkIsMarkedUnreliableBelowThirtyValues) {
  TempFolder dir;
  RunLogConnection log;
  QString error;
  ASSERT_EQ(log.Open(SqliteAt(dir / "log.db"), error), 0);
  QSqlDatabase db = log.Db();
  for (int i = 1; i <= 30; ++i) {
    LoggedRun r = MakeRun("x" + std::to_string(i), T0 + i * 1000, "S" + std::to_string(i));
    r.Result.Rules = {Rule("X", i, 0, 40, RuleOutcome::Pass)};
    WriteOutcome outcome{};
    ASSERT_EQ(WriteRun(db, r, outcome, error), 0);
  }
  struct Case {
    int N;
    bool Unreliable;
    double Mean;
  };
  for (const Case c : {Case{29, true, 15.0}, Case{30, false, 15.5}}) {
    RunFilter filter;
    filter.ToMs = T0 + (c.N + 1) * 1000;
    RunStats s;
    ASSERT_EQ(ComputeRunStats(db, filter, "", s, error), 0);
    ASSERT_EQ(s.Figures.size(), 1u);
    EXPECT_EQ(s.Figures[0].N, c.N);
    EXPECT_EQ(s.Figures[0].Unreliable, c.Unreliable);
    EXPECT_NEAR(s.Figures[0].Mean, c.Mean, 1e-12);
    EXPECT_EQ(s.FirstPassYield, 1.0);
  }
}

TEST(RunLogStats, CpkAndPooledMoments) {
  struct Case {
    double Mean, Sd;
    std::optional<double> Lsl, Usl, Cpk;
  };
  const Case cases[] = {
      {10, 1, 7.0, 16.0, 1.0},  // the nearer bound decides
      {10, 1, None, 13.0, 1.0},
      {10, 1, 4.0, None, 2.0},
      {12, 1, 7.0, 10.0, -2.0 / 3},  // outside: negative
      {10, 1, None, None, None},
      {10, 0, 7.0, 13.0, None},
  };
  for (const Case& c : cases) {
    const auto cpk = ProcessCpk(c.Mean, c.Sd, c.Lsl, c.Usl);
    ASSERT_EQ(cpk.has_value(), c.Cpk.has_value());
    if (cpk) {
      EXPECT_NEAR(*cpk, *c.Cpk, 1e-12);
    }
  }
  // {1, 2, 3} summed around 0 and {10, 20} around 15, pooled:
  // mean 7.2, squared deviations 38.44 + 27.04 + 17.64 + 7.84 + 163.84.
  const Moments m = Combine(MomentsOf({3, 0, 6, 14, 1, 3}), MomentsOf({2, 15, 0, 50, 10, 20}));
  EXPECT_EQ(m.N, 5);
  EXPECT_NEAR(m.Mean, 7.2, 1e-12);
  EXPECT_NEAR(m.M2, 254.8, 1e-9);
  EXPECT_NEAR(SampleStdDev(m), std::sqrt(254.8 / 4), 1e-12);
  EXPECT_EQ(m.Min, 1);
  EXPECT_EQ(m.Max, 20);
}

}  // namespace
}  // namespace kt::test
