#pragma once
// What a barcode scan means to the station, and the checks a production scan
// must pass first. Plain functions, no Qt: the window, the command line and
// the fuzz target share them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/TestKind.h"
#include "verdict/Profile.h"
#include "verdict/Verdict.h"

namespace kt {

// A scanned label: `TYPE*SERIAL`, or `SERIAL` alone (Type empty then).
struct ScanCode {
  std::string Type, Serial;
};

// A scanner's whole line is far shorter; anything longer is not a label.
inline constexpr std::size_t ScanMaxBytes = 128;
inline constexpr const char* DefaultScanSeparator = "*";

// The separator setting: one to four printable ASCII characters, no space.
int CheckScanSeparator(std::string_view separator, ProfileMessage& error);

// Reads a scan. The line's end (CR, LF) and surrounding spaces are dropped.
// Refused, with the reason in both languages: empty text, text longer than
// ScanMaxBytes, text that is not UTF-8, control characters, the separator
// more than once, an empty type or serial, a type or serial longer than the
// test information holds, characters GBK cannot hold (the data file keeps
// the serial in GBK: it would read back as another serial).
int ParseScan(std::string_view text, std::string_view separator, ScanCode& out, ProfileMessage& error);

// The kinds a scan runs, in order: the profile's sequence, else the kind
// last chosen (input when none was). The analysis of a high-frequency run is
// of an envelope: one comes right before it unless the sequence has it there.
std::vector<TestKind> ScanSteps(const std::vector<TestKind>& sequence, TestKind lastChosen);

// How bad a verdict is, for the verdict of a sequence: the worst of its
// runs'. A run that was not judged (NA) is worse than a pass, so a sequence
// never says PASS while one of its runs went unjudged.
int VerdictRank(VerdictResult r);
// The worst of the runs' verdicts, the first of equals (no verdict for none).
Verdict WorstVerdict(const std::vector<Verdict>& runs);

// A run of a golden unit judged against its expected figures: PASS when
// every listed figure is within its tolerance, FAIL when one is not,
// INCOMPLETE when one was not measured by the runs so far.
Verdict GoldenVerdict(const GoldenUnit& unit, TestKind kind, const std::vector<NamedFigure>& figures,
                      const std::string& profileName, const std::string& profileRevision);
// A golden check's runs together: the worst of them, and INCOMPLETE when a
// listed figure was judged by none of them (a sequence that never measures
// it cannot vouch for it).
Verdict GoldenSequenceVerdict(const GoldenUnit& unit, const std::vector<Verdict>& runs);
const GoldenUnit* FindGolden(const Profile& profile, const std::string& serial);

// Whether a golden check is due at `nowUtcMs` when the last passing one was
// at `lastPassUtcMs` (0: never). `utcOffsetMs` is local time's offset now:
// shift starts are local times of day.
bool GoldenCheckDue(const GoldenDue& due, std::int64_t lastPassUtcMs, std::int64_t nowUtcMs, std::int64_t utcOffsetMs);

// The instrument's calibration against today's date (both as days since
// 1970-01-01): no due date set, fine, due within WarnDays, or overdue.
enum class Calibration { NotSet, Valid, DueSoon, Overdue };
inline constexpr int CalibrationWarnDays = 14;
Calibration CalibrationState(std::int64_t dueDay, bool dueSet, std::int64_t today);

// What stops a production run before it starts, and what an engineer's
// override lifts (for this session, kept in the audit trail).
struct ProductionGate {
  const Profile* Limits = nullptr;  // the profile that judges the type, if any
  bool GoldenSerial = false;        // the unit is one of its golden units: a check always runs
  std::int64_t LastGoldenPassMs = 0, NowMs = 0, UtcOffsetMs = 0;
  Calibration Instrument = Calibration::NotSet;
  std::string CalibrationDue;  // YYYY-MM-DD, for the message
  bool GoldenOverridden = false, CalibrationOverridden = false;
};
// Empty when the run may start; else why not, in both languages. A golden
// check is refused only for an overdue calibration: a check on an
// instrument out of calibration proves nothing.
ProfileMessage BlockedBecause(const ProductionGate& gate);

// The calibration's part alone: what refuses any production run, from any
// command (a golden check due refuses scans only).
ProfileMessage CalibrationBlock(const ProductionGate& gate);

// A date setting "YYYY-MM-DD" as days since 1970-01-01; false when it is not one.
bool ParseDay(const std::string& text, std::int64_t& day);

}  // namespace kt
