#pragma once
// Finding runs again: the filter the window, the export and the statistics
// share, and a table model that fetches a page at a time so that a log of
// millions of runs opens as fast as a small one.
#include <QAbstractTableModel>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/TestKind.h"
#include "verdict/Verdict.h"

namespace kt {

struct RunFilter {
  std::optional<std::int64_t> FromMs, ToMs;  // UTC ms, From <= time < To
  std::string Serial, Type, Station;         // exact match; empty: any
  std::optional<TestKind> Kind;
  std::optional<VerdictResult> Result;
  // Units of production only: golden checks left out (the statistics).
  bool ProductionOnly = false;
};

enum class RunColumn { Time, Station, Kind, Serial, Type, Name, Verdict, Profile, Operator };
inline constexpr int RunColumnCount = 9;

struct SqlWhere {
  QString Sql;  // "" or " WHERE ..." with ? placeholders
  QVariantList Values;
};
// alias: the name the runs table has in the query ("r").
SqlWhere BuildRunWhere(const RunFilter& filter, const QString& alias = "r");
// " ORDER BY ..." for a column, the run's sequence breaking ties so that
// pages never overlap.
QString RunOrderBy(RunColumn column, bool descending, const QString& alias = "r");
void BindAll(class QSqlQuery& query, const QVariantList& values);

int CountRuns(QSqlDatabase& db, const RunFilter& filter, std::int64_t& count, QString& error);

// A link failure or an abandoned run as the log keeps it.
struct EventRow {
  std::string Id, Station, What;
  std::int64_t TimeUtcMs = 0;
  TestKind Kind = NoTest;
  std::string Who{}, OldValue{}, NewValue{};  // an audit entry's
};
// The events within the filter's time, station and kind (the run-only
// fields are ignored), oldest first.
int QueryEvents(QSqlDatabase& db, const RunFilter& filter, std::vector<EventRow>& rows, QString& error);
// The audit trail within the filter's time and station, oldest first.
int QueryAudit(QSqlDatabase& db, const RunFilter& filter, std::vector<EventRow>& rows, QString& error);
// The time of the newest PASS of `serial` at or after sinceMs (0: none).
int LastPass(QSqlDatabase& db, const std::string& serial, std::int64_t sinceMs, std::int64_t& timeMs, QString& error);
// The audit entry a passing golden check leaves (its new value: the profile).
inline constexpr const char* GoldenPassedWhat = "golden check passed";
// The newest passing golden check of `profile` at `station` (0: none).
int LastGoldenPass(QSqlDatabase& db, const std::string& station, const std::string& profile, std::int64_t& timeMs,
                   QString& error);
int ListStations(QSqlDatabase& db, std::vector<std::string>& stations, QString& error);
int ListTypes(QSqlDatabase& db, std::vector<std::string>& types, QString& error);

class RunLogReader;

class RunTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int PageRows = 256;
  explicit RunTableModel(QObject* parent = nullptr);

  // The connection's name (a RunLogConnection opened on this thread): the
  // model reads there, and each call has its rows when it returns.
  void SetConnection(const QString& connectionName);
  // Or through `reader`, on its `channel`: nothing is read on this thread,
  // and the rows go in when their answer comes (QueryFinished). One query
  // is out at a time; a new filter or order supersedes it.
  void SetReader(RunLogReader* reader, int channel);
  bool Busy() const { return Pending_; }
  void SetFilter(const RunFilter& filter);
  const RunFilter& Filter() const { return Filter_; }
  RunColumn SortColumn() const { return Column_; }
  bool SortDescending() const { return Descending_; }
  void SetChinese(bool chinese);
  void Reload();
  // The runs added since, inserted where the order puts them; the rows
  // already there stay (and with them a view's selection). The number
  // inserted, or all rows when the table had to start again (through a
  // reader: 0, the rows come later).
  int Update();

  QString RunId(int row) const;
  TestKind KindAt(int row) const;
  const QString& LastError() const { return Error_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 signals:
  void QueryFailed(const QString& message);
  void UpdateArriving();  // an Update's rows are about to go in
  void QueryFinished();   // an answer went in, or failed

 private:
  struct Row {
    QString Id, Station, Serial, Type, Name, Profile, Operator;
    qint64 TimeMs = 0;
    int Kind = 0, Verdict = 0;
    bool Check = false;  // a golden check, not a unit
  };
  enum class Want { Reload, Page, Update };
  static int Fetch(QSqlDatabase& db, const RunFilter& filter, RunColumn column, bool descending, qint64 offset,
                   qint64 limit, std::vector<Row>& rows, QString& error);
  void Request(Want want, qint64 offset, qint64 limit);
  void Take(Want want, qint64 offset, qint64 limit, int status, const QString& error, std::vector<Row>& rows);
  void Merge(std::vector<Row>& fresh, qint64 limit);

  QString Connection_;
  RunLogReader* Reader_ = nullptr;
  int Channel_ = 0;
  bool Pending_ = false, UpdateWanted_ = false;
  int Inserted_ = 0;
  RunFilter Filter_;
  RunColumn Column_ = RunColumn::Time;
  bool Descending_ = true;
  bool Chinese_ = false;
  bool AtEnd_ = true;
  std::vector<Row> Rows_;
  QString Error_;
};

}  // namespace kt
