#include "runlog/RunLogQuery.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

#include "runlog/RunLogNames.h"

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

int ListStations(QSqlDatabase& db, std::vector<std::string>& stations, QString& error) {
  return Distinct(db, "station", stations, error);
}

int ListTypes(QSqlDatabase& db, std::vector<std::string>& types, QString& error) {
  return Distinct(db, "type", types, error);
}

RunTableModel::RunTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void RunTableModel::SetConnection(const QString& connectionName) {
  Connection_ = connectionName;
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
  beginResetModel();
  Rows_.clear();
  Error_.clear();
  AtEnd_ = Connection_.isEmpty();
  if (!AtEnd_) {
    std::vector<Row> page;
    if (Fetch(0, PageRows, page) == 0) Rows_ = std::move(page);
  }
  endResetModel();
}

int RunTableModel::Update() {
  if (Connection_.isEmpty() || Rows_.empty()) {
    Reload();
    return rowCount();
  }
  Error_.clear();
  const bool atEnd = AtEnd_;
  std::vector<Row> fresh;
  const qint64 limit = static_cast<qint64>(Rows_.size()) + PageRows;
  if (Fetch(0, limit, fresh)) return 0;
  // The rows shown must all be there, in their order: what else came is
  // new runs, inserted where the order puts them. Else (a run went away, or
  // more came above them than were fetched) the table starts again.
  std::size_t matched = 0, last = 0;
  for (std::size_t j = 0; j < fresh.size() && matched < Rows_.size(); ++j)
    if (fresh[j].Id == Rows_[matched].Id) ++matched, last = j;
  if (matched < Rows_.size()) {
    Reload();
    return rowCount();
  }
  // Rows past the last one shown belong to later pages, unless all was shown.
  const std::size_t keep = atEnd ? fresh.size() : last + 1;
  int inserted = 0;
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
    inserted += count;
    at += end - j;
    j = end;
  }
  AtEnd_ = atEnd && static_cast<qint64>(fresh.size()) < limit;
  return inserted;
}

int RunTableModel::Fetch(qint64 offset, qint64 limit, std::vector<Row>& rows) {
  QSqlDatabase db = QSqlDatabase::database(Connection_, false);
  const SqlWhere w = BuildRunWhere(Filter_);
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(
      "SELECT r.uuid, r.time_ms, r.station, r.kind, r.serial, r.type, r.name, r.verdict,"
      " r.profile_name, r.operator FROM runs r" +
      w.Sql + RunOrderBy(Column_, Descending_) + " LIMIT ? OFFSET ?");
  BindAll(q, w.Values);
  q.addBindValue(limit);
  q.addBindValue(offset);
  if (!q.exec()) {
    Error_ = q.lastError().text();
    AtEnd_ = true;
    emit QueryFailed(Error_);
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
    rows.push_back(std::move(r));
  }
  AtEnd_ = static_cast<qint64>(rows.size()) < limit;
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
      return QString::fromStdString(VerdictName(VerdictFromCode(r.Verdict), Chinese_));
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

bool RunTableModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !AtEnd_; }

void RunTableModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid() || AtEnd_) return;
  std::vector<Row> page;
  if (Fetch(static_cast<qint64>(Rows_.size()), PageRows, page) || page.empty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
  for (Row& r : page) Rows_.push_back(std::move(r));
  endInsertRows();
}

void RunTableModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= RunColumnCount) return;
  Column_ = static_cast<RunColumn>(column);
  Descending_ = order == Qt::DescendingOrder;
  Reload();
}

}  // namespace kt
