#include "runlog/RunLogSchema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <vector>

namespace kt {
namespace {

// The summaries' key: the UTC day of the run and the filter's exact-match
// fields, so that a filter selects whole rows of them.
#define STATS_KEY \
  " day BIGINT NOT NULL, station TEXT NOT NULL, kind INTEGER NOT NULL, type TEXT NOT NULL, verdict INTEGER NOT NULL,"

// Fills the summaries from the runs (an older log's step 4, a rebuild).
// A group's spread is summed around its own mean, found first, so that it
// does not cancel however far the values lie from zero. `checks`: the log
// knows golden checks (step 5 on), which are never counted.
QStringList StatsFill(bool checks) {
  QStringList fill = {
      "UPDATE runs SET first_judged = 0 WHERE first_judged <> 0",
      "UPDATE runs SET first_judged = 1 WHERE seq IN (SELECT seq FROM (SELECT r.seq AS seq, ROW_NUMBER() OVER"
      " (PARTITION BY r.serial ORDER BY r.time_ms, r.seq) AS n FROM runs r WHERE r.serial <> '' AND r.verdict IN"
      " (1, 2, 3){AND_PRODUCTION}) t WHERE n = 1)",
      "INSERT INTO stats_runs (day, station, kind, type, verdict, runs, no_serial, units, first_pass)"
      " SELECT {DAY}, station, kind, type, verdict, COUNT(*), SUM(CASE WHEN serial = '' THEN 1 ELSE 0 END),"
      " SUM(first_judged), SUM(CASE WHEN verdict = 1 THEN first_judged ELSE 0 END)"
      " FROM runs r WHERE 1 = 1{AND_PRODUCTION} GROUP BY 1, 2, 3, 4, 5",
      "INSERT INTO stats_figures (day, station, kind, type, verdict, name, n, mean, m2, min_value, max_value)"
      " WITH v AS (SELECT {DAY} AS day, r.station, r.kind, r.type, r.verdict, f.name, f.value FROM runs r"
      "  JOIN figures f ON f.run_seq = r.seq WHERE f.measured = 1 AND f.value IS NOT NULL{AND_PRODUCTION}),"
      " m AS (SELECT day, station, kind, type, verdict, name, AVG(value) AS mean FROM v"
      "  GROUP BY day, station, kind, type, verdict, name)"
      " SELECT v.day, v.station, v.kind, v.type, v.verdict, v.name, COUNT(*), m.mean + AVG(v.value - m.mean),"
      "  {GREATEST}(0, SUM((v.value - m.mean) * (v.value - m.mean))"
      "   - SUM(v.value - m.mean) * SUM(v.value - m.mean) / COUNT(*)), MIN(v.value), MAX(v.value)"
      " FROM v JOIN m ON m.day = v.day AND m.station = v.station AND m.kind = v.kind AND m.type = v.type"
      "  AND m.verdict = v.verdict AND m.name = v.name"
      " GROUP BY v.day, v.station, v.kind, v.type, v.verdict, v.name, m.mean",
      "INSERT INTO stats_rules (day, station, kind, type, verdict, figure, bounds, min_value, max_value, n, fails)"
      " SELECT {DAY}, r.station, r.kind, r.type, r.verdict, c.figure,"
      " (CASE WHEN c.min_value IS NULL THEN 0 ELSE 1 END) + (CASE WHEN c.max_value IS NULL THEN 0 ELSE 2 END),"
      " COALESCE(c.min_value, 0), COALESCE(c.max_value, 0), COUNT(*), SUM(CASE WHEN c.outcome = 1 THEN 1 ELSE 0 END)"
      " FROM runs r JOIN rules c ON c.run_seq = r.seq WHERE 1 = 1{AND_PRODUCTION} GROUP BY 1, 2, 3, 4, 5, 6, 7, 8, 9",
  };
  fill.replaceInStrings("{AND_PRODUCTION}", checks ? " AND r.purpose = 0" : "");
  return fill;
}

QStringList StatsStep() {
  QStringList step = {
      // The first judged run of each serial in the whole log (the yield of
      // all runs counts these; the writer keeps it, moving it to an
      // earlier run that arrives late).
      "ALTER TABLE runs ADD COLUMN first_judged INTEGER NOT NULL DEFAULT 0",
      // Runs by verdict, how many of them carry no serial, and how many are
      // their serial's first judged run (units), of those passed.
      "CREATE TABLE stats_runs (" STATS_KEY
      " runs BIGINT NOT NULL, no_serial BIGINT NOT NULL, units BIGINT NOT NULL, first_pass BIGINT NOT NULL,"
      " PRIMARY KEY (day, station, kind, type, verdict)){NOROWID}",
      // A figure's measured values: count, mean, sum of squared deviations
      // from it (merged exactly, group by group), min and max.
      "CREATE TABLE stats_figures (" STATS_KEY
      " name TEXT NOT NULL, n BIGINT NOT NULL, mean {REAL} NOT NULL, m2 {REAL} NOT NULL,"
      " min_value {REAL} NOT NULL, max_value {REAL} NOT NULL,"
      " PRIMARY KEY (day, station, kind, type, verdict, name)){NOROWID}",
      // Rule outcomes per figure and pair of limits. A key cannot hold NULL
      // as a value that matches itself: `bounds` says which limits there are
      // (1 min, 2 max), an absent one is 0.
      "CREATE TABLE stats_rules (" STATS_KEY
      " figure TEXT NOT NULL, bounds INTEGER NOT NULL, min_value {REAL} NOT NULL, max_value {REAL} NOT NULL,"
      " n BIGINT NOT NULL, fails BIGINT NOT NULL,"
      " PRIMARY KEY (day, station, kind, type, verdict, figure, bounds, min_value, max_value)){NOROWID}",
      // The window sorts by these too; the first page comes from the index.
      "CREATE INDEX runs_name ON runs (name, time_ms)",
      "CREATE INDEX runs_profile ON runs (profile_name, time_ms)",
      "CREATE INDEX runs_operator ON runs (operator, time_ms)",
      // PostgreSQL's time index does not order equal times by sequence (an
      // SQLite index ends in it): without this, the newest points of the
      // run chart are a sort of the whole log there.
      "{PG}CREATE INDEX runs_time_seq ON runs (time_ms, seq)",
  };
  return step + StatsFill(false);
}

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
      // 4: the statistics' day summaries, and an index for every sortable
      // column of the window.
      StatsStep(),
      // 5: the station: golden checks, the instrument and its calibration
      // with every run, users and the audit trail. Columns with a default
      // are added without rewriting a large log.
      {
          "ALTER TABLE runs ADD COLUMN purpose INTEGER NOT NULL DEFAULT 0",
          "ALTER TABLE runs ADD COLUMN instrument_serial TEXT NOT NULL DEFAULT ''",
          "ALTER TABLE runs ADD COLUMN calibration_due TEXT NOT NULL DEFAULT ''",
          "CREATE TABLE users ("
          " name TEXT PRIMARY KEY,"
          " role INTEGER NOT NULL,"
          " hash TEXT NOT NULL,"
          " changed_ms BIGINT NOT NULL)",
          "CREATE TABLE audit ("
          " seq {SEQ},"
          " uuid TEXT NOT NULL UNIQUE,"
          " time_ms BIGINT NOT NULL,"
          " station TEXT NOT NULL,"
          " who TEXT NOT NULL,"
          " what TEXT NOT NULL,"
          " old_value TEXT NOT NULL,"
          " new_value TEXT NOT NULL)",
          "CREATE INDEX audit_time ON audit (time_ms)",
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
  sql.replace("{PG}", "");  // a statement for PostgreSQL only
  sql.replace("{DAY}",
              QString("(CASE WHEN time_ms >= 0 THEN time_ms / %1 ELSE (time_ms + 1) / %1 - 1 END)").arg(StatsBucketMs));
  sql.replace("{LEAST}", pg ? "LEAST" : "MIN");
  sql.replace("{GREATEST}", pg ? "GREATEST" : "MAX");
  return sql;
}

}  // namespace

bool IsPostgres(const QSqlDatabase& db) { return db.driverName() == "QPSQL"; }

QString DialectSql(const QSqlDatabase& db, const QString& sql) { return Dialect(db, sql); }

int RebuildRunStats(QSqlDatabase& db, QString& error) {
  QStringList steps = {"DELETE FROM stats_runs", "DELETE FROM stats_figures", "DELETE FROM stats_rules"};
  steps += StatsFill(true);
  if (BeginWrite(db, error)) return 1;
  for (const QString& step : steps)
    if (ExecSql(db, Dialect(db, step), error)) {
      RollbackWrite(db);
      return 1;
    }
  return CommitWrite(db, error);
}

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
      if (step.startsWith("{PG}") && !pg) continue;
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
