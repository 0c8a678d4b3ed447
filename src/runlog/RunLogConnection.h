#pragma once
// One connection to the log, owned by the thread that opened it (a Qt SQL
// connection may only be used on its own thread). Opening creates the log
// when it is new and brings an older one up to date.
#include <QSqlDatabase>
#include <QString>

#include "runlog/LogTarget.h"
#include "runlog/RunLogSchema.h"

namespace kt {

class RunLogConnection {
 public:
  RunLogConnection();
  ~RunLogConnection();
  RunLogConnection(const RunLogConnection&) = delete;
  RunLogConnection& operator=(const RunLogConnection&) = delete;

  // 0 on success; 1 with a message naming the log and what went wrong.
  // schemaVersion: the version to bring the log to (older programs' logs
  // are migrated forward; a newer log is refused).
  // `browsing`: the connection reads the log end to end (its window, its
  // statistics) and gets a large page cache and memory-mapped reads; the
  // writer, which appends all day, keeps a small cache so that the
  // program's memory stays flat however many runs it logs.
  int Open(const LogTarget& target, QString& error, int schemaVersion = RunLogSchemaVersion, bool browsing = false);
  void Close();
  bool IsOpen() const;
  QSqlDatabase Db() const;
  const QString& Name() const { return Name_; }
  const LogTarget& Target() const { return Target_; }
  // Why the last Open failed, without the log's name that error starts with.
  const QString& Reason() const { return Reason_; }

 private:
  QString Name_, Reason_;
  LogTarget Target_;
  bool Open_ = false;
};

}  // namespace kt
