#pragma once
// "测试记录": the run log's window. A table of logged runs with filters
// (dates, serial, type, kind, verdict, station), fetched a page at a time,
// sortable by any column; export of the filtered runs to CSV; the
// statistics window; a double-click opens the run on the main window's pages
// exactly as if from its data file. Non-modal: it stays open beside the
// main window.
#include <QByteArray>
#include <QString>
#include <QWidget>

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

namespace kt {

class TLogStatsForm;

class TLogForm : public QWidget {
  Q_OBJECT

 public:
  // config: the same the writer was given. The window reads the log on a
  // connection of its own, on the window thread.
  explicit TLogForm(const RunLogConfig& config, QWidget* parent = nullptr);
  ~TLogForm() override;

  RunFilter CurrentFilter() const;
  RunTableModel* Model() const { return Model_; }
  QTableView* Table() const { return Table_; }
  TLogStatsForm* Statistics() const { return Stats_; }
  bool IsOpen() const { return Log_.IsOpen(); }
  // Writes the filtered rows without asking for a file. 0 on success.
  int ExportCsvTo(const QString& path, QString& error);

 public slots:
  void SetChinese(bool chinese);
  void Refresh();                               // the table again, with the filters as they are
  void ShowLogProblem(const QString& english, const QString& chinese);  // the writer's Failed
  void ClearLogProblem();                       // and its Recovered
  void ExportCsv();                             // asks for a file
  void ShowStatistics();
  void OpenRow(int row);

 signals:
  // The run's record bytes and kind, as a data file of it would give them.
  void OpenRun(const QByteArray& record, int kind);
  void RunChosen(const QString& id);

 private:
  void BuildFilters();
  void FillChoices();
  void ShowStatus();

  RunLogConnection Log_;
  QString OpenError_, Problem_;
  bool Chinese_ = false;
  RunTableModel* Model_ = nullptr;
  QTableView* Table_ = nullptr;
  QCheckBox *FromOn_ = nullptr, *ToOn_ = nullptr;
  QDateTimeEdit *From_ = nullptr, *To_ = nullptr;
  QLineEdit* Serial_ = nullptr;
  QComboBox *Type_ = nullptr, *Kind_ = nullptr, *Verdict_ = nullptr, *Station_ = nullptr;
  QLabel *SerialCaption_ = nullptr, *TypeCaption_ = nullptr, *KindCaption_ = nullptr, *VerdictCaption_ = nullptr,
         *StationCaption_ = nullptr, *Status_ = nullptr;
  QPushButton *Search_ = nullptr, *Export_ = nullptr, *StatsButton_ = nullptr;
  TLogStatsForm* Stats_ = nullptr;
};

}  // namespace kt
