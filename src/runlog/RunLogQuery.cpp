#include "runlog/RunLogQuery.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

#include <memory>

#include "runlog/LoggedRun.h"
#include "runlog/RunLogNames.h"
#include "runlog/RunLogReader.h"

namespace kt {
namespace {

const char* ColumnSql(RunColumn c) {
  switch (c) {
    case RunColumn::Time:
      return "time_ms";
    case RunColumn::Station:
      return "station";
    case RunColumn::Kind:
      return "kind";
    case RunColumn::Serial:
      return "serial";
    case RunColumn::Type:
      return "type";
    case RunColumn::Name:
      return "name";
    case RunColumn::Verdict:
      return "verdict";
    case RunColumn::Profile:
      return "profile_name";
    case RunColumn::Operator:
      return "operator";
  }
  return "time_ms";
}

struct Caption {
  const char* English;
  const char* Chinese;
};
constexpr Caption Captions[RunColumnCount] = {
    {"Time", "时间"}, {"Station", "工位"}, {"Kind", "种类"},        {"Serial", "序列号"},   {"Type", "型号"},
    {"Name", "名称"}, {"Verdict", "结论"}, {"Profile", "限值方案"}, {"Operator", "操作员"},
};

int Distinct(QSqlDatabase& db, const char* column, std::vector<std::string>& out, QString& error) {
  out.clear();
  QSqlQuery q(db);
  q.setForwardOnly(true);
  // The indexes lead with these columns, so this is a skip over the index.
  if (!q.exec(QString("SELECT DISTINCT %1 FROM runs ORDER BY %1").arg(column))) {
    error = q.lastError().text();
    return 1;
  }
  while (q.next()) out.push_back(q.value(0).toString().toStdString());
  return 0;
}

}  // namespace

void BindAll(QSqlQuery& query, const QVariantList& values) {
  for (const QVariant& v : values) query.addBindValue(v);
}

SqlWhere BuildRunWhere(const RunFilter& f, const QString& alias) {
  SqlWhere w;
  QStringList parts;
  const QString a = alias.isEmpty() ? QString() : alias + ".";
  auto add = [&](const QString& sql, const QVariant& v) {
    parts << a + sql;
    w.Values << v;
  };
  if (f.FromMs) add("time_ms >= ?", static_cast<qint64>(*f.FromMs));
  if (f.ToMs) add("time_ms < ?", static_cast<qint64>(*f.ToMs));
  if (!f.Serial.empty()) add("serial = ?", QString::fromStdString(f.Serial));
  if (!f.Type.empty()) add("type = ?", QString::fromStdString(f.Type));
  if (!f.Station.empty()) add("station = ?", QString::fromStdString(f.Station));
  if (f.Kind) add("kind = ?", static_cast<int>(*f.Kind));
  if (f.Result) add("verdict = ?", VerdictCode(*f.Result));
  if (f.ProductionOnly) add("purpose = ?", static_cast<int>(RunPurpose::Production));
  if (!parts.isEmpty()) w.Sql = " WHERE " + parts.join(" AND ");
  return w;
}

QString RunOrderBy(RunColumn column, bool descending, const QString& alias) {
  const QString a = alias.isEmpty() ? QString() : alias + ".";
  const QString dir = descending ? " DESC" : " ASC";
  if (column == RunColumn::Time) return " ORDER BY " + a + "time_ms" + dir + ", " + a + "seq" + dir;
  // Ties follow the column's direction, so that the column's index (which
  // ends in time and sequence) gives the order without a sort.
  return " ORDER BY " + a + ColumnSql(column) + dir + ", " + a + "time_ms" + dir + ", " + a + "seq" + dir;
}

int CountRuns(QSqlDatabase& db, const RunFilter& filter, std::int64_t& count, QString& error) {
  const SqlWhere w = BuildRunWhere(filter);
  QSqlQuery q(db);
  q.prepare("SELECT COUNT(*) FROM runs r" + w.Sql);
  BindAll(q, w.Values);
  if (!q.exec() || !q.next()) {
    error = q.lastError().text();
    return 1;
  }
  count = q.value(0).toLongLong();
  return 0;
}

int QueryEvents(QSqlDatabase& db, const RunFilter& filter, std::vector<EventRow>& rows, QString& error) {
  RunFilter f;
  f.FromMs = filter.FromMs, f.ToMs = filter.ToMs, f.Station = filter.Station, f.Kind = filter.Kind;
  const SqlWhere w = BuildRunWhere(f, "e");
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare("SELECT e.uuid, e.time_ms, e.station, e.kind, e.what FROM events e" + w.Sql + " ORDER BY e.time_ms, e.seq");
  BindAll(q, w.Values);
  if (!q.exec()) {
    error = q.lastError().text();
    return 1;
  }
  rows.clear();
  while (q.next())
    rows.push_back({q.value(0).toString().toStdString(), q.value(2).toString().toStdString(),
                    q.value(4).toString().toStdString(), q.value(1).toLongLong(),
                    static_cast<TestKind>(q.value(3).toInt())});
  return 0;
}

int LastPass(QSqlDatabase& db, const std::string& serial, std::int64_t sinceMs, std::int64_t& timeMs, QString& error) {
  QSqlQuery q(db);
  // The serial index holds the time and the verdict: no visit to the table.
  q.prepare("SELECT MAX(time_ms) FROM runs WHERE serial = ? AND time_ms >= ? AND verdict = ?");
  BindAll(q, {QString::fromStdString(serial), QVariant::fromValue<qint64>(sinceMs), VerdictCode(VerdictResult::Pass)});
  if (!q.exec() || !q.next()) {
    error = q.lastError().text();
    return 1;
  }
  timeMs = q.value(0).isNull() ? 0 : q.value(0).toLongLong();
  return 0;
}

int LastGoldenPass(QSqlDatabase& db, const std::string& station, const std::string& profile, std::int64_t& timeMs,
                   QString& error) {
  QSqlQuery q(db);
  q.prepare("SELECT MAX(time_ms) FROM audit WHERE what = ? AND station = ? AND new_value = ?");
  BindAll(q, {QString(GoldenPassedWhat), QString::fromStdString(station), QString::fromStdString(profile)});
  if (!q.exec() || !q.next()) {
    error = q.lastError().text();
    return 1;
  }
  timeMs = q.value(0).isNull() ? 0 : q.value(0).toLongLong();
  return 0;
}

int QueryAudit(QSqlDatabase& db, const RunFilter& filter, std::vector<EventRow>& rows, QString& error) {
  RunFilter f;
  f.FromMs = filter.FromMs, f.ToMs = filter.ToMs, f.Station = filter.Station;
  const SqlWhere w = BuildRunWhere(f, "a");
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare("SELECT a.uuid, a.time_ms, a.station, a.who, a.what, a.old_value, a.new_value FROM audit a" + w.Sql +
            " ORDER BY a.time_ms, a.seq");
  BindAll(q, w.Values);
  if (!q.exec()) {
    error = q.lastError().text();
    return 1;
  }
  rows.clear();
  const auto text = [&](int column) { return q.value(column).toString().toStdString(); };
  while (q.next()) {
    EventRow r{text(0), text(2), text(4), q.value(1).toLongLong(), NoTest};
    r.Who = text(3), r.OldValue = text(5), r.NewValue = text(6);
    rows.push_back(std::move(r));
  }
  return 0;
}

int ListStations(QSqlDatabase& db, std::vector<std::string>& stations, QString& error) {
  return Distinct(db, "station", stations, error);
}

int ListTypes(QSqlDatabase& db, std::vector<std::string>& types, QString& error) {
  return Distinct(db, "type", types, error);
}

RunTableModel::RunTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void RunTableModel::SetConnection(const QString& connectionName) {
  Connection_ = connectionName;
  Reader_ = nullptr;
  Reload();
}

void RunTableModel::SetReader(RunLogReader* reader, int channel) {
  Connection_.clear();
  Reader_ = reader;
  Channel_ = channel;
  Reload();
}

void RunTableModel::SetFilter(const RunFilter& filter) {
  Filter_ = filter;
  Reload();
}

void RunTableModel::SetChinese(bool chinese) {
  Chinese_ = chinese;
  emit headerDataChanged(Qt::Horizontal, 0, RunColumnCount - 1);
  if (!Rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, RunColumnCount - 1));
}

void RunTableModel::Reload() {
  UpdateWanted_ = false;
  Error_.clear();
  // The rows shown stay until the new ones come, instead of a blank table.
  if (Reader_ || !Connection_.isEmpty()) return Request(Want::Reload, 0, PageRows);
  Pending_ = false;
  beginResetModel();
  Rows_.clear();
  AtEnd_ = true;
  endResetModel();
}

int RunTableModel::Update() {
  if (Pending_) {  // after the answer under way, which may predate the new runs
    UpdateWanted_ = true;
    return 0;
  }
  if (Rows_.empty()) {
    Reload();
    return rowCount();
  }
  Inserted_ = 0;
  Request(Want::Update, 0, static_cast<qint64>(Rows_.size()) + PageRows);
  return Inserted_;
}

void RunTableModel::Request(Want want, qint64 offset, qint64 limit) {
  Pending_ = true;
  auto rows = std::make_shared<std::vector<Row>>();
  RunLogReader::Job job = [rows, filter = Filter_, column = Column_, descending = Descending_, offset, limit](
                              QSqlDatabase& db, QString& error) {
    return Fetch(db, filter, column, descending, offset, limit, *rows, error);
  };
  RunLogReader::Done done = [this, want, offset, limit, rows](int status, const QString& error) {
    Take(want, offset, limit, status, error, *rows);
  };
  if (Reader_) return Reader_->Ask(Channel_, std::move(job), std::move(done));
  QSqlDatabase db = QSqlDatabase::database(Connection_, false);
  QString error;
  const int status = job(db, error);
  done(status, error);
}

void RunTableModel::Take(Want want, qint64 offset, qint64 limit, int status, const QString& error,
                         std::vector<Row>& rows) {
  Pending_ = false;
  if (status) {
    Error_ = error;
    AtEnd_ = true;
    if (want == Want::Reload) {
      beginResetModel();
      Rows_.clear();
      endResetModel();
    }
    emit QueryFailed(Error_);
  } else if (want == Want::Reload) {
    beginResetModel();
    Rows_ = std::move(rows);
    AtEnd_ = static_cast<qint64>(Rows_.size()) < limit;
    endResetModel();
  } else if (want == Want::Update) {
    emit UpdateArriving();
    Merge(rows, limit);
  } else if (offset == static_cast<qint64>(Rows_.size())) {
    Error_.clear();
    if (!rows.empty()) {
      const int first = rowCount();
      beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
      for (Row& r : rows) Rows_.push_back(std::move(r));
      endInsertRows();
    }
    AtEnd_ = static_cast<qint64>(rows.size()) < limit;
  }
  if (UpdateWanted_ && !Pending_) {
    UpdateWanted_ = false;
    Update();
  }
  emit QueryFinished();
}

void RunTableModel::Merge(std::vector<Row>& fresh, qint64 limit) {
  Error_.clear();
  // The rows shown must all be there, in their order: what else came is
  // new runs, inserted where the order puts them. Else (a run went away, or
  // more came above them than were fetched) the table starts again.
  std::size_t matched = 0, last = 0;
  for (std::size_t j = 0; j < fresh.size() && matched < Rows_.size(); ++j)
    if (fresh[j].Id == Rows_[matched].Id) ++matched, last = j;
  if (matched < Rows_.size()) {
    Reload();
    Inserted_ = rowCount();
    return;
  }
  // Rows past the last one shown belong to later pages, unless all was shown.
  const bool atEnd = AtEnd_;
  const std::size_t keep = atEnd ? fresh.size() : last + 1;
  for (std::size_t j = 0, at = 0; j < keep;) {
    if (at < Rows_.size() && fresh[j].Id == Rows_[at].Id) {
      ++j, ++at;
      continue;
    }
    std::size_t end = j;
    while (end < keep && (at >= Rows_.size() || fresh[end].Id != Rows_[at].Id)) ++end;
    const int first = static_cast<int>(at), count = static_cast<int>(end - j);
    beginInsertRows({}, first, first + count - 1);
    const auto from = fresh.begin() + static_cast<std::ptrdiff_t>(j);
    Rows_.insert(Rows_.begin() + first, std::make_move_iterator(from), std::make_move_iterator(from + count));
    endInsertRows();
    Inserted_ += count;
    at += end - j;
    j = end;
  }
  AtEnd_ = atEnd && static_cast<qint64>(fresh.size()) < limit;
}

int RunTableModel::Fetch(QSqlDatabase& db, const RunFilter& filter, RunColumn column, bool descending, qint64 offset,
                         qint64 limit, std::vector<Row>& rows, QString& error) {
  rows.clear();
  const SqlWhere w = BuildRunWhere(filter);
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(
      "SELECT r.uuid, r.time_ms, r.station, r.kind, r.serial, r.type, r.name, r.verdict,"
      " r.profile_name, r.operator, r.purpose FROM runs r" +
      w.Sql + RunOrderBy(column, descending) + " LIMIT ? OFFSET ?");
  BindAll(q, w.Values);
  q.addBindValue(limit);
  q.addBindValue(offset);
  if (!q.exec()) {
    error = q.lastError().text();
    return 1;
  }
  while (q.next()) {
    Row r;
    r.Id = q.value(0).toString();
    r.TimeMs = q.value(1).toLongLong();
    r.Station = q.value(2).toString();
    r.Kind = q.value(3).toInt();
    r.Serial = q.value(4).toString();
    r.Type = q.value(5).toString();
    r.Name = q.value(6).toString();
    r.Verdict = q.value(7).toInt();
    r.Profile = q.value(8).toString();
    r.Operator = q.value(9).toString();
    r.Check = q.value(10).toInt() == static_cast<int>(RunPurpose::GoldenCheck);
    rows.push_back(std::move(r));
  }
  if (q.lastError().isValid()) {  // cut short (stopped, or the server went): not a whole page
    error = q.lastError().text();
    return 1;
  }
  return 0;
}

QString RunTableModel::RunId(int row) const {
  return row >= 0 && row < rowCount() ? Rows_[static_cast<std::size_t>(row)].Id : QString();
}

TestKind RunTableModel::KindAt(int row) const {
  return row >= 0 && row < rowCount() ? Rows_[static_cast<std::size_t>(row)].Kind : NoTest;
}

int RunTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Rows_.size());
}

int RunTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RunColumnCount; }

QVariant RunTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& r = Rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::UserRole) return r.Id;
  if (role != Qt::DisplayRole) return {};
  switch (static_cast<RunColumn>(index.column())) {
    case RunColumn::Time:
      return QDateTime::fromMSecsSinceEpoch(r.TimeMs).toString("yyyy-MM-dd HH:mm:ss");
    case RunColumn::Station:
      return r.Station;
    case RunColumn::Kind:
      return QString::fromStdString(KindName(r.Kind, Chinese_));
    case RunColumn::Serial:
      return r.Serial;
    case RunColumn::Type:
      return r.Type;
    case RunColumn::Name:
      return r.Name;
    case RunColumn::Verdict:
      return QString::fromStdString(VerdictName(VerdictFromCode(r.Verdict), Chinese_)) +
             (r.Check ? QString::fromUtf8(Chinese_ ? "（标准样品核查）" : " (golden check)") : QString());
    case RunColumn::Profile:
      return r.Profile;
    case RunColumn::Operator:
      return r.Operator;
  }
  return {};
}

QVariant RunTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= RunColumnCount)
    return QAbstractTableModel::headerData(section, orientation, role);
  return QString::fromUtf8(Chinese_ ? Captions[section].Chinese : Captions[section].English);
}

bool RunTableModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !AtEnd_ && !Pending_; }

void RunTableModel::fetchMore(const QModelIndex& parent) {
  if (canFetchMore(parent)) Request(Want::Page, static_cast<qint64>(Rows_.size()), PageRows);
}

void RunTableModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= RunColumnCount) return;
  Column_ = static_cast<RunColumn>(column);
  Descending_ = order == Qt::DescendingOrder;
  Reload();
}

}  // namespace kt
