#pragma once
// Writing one run (one transaction: the run, its record bytes, its figures
// and its rule outcomes, whole or not at all) and reading it back.
#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "runlog/LoggedRun.h"

namespace kt {

// SHA-256 of a profile file's raw text, lower-case hex.
std::string ProfileFileHash(const std::string& text);
// A new random id (UUID text).
std::string NewRunId();
// The id of a run imported from a file: a name-based UUID (version 5) of the
// SHA-256 of the file's bytes, the same for the same bytes on every station.
std::string RunIdFromBytes(const std::vector<std::uint8_t>& bytes);

enum class WriteOutcome { Written, AlreadyThere };

// Commits the run. A run whose id is already in the log is left as it is
// (AlreadyThere): a resend is a no-op. 0 on success, 1 with a message (the
// transaction is rolled back).
int WriteRun(QSqlDatabase& db, const LoggedRun& run, WriteOutcome& outcome, QString& error);
// Several runs in one transaction, each as WriteRun writes it (a run
// already there is left alone); all or none. For generating and importing
// many runs at once.
int WriteRuns(QSqlDatabase& db, const std::vector<LoggedRun>& runs, QString& error);
int WriteEvent(QSqlDatabase& db, const LoggedEvent& event, WriteOutcome& outcome, QString& error);

// 0 when found; 1 when absent (error empty) or on a failure (error set).
int ReadRun(QSqlDatabase& db, const std::string& id, LoggedRun& run, QString& error);
int ReadRecord(QSqlDatabase& db, const std::string& id, std::vector<std::uint8_t>& record, TestKind& kind,
               QString& error);
// 0 on success; present tells whether a run with this id is logged.
int RunExists(QSqlDatabase& db, const std::string& id, bool& present, QString& error);

}  // namespace kt
