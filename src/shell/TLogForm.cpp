#include "shell/TLogForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>

#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

#include <memory>

#include "runlog/RunLogExport.h"
#include "runlog/RunLogNames.h"
#include "runlog/RunLogReader.h"
#include "runlog/RunLogStore.h"
#include "shell/TLogStatsForm.h"
#include "station/RunRecorder.h"

namespace kt {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
QString Pick(bool chinese, const char* english, const char* chinese_text) {
  return U(chinese ? chinese_text : english);
}

constexpr VerdictResult Verdicts[] = {VerdictResult::Pass, VerdictResult::Fail, VerdictResult::Incomplete,
                                      VerdictResult::NotApplicable, VerdictResult::None};

// The newest events the tab lists; the export has them all.
constexpr int EventRowsShown = 5000;
// A continuous test commits a run every second or so: the window follows
// at this pace instead of querying the log at every run.
constexpr int CommitCatchUpMs = 3000;
enum ReaderChannel { TableChannel, EventsChannel, ChoicesChannel };

// The date fields show minutes: the filter is the minute shown, never
// seconds the field hides.
QDateTime WholeMinute(QDateTime t) {
  t.setTime(QTime(t.time().hour(), t.time().minute()));
  return t;
}

}  // namespace

TLogForm::TLogForm(const RunLogConfig& config, QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("LogForm");
  resize(1000, 600);
  ResolvedLog log;
  if (ResolveRunLogConfig(config, log, OpenError_) == 0) {
    if (log.Target.Kind == LogTarget::Driver::None)
      OpenError_ = "The run log is off (KT6100_LOG=off or the setting).";
    else
      Log_.Open(*(Target_ = log.Target), OpenError_, RunLogSchemaVersion, true);
  }
  Model_ = new RunTableModel(this);
  connect(Model_, &RunTableModel::QueryFailed, this, [this](const QString& m) {
    OpenError_ = m;
    ShowStatus();
  });
  connect(Model_, &RunTableModel::UpdateArriving, this, &TLogForm::KeepPlace);
  connect(Model_, &RunTableModel::QueryFinished, this, [this] {
    if (!TimeSized_ && Model_->rowCount() > 0) {
      Table_->resizeColumnToContents(static_cast<int>(RunColumn::Time));
      TimeSized_ = true;
    }
    RestorePlace();
    ShowStatus();
  });
  CommitTimer_ = new QTimer(this);
  CommitTimer_->setObjectName("CommitTimer");
  CommitTimer_->setSingleShot(true);
  CommitTimer_->setInterval(CommitCatchUpMs);
  connect(CommitTimer_, &QTimer::timeout, this, [this] {
    CatchUp_ = true;
    if (!Busy()) CatchUp();
  });

  auto* layout = new QVBoxLayout(this);
  BuildFilters();
  auto* filters = new QGridLayout;
  filters->addWidget(FromOn_, 0, 0);
  filters->addWidget(From_, 0, 1);
  filters->addWidget(ToOn_, 0, 2);
  filters->addWidget(To_, 0, 3);
  filters->addWidget(SerialCaption_, 0, 4);
  filters->addWidget(Serial_, 0, 5);
  filters->addWidget(TypeCaption_, 0, 6);
  filters->addWidget(Type_, 0, 7);
  filters->addWidget(KindCaption_, 1, 0);
  filters->addWidget(Kind_, 1, 1);
  filters->addWidget(VerdictCaption_, 1, 2);
  filters->addWidget(Verdict_, 1, 3);
  filters->addWidget(StationCaption_, 1, 4);
  filters->addWidget(Station_, 1, 5);
  filters->addWidget(Search_, 1, 6);
  layout->addLayout(filters);

  Table_ = new QTableView(this);
  Table_->setObjectName("LogTable");
  Table_->setModel(Model_);
  Table_->setSortingEnabled(true);
  Table_->horizontalHeader()->setSortIndicator(static_cast<int>(RunColumn::Time), Qt::DescendingOrder);
  Table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table_->setSelectionMode(QAbstractItemView::SingleSelection);
  Table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // By the pixel: rows that come in above move the view by exactly their height.
  Table_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  Table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  // The events and the audit trail: lists to read, not to edit.
  const auto list = [this](const char* name) {
    auto* t = new QTableWidget(this);
    t->setObjectName(name);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
  };
  Events_ = list("LogEvents");
  Audit_ = list("LogAudit");
  Tabs_ = new QTabWidget(this);
  Tabs_->addTab(Table_, QString());
  Tabs_->addTab(Events_, QString());
  Tabs_->addTab(Audit_, QString());
  layout->addWidget(Tabs_, 1);
  connect(Table_, &QTableView::doubleClicked, this, [this](const QModelIndex& i) { OpenRow(i.row()); });

  auto* bottom = new QHBoxLayout;
  Status_ = new QLabel(this);
  Status_->setObjectName("LogStatus");
  Status_->setWordWrap(true);
  Status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Export_ = new QPushButton(this);
  Rejudge_ = new QPushButton(this);
  Rejudge_->setObjectName("Rejudge");
  StatsButton_ = new QPushButton(this);
  bottom->addWidget(Status_, 1);
  bottom->addWidget(Export_);
  bottom->addWidget(Rejudge_);
  bottom->addWidget(StatsButton_);
  layout->addLayout(bottom);
  connect(Search_, &QPushButton::clicked, this, &TLogForm::Refresh);
  connect(Export_, &QPushButton::clicked, this, &TLogForm::ExportCsv);
  connect(Rejudge_, &QPushButton::clicked, this, &TLogForm::Rejudge);
  connect(StatsButton_, &QPushButton::clicked, this, &TLogForm::ShowStatistics);

  SetChinese(false);
  if (Log_.IsOpen()) StartReader();
  ShowStatus();
}

TLogForm::~TLogForm() {
  delete Stats_;
  Stats_ = nullptr;
  delete Reader_;  // before the model its answers go to
  Reader_ = nullptr;
}

void TLogForm::BuildFilters() {
  const QDateTime now = WholeMinute(QDateTime::currentDateTime());
  FromOn_ = new QCheckBox(this);
  FromOn_->setObjectName("FromOn");
  ToOn_ = new QCheckBox(this);
  From_ = new QDateTimeEdit(now.addDays(-7), this);
  From_->setObjectName("From");
  To_ = new QDateTimeEdit(now.addDays(1), this);
  for (QDateTimeEdit* e : {From_, To_}) {
    e->setCalendarPopup(true);
    e->setDisplayFormat("yyyy-MM-dd HH:mm");
  }
  Serial_ = new QLineEdit(this);
  Serial_->setObjectName("SerialFilter");
  Type_ = new QComboBox(this);
  Type_->setEditable(true);
  Type_->setMinimumContentsLength(12);
  Station_ = new QComboBox(this);
  Station_->setEditable(true);
  Kind_ = new QComboBox(this);
  Verdict_ = new QComboBox(this);
  SerialCaption_ = new QLabel(this);
  TypeCaption_ = new QLabel(this);
  KindCaption_ = new QLabel(this);
  VerdictCaption_ = new QLabel(this);
  StationCaption_ = new QLabel(this);
  Search_ = new QPushButton(this);
  connect(Serial_, &QLineEdit::returnPressed, this, &TLogForm::Refresh);
}

void TLogForm::ReadChoices() {
  if (!Reader_) return;
  ChoicesStale_ = false;
  auto lists = std::make_shared<std::pair<std::vector<std::string>, std::vector<std::string>>>();
  Reader_->Ask(
      ChoicesChannel,
      [lists](QSqlDatabase& db, QString& error) {
        return ListTypes(db, lists->first, error) || ListStations(db, lists->second, error);
      },
      [this, lists](int status, const QString&) {
        if (status) return void(ChoicesStale_ = true);  // the table's query says why
        for (auto [box, items] : {std::pair{Type_, &lists->first}, std::pair{Station_, &lists->second}}) {
          const QString current = box->currentText();
          box->clear();
          box->addItem(QString());
          for (const std::string& s : *items)
            if (!s.empty()) box->addItem(QString::fromStdString(s));
          box->setCurrentText(current);
        }
      });
}

RunFilter TLogForm::CurrentFilter() const {
  RunFilter f;
  if (FromOn_->isChecked()) f.FromMs = WholeMinute(From_->dateTime()).toMSecsSinceEpoch();
  if (ToOn_->isChecked()) f.ToMs = WholeMinute(To_->dateTime()).toMSecsSinceEpoch();
  f.Serial = Serial_->text().trimmed().toStdString();
  f.Type = Type_->currentText().trimmed().toStdString();
  f.Station = Station_->currentText().trimmed().toStdString();
  if (Kind_->currentIndex() > 0) f.Kind = Kind_->currentIndex();
  if (Verdict_->currentIndex() > 0) f.Result = Verdicts[Verdict_->currentIndex() - 1];
  return f;
}

bool TLogForm::Busy() const { return Reader_ && Reader_->Busy(); }

void TLogForm::Refresh() {
  Notice_.clear();
  Place_.reset();
  if (!Reader_ && !Reopen()) return ShowStatus();
  OpenError_.clear();
  Model_->SetFilter(CurrentFilter());
  ReadEvents();
  if (ChoicesStale_) ReadChoices();
  if (Stats_ && Stats_->isVisible()) Stats_->SetFilter(Model_->Filter());
  ShowStatus();
}

void TLogForm::ShowNewRuns() {
  if (!Reader_ && !Reopen()) return ShowStatus();
  OpenError_.clear();
  Model_->Update();
  ReadEvents();
  ShowStatus();
}

void TLogForm::RunsCommitted() {
  ChoicesStale_ = true;
  const bool shown = isVisible() || (Stats_ && Stats_->isVisible());
  if (shown && !CommitTimer_->isActive() && !CatchUp_) CommitTimer_->start();
}

void TLogForm::CatchUp() {
  CatchUp_ = false;
  if (isVisible()) {
    ShowNewRuns();
    ReadChoices();
  }
  if (Stats_ && Stats_->isVisible()) Stats_->RunsAdded();
}

void TLogForm::KeepPlace() {
  // Someone reading (scrolled down, or a run chosen) keeps the rows in view
  // where they are; someone watching the top of the table sees new runs
  // come in there.
  Place p;
  p.Follow = Table_->verticalScrollBar()->value() == 0 && !Table_->selectionModel()->hasSelection();
  p.Top = Table_->indexAt(QPoint(0, 0));
  p.Y = Table_->visualRect(p.Top).top();
  p.Chosen = SelectedId();
  Place_ = p;
}

void TLogForm::RestorePlace() {
  if (!Place_ || Model_->Busy()) return;
  const Place p = *Place_;
  Place_.reset();
  Table_->doItemsLayout();
  QScrollBar* bar = Table_->verticalScrollBar();
  if (!p.Follow && p.Top.isValid()) bar->setValue(bar->value() + Table_->visualRect(p.Top).top() - p.Y);
  // After a table that had to start again: the same run chosen.
  for (int row = 0; !p.Chosen.isEmpty() && SelectedId() != p.Chosen && row < Model_->rowCount(); ++row)
    if (Model_->RunId(row) == p.Chosen) Table_->selectRow(row);
}

bool TLogForm::Reopen() {
  if (!Target_) return false;
  QString error;
  if (Log_.Open(*Target_, error, RunLogSchemaVersion, true)) {
    OpenError_ = error;
    return false;
  }
  OpenError_.clear();
  StartReader();
  return true;
}

void TLogForm::StartReader() {
  if (Reader_) return;
  Reader_ = new RunLogReader(*Target_, this);
  connect(Reader_, &RunLogReader::BusyChanged, this, &TLogForm::ShowBusy);
  Model_->SetFilter(CurrentFilter());
  Model_->SetReader(Reader_, TableChannel);
  ReadChoices();
  ReadEvents();
}

void TLogForm::ReadEvents() {
  if (!Reader_) return;
  auto rows = std::make_shared<std::vector<EventRow>>();
  auto audit = std::make_shared<std::vector<EventRow>>();
  Reader_->Ask(
      EventsChannel,
      [rows, audit, filter = Model_->Filter()](QSqlDatabase& db, QString& error) {
        return QueryEvents(db, filter, *rows, error) || QueryAudit(db, filter, *audit, error);
      },
      [this, rows, audit](int status, const QString& error) {
        if (status && OpenError_.isEmpty()) OpenError_ = error;
        EventRows_ = status ? std::vector<EventRow>{} : std::move(*rows);
        AuditRows_ = status ? std::vector<EventRow>{} : std::move(*audit);
        ShowEvents();
        ShowAudit();
        ShowAudit();
        ShowStatus();
      });
}

void TLogForm::ShowBusy(bool busy) {
  // Over the table only: the filters, the tabs and the buttons still work.
  if (busy)
    Table_->viewport()->setCursor(Qt::WaitCursor);
  else
    Table_->viewport()->unsetCursor();
  if (!busy && CatchUp_) CatchUp();
  ShowStatus();
}

namespace {

// One of the log's lists on its tab, newest first as the runs, with its
// count (or how many of how many are shown) in the tab's caption.
void FillList(QTabWidget& tabs, QTableWidget& table, int tab, const QStringList& headers, const QString& caption,
              const std::vector<EventRow>& rows, bool c, const std::function<QStringList(const EventRow&)>& cells) {
  table.clear();
  table.setColumnCount(static_cast<int>(headers.size()));
  table.setHorizontalHeaderLabels(headers);
  const int shown = static_cast<int>(std::min<std::size_t>(rows.size(), EventRowsShown));
  table.setRowCount(shown);
  for (int row = 0; row < shown; ++row) {
    const QStringList values = cells(rows[rows.size() - 1 - static_cast<std::size_t>(row)]);
    for (int col = 0; col < values.size(); ++col) table.setItem(row, col, new QTableWidgetItem(values[col]));
  }
  table.resizeColumnsToContents();
  const QString count = shown < static_cast<int>(rows.size())
                            ? QString(c ? U("最近 %1 / %2") : "newest %1 of %2").arg(shown).arg(rows.size())
                            : QString::number(rows.size());
  tabs.setTabText(tab, caption.arg(count));
}

QString LocalTime(std::int64_t ms) { return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd HH:mm:ss"); }

}  // namespace

void TLogForm::ShowEvents() {
  const bool c = Chinese_;
  FillList(*Tabs_, *Events_, 1,
           c ? QStringList{U("时间"), U("工位"), U("种类"), U("事件")} : QStringList{"Time", "Station", "Kind", "What"},
           c ? U("事件（%1）") : "Events (%1)", EventRows_, c, [c](const EventRow& e) {
             return QStringList{LocalTime(e.TimeUtcMs), QString::fromStdString(e.Station),
                                QString::fromStdString(KindName(e.Kind, c)), QString::fromStdString(e.What)};
           });
}

void TLogForm::ShowAudit() {
  const bool c = Chinese_;
  FillList(
      *Tabs_, *Audit_, 2,
      c ? QStringList{U("时间"), U("工位"), U("人员"), U("操作"), U("原值"), U("新值")}
        : QStringList{"Time", "Station", "Who", "What", "Before", "After"},
      c ? U("审计（%1）") : "Audit (%1)", AuditRows_, c, [](const EventRow& e) {
        return QStringList{
            LocalTime(e.TimeUtcMs),         QString::fromStdString(e.Station),  QString::fromStdString(e.Who),
            QString::fromStdString(e.What), QString::fromStdString(e.OldValue), QString::fromStdString(e.NewValue)};
      });
}

QString TLogForm::SelectedId() const {
  const QModelIndexList rows = Table_->selectionModel()->selectedRows();
  return rows.isEmpty() ? QString() : Model_->RunId(rows.front().row());
}

void TLogForm::Tell(const QString& message, bool problem) {
  Notice_ = message;
  NoticeIsProblem_ = problem;
  ShowStatus();
}

void TLogForm::SetChinese(bool chinese) {
  Chinese_ = chinese;
  const bool c = chinese;
  setWindowTitle(Pick(c, "Run log", "测试记录"));
  FromOn_->setText(Pick(c, "From", "从"));
  ToOn_->setText(Pick(c, "To", "到"));
  SerialCaption_->setText(Pick(c, "Serial", "序列号"));
  TypeCaption_->setText(Pick(c, "Type", "型号"));
  KindCaption_->setText(Pick(c, "Kind", "种类"));
  VerdictCaption_->setText(Pick(c, "Verdict", "结论"));
  StationCaption_->setText(Pick(c, "Station", "工位"));
  Search_->setText(Pick(c, "Search", "查询"));
  Tabs_->setTabText(0, Pick(c, "Runs", "测试记录"));
  Export_->setText(Pick(c, "Export CSV...", "导出 CSV..."));
  Rejudge_->setText(Pick(c, "Re-judge...", "重新判定..."));
  StatsButton_->setText(Pick(c, "Statistics...", "统计..."));
  const int kind = Kind_->currentIndex(), verdict = Verdict_->currentIndex();
  Kind_->clear();
  Kind_->addItem(Pick(c, "(any)", "(全部)"));
  for (TestKind k = InputTest; k < KindCount; ++k) Kind_->addItem(QString::fromStdString(KindName(k, c)));
  Kind_->setCurrentIndex(std::max(0, kind));
  Verdict_->clear();
  Verdict_->addItem(Pick(c, "(any)", "(全部)"));
  for (VerdictResult v : Verdicts) {
    const std::string name = VerdictName(v, c);
    Verdict_->addItem(name.empty() ? Pick(c, "(no profile)", "(无限值方案)") : QString::fromStdString(name));
  }
  Verdict_->setCurrentIndex(std::max(0, verdict));
  Model_->SetChinese(c);
  if (Stats_) Stats_->SetChinese(c);
  ShowEvents();
  ShowStatus();
}

void TLogForm::ShowLogProblem(const QString& english, const QString& chinese) {
  Problem_ = Chinese_ ? chinese : english;
  ShowStatus();
}

void TLogForm::ClearLogProblem() {
  Problem_.clear();
  ShowNewRuns();
}

void TLogForm::ShowStatus() {
  QString text;
  if (!OpenError_.isEmpty()) text = OpenError_;
  if (!Problem_.isEmpty()) text += (text.isEmpty() ? "" : "\n") + Problem_;
  if (text.isEmpty() && Log_.IsOpen()) {
    text = QString::fromStdString(Log_.Target().Describe());
    if (Busy())
      text += Pick(Chinese_, ": searching…", "：查询中…");
    else if (Model_->canFetchMore({}))
      text += Pick(Chinese_, ": more runs as you scroll", ": 滚动显示更多");
    else
      text += QString(Chinese_ ? U(": %1 条") : ": %1 run(s)").arg(Model_->rowCount());
  }
  if (!Notice_.isEmpty()) text += (text.isEmpty() ? "" : "\n") + Notice_;
  const bool bad = !OpenError_.isEmpty() || !Problem_.isEmpty() || (!Notice_.isEmpty() && NoticeIsProblem_);
  Status_->setStyleSheet(bad ? "color: #b00000;" : "");
  Status_->setText(text);
}

void TLogForm::OpenRow(int row) {
  const QString id = Model_->RunId(row);
  if (id.isEmpty() || !Log_.IsOpen()) return;
  Notice_.clear();
  std::vector<std::uint8_t> record;
  TestKind kind = NoTest;
  QString error;
  QSqlDatabase db = Log_.Db();
  int status = ReadRecord(db, id.toStdString(), record, kind, error);
  if (status && !error.isEmpty() && Reopen()) {  // a server that restarted dropped the connection
    db = Log_.Db();
    status = ReadRecord(db, id.toStdString(), record, kind, error);
  }
  if (status) {
    OpenError_ = error.isEmpty() ? Pick(Chinese_, "The run is no longer in the log.", "记录已不在日志中。") : error;
    ShowStatus();
    return;
  }
  emit RunChosen(id);
  emit OpenRun(QByteArray(reinterpret_cast<const char*>(record.data()), static_cast<qsizetype>(record.size())), kind);
}

int TLogForm::ExportCsvTo(const QString& path, QString& error) {
  if (!Log_.IsOpen()) {
    error = OpenError_;
    return 1;
  }
  // What the table shows, whatever has been typed since into the fields.
  std::int64_t runs = 0, events = 0;
  const QString eventsPath = EventsCsvPath(path);
  const auto write = [&] {
    QSqlDatabase db = Log_.Db();
    return ExportRunsCsv(db, Model_->Filter(), Model_->SortColumn(), Model_->SortDescending(), path, runs, error) ||
           ExportEventsCsv(db, Model_->Filter(), eventsPath, events, error);
  };
  // A server that restarted dropped the window's connection: opened again once.
  if (write() && (!Reopen() || write())) return 1;
  Tell(QString(Chinese_ ? U("已导出 %1 条测试记录到 %2，%3 条事件到 %4。")
                        : "Exported %1 run(s) to %2 and %3 event(s) to %4.")
           .arg(runs)
           .arg(QDir::toNativeSeparators(path))
           .arg(events)
           .arg(QDir::toNativeSeparators(eventsPath)),
       false);
  return 0;
}

void TLogForm::ExportCsv() {
  const QString path = QFileDialog::getSaveFileName(this, Pick(Chinese_, "Export CSV", "导出 CSV"), "runs.csv",
                                                    Pick(Chinese_, "CSV files (*.csv)", "CSV 文件 (*.csv)"));
  if (path.isEmpty()) return;
  QString error;
  if (ExportCsvTo(path, error)) QMessageBox::warning(this, Pick(Chinese_, "Export CSV", "导出 CSV"), error);
}

int TLogForm::RejudgeTo(const QString& profile, const QString& path, QString& error) {
  if (!Log_.IsOpen()) {
    error = OpenError_;
    return 1;
  }
  ActiveLimits limits;
  std::string problem;
  if (LimitsByName(ProfileFolder(), profile.toStdString(), Chinese_, limits, problem) != 0) {
    error = QString::fromStdString(problem);
    return 1;
  }
  const RejudgeRun judge = [&limits](const LoggedRun& logged, const std::vector<std::uint8_t>& record) {
    return RejudgeRecord(limits, logged.Kind, record);
  };
  RejudgeCounts counts;
  const auto write = [&] {
    QSqlDatabase db = Log_.Db();
    return RejudgeRunsCsv(db, Model_->Filter(), judge, path, counts, error);
  };
  if (write() && (!Reopen() || write())) return 1;
  Tell(QString(Chinese_ ? U("已按 %1 重新判定 %2 条测试记录：%3 条结论改变，%4 条无法判定；结果在 %5。")
                        : "Judged %2 run(s) again by %1: %3 changed, %4 could not be judged; written to %5.")
           .arg(profile)
           .arg(counts.Runs)
           .arg(counts.Changed)
           .arg(counts.Unjudged)
           .arg(QDir::toNativeSeparators(path)),
       counts.Unjudged > 0);
  return 0;
}

void TLogForm::Rejudge() {
  const QString title = Pick(Chinese_, "Re-judge", "重新判定");
  QStringList names;
  for (const std::string& name : ProfileNames(ProfileFolder())) names << QString::fromStdString(name);
  bool ok = false;
  const QString profile = QInputDialog::getItem(
      this, title, Pick(Chinese_, "Judge the runs shown again by:", "按此限值重新判定所显示的记录："), names, 0, true,
      &ok);
  if (!ok || profile.trimmed().isEmpty()) return;
  const QString path = QFileDialog::getSaveFileName(this, title, "rejudged.csv",
                                                    Pick(Chinese_, "CSV files (*.csv)", "CSV 文件 (*.csv)"));
  if (path.isEmpty()) return;
  QString error;
  if (RejudgeTo(profile.trimmed(), path, error)) QMessageBox::warning(this, title, error);
}

void TLogForm::ShowStatistics() {
  if (!Log_.IsOpen()) return;
  if (!Stats_) {
    Stats_ = new TLogStatsForm(*Target_, Model_->Filter(), nullptr);
    Stats_->SetChinese(Chinese_);
    QRect r = Stats_->frameGeometry();  // over this window, not at (0, 0) without a window manager
    r.moveCenter(frameGeometry().center());
    Stats_->move(r.topLeft());
  } else {
    Stats_->SetFilter(Model_->Filter());
  }
  Stats_->show();
  Stats_->raise();
}

}  // namespace kt
