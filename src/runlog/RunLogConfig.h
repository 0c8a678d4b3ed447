#pragma once
// How the program is told where its run log is. The caller fills a
// RunLogConfig from its settings; ResolveRunLogConfig applies the
// environment and the defaults:
//
//   KT6100_LOG      overrides Target (see LogTarget.h for the forms; "off"
//                   turns the log off for that session)
//   KT6100_STATION  overrides Station
//
// Defaults: the log is an SQLite file runlog.db in the program's data folder
// (QStandardPaths::AppDataLocation), the outbox is the folder runlog-outbox
// beside it, and the station is the host name. Each log has its own
// subfolder of the outbox (OutboxFolderFor), so that a run kept for one log
// is never sent into another.
#include <QString>

#include <string>

#include "runlog/LogTarget.h"

namespace kt {

struct RunLogConfig {
  std::string Target;     // as KT6100_LOG; empty: the default SQLite file
  std::string Station;    // empty: the host name
  std::string OutboxDir;  // empty: <data folder>/runlog-outbox
  std::string DataDir;    // empty: QStandardPaths::AppDataLocation
  int RetryMs = 30000;    // how often a log that failed is tried again
  bool UseEnvironment = true;
};

struct ResolvedLog {
  LogTarget Target;  // Kind is never Default here
  std::string Station;
  std::string OutboxRoot;  // the outbox folder as configured
  std::string OutboxDir;   // this log's subfolder of it
  int RetryMs = 30000;
};

// The folder under root that keeps the runs waiting for this log:
// "<engine>-<file or database name>-<12 hex digits>", the digits from the
// log's identity (SQLite: the absolute file path; PostgreSQL: host, port and
// database, not the user, password or options), so that two addresses of one
// log share it and two logs never do.
std::string OutboxFolderFor(const std::string& root, const LogTarget& target);

// 0 on success; 1 with a message (a malformed KT6100_LOG or setting).
int ResolveRunLogConfig(const RunLogConfig& config, ResolvedLog& out, QString& error);

}  // namespace kt
