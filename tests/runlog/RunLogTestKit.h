#pragma once
// What the run log's tests share: a temporary folder, runs made to order,
// and a look into a log's tables.
#include <QSqlQuery>
#include <QString>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "runlog/LoggedRun.h"
#include "runlog/RunLogConnection.h"

namespace kt::test {

struct TempFolder {
  TempFolder() {
    char templ[] = "/tmp/ktlog-XXXXXX";
    Path = mkdtemp(templ);
  }
  ~TempFolder() { std::filesystem::remove_all(Path); }
  std::string operator/(const std::string& name) const { return Path + "/" + name; }
  std::string Path;
};

inline LogTarget SqliteAt(const std::string& path) {
  LogTarget t;
  t.Kind = LogTarget::Driver::Sqlite;
  t.Path = path;
  return t;
}

inline RuleResult Rule(const std::string& figure, std::optional<double> value, std::optional<double> min,
                       std::optional<double> max, RuleOutcome outcome) {
  RuleResult r;
  r.Figure = figure;
  r.Value = value;
  r.Min = min;
  r.Max = max;
  r.Outcome = outcome;
  return r;
}

inline LoggedRun MakeRun(const std::string& id, std::int64_t timeMs, const std::string& serial,
                         VerdictResult verdict = VerdictResult::Pass, TestKind kind = InputTest) {
  LoggedRun r;
  r.Id = id;
  r.TimeUtcMs = timeMs;
  r.Station = "bench-1";
  r.Kind = kind;
  r.Info.No = serial;
  r.Info.Type = "T8-36W";
  r.Result.Result = verdict;
  r.Result.Kind = kind;
  r.Record = {0x4B, 0x00, 0x54, 0xFF, static_cast<std::uint8_t>(timeMs & 0xFF)};
  return r;
}

// The single value of a one-row, one-column query.
inline QVariant Scalar(const RunLogConnection& c, const QString& sql) {
  QSqlQuery q(c.Db());
  if (!q.exec(sql) || !q.next()) return {};
  return q.value(0);
}

inline std::multiset<std::string> LoggedIds(const RunLogConnection& c) {
  std::multiset<std::string> ids;
  QSqlQuery q(c.Db());
  q.setForwardOnly(true);
  q.exec("SELECT uuid FROM runs");
  while (q.next()) ids.insert(q.value(0).toString().toStdString());
  return ids;
}

// The writer program the multi-process tests start (built beside them).
inline QString WriterProgram() { return QString(KT_RUNLOG_TEST_WRITER); }

}  // namespace kt::test
