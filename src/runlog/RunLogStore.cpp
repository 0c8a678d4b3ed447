#include "runlog/RunLogStore.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "runlog/RunLogNames.h"
#include "runlog/RunLogSchema.h"
#include "runlog/RunStats.h"

namespace kt {
namespace {

// Child rows go in multi-row inserts: one round trip per batch rather than
// per figure, which is what a PostgreSQL server across a line wants. SQLite
// has no round trips, and binding to a long statement costs it time that
// grows with the square of its parameters: there, short batches.
std::size_t RowsPerInsert(const QSqlDatabase& db) { return IsPostgres(db) ? 64 : 8; }

// The namespace of imported runs' ids (a fixed, random UUID of this program).
const QUuid ImportNamespace("{6a1c3f52-9b4e-4d7a-8e21-5f0c6b9d2a17}");

QVariant Real(const std::optional<double>& v) {
  if (!v || !std::isfinite(*v)) return QVariant(QMetaType(QMetaType::Double));
  return *v;
}

std::optional<double> OptionalReal(const QVariant& v) {
  if (v.isNull()) return std::nullopt;
  return v.toDouble();
}

QString Text(const std::string& s) { return QString::fromStdString(s); }
std::string Std(const QVariant& v) { return v.toString().toStdString(); }

std::string JoinLines(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& s : items) {
    if (!out.empty()) out += '\n';
    out += s;
  }
  return out;
}

std::vector<std::string> SplitLines(const std::string& s) {
  std::vector<std::string> out;
  if (s.empty()) return out;
  std::size_t start = 0;
  for (;;) {
    const auto nl = s.find('\n', start);
    out.push_back(s.substr(start, nl - start));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return out;
}

int Fail(QSqlQuery& q, QString& error) {
  error = q.lastError().text();
  return 1;
}

// The statements of one transaction, each prepared once for all its runs:
// a parse less each on SQLite, round trips less each on PostgreSQL.
class Statements {
 public:
  explicit Statements(QSqlDatabase& db) : Db_(db) {}
  QSqlQuery* Get(const QString& sql, QString& error) {
    auto it = Cache_.find(sql);
    if (it == Cache_.end()) {
      it = Cache_.emplace(sql, QSqlQuery(Db_)).first;
      if (!it->second.prepare(sql)) {
        Fail(it->second, error);
        Cache_.erase(it);
        return nullptr;
      }
    }
    return &it->second;
  }
  const QSqlDatabase& Db() const { return Db_; }

 private:
  QSqlDatabase& Db_;
  std::map<QString, QSqlQuery> Cache_;
};

// Inserts rows of `columns` values each into table, RowsPerInsert at a time
// (`then`: an ON CONFLICT clause).
int InsertRows(Statements& statements, const QString& table, const QStringList& columns,
               const std::vector<QVariantList>& rows, QString& error, const QString& then = QString()) {
  const std::size_t most = RowsPerInsert(statements.Db());
  for (std::size_t first = 0; first < rows.size(); first += most) {
    const std::size_t n = std::min(most, rows.size() - first);
    QString one = "(" + QString("?,").repeated(static_cast<int>(columns.size()));
    one.chop(1);
    one += ")";
    QStringList groups;
    for (std::size_t i = 0; i < n; ++i) groups << one;
    QSqlQuery* q = statements.Get(
        "INSERT INTO " + table + " (" + columns.join(',') + ") VALUES " + groups.join(',') + then, error);
    if (!q) return 1;
    int at = 0;
    for (std::size_t i = 0; i < n; ++i)
      for (const QVariant& v : rows[first + i]) q->bindValue(at++, v);
    if (!q->exec()) return Fail(*q, error);
  }
  return 0;
}

// The run's share of the statistics' summaries, in its own transaction so
// that they never disagree with the runs. The run's values are first
// gathered per figure (a name may come twice), then merged into the day's
// row: counts add, and means and squared deviations combine exactly
// (m2 = m2a + m2b + d^2 na nb / n, d the means' difference).
int AddToStats(QSqlDatabase& db, Statements& statements, const LoggedRun& run, bool first, QString& error) {
  const QVariantList key = {QVariant(static_cast<qint64>(StatsDay(run.TimeUtcMs))), Text(run.Station),
                            static_cast<int>(run.Kind), Text(run.Info.Type), VerdictCode(run.Result.Result)};
  const QString keyColumns = "day, station, kind, type, verdict";
  QStringList columns = keyColumns.split(", ");
  QVariantList row = key;
  row << 1 << (run.Info.No.empty() ? 1 : 0) << (first ? 1 : 0)
      << (first && run.Result.Result == VerdictResult::Pass ? 1 : 0);
  if (InsertRows(
          statements, "stats_runs", columns + QStringList{"runs", "no_serial", "units", "first_pass"}, {row}, error,
          " ON CONFLICT (" + keyColumns +
              ") DO UPDATE SET runs = stats_runs.runs + 1, no_serial = stats_runs.no_serial + excluded.no_serial,"
              " units = stats_runs.units + excluded.units, first_pass = stats_runs.first_pass + excluded.first_pass"))
    return 1;
  std::map<std::string, Moments> values;
  for (const NamedFigure& f : run.Figures)
    if (f.Measured && std::isfinite(f.Value)) values[f.Name] = MergeMoments(values[f.Name], OneValue(f.Value));
  std::vector<QVariantList> rows;
  for (const auto& [name, m] : values)
    rows.push_back(key + QVariantList{Text(name), static_cast<qint64>(m.N), m.Mean, m.M2, m.Min, m.Max});
  if (InsertRows(statements, "stats_figures",
                 columns + QStringList{"name", "n", "mean", "m2", "min_value", "max_value"}, rows, error,
                 DialectSql(db, " ON CONFLICT (" + keyColumns +
                                    ", name) DO UPDATE SET n = stats_figures.n + excluded.n,"
                                    " mean = stats_figures.mean + (excluded.mean - stats_figures.mean) * excluded.n"
                                    " / (stats_figures.n + excluded.n),"
                                    " m2 = stats_figures.m2 + excluded.m2 + (excluded.mean - stats_figures.mean)"
                                    " * (excluded.mean - stats_figures.mean) * stats_figures.n * excluded.n"
                                    " / (stats_figures.n + excluded.n),"
                                    " min_value = {LEAST}(stats_figures.min_value, excluded.min_value),"
                                    " max_value = {GREATEST}(stats_figures.max_value, excluded.max_value)")))
    return 1;
  // Per figure and pair of limits: outcomes, fails. Limits as the rules
  // table keeps them (a bound that is not finite is none).
  std::map<std::tuple<std::string, int, double, double>, std::pair<qint64, qint64>> rules;
  for (const RuleResult& r : run.Result.Rules) {
    const QVariant lo = Real(r.Min), hi = Real(r.Max);
    auto& [n, fails] = rules[{r.Figure, (lo.isNull() ? 0 : 1) + (hi.isNull() ? 0 : 2), lo.isNull() ? 0 : *r.Min,
                              hi.isNull() ? 0 : *r.Max}];
    ++n;
    fails += r.Outcome == RuleOutcome::Fail ? 1 : 0;
  }
  rows.clear();
  for (const auto& [k, c] : rules)
    rows.push_back(
        key + QVariantList{Text(std::get<0>(k)), std::get<1>(k), std::get<2>(k), std::get<3>(k), c.first, c.second});
  return InsertRows(statements, "stats_rules",
                    columns + QStringList{"figure", "bounds", "min_value", "max_value", "n", "fails"}, rows, error,
                    " ON CONFLICT (" + keyColumns +
                        ", figure, bounds, min_value, max_value) DO UPDATE SET n = stats_rules.n + excluded.n,"
                        " fails = stats_rules.fails + excluded.fails");
}

int WriteRunBody(QSqlDatabase& db, Statements& statements, const LoggedRun& run, WriteOutcome& outcome,
                 QString& error) {
  const std::string hash = !run.ProfileHash.empty()
                               ? run.ProfileHash
                               : (run.ProfileText.empty() ? std::string() : ProfileFileHash(run.ProfileText));
  // Is this run its serial's first judged one? Its time against the
  // current first's (a later run, written already, never precedes it: its
  // sequence is higher). PostgreSQL: stations writing one serial at once
  // take turns, or both would find none and both be first.
  const Verdict& v = run.Result;
  const bool judged =
      v.Result == VerdictResult::Pass || v.Result == VerdictResult::Fail || v.Result == VerdictResult::Incomplete;
  // A golden check is no unit of production: never its serial's first run,
  // never in the summaries, and its figures only in its record and its
  // golden rules, so that no statistic of the line counts it.
  const bool check = run.Purpose == RunPurpose::GoldenCheck;
  bool first = judged && !run.Info.No.empty() && !check;
  QVariantList demoted;  // the run that was first until now, and its summary key
  if (first) {
    QSqlQuery* lock = IsPostgres(db) ? statements.Get("SELECT pg_advisory_xact_lock(hashtext(?))", error) : nullptr;
    if (lock) lock->bindValue(0, Text(run.Info.No));
    if (IsPostgres(db) && (!lock || !lock->exec())) return lock ? Fail(*lock, error) : 1;
    QSqlQuery* find = statements.Get(
        "SELECT seq, time_ms, station, kind, type, verdict FROM runs WHERE serial = ? AND first_judged = 1", error);
    if (!find) return 1;
    find->bindValue(0, Text(run.Info.No));
    if (!find->exec()) return Fail(*find, error);
    if (find->next()) {
      first = run.TimeUtcMs < find->value(1).toLongLong();
      if (first)
        demoted = {find->value(0), static_cast<qint64>(StatsDay(find->value(1).toLongLong())),
                   find->value(2), find->value(3),
                   find->value(4), find->value(5)};
    }
    find->finish();
  }
  QSqlQuery* insert = statements.Get(
      "INSERT INTO runs (uuid, time_ms, station, kind, name, serial, type, standard,"
      " temperature, humidity, manufacturer, operator, luminous_flux,"
      " colour_temperature, test_date, verdict, screening, verdict_detail, missing,"
      " profile_name, profile_revision, profile_hash, program_version, first_judged, purpose,"
      " instrument_serial, calibration_due)"
      " VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
      " ON CONFLICT (uuid) DO NOTHING RETURNING seq",
      error);
  if (!insert) return 1;
  QSqlQuery& q = *insert;
  int at = 0;
  const TestInfo& i = run.Info;
  for (const QVariant& value : {QVariant(Text(run.Id)),
                                QVariant(static_cast<qint64>(run.TimeUtcMs)),
                                QVariant(Text(run.Station)),
                                QVariant(static_cast<int>(run.Kind)),
                                QVariant(Text(i.Name)),
                                QVariant(Text(i.No)),
                                QVariant(Text(i.Type)),
                                QVariant(Text(i.Standard)),
                                QVariant(Text(i.Temperature)),
                                QVariant(Text(i.Humidity)),
                                QVariant(Text(i.Manufacturer)),
                                QVariant(Text(i.Operator)),
                                QVariant(Text(i.LuminousFlux)),
                                QVariant(Text(i.ColourTemperature)),
                                QVariant(Text(run.TestDate)),
                                QVariant(VerdictCode(v.Result)),
                                QVariant(v.Screening ? 1 : 0),
                                QVariant(Text(v.Detail)),
                                QVariant(Text(JoinLines(v.Missing))),
                                QVariant(Text(v.ProfileName)),
                                QVariant(Text(v.ProfileRevision)),
                                QVariant(Text(hash)),
                                QVariant(Text(run.ProgramVersion)),
                                QVariant(first ? 1 : 0),
                                QVariant(static_cast<int>(run.Purpose)),
                                QVariant(Text(run.InstrumentSerial)),
                                QVariant(Text(run.CalibrationDue))})
    q.bindValue(at++, value);
  if (!q.exec()) return Fail(q, error);
  if (!q.next()) {
    q.finish();
    outcome = WriteOutcome::AlreadyThere;
    return 0;
  }
  const qint64 seq = q.value(0).toLongLong();
  q.finish();
  outcome = WriteOutcome::Written;
  if (!demoted.isEmpty()) {  // an earlier run came late: it is its serial's first now
    QSqlQuery* flag = statements.Get("UPDATE runs SET first_judged = 0 WHERE seq = ?", error);
    if (!flag) return 1;
    flag->bindValue(0, demoted[0]);
    if (!flag->exec()) return Fail(*flag, error);
    QSqlQuery* units = statements.Get(QString("UPDATE stats_runs SET units = units - 1, first_pass = first_pass -"
                                              " CASE WHEN verdict = %1 THEN 1 ELSE 0 END WHERE day = ? AND"
                                              " station = ? AND kind = ? AND type = ? AND verdict = ?")
                                          .arg(VerdictCode(VerdictResult::Pass)),
                                      error);
    if (!units) return 1;
    for (int k = 1; k < 6; ++k) units->bindValue(k - 1, demoted[k]);
    if (!units->exec()) return Fail(*units, error);
  }
  QSqlQuery* rec = statements.Get("INSERT INTO run_records (run_seq, record) VALUES (?, ?)", error);
  if (!rec) return 1;
  rec->bindValue(0, seq);
  // An empty record is an empty blob, not NULL (a null QByteArray binds as NULL).
  rec->bindValue(1, run.Record.empty() ? QByteArray("")
                                       : QByteArray(reinterpret_cast<const char*>(run.Record.data()),
                                                    static_cast<qsizetype>(run.Record.size())));
  if (!rec->exec()) return Fail(*rec, error);

  std::vector<QVariantList> figures;
  figures.reserve(run.Figures.size());
  for (std::size_t k = 0; k < (check ? 0 : run.Figures.size()); ++k) {
    const NamedFigure& f = run.Figures[k];
    figures.push_back({seq, static_cast<int>(k), Text(f.Name),
                       Real(f.Measured ? std::optional<double>(f.Value) : std::nullopt), f.Measured ? 1 : 0});
  }
  if (InsertRows(statements, "figures", {"run_seq", "pos", "name", "value", "measured"}, figures, error)) return 1;
  std::vector<QVariantList> rules;
  rules.reserve(v.Rules.size());
  for (std::size_t k = 0; k < v.Rules.size(); ++k) {
    const RuleResult& r = v.Rules[k];
    rules.push_back({seq, static_cast<int>(k), Text(r.Figure), Real(r.Value), Real(r.Min), Real(r.Max), Real(r.Margin),
                     OutcomeCode(r.Outcome), Text(r.Note)});
  }
  if (InsertRows(statements, "rules",
                 {"run_seq", "pos", "figure", "value", "min_value", "max_value", "margin", "outcome", "note"}, rules,
                 error))
    return 1;
  return check ? 0 : AddToStats(db, statements, run, first, error);
}

}  // namespace

std::string ProfileFileHash(const std::string& text) {
  return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256).toHex().toStdString();
}

std::string NewRunId() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString(); }

std::string RunIdFromBytes(const std::vector<std::uint8_t>& bytes) {
  const QByteArray digest = QCryptographicHash::hash(
      QByteArrayView(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())),
      QCryptographicHash::Sha256);
  return QUuid::createUuidV5(ImportNamespace, digest.toHex()).toString(QUuid::WithoutBraces).toStdString();
}

int WriteRun(QSqlDatabase& db, const LoggedRun& run, WriteOutcome& outcome, QString& error) {
  if (run.Id.empty()) {
    error = "a run without an id cannot be logged";
    return 1;
  }
  if (BeginWrite(db, error)) return 1;
  int failed = 0;
  {
    // Finished before the commit: a statement still open there would keep
    // its read of the log alive across it.
    Statements statements(db);
    failed = WriteRunBody(db, statements, run, outcome, error);
  }
  if (failed || CommitWrite(db, error)) {
    RollbackWrite(db);
    return 1;
  }
  return 0;
}

int WriteRuns(QSqlDatabase& db, const std::vector<LoggedRun>& runs, QString& error) {
  if (BeginWrite(db, error)) return 1;
  {
    Statements statements(db);  // (finished before the commit, as above)
    for (const LoggedRun& run : runs) {
      WriteOutcome outcome{};
      if (run.Id.empty() || WriteRunBody(db, statements, run, outcome, error)) {
        if (run.Id.empty()) error = "a run without an id cannot be logged";
        RollbackWrite(db);
        return 1;
      }
    }
  }
  if (CommitWrite(db, error)) {
    RollbackWrite(db);
    return 1;
  }
  return 0;
}

int WriteEvent(QSqlDatabase& db, const LoggedEvent& event, WriteOutcome& outcome, QString& error) {
  QSqlQuery q(db);
  if (!q.prepare(event.Audit ? "INSERT INTO audit (uuid, time_ms, station, who, what, old_value, new_value)"
                               " VALUES (?,?,?,?,?,?,?) ON CONFLICT (uuid) DO NOTHING"
                             : "INSERT INTO events (uuid, time_ms, station, kind, what) VALUES (?,?,?,?,?)"
                               " ON CONFLICT (uuid) DO NOTHING"))
    return Fail(q, error);
  q.addBindValue(Text(event.Id));
  q.addBindValue(static_cast<qint64>(event.TimeUtcMs));
  q.addBindValue(Text(event.Station));
  if (event.Audit) {
    for (const std::string* t : {&event.Who, &event.What, &event.OldValue, &event.NewValue}) q.addBindValue(Text(*t));
  } else {
    q.addBindValue(static_cast<int>(event.Kind));
    q.addBindValue(Text(event.What));
  }
  if (!q.exec()) return Fail(q, error);
  outcome = q.numRowsAffected() > 0 ? WriteOutcome::Written : WriteOutcome::AlreadyThere;
  return 0;
}

int RunExists(QSqlDatabase& db, const std::string& id, bool& present, QString& error) {
  QSqlQuery q(db);
  q.prepare("SELECT 1 FROM runs WHERE uuid = ?");
  q.addBindValue(Text(id));
  if (!q.exec()) return Fail(q, error);
  present = q.next();
  return 0;
}

int ReadRecord(QSqlDatabase& db, const std::string& id, std::vector<std::uint8_t>& record, TestKind& kind,
               QString& error) {
  error.clear();
  QSqlQuery q(db);
  q.prepare("SELECT r.kind, c.record FROM runs r JOIN run_records c ON c.run_seq = r.seq WHERE r.uuid = ?");
  q.addBindValue(Text(id));
  if (!q.exec()) return Fail(q, error);
  if (!q.next()) return 1;
  kind = q.value(0).toInt();
  const QByteArray bytes = q.value(1).toByteArray();
  record.assign(bytes.begin(), bytes.end());
  return 0;
}

int ReadRun(QSqlDatabase& db, const std::string& id, LoggedRun& run, QString& error) {
  error.clear();
  run = LoggedRun{};
  QSqlQuery q(db);
  q.prepare(
      "SELECT seq, uuid, time_ms, station, kind, name, serial, type, standard, temperature,"
      " humidity, manufacturer, operator, luminous_flux, colour_temperature, test_date, verdict,"
      " screening, verdict_detail, missing, profile_name, profile_revision, profile_hash,"
      " program_version, purpose, instrument_serial, calibration_due FROM runs WHERE uuid = ?");
  q.addBindValue(Text(id));
  if (!q.exec()) return Fail(q, error);
  if (!q.next()) return 1;
  const qint64 seq = q.value(0).toLongLong();
  run.Id = Std(q.value(1));
  run.TimeUtcMs = q.value(2).toLongLong();
  run.Station = Std(q.value(3));
  run.Kind = q.value(4).toInt();
  TestInfo& i = run.Info;
  std::string* info[] = {&i.Name,      &i.No,           &i.Type,     &i.Standard,     &i.Temperature,
                         &i.Humidity,  &i.Manufacturer, &i.Operator, &i.LuminousFlux, &i.ColourTemperature,
                         &run.TestDate};
  for (int k = 0; k < 11; ++k) *info[k] = Std(q.value(5 + k));
  Verdict& v = run.Result;
  v.Result = VerdictFromCode(q.value(16).toInt());
  v.Kind = run.Kind;
  v.Screening = q.value(17).toInt() != 0;
  v.Detail = Std(q.value(18));
  v.Missing = SplitLines(Std(q.value(19)));
  v.ProfileName = Std(q.value(20));
  v.ProfileRevision = Std(q.value(21));
  run.ProfileHash = Std(q.value(22));
  run.ProgramVersion = Std(q.value(23));
  run.Purpose = q.value(24).toInt() == 1 ? RunPurpose::GoldenCheck : RunPurpose::Production;
  run.InstrumentSerial = Std(q.value(25));
  run.CalibrationDue = Std(q.value(26));

  QSqlQuery c(db);
  c.prepare("SELECT record FROM run_records WHERE run_seq = ?");
  c.addBindValue(seq);
  if (!c.exec()) return Fail(c, error);
  if (c.next()) {
    const QByteArray bytes = c.value(0).toByteArray();
    run.Record.assign(bytes.begin(), bytes.end());
  }
  QSqlQuery f(db);
  f.setForwardOnly(true);
  f.prepare("SELECT name, value, measured FROM figures WHERE run_seq = ? ORDER BY pos");
  f.addBindValue(seq);
  if (!f.exec()) return Fail(f, error);
  while (f.next()) {
    NamedFigure nf;
    nf.Name = Std(f.value(0));
    nf.Measured = f.value(2).toInt() != 0;
    // A measured figure with no stored value was not finite.
    nf.Value = f.value(1).isNull() ? (nf.Measured ? std::nan("") : 0.0) : f.value(1).toDouble();
    run.Figures.push_back(std::move(nf));
  }
  QSqlQuery r(db);
  r.setForwardOnly(true);
  r.prepare(
      "SELECT figure, value, min_value, max_value, margin, outcome, note FROM rules"
      " WHERE run_seq = ? ORDER BY pos");
  r.addBindValue(seq);
  if (!r.exec()) return Fail(r, error);
  while (r.next()) {
    RuleResult rr;
    rr.Figure = Std(r.value(0));
    rr.Value = OptionalReal(r.value(1));
    rr.Min = OptionalReal(r.value(2));
    rr.Max = OptionalReal(r.value(3));
    rr.Margin = OptionalReal(r.value(4));
    rr.Outcome = OutcomeFromCode(r.value(5).toInt());
    rr.Note = Std(r.value(6));
    v.Rules.push_back(std::move(rr));
  }
  return 0;
}

}  // namespace kt
