#pragma once
// The log's schema: a list of forward steps applied in order, each in the
// same transaction as the version it leads to (README.md describes the
// tables). A log written by a newer program is refused, never altered.
#include <QSqlDatabase>
#include <QString>

#include <cstdint>

namespace kt {

inline constexpr int RunLogSchemaVersion = 5;

// The statistics' summaries hold one row per UTC day of this length (and
// filter key): a filter's whole days come from them, its edges from the runs.
inline constexpr std::int64_t StatsBucketMs = 86400000;
inline std::int64_t StatsDay(std::int64_t timeMs) {
  return timeMs >= 0 ? timeMs / StatsBucketMs : (timeMs + 1) / StatsBucketMs - 1;
}

bool IsPostgres(const QSqlDatabase& db);

// The log's version: 0 for an empty database. 0 on success.
int ReadSchemaVersion(QSqlDatabase& db, int& version, QString& error);

// 1 with the refusal's message when version is newer than this program.
int RefuseNewerLog(int version, QString& error);

// Brings the log to targetVersion (1..RunLogSchemaVersion) in one
// transaction, under the writer lock, so that several stations starting at
// once apply each step exactly once and the others find it done. A log newer than this program is
// refused with a message saying so. 0 on success.
int MigrateRunLog(QSqlDatabase& db, int targetVersion, QString& error);

// Empties the statistics' summaries and fills them again from the runs (they
// are derived data: a log whose runs were changed by hand gets them back
// right). One transaction. 0 on success.
int RebuildRunStats(QSqlDatabase& db, QString& error);

// Small helpers the log's other routines share.
// The engine's spelling of the placeholders {REAL}, {LEAST}, {GREATEST}, {DAY} (of time_ms).
QString DialectSql(const QSqlDatabase& db, const QString& sql);
int ExecSql(QSqlDatabase& db, const QString& sql, QString& error);
// SQLite: BEGIN IMMEDIATE, so that a writer never meets a busy upgrade
// half-way; PostgreSQL: BEGIN.
int BeginWrite(QSqlDatabase& db, QString& error);
int CommitWrite(QSqlDatabase& db, QString& error);
void RollbackWrite(QSqlDatabase& db);

}  // namespace kt
