#pragma once
// What the run log keeps of one completed run and of one link failure or
// abandoned run. Plain data: the functional core and the command line fill
// it without seeing Qt or SQL.
#include <cstdint>
#include <string>
#include <vector>

#include "core/TestInfo.h"
#include "core/TestKind.h"
#include "verdict/Verdict.h"

namespace kt {

// What a run was for: a unit made on the line, or a check of the station
// with a golden unit (logged, never counted in the production yield).
enum class RunPurpose { Production = 0, GoldenCheck = 1 };

struct LoggedRun {
  // Lower-case UUID text without braces ("3f2c…-…"). Empty: Submit gives
  // the run a new random one. The import derives it from the file's bytes,
  // so that importing the same file twice finds it already there.
  std::string Id;
  std::int64_t TimeUtcMs = 0;  // ms since 1970-01-01 UTC; 0: stamped at Submit
  std::string Station;         // empty: the log's station name
  TestKind Kind = NoTest;
  TestInfo Info;         // Info.No is the serial number
  std::string TestDate;  // the test date text as the data file holds it
  std::vector<NamedFigure> Figures;
  Verdict Result;  // Result.Result == None: no profile was active
  // The raw text of the active profile file. Only its SHA-256 is kept
  // (ProfileHash); the text itself is not stored. When ProfileHash is
  // already set, the text is ignored.
  std::string ProfileText;
  std::string ProfileHash;  // lower-case hex; filled on reading back
  std::string ProgramVersion;
  // The exact bytes a data-file store of this run would write, so that a
  // logged run opens again exactly as if from its file.
  std::vector<std::uint8_t> Record;
  RunPurpose Purpose = RunPurpose::Production;
  // The instrument the run was measured on and when its calibration is due
  // (YYYY-MM-DD), as the station's settings said then; empty when not set.
  std::string InstrumentSerial{}, CalibrationDue{};
};

// A link failure or an abandoned run: no figures, only what happened.
struct LoggedEvent {
  std::string Id;  // as LoggedRun::Id
  std::int64_t TimeUtcMs = 0;
  std::string Station;
  TestKind Kind = NoTest;
  std::string What;  // a short text: "no answer to the handshake"
  // An entry of the audit trail instead: who did What, and the value before
  // and after (a profile's hash, a port, a log target, a user's role).
  bool Audit = false;
  std::string Who{}, OldValue{}, NewValue{};
};

// A logged run judged again from its record (the log's rejudge).
struct Rejudgement {
  Verdict Fresh;
  std::string Problem;  // not empty: the record could not be judged, and why
};

}  // namespace kt
