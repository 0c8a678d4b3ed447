#include "runlog/RunLogExport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <cmath>
#include <vector>

#include "runlog/RunLogNames.h"
#include "runlog/RunLogSchema.h"
#include "runlog/RunLogStore.h"

namespace kt {
namespace {

// Figures and rules are fetched for this many runs at a time.
constexpr int RunsPerChunk = 500;

const char* const RunColumns[] = {"id",
                                  "time_utc",
                                  "station",
                                  "kind",
                                  "serial",
                                  "type",
                                  "name",
                                  "standard",
                                  "temperature",
                                  "humidity",
                                  "manufacturer",
                                  "operator",
                                  "luminous_flux",
                                  "colour_temperature",
                                  "test_date",
                                  "verdict",
                                  "profile",
                                  "profile_revision",
                                  "profile_hash",
                                  "program_version"};
constexpr int RunColumnsCount = static_cast<int>(sizeof RunColumns / sizeof RunColumns[0]);

int Names(QSqlDatabase& db, const QString& table, const QString& column, const SqlWhere& w, QStringList& out,
          QString& error) {
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QString("SELECT c.%1 FROM %2 c JOIN runs r ON r.seq = c.run_seq%3 GROUP BY c.%1"
                    " ORDER BY MIN(c.pos), c.%1")
                .arg(column, table, w.Sql));
  BindAll(q, w.Values);
  if (!q.exec()) {
    error = q.lastError().text();
    return 1;
  }
  while (q.next()) out << q.value(0).toString();
  return 0;
}

// With the milliseconds the log keeps: two runs half a second apart get two
// times.
QString Time(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs); }

int WriteBytes(QIODevice& out, const QByteArray& bytes, QString& error) {
  if (out.write(bytes) == bytes.size()) return 0;
  error = "cannot write the export: " + out.errorString();
  return 1;
}

QByteArray CsvLine(const QStringList& cells) {
  QStringList quoted;
  for (const QString& c : cells) quoted << CsvField(c);
  return quoted.join(',').toUtf8() + "\r\n";
}

// Into a file that is replaced only when the export is whole.
template <typename Write>
int ToFile(const QString& path, QString& error, Write write) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = QString("cannot write %1: %2").arg(path, file.errorString());
    return 1;
  }
  if (write(file)) {
    file.cancelWriting();
    return 1;
  }
  if (!file.commit()) {
    error = QString("cannot write %1: %2").arg(path, file.errorString());
    return 1;
  }
  return 0;
}

QString Optional(const QVariant& v) { return v.isNull() ? QString() : CsvNumber(v.toDouble()); }
QString Optional(const std::optional<double>& v) { return v ? CsvNumber(*v) : QString(); }

// A run's own columns (RunColumns), from the run as the log keeps it.
QStringList OwnCells(const LoggedRun& r) {
  const auto q = [](const std::string& s) { return QString::fromStdString(s); };
  const TestInfo& i = r.Info;
  const std::string hash =
      !r.ProfileHash.empty() || r.ProfileText.empty() ? r.ProfileHash : ProfileFileHash(r.ProfileText);
  return {q(r.Id),
          Time(r.TimeUtcMs),
          q(r.Station),
          q(KindName(r.Kind, false)),
          q(i.No),
          q(i.Type),
          q(i.Name),
          q(i.Standard),
          q(i.Temperature),
          q(i.Humidity),
          q(i.Manufacturer),
          q(i.Operator),
          q(i.LuminousFlux),
          q(i.ColourTemperature),
          q(r.TestDate),
          q(VerdictName(r.Result.Result, false)),
          q(r.Result.ProfileName),
          q(r.Result.ProfileRevision),
          q(hash),
          q(r.ProgramVersion)};
}

// The rule figures of a run, each once, in the order the run gives them.
QStringList RuleFigures(const LoggedRun& r) {
  QStringList out;
  for (const RuleResult& rule : r.Result.Rules)
    if (!out.contains(QString::fromStdString(rule.Figure))) out << QString::fromStdString(rule.Figure);
  return out;
}

struct Chunk {
  std::vector<qint64> Seqs;
  std::vector<QStringList> Cells;  // the run's own columns
};

int WriteChunk(QSqlDatabase& db, Chunk& chunk, const QHash<QString, int>& figureColumn,
               const QHash<QString, int>& ruleColumn, int width, QIODevice& out, QString& error) {
  if (chunk.Seqs.empty()) return 0;
  QHash<qint64, int> rowOf;
  QString in;
  for (std::size_t k = 0; k < chunk.Seqs.size(); ++k) {
    rowOf.insert(chunk.Seqs[k], static_cast<int>(k));
    in += (k ? ",?" : "?");
  }
  std::vector<QStringList> cells(chunk.Seqs.size());
  for (std::size_t k = 0; k < cells.size(); ++k) {
    cells[k] = chunk.Cells[k];
    while (cells[k].size() < width) cells[k] << QString();
  }
  QSqlQuery f(db);
  f.setForwardOnly(true);
  f.prepare("SELECT run_seq, name, value, measured FROM figures WHERE run_seq IN (" + in + ")");
  for (qint64 s : chunk.Seqs) f.addBindValue(s);
  if (!f.exec()) {
    error = f.lastError().text();
    return 1;
  }
  while (f.next()) {
    const int column = figureColumn.value(f.value(1).toString(), -1);
    if (column < 0 || f.value(3).toInt() == 0) continue;
    cells[static_cast<std::size_t>(rowOf.value(f.value(0).toLongLong()))][column] = Optional(f.value(2));
  }
  QSqlQuery r(db);
  r.setForwardOnly(true);
  r.prepare("SELECT run_seq, figure, min_value, max_value, outcome FROM rules WHERE run_seq IN (" + in + ")");
  for (qint64 s : chunk.Seqs) r.addBindValue(s);
  if (!r.exec()) {
    error = r.lastError().text();
    return 1;
  }
  while (r.next()) {
    const int column = ruleColumn.value(r.value(1).toString(), -1);
    if (column < 0) continue;
    QStringList& row = cells[static_cast<std::size_t>(rowOf.value(r.value(0).toLongLong()))];
    row[column] = Optional(r.value(2));
    row[column + 1] = Optional(r.value(3));
    row[column + 2] = QString::fromStdString(OutcomeName(OutcomeFromCode(r.value(4).toInt())));
  }
  QByteArray bytes;
  for (const QStringList& row : cells) bytes += CsvLine(row);
  if (WriteBytes(out, bytes, error)) return 1;
  chunk = Chunk{};
  return 0;
}

}  // namespace

QString CsvField(const QString& text) {
  if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\r')) &&
      !text.contains(QLatin1Char('\n')))
    return text;
  QString q = text;
  q.replace(QLatin1String("\""), QLatin1String("\"\""));
  return QLatin1Char('"') + q + QLatin1Char('"');
}

QString CsvNumber(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  // QString::number never uses the locale: '.' always.
  return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

int ExportRunsCsv(QSqlDatabase& db, const RunFilter& filter, RunColumn order, bool descending, QIODevice& out,
                  std::int64_t& rows, QString& error) {
  rows = 0;
  const SqlWhere w = BuildRunWhere(filter);
  QStringList figures, ruleFigures;
  if (Names(db, "figures", "name", w, figures, error) || Names(db, "rules", "figure", w, ruleFigures, error)) return 1;
  QStringList header;
  for (const char* c : RunColumns) header << c;
  QHash<QString, int> figureColumn, ruleColumn;
  for (const QString& f : figures) {
    figureColumn.insert(f, static_cast<int>(header.size()));
    header << f;
  }
  for (const QString& f : ruleFigures) {
    ruleColumn.insert(f, static_cast<int>(header.size()));
    header << f + ".min" << f + ".max" << f + ".outcome";
  }
  const int width = static_cast<int>(header.size());
  if (WriteBytes(out, "\xEF\xBB\xBF" + CsvLine(header), error)) return 1;

  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(
      "SELECT r.seq, r.uuid, r.time_ms, r.station, r.kind, r.serial, r.type, r.name, r.standard,"
      " r.temperature, r.humidity, r.manufacturer, r.operator, r.luminous_flux, r.colour_temperature,"
      " r.test_date, r.verdict, r.profile_name, r.profile_revision, r.profile_hash, r.program_version"
      " FROM runs r" +
      w.Sql + RunOrderBy(order, descending));
  BindAll(q, w.Values);
  if (!q.exec()) {
    error = q.lastError().text();
    return 1;
  }
  Chunk chunk;
  while (q.next()) {
    const auto text = [&q](int k) { return q.value(k).toString().toStdString(); };
    LoggedRun r;
    r.Id = text(1);
    r.TimeUtcMs = q.value(2).toLongLong();
    r.Station = text(3);
    r.Kind = q.value(4).toInt();
    TestInfo& i = r.Info;
    int k = 5;
    for (std::string* t : {&i.No, &i.Type, &i.Name, &i.Standard, &i.Temperature, &i.Humidity, &i.Manufacturer,
                           &i.Operator, &i.LuminousFlux, &i.ColourTemperature, &r.TestDate})
      *t = text(k++);
    r.Result.Result = VerdictFromCode(q.value(16).toInt());
    r.Result.ProfileName = text(17);
    r.Result.ProfileRevision = text(18);
    r.ProfileHash = text(19);
    r.ProgramVersion = text(20);
    QStringList c = OwnCells(r);
    Q_ASSERT(c.size() == RunColumnsCount);
    chunk.Seqs.push_back(q.value(0).toLongLong());
    chunk.Cells.push_back(std::move(c));
    ++rows;
    if (static_cast<int>(chunk.Seqs.size()) == RunsPerChunk &&
        WriteChunk(db, chunk, figureColumn, ruleColumn, width, out, error))
      return 1;
  }
  return WriteChunk(db, chunk, figureColumn, ruleColumn, width, out, error);
}

int ExportRunsCsv(QSqlDatabase& db, const RunFilter& filter, RunColumn order, bool descending, const QString& path,
                  std::int64_t& rows, QString& error) {
  return ToFile(path, error,
                [&](QIODevice& out) { return ExportRunsCsv(db, filter, order, descending, out, rows, error); });
}

int ExportEventsCsv(QSqlDatabase& db, const RunFilter& filter, QIODevice& out, std::int64_t& rows, QString& error) {
  rows = 0;
  std::vector<EventRow> events;
  if (QueryEvents(db, filter, events, error) ||
      WriteBytes(out, "\xEF\xBB\xBF" + CsvLine({"id", "time_utc", "station", "kind", "what"}), error))
    return 1;
  QByteArray bytes;
  for (const EventRow& e : events)
    bytes += CsvLine({QString::fromStdString(e.Id), Time(e.TimeUtcMs), QString::fromStdString(e.Station),
                      QString::fromStdString(KindName(e.Kind, false)), QString::fromStdString(e.What)});
  rows = static_cast<std::int64_t>(events.size());
  return WriteBytes(out, bytes, error);
}

int ExportEventsCsv(QSqlDatabase& db, const RunFilter& filter, const QString& path, std::int64_t& rows,
                    QString& error) {
  return ToFile(path, error, [&](QIODevice& out) { return ExportEventsCsv(db, filter, out, rows, error); });
}

int ExportAuditCsv(QSqlDatabase& db, const RunFilter& filter, QIODevice& out, std::int64_t& rows, QString& error) {
  rows = 0;
  std::vector<EventRow> audit;
  if (QueryAudit(db, filter, audit, error) ||
      WriteBytes(out, "\xEF\xBB\xBF" + CsvLine({"id", "time_utc", "station", "who", "what", "old_value", "new_value"}),
                 error))
    return 1;
  QByteArray bytes;
  const auto text = [](const std::string& s) { return QString::fromStdString(s); };
  for (const EventRow& e : audit)
    bytes += CsvLine({text(e.Id), Time(e.TimeUtcMs), text(e.Station), text(e.Who), text(e.What), text(e.OldValue),
                      text(e.NewValue)});
  rows = static_cast<std::int64_t>(audit.size());
  return WriteBytes(out, bytes, error);
}

int RejudgeRunsCsv(QSqlDatabase& db, const RunFilter& filter, const RejudgeRun& judge, QIODevice& out,
                   RejudgeCounts& counts, QString& error) {
  counts = RejudgeCounts{};
  if (WriteBytes(out,
                 "\xEF\xBB\xBF" + CsvLine({"id", "time_utc", "station", "kind", "serial", "type", "verdict", "profile",
                                           "profile_hash", "new_verdict", "new_profile", "new_profile_revision",
                                           "changed", "new_failures", "note"}),
                 error))
    return 1;
  const SqlWhere w = BuildRunWhere(filter);
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(
      "SELECT r.uuid, r.time_ms, r.station, r.kind, r.serial, r.type, r.verdict, r.profile_name, r.profile_hash,"
      " c.record FROM runs r LEFT JOIN run_records c ON c.run_seq = r.seq" +
      w.Sql + RunOrderBy(RunColumn::Time, false));
  BindAll(q, w.Values);
  if (!q.exec()) {
    error = q.lastError().text();
    return 1;
  }
  QByteArray lines;
  while (q.next()) {
    const auto text = [&q](int k) { return q.value(k).toString().toStdString(); };
    LoggedRun logged;
    logged.Id = text(0);
    logged.TimeUtcMs = q.value(1).toLongLong();
    logged.Station = text(2);
    logged.Kind = q.value(3).toInt();
    logged.Info.No = text(4);
    logged.Info.Type = text(5);
    logged.Result.Result = VerdictFromCode(q.value(6).toInt());
    logged.Result.ProfileName = text(7);
    logged.ProfileHash = text(8);
    const QByteArray blob = q.value(9).toByteArray();
    const std::vector<std::uint8_t> record(blob.begin(), blob.end());
    Rejudgement again;
    if (q.value(9).isNull()) again.Problem = "the log keeps no record of this run";
    if (again.Problem.empty()) again = judge(logged, record);
    const bool judged = again.Problem.empty();
    QStringList failures;
    for (const RuleResult& r : again.Fresh.Rules)
      if (r.Outcome == RuleOutcome::Fail && !failures.contains(QString::fromStdString(r.Figure)))
        failures << QString::fromStdString(r.Figure);
    const bool changed = judged && again.Fresh.Result != logged.Result.Result;
    const auto s = [](const std::string& t) { return QString::fromStdString(t); };
    lines += CsvLine(
        {s(logged.Id), Time(logged.TimeUtcMs), s(logged.Station), s(KindName(logged.Kind, false)), s(logged.Info.No),
         s(logged.Info.Type), s(VerdictName(logged.Result.Result, false)), s(logged.Result.ProfileName),
         s(logged.ProfileHash), judged ? s(VerdictName(again.Fresh.Result, false)) : QString(),
         judged ? s(again.Fresh.ProfileName) : QString(), judged ? s(again.Fresh.ProfileRevision) : QString(),
         !judged   ? "unjudged"
         : changed ? "yes"
                   : "no",
         failures.join(';'), judged ? s(again.Fresh.Reason) : s(again.Problem)});
    ++counts.Runs;
    counts.Changed += changed ? 1 : 0;
    counts.Unjudged += judged ? 0 : 1;
    if (lines.size() > (1 << 16)) {
      if (WriteBytes(out, lines, error)) return 1;
      lines.clear();
    }
  }
  if (q.lastError().isValid()) {  // the read broke off: no file that looks whole
    error = q.lastError().text();
    return 1;
  }
  return WriteBytes(out, lines, error);
}

int RejudgeRunsCsv(QSqlDatabase& db, const RunFilter& filter, const RejudgeRun& judge, const QString& path,
                   RejudgeCounts& counts, QString& error) {
  return ToFile(path, error, [&](QIODevice& out) { return RejudgeRunsCsv(db, filter, judge, out, counts, error); });
}

QString EventsCsvPath(const QString& runsPath) {
  const QFileInfo runs(runsPath);
  const QString suffix = runs.suffix().isEmpty() ? QString() : "." + runs.suffix();
  return runs.dir().filePath(runs.completeBaseName() + "-events" + suffix);
}

QByteArray RunCsvHeader(const LoggedRun& run) {
  QStringList header;
  for (const char* c : RunColumns) header << c;
  for (const NamedFigure& f : run.Figures) header << QString::fromStdString(f.Name);
  for (const QString& f : RuleFigures(run)) header << f + ".min" << f + ".max" << f + ".outcome";
  return "\xEF\xBB\xBF" + CsvLine(header);
}

QByteArray RunCsvRow(const LoggedRun& run) {
  QStringList cells = OwnCells(run);
  for (const NamedFigure& f : run.Figures) cells << (f.Measured ? CsvNumber(f.Value) : QString());
  const QStringList rules = RuleFigures(run);
  const qsizetype first = cells.size();
  for (qsizetype k = 0; k < rules.size() * 3; ++k) cells << QString();
  // One figure judged by two of the screening's options: the last one
  // stands, as in the export.
  for (const RuleResult& rule : run.Result.Rules) {
    const qsizetype column = first + 3 * rules.indexOf(QString::fromStdString(rule.Figure));
    cells[column] = Optional(rule.Min);
    cells[column + 1] = Optional(rule.Max);
    cells[column + 2] = QString::fromStdString(OutcomeName(rule.Outcome));
  }
  return CsvLine(cells);
}

}  // namespace kt
