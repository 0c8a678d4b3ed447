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

// A run of a golden unit judged against its expected figures: PASS when
// every listed figure is within its tolerance, FAIL when one is not,
// INCOMPLETE when one was not measured by the runs so far.
Verdict GoldenVerdict(const GoldenUnit& unit, TestKind kind, const std::vector<NamedFigure>& figures,
                      const std::string& profileName, const std::string& profileRevision);
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

}  // namespace kt
