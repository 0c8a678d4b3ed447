#include "runlog/RunLogConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <chrono>
#include <thread>

namespace kt {
namespace {

std::atomic<int> NextConnection{0};

// A shared line of stations must not stall a writer for minutes on an
// unreachable server: the writer falls back to its outbox instead.
constexpr int DefaultConnectTimeoutSeconds = 5;
// Several programs may write one SQLite file; a writer waits this long for
// another's transaction before it calls the log unwritable.
constexpr int SqliteBusyTimeoutMs = 15000;
constexpr int SqliteCacheKiB = 65536;
// Appending touches the right edge of each index only.
constexpr int SqliteWriterCacheKiB = 256;
constexpr qint64 SqliteMmapBytes = 1LL << 30;
// Rows an ANALYZE of the planner's statistics reads per index.
constexpr int SqliteAnalysisRows = 1000;

}  // namespace

RunLogConnection::RunLogConnection() : Name_(QString("kt_runlog_%1").arg(NextConnection.fetch_add(1))) {}

RunLogConnection::~RunLogConnection() { Close(); }

bool RunLogConnection::IsOpen() const { return Open_; }

QSqlDatabase RunLogConnection::Db() const { return QSqlDatabase::database(Name_, false); }

void RunLogConnection::Close() {
  if (!QSqlDatabase::contains(Name_)) return;
  {
    QSqlDatabase db = QSqlDatabase::database(Name_, false);
    // What this connection's queries taught SQLite about the indexes, kept
    // for the next ones (cheap: sampled, and only where it helps).
    QString ignored;
    if (db.isOpen() && Open_ && !IsPostgres(db)) ExecSql(db, "PRAGMA optimize", ignored);
    if (db.isOpen()) db.close();
  }
  QSqlDatabase::removeDatabase(Name_);
  Open_ = false;
}

int RunLogConnection::Open(const LogTarget& target, QString& error, int schemaVersion, bool browsing) {
  Close();
  Target_ = target;
  const QString where = QString::fromStdString(target.Describe());
  auto refuse = [&](const QString& why) {
    Reason_ = why.trimmed().isEmpty() ? QString("the database gave no reason") : why.trimmed();
    error = QString("run log %1: %2").arg(where, Reason_);
    return 1;
  };
  QSqlDatabase db;
  if (target.Kind == LogTarget::Driver::Sqlite) {
    const QFileInfo file(QString::fromStdString(target.Path));
    if (!QDir().mkpath(file.absolutePath())) return refuse("cannot create the folder " + file.absolutePath());
    db = QSqlDatabase::addDatabase("QSQLITE", Name_);
    db.setDatabaseName(file.absoluteFilePath());
    db.setConnectOptions(QString("QSQLITE_BUSY_TIMEOUT=%1").arg(SqliteBusyTimeoutMs));
  } else if (target.Kind == LogTarget::Driver::Postgres) {
    db = QSqlDatabase::addDatabase("QPSQL", Name_);
    if (!db.isValid()) {
      QSqlDatabase::removeDatabase(Name_);
      return refuse("the PostgreSQL driver of Qt SQL is not installed");
    }
    db.setHostName(QString::fromStdString(target.Host));
    if (target.Port) db.setPort(target.Port);
    db.setUserName(QString::fromStdString(target.User));
    db.setPassword(QString::fromStdString(target.Password));
    db.setDatabaseName(QString::fromStdString(target.Database));
    QString options = QString::fromStdString(target.Options);
    if (!options.contains("connect_timeout")) {
      if (!options.isEmpty()) options += ';';
      options += QString("connect_timeout=%1").arg(DefaultConnectTimeoutSeconds);
    }
    db.setConnectOptions(options);
  } else {
    return refuse("no log is configured");
  }
  if (!db.isValid()) {
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(Name_);
    return refuse("the Qt SQL driver is not available");
  }
  auto fail = [&](const QString& what) {
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(Name_);
    return refuse(what);
  };
  if (!db.open()) return fail(db.lastError().text());
  QString message;
  // A newer program's log is refused before anything touches it: even the
  // journal mode below rewrites an SQLite file's header.
  int version = 0;
  if (ReadSchemaVersion(db, version, message) || RefuseNewerLog(version, message)) return fail(message);
  if (target.Kind == LogTarget::Driver::Sqlite) {
    // WAL: readers (the log window) never wait for the writer, and a killed
    // writer leaves a log that is whole up to its last commit. FULL: a commit
    // that has returned survives a power cut too.
    // The switch to WAL needs the file to itself and is refused, not waited
    // for, while another station opening the same new log holds it: it is
    // tried again for as long as a writer waits for a lock.
    QSqlQuery q(db);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(SqliteBusyTimeoutMs);
    while (!q.exec("PRAGMA journal_mode=WAL")) {
      const QString code = q.lastError().nativeErrorCode();  // SQLITE_BUSY, SQLITE_LOCKED
      if ((code != "5" && code != "6") || std::chrono::steady_clock::now() > deadline)
        return fail(q.lastError().text());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    q.finish();
    if (ExecSql(db, "PRAGMA synchronous=FULL", message)) return fail(message);
    // The statistics read a large log's indexes end to end: a larger page
    // cache and memory-mapped reads halve their time.
    ExecSql(db, QString("PRAGMA cache_size=-%1").arg(browsing ? SqliteCacheKiB : SqliteWriterCacheKiB), message);
    if (browsing) {
      QSqlQuery mmap(db);
      mmap.exec(QString("PRAGMA mmap_size=%1").arg(SqliteMmapBytes));
    }
  } else {
    if (ExecSql(db, "SET client_min_messages = warning", message)) return fail(message);
  }
  if (MigrateRunLog(db, schemaVersion, message)) return fail(message);
  if (target.Kind == LogTarget::Driver::Sqlite) {
    // Keep the planner informed, as SQLite advises for a connection that
    // lives long: a log nobody analysed (or one just migrated) gets its
    // statistics now, sampled so that a large log costs milliseconds, not a
    // pass over every row. PostgreSQL's autovacuum does this by itself.
    ExecSql(db, QString("PRAGMA analysis_limit=%1").arg(SqliteAnalysisRows), message);
    ExecSql(db, "PRAGMA optimize=0x10002", message);
  }
  Open_ = true;
  Reason_.clear();
  return 0;
}

}  // namespace kt
