#pragma once
// The filtered runs as CSV, for a spreadsheet: UTF-8 with a byte-order mark,
// RFC 4180 quoting, CRLF line ends, '.' decimals whatever the locale,
// ISO 8601 UTC times with milliseconds. One row per run; after the run's own
// columns one column per figure (the union of the exported runs' figures, in
// the order the runs give them: the lowest position any run has a figure at,
// ties by name), then three per rule figure: NAME.min, NAME.max,
// NAME.outcome (pass, fail, not measured, n/a).
//
// The events (link failures, abandoned runs) go to a file of their own, as
// they have no figures: id, time_utc, station, kind, what; the filter's time,
// station and kind select them (they have no serial, type or verdict).
#include <QIODevice>
#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runlog/LoggedRun.h"
#include "runlog/RunLogQuery.h"

namespace kt {

QString CsvField(const QString& text);  // quoted only when it must be
QString CsvNumber(double value);        // shortest text that reads back exactly

int ExportRunsCsv(QSqlDatabase& db, const RunFilter& filter, RunColumn order, bool descending, QIODevice& out,
                  std::int64_t& rows, QString& error);
// The same into a file, replaced only when the export is whole.
int ExportRunsCsv(QSqlDatabase& db, const RunFilter& filter, RunColumn order, bool descending, const QString& path,
                  std::int64_t& rows, QString& error);

// The audit trail within the filter's time and station, oldest first:
// id,time_utc,station,who,what,old_value,new_value.
int ExportAuditCsv(QSqlDatabase& db, const RunFilter& filter, QIODevice& out, std::int64_t& rows, QString& error);
int ExportEventsCsv(QSqlDatabase& db, const RunFilter& filter, QIODevice& out, std::int64_t& rows, QString& error);
int ExportEventsCsv(QSqlDatabase& db, const RunFilter& filter, const QString& path, std::int64_t& rows, QString& error);
// One run in the export's layout, for a caller that has the run at hand (the
// command line prints each run as it ends): the header of the columns this
// run fills (the run's own, its figures, three per rule figure), byte-order
// mark first, and the run's line under it.
QByteArray RunCsvHeader(const LoggedRun& run);
QByteArray RunCsvRow(const LoggedRun& run);

// The filtered runs judged again from their stored records, oldest first,
// as CSV in the same form: what the log says (verdict, profile and its hash)
// beside the new verdict, whether it changed, and the figures the new limits
// fail. The log is only read. A run whose record cannot be judged is listed
// too, "unjudged" with the reason, never left out.
using RejudgeRun = std::function<Rejudgement(const LoggedRun& logged, const std::vector<std::uint8_t>& record)>;
struct RejudgeCounts {
  std::int64_t Runs = 0, Changed = 0, Unjudged = 0;
};
int RejudgeRunsCsv(QSqlDatabase& db, const RunFilter& filter, const RejudgeRun& judge, QIODevice& out,
                   RejudgeCounts& counts, QString& error);
int RejudgeRunsCsv(QSqlDatabase& db, const RunFilter& filter, const RejudgeRun& judge, const QString& path,
                   RejudgeCounts& counts, QString& error);

// Where the window puts the events beside a runs file: runs.csv -> runs-events.csv.
QString EventsCsvPath(const QString& runsPath);

}  // namespace kt
