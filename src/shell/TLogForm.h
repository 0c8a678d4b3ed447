#pragma once
// "测试记录": the run log's window. A table of logged runs with filters
// (dates, serial, type, kind, verdict, station), fetched a page at a time,
// sortable by any column, and the events (link failures, abandoned runs) of
// the same time, station and kind on a tab beside it; export of what the
// tables show to CSV; the statistics window; a double-click opens the run on
// the main window's pages exactly as if from its data file. Non-modal: it
// stays open beside the main window. The filter fields act when Search is
// pressed: the export and the statistics take the filter the table shows.
// The table, its events and the filter's choices are read on a thread of
// their own (RunLogReader): the window stays responsive, with a busy mark,
// however long a query takes.
#include <QByteArray>
#include <QPersistentModelIndex>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

#include "runlog/RunLogConfig.h"
#include "runlog/RunLogConnection.h"
#include "runlog/RunLogQuery.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTableView;
class QTableWidget;
class QTabWidget;
class QTimer;

namespace kt {

class TLogStatsForm;

class TLogForm : public QWidget {
  Q_OBJECT

 public:
  // config: the same the writer was given. The window opens a run and
  // exports on a connection of its own on the window thread; everything
  // else it reads through its reader.
  explicit TLogForm(const RunLogConfig& config, QWidget* parent = nullptr);
  ~TLogForm() override;

  RunFilter CurrentFilter() const;
  TLogStatsForm* Statistics() const { return Stats_; }
  bool IsOpen() const { return Log_.IsOpen(); }
  bool Busy() const;  // a query of the table, the events or the choices is out
  QTableWidget* Events() const { return Events_; }
  QTableWidget* AuditTrail() const { return Audit_; }
  // Writes the runs the table shows to `path` and their events beside it
  // (EventsCsvPath) without asking for a file, and says so in the window.
  // 0 on success.
  int ExportCsvTo(const QString& path, QString& error);
  // Judges the runs the table shows again by the profile `profile` (a name
  // or a file) into a CSV at `path`, beside their logged verdicts, and says
  // how many changed in the window. The log is only read. 0 on success.
  int RejudgeTo(const QString& profile, const QString& path, QString& error);

 public slots:
  void SetChinese(bool chinese);
  void Refresh();  // the table again, with the filters as they are
  // Runs logged since, added to the table with the filter it shows; the
  // row chosen and the rows in view stay where they are.
  void ShowNewRuns();
  // The writer's Committed: the table, the choices and the statistics
  // catch up once the commit timer ("CommitTimer") runs out, however many
  // runs came meanwhile, and never before the query out has answered.
  void RunsCommitted();
  // A message in the window's status line until the next search or open.
  void Tell(const QString& message, bool problem = true);
  void ShowLogProblem(const QString& english, const QString& chinese);  // the writer's Failed
  void ClearLogProblem();                                               // and its Recovered
  void ExportCsv();                                                     // asks for a file
  void Rejudge();                                                       // asks for a profile and a file
  void ShowStatistics();
  void OpenRow(int row);

 signals:
  // The run's record bytes and kind, as a data file of it would give them.
  void OpenRun(const QByteArray& record, int kind);
  void RunChosen(const QString& id);

 private:
  void BuildFilters();
  void ReadChoices();
  void CatchUp();
  void ShowBusy(bool busy);
  void KeepPlace();
  void RestorePlace();
  void ShowStatus();
  bool Reopen();  // the window's connection, and the reader when there is none
  void StartReader();
  void ReadEvents();
  void ShowEvents();
  QString SelectedId() const;

  RunLogConnection Log_;
  class RunLogReader* Reader_ = nullptr;
  QTimer* CommitTimer_ = nullptr;
  bool ChoicesStale_ = true, CatchUp_ = false, TimeSized_ = false;
  // Where a reader was when new runs came (the Update's answer).
  struct Place {
    bool Follow = false;
    QPersistentModelIndex Top;
    int Y = 0;
    QString Chosen;
  };
  std::optional<Place> Place_;
  std::optional<LogTarget> Target_;  // none: no log to open (off, or a malformed setting)
  QString OpenError_, Problem_, Notice_;
  bool NoticeIsProblem_ = false;
  bool Chinese_ = false;
  RunTableModel* Model_ = nullptr;
  QTableView* Table_ = nullptr;
  QTableWidget* Events_ = nullptr;
  QTabWidget* Tabs_ = nullptr;
  std::vector<EventRow> EventRows_;  // oldest first, as read
  std::vector<EventRow> AuditRows_;  // the same
  QTableWidget* Audit_ = nullptr;
  void ShowAudit();
  QCheckBox *FromOn_ = nullptr, *ToOn_ = nullptr;
  QDateTimeEdit *From_ = nullptr, *To_ = nullptr;
  QLineEdit* Serial_ = nullptr;
  QComboBox *Type_ = nullptr, *Kind_ = nullptr, *Verdict_ = nullptr, *Station_ = nullptr;
  QLabel *SerialCaption_ = nullptr, *TypeCaption_ = nullptr, *KindCaption_ = nullptr, *VerdictCaption_ = nullptr,
         *StationCaption_ = nullptr, *Status_ = nullptr;
  QPushButton *Search_ = nullptr, *Export_ = nullptr, *Rejudge_ = nullptr, *StatsButton_ = nullptr;
  TLogStatsForm* Stats_ = nullptr;
};

}  // namespace kt
