#include "runlog/RunLogSchema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <vector>

namespace kt {
namespace {

// One step per version. The placeholders keep one text for both engines:
// {SEQ} an auto-numbered key, {BLOB} bytes, {REAL} a double, {NOROWID} the
// SQLite clustering of child rows under their run.
const std::vector<QStringList>& Steps() {
  static const std::vector<QStringList> steps = {
      // 1: runs, their record bytes, figures and rule outcomes.
      {
          "CREATE TABLE schema_version (version INTEGER NOT NULL)",
          "INSERT INTO schema_version (version) VALUES (0)",
          "CREATE TABLE runs ("
          " seq {SEQ},"
          " uuid TEXT NOT NULL UNIQUE,"
          " time_ms BIGINT NOT NULL,"
          " station TEXT NOT NULL,"
          " kind INTEGER NOT NULL,"
          " name TEXT NOT NULL DEFAULT '',"
          " serial TEXT NOT NULL DEFAULT '',"
          " type TEXT NOT NULL DEFAULT '',"
          " standard TEXT NOT NULL DEFAULT '',"
          " temperature TEXT NOT NULL DEFAULT '',"
          " humidity TEXT NOT NULL DEFAULT '',"
          " manufacturer TEXT NOT NULL DEFAULT '',"
          " operator TEXT NOT NULL DEFAULT '',"
          " luminous_flux TEXT NOT NULL DEFAULT '',"
          " colour_temperature TEXT NOT NULL DEFAULT '',"
          " test_date TEXT NOT NULL DEFAULT '',"
          " verdict INTEGER NOT NULL DEFAULT 0,"
          " screening INTEGER NOT NULL DEFAULT 0,"
          " verdict_detail TEXT NOT NULL DEFAULT '',"
          " missing TEXT NOT NULL DEFAULT '',"
          " profile_name TEXT NOT NULL DEFAULT '',"
          " profile_revision TEXT NOT NULL DEFAULT '',"
          " profile_hash TEXT NOT NULL DEFAULT '',"
          " program_version TEXT NOT NULL DEFAULT '')",
          "CREATE TABLE run_records ("
          " run_seq BIGINT PRIMARY KEY REFERENCES runs (seq) ON DELETE CASCADE,"
          " record {BLOB} NOT NULL)",
          "CREATE TABLE figures ("
          " run_seq BIGINT NOT NULL REFERENCES runs (seq) ON DELETE CASCADE,"
          " pos INTEGER NOT NULL,"
          " name TEXT NOT NULL,"
          " value {REAL},"
          " measured INTEGER NOT NULL,"
          " PRIMARY KEY (run_seq, pos)){NOROWID}",
          "CREATE TABLE rules ("
          " run_seq BIGINT NOT NULL REFERENCES runs (seq) ON DELETE CASCADE,"
          " pos INTEGER NOT NULL,"
          " figure TEXT NOT NULL,"
          " value {REAL},"
          " min_value {REAL},"
          " max_value {REAL},"
          " margin {REAL},"
          " outcome INTEGER NOT NULL,"
          " note TEXT NOT NULL DEFAULT '',"
          " PRIMARY KEY (run_seq, pos)){NOROWID}",
      },
      // 2: link failures and abandoned runs.
      {
          "CREATE TABLE events ("
          " seq {SEQ},"
          " uuid TEXT NOT NULL UNIQUE,"
          " time_ms BIGINT NOT NULL,"
          " station TEXT NOT NULL,"
          " kind INTEGER NOT NULL,"
          " what TEXT NOT NULL)",
          "CREATE INDEX events_time ON events (time_ms)",
      },
      // 3: the window's filters and the statistics.
      {
          "CREATE INDEX runs_time ON runs (time_ms)",
          // With the sequence and the verdict, the first-pass yield reads
          // only this index, already in its order.
          "CREATE INDEX runs_serial ON runs (serial, time_ms, seq, verdict)",
          "CREATE INDEX runs_type ON runs (type, time_ms)",
          "CREATE INDEX runs_kind ON runs (kind, time_ms)",
          "CREATE INDEX runs_verdict ON runs (verdict, time_ms)",
          "CREATE INDEX runs_station ON runs (station, time_ms)",
          // Covers one figure's values (the statistics' extra figure, the
          // charts) without a visit to each row.
          "CREATE INDEX figures_name ON figures (name, value, measured, run_seq)",
          // Covers the statistics' one pass over the outcomes, in the order
          // it groups them, so that it never touches the table itself.
          "CREATE INDEX rules_stats ON rules (figure, min_value, max_value, value, outcome, run_seq)",
      },
  };
  return steps;
}

QString Dialect(const QSqlDatabase& db, QString sql) {
  const bool pg = IsPostgres(db);
  sql.replace("{SEQ}", pg ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY");
  sql.replace("{BLOB}", pg ? "BYTEA" : "BLOB");
  sql.replace("{REAL}", pg ? "DOUBLE PRECISION" : "REAL");
  sql.replace("{NOROWID}", pg ? "" : " WITHOUT ROWID");
  return sql;
}

}  // namespace

bool IsPostgres(const QSqlDatabase& db) { return db.driverName() == "QPSQL"; }

int ExecSql(QSqlDatabase& db, const QString& sql, QString& error) {
  QSqlQuery q(db);
  if (!q.exec(sql)) {
    error = q.lastError().text();
    return 1;
  }
  return 0;
}

int BeginWrite(QSqlDatabase& db, QString& error) {
  return ExecSql(db, IsPostgres(db) ? "BEGIN" : "BEGIN IMMEDIATE", error);
}

int CommitWrite(QSqlDatabase& db, QString& error) { return ExecSql(db, "COMMIT", error); }

void RollbackWrite(QSqlDatabase& db) {
  QString ignored;
  ExecSql(db, "ROLLBACK", ignored);
}

int ReadSchemaVersion(QSqlDatabase& db, int& version, QString& error) {
  version = 0;
  QSqlQuery q(db);
  const QString probe = IsPostgres(db)
                            ? "SELECT to_regclass('schema_version') IS NOT NULL"
                            : "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'schema_version'";
  // A query that ran but gave no row has no error text of its own.
  auto failed = [&] {
    error = q.lastError().text().trimmed();
    if (error.isEmpty()) error = "the schema version could not be read";
    return 1;
  };
  if (!q.exec(probe) || !q.next()) return failed();
  if (!q.value(0).toBool()) return 0;
  if (!q.exec("SELECT MAX(version) FROM schema_version") || !q.next()) return failed();
  version = q.value(0).toInt();
  return 0;
}

int RefuseNewerLog(int version, QString& error) {
  const int known = static_cast<int>(Steps().size());
  if (version <= known) return 0;
  error = QString(
              "This run log has schema version %1, newer than this program knows (%2); "
              "it was written by a newer program. Use that program, or another log.")
              .arg(version)
              .arg(known);
  return 1;
}

int MigrateRunLog(QSqlDatabase& db, int targetVersion, QString& error) {
  const int known = static_cast<int>(Steps().size());
  if (targetVersion < 1 || targetVersion > known) targetVersion = known;
  int version = 0;
  if (ReadSchemaVersion(db, version, error) || RefuseNewerLog(version, error)) return 1;
  if (version >= targetVersion) return 0;
  // PostgreSQL: the stations queue on a lock of the session taken before the
  // transaction begins. Taken inside it, a station that waited for the first
  // one still looked the tables up as they were when it began, found none,
  // and failed on creating them again.
  const bool pg = IsPostgres(db);
  if (pg && ExecSql(db, "SELECT pg_advisory_lock(61006100)", error)) return 1;
  auto done = [&](int result) {
    if (result) RollbackWrite(db);
    QString ignored;  // a lost connection drops the lock with the session
    if (pg) ExecSql(db, "SELECT pg_advisory_unlock(61006100)", ignored);
    return result;
  };
  if (BeginWrite(db, error)) return done(1);
  // Another station may have migrated while this one waited for the lock.
  if (ReadSchemaVersion(db, version, error) || RefuseNewerLog(version, error)) return done(1);
  for (int v = version + 1; v <= targetVersion; ++v) {
    for (const QString& step : Steps()[static_cast<std::size_t>(v - 1)]) {
      if (ExecSql(db, Dialect(db, step), error)) {
        error = QString("schema step %1 failed: %2").arg(v).arg(error);
        return done(1);
      }
    }
    if (ExecSql(db, QString("UPDATE schema_version SET version = %1").arg(v), error)) return done(1);
  }
  return done(CommitWrite(db, error));
}

}  // namespace kt
