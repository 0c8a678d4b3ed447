#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/TestKind.h"

namespace kt {

// One limit of a profile: a figure by its stable name and at least one bound.
struct ProfileRule {
  std::string Figure;
  std::optional<double> Min, Max;
  std::string Note;
  bool operator==(const ProfileRule&) const = default;
};

// A figure a golden unit must show: within Tolerance of Expected.
struct GoldenFigure {
  std::string Figure;
  double Expected = 0, Tolerance = 0;
  bool operator==(const GoldenFigure&) const = default;
};

// A reference unit of known figures, kept to check the station: a run of its
// serial is a check of the station, not a production run.
struct GoldenUnit {
  std::string Serial;
  std::vector<GoldenFigure> Figures;
  bool operator==(const GoldenUnit&) const = default;
};

// When a passing golden check is due: after every shift start (minutes
// after local midnight) and/or when the last one is older than EveryHours.
struct GoldenDue {
  std::vector<int> ShiftStartMinutes;
  std::optional<double> EveryHours;
  bool Any() const { return !ShiftStartMinutes.empty() || EveryHours.has_value(); }
  bool operator==(const GoldenDue&) const = default;
};

// The limits of one product, as a small JSON file:
//   {"name": "...", "revision": "...", "type": "EB-236", "rated_power_w": 36,
//    "rules": [{"figure": "PF", "min": 0.95, "note": "..."}]}
// "revision", "type", "rated_power_w" and each rule's "note" and either
// bound may be absent. Optional station keys:
//   "sequence": ["comp", "start"]   the kinds a scan of this type runs
//   "golden": [{"serial": "G-01", "figures": [{"figure": "Pin", "expected": 36.2, "tolerance": 0.5}]}]
//   "golden_due": {"shift_starts": ["06:00", "14:00"], "every_hours": 8}
struct Profile {
  std::string Name;
  std::string Revision;
  std::string Type;  // the product type (型号) that selects this profile; empty: chosen by hand only
  std::vector<ProfileRule> Rules;
  // The product's rated input power (W). A profile that gives it also screens
  // the mains current's harmonics with the built-in screening, whose branch
  // the rated power picks.
  std::optional<double> RatedPowerW;
  std::string Source;              // the file name the messages name
  std::string RawText;             // the text exactly as read, for a later layer to hash
  std::vector<TestKind> Sequence;  // empty: the kind last chosen
  std::vector<GoldenUnit> Golden;
  GoldenDue Due;  // needs at least one golden unit
};

// Name, revision, type, rated power, rules and station keys equal; where the text came
// from is not compared.
bool SameContent(const Profile& a, const Profile& b);

// Why a profile was refused (or a file could not be written), in both languages.
struct ProfileMessage {
  std::string English, Chinese;
  const std::string& Text(bool chinese) const { return chinese ? Chinese : English; }
};

// Larger files are refused unread: a profile is a few hundred bytes.
inline constexpr std::size_t ProfileMaxBytes = 64 * 1024;
inline constexpr double ProfileMaxRatedPowerW = 10000;
inline constexpr std::size_t ProfileMaxGoldenUnits = 100;

// Parses and checks a profile text. `source` names it in messages
// (`profile "t8.json", rule 3 (CFi): min 2 is above max 1.7`). Refused: text
// that is not one JSON object, a key twice in one object, unknown keys (a
// misspelt bound must not silently vanish), a missing or empty name, the
// built-in screening's name, a type longer in GBK than a test's type field,
// a rated power not in (0, ProfileMaxRatedPowerW], an empty rule list, an
// unknown figure or one no test measures, two rules on one figure, a rule
// without bounds, a bound that is not a finite number, min above max; an
// empty sequence, an unknown kind or one twice in it; a golden unit without
// a serial (or one too long for a test's number field), twice, or without
// figures, a golden figure unknown, twice, or with a tolerance that is not a
// finite number >= 0; a due time that is not HH:MM, every_hours not in
// (0, 1000], or a due rule without golden units.
// Returns 0 and fills `out` (RawText = text), or 1 and fills `error`.
int ParseProfile(std::string_view text, std::string_view source, Profile& out, ProfileMessage& error);

// Stable, pretty JSON (two-space indent, keys in a fixed order, absent
// fields left out, a final newline), so profiles diff cleanly.
std::string ProfileToJson(const Profile& p);

// Reads and parses a regular file (a FIFO, a device or a folder is refused
// without waiting on it); Source becomes its file name.
int LoadProfile(const std::string& path, Profile& out, ProfileMessage& error);
// Checks the profile as a load would, then replaces the file atomically: a
// temporary file in the same folder, flushed to disk, renamed over it.
int SaveProfile(const std::string& path, const Profile& p, ProfileMessage& error);

}  // namespace kt
