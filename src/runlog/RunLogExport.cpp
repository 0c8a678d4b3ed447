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

namespace kt {
namespace {

// Figures and rules are fetched for this many runs at a time.
constexpr int RunsPerChunk = 500;

const char* const RunColumns[] = {
    "id", "time_utc", "station", "kind", "serial", "type", "name", "standard", "temperature", "humidity",
    "manufacturer", "operator", "luminous_flux", "colour_temperature", "test_date", "verdict",
    "profile", "profile_revision", "profile_hash", "program_version"};
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
QString Time(qint64 ms) {
  return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

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
  if (Names(db, "figures", "name", w, figures, error) || Names(db, "rules", "figure", w, ruleFigures, error))
    return 1;
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
  q.prepare("SELECT r.seq, r.uuid, r.time_ms, r.station, r.kind, r.serial, r.type, r.name, r.standard,"
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
    QStringList c;
    c << q.value(1).toString() << Time(q.value(2).toLongLong()) << q.value(3).toString()
      << QString::fromStdString(KindName(q.value(4).toInt(), false));
    for (int k = 5; k <= 15; ++k) c << q.value(k).toString();
    c << QString::fromStdString(VerdictName(VerdictFromCode(q.value(16).toInt()), false));
    for (int k = 17; k <= 20; ++k) c << q.value(k).toString();
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

QString EventsCsvPath(const QString& runsPath) {
  const QFileInfo runs(runsPath);
  const QString suffix = runs.suffix().isEmpty() ? QString() : "." + runs.suffix();
  return runs.dir().filePath(runs.completeBaseName() + "-events" + suffix);
}

}  // namespace kt
