// The log window on its own, against a log written here: what it filters,
// shows, exports and charts, how it keeps a reader's place while runs come
// in, and that it reads the log again after the server restarted.
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDateTimeAxis>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>

#include <algorithm>
#include <fstream>
#include <iterator>

#define KT_RUNLOG_TEST_WRITER ""  // the writer program is the log suite's
#include "runlog/PgCluster.h"
#include "runlog/RunLogStore.h"
#include "runlog/RunLogTestKit.h"
#include "shell/TLogForm.h"
#include "shell/TLogStatsForm.h"
#include "shell/WindowRig.h"
#include "verdict/ClassC.h"

namespace kt::test {
namespace {

long CsvRecords(const std::string& path) {  // no field here breaks a line
  std::ifstream in(path);
  return std::count(std::istreambuf_iterator<char>(in), {}, '\n') - 1;
}

// Runs one a second, judged on P against a USL below every value.
void WriteRuns(RunLogConnection& log, std::int64_t from, int count, const std::string& prefix) {
  QSqlDatabase db = log.Db();
  for (int i = 0; i < count; ++i) {
    LoggedRun r = MakeRun(prefix + std::to_string(i), from + i * 1000, i % 2 ? "A" : "B", VerdictResult::Fail);
    r.Figures = {{"P", 10.0 + i % 3, true}};
    r.Result.Rules = {Rule("P", 10 + i % 3, std::nullopt, 9, RuleOutcome::Fail)};
    WriteOutcome written{};
    QString error;
    ASSERT_EQ(WriteRun(db, r, written, error), 0) << error.toStdString();
  }
}

QString RunAt(TLogForm& form, const QModelIndex& index) { return form.findChild<RunTableModel*>()->RunId(index.row()); }

TEST(LogWindow, ShowsExportsAndChartsWhatTheTableShowsAndKeepsAReadersPlace) {
  TempFolder dir;
  RunLogConnection log;
  QString error;
  ASSERT_EQ(log.Open(SqliteAt(dir / "log.db"), error), 0);
  const std::int64_t minute = QDateTime::currentMSecsSinceEpoch() / 60000 * 60000 - 3600000;
  WriteRuns(log, minute + 500, 30, "r");  // from half a second past a minute
  QSqlDatabase db = log.Db();
  for (int i : {1, 2}) {
    WriteOutcome written{};
    ASSERT_EQ(
        WriteEvent(db, {"e" + std::to_string(i), minute + i * 1000, "bench-1", InputTest, "late"}, written, error), 0);
  }
  RunLogConfig config;
  config.Target = "sqlite:" + (dir / "log.db");
  config.UseEnvironment = false;
  TLogForm form(config);
  form.show();
  ASSERT_TRUE(WaitForLog(form));
  // A search while another is out supersedes it: only the newer one's rows
  // come in, and meanwhile a busy mark stands over the table only.
  QSignalSpy answers(form.findChild<RunTableModel*>(), &RunTableModel::QueryFinished);
  form.findChild<QLineEdit*>("SerialFilter")->setText("A");
  form.Refresh();
  form.findChild<QLineEdit*>("SerialFilter")->clear();
  // From the minute the field shows, whatever seconds it was given.
  form.findChild<QDateTimeEdit*>("From")->setDateTime(QDateTime::fromMSecsSinceEpoch(minute + 2500));
  form.findChild<QCheckBox*>("FromOn")->setChecked(true);
  form.Refresh();
  QWidget* rows = form.findChild<QTableView*>("LogTable")->viewport();
  EXPECT_TRUE(form.Busy() && form.findChild<QLabel*>("LogStatus")->text().endsWith(": searching…"));
  EXPECT_EQ(rows->cursor().shape(), Qt::WaitCursor);
  ASSERT_TRUE(WaitForLog(form));
  EXPECT_EQ(rows->cursor().shape(), Qt::ArrowCursor);
  ASSERT_EQ(form.findChild<RunTableModel*>()->rowCount(), 30);
  EXPECT_EQ(answers.size(), 1);
  EXPECT_EQ(form.Events()->rowCount(), 2);

  // A serial typed but not searched for: the export and the statistics take the table's runs.
  form.findChild<QLineEdit*>("SerialFilter")->setText("A");
  const std::string runs = dir / "runs.csv", events = dir / "runs-events.csv";
  ASSERT_EQ(form.ExportCsvTo(QString::fromStdString(runs), error), 0) << error.toStdString();
  EXPECT_EQ(CsvRecords(runs), 30);
  EXPECT_EQ(CsvRecords(events), 2);
  EXPECT_TRUE(
      form.findChild<QLabel*>("LogStatus")
          ->text()
          .endsWith(QString::fromStdString("\nExported 30 run(s) to " + runs + " and 2 event(s) to " + events + ".")));
  // Judged again by other limits, the same runs: each listed (these have no
  // record to judge, and say so); limits that cannot be had write nothing.
  const std::string again = dir / "again.csv";
  ASSERT_EQ(form.RejudgeTo(ClassCName, QString::fromStdString(again), error), 0) << error.toStdString();
  EXPECT_EQ(CsvRecords(again), 30);
  EXPECT_TRUE(form.findChild<QLabel*>("LogStatus")
                  ->text()
                  .endsWith(QString::fromStdString("Judged 30 run(s) again by iec-61000-3-2-class-c: 0 changed, 30 "
                                                   "could not be judged; written to " +
                                                   again + ".")));
  EXPECT_EQ(form.RejudgeTo("no-such-profile", QString::fromStdString(dir / "none.csv"), error), 1);
  EXPECT_FALSE(error.isEmpty() || std::filesystem::exists(dir / "none.csv"));
  form.ShowStatistics();
  TLogStatsForm& stats = *form.Statistics();
  EXPECT_TRUE(stats.Busy() && stats.findChild<QLabel*>("StatsSummary")->text() == "Computing…");
  ASSERT_TRUE(WaitForLog(form));
  EXPECT_TRUE(stats.findChild<QLabel*>("StatsSummary")->text().startsWith("30 run(s): "));
  const QTableWidget* figures = stats.findChild<QTableWidget*>("FigureStats");
  ASSERT_GT(figures->rowCount(), 0);
  EXPECT_EQ(figures->item(0, 1)->text(), "30");
  EXPECT_EQ(figures->item(0, 9)->text(), "") << "30 values are enough: not unreliable";
  // The value axis takes in the USL below the data; a one-minute run chart
  // names its ticks by the second; the histogram has its USL and counts in
  // whole steps.
  const auto axis = [](QChartView* v, Qt::Orientation o) { return v->chart()->axes(o).front(); };
  EXPECT_LT(qobject_cast<QValueAxis*>(axis(stats.findChild<QChartView*>("RunChart"), Qt::Vertical))->min(), 9.0);
  EXPECT_EQ(qobject_cast<QDateTimeAxis*>(axis(stats.findChild<QChartView*>("RunChart"), Qt::Horizontal))->format(),
            "HH:mm:ss");
  EXPECT_EQ(stats.findChild<QChartView*>("HistogramChart")->chart()->series().size(), 2);
  const auto* counts = qobject_cast<QValueAxis*>(axis(stats.findChild<QChartView*>("HistogramChart"), Qt::Vertical));
  EXPECT_EQ(counts->tickInterval(), std::round(counts->tickInterval()));
  EXPECT_LE(counts->max() / counts->tickInterval(), 5);

  // A reader with a run chosen, scrolled down: new runs on top move nothing.
  form.findChild<QTableView*>("LogTable")->selectRow(15);
  form.findChild<QTableView*>("LogTable")
      ->scrollTo(form.findChild<RunTableModel*>()->index(5, 0), QAbstractItemView::PositionAtTop);
  const QString chosen = form.findChild<RunTableModel*>()->RunId(15),
                top = RunAt(form, form.findChild<QTableView*>("LogTable")->indexAt({0, 0}));
  WriteRuns(log, minute + 60000, 2, "new");
  form.ShowNewRuns();
  ASSERT_TRUE(WaitForLog(form));
  EXPECT_EQ(RunAt(form, form.findChild<QTableView*>("LogTable")->selectionModel()->selectedRows().front()), chosen);
  EXPECT_EQ(RunAt(form, form.findChild<QTableView*>("LogTable")->indexAt({0, 0})), top);
  // Someone watching the top with nothing chosen sees the next one there,
  // the statistics too: three commits in a row, one query of each.
  form.findChild<QTableView*>("LogTable")->clearSelection();
  form.findChild<QTableView*>("LogTable")->scrollToTop();
  WriteRuns(log, minute + 70000, 1, "newest");
  answers.clear();
  const QTimer* commits = form.findChild<QTimer*>("CommitTimer");
  for (int i = 0; i < 3; ++i) form.RunsCommitted();
  ASSERT_TRUE(commits->isActive());
  ASSERT_TRUE(
      WaitFor([&] { return !commits->isActive() && answers.size() > 0 && !form.Busy() && !stats.Busy(); }, 30000));
  EXPECT_EQ(answers.size(), 1);
  EXPECT_EQ(RunAt(form, form.findChild<QTableView*>("LogTable")->indexAt({0, 0})), "newest0");
  EXPECT_TRUE(stats.findChild<QLabel*>("StatsSummary")->text().startsWith("33 run(s): "));
}

TEST(LogWindow, ReadsTheLogAgainAfterTheServerRestarted) {
  PgCluster cluster;
  std::string e;
  ASSERT_EQ(cluster.Start(e), 0) << e;
  RunLogConfig config;
  config.Target = cluster.Target();
  config.UseEnvironment = false;
  TLogForm form(config);
  LogTarget target;
  ParseLogTarget(cluster.Target(), target, e);
  RunLogConnection writer;
  QString error;
  ASSERT_EQ(writer.Open(target, error), 0) << error.toStdString();
  WriteRuns(writer, 1796638530000, 1, "pg");
  form.ShowNewRuns();
  ASSERT_TRUE(WaitForLog(form));
  EXPECT_EQ(form.findChild<RunTableModel*>()->rowCount(), 1);
  ASSERT_EQ(cluster.StopServer(e), 0) << e;
  form.Refresh();
  ASSERT_TRUE(WaitForLog(form));
  EXPECT_EQ(form.findChild<RunTableModel*>()->rowCount(), 0);
  ASSERT_EQ(cluster.StartServer(e), 0) << e;
  form.ShowNewRuns();  // as the writer's next commit or its recovery does
  ASSERT_TRUE(WaitForLog(form));
  EXPECT_EQ(form.findChild<RunTableModel*>()->rowCount(), 1);
}

}  // namespace
}  // namespace kt::test
