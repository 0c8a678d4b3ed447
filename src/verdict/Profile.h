#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt {

// One limit of a profile: a figure by its stable name and at least one bound.
struct ProfileRule {
  std::string Figure;
  std::optional<double> Min, Max;
  std::string Note;
  bool operator==(const ProfileRule&) const = default;
};

// The limits of one product, as a small JSON file:
//   {"name": "...", "revision": "...", "type": "EB-236", "rated_power_w": 36,
//    "rules": [{"figure": "PF", "min": 0.95, "note": "..."}]}
// "revision", "type", "rated_power_w" and each rule's "note" and either
// bound may be absent.
struct Profile {
  std::string Name;
  std::string Revision;
  std::string Type;  // the product type (型号) that selects this profile; empty: chosen by hand only
  std::vector<ProfileRule> Rules;
  // The product's rated input power (W). A profile that gives it also screens
  // the mains current's harmonics with the built-in screening, whose branch
  // the rated power picks.
  std::optional<double> RatedPowerW;
  std::string Source;   // the file name the messages name
  std::string RawText;  // the text exactly as read, for a later layer to hash
};

// Name, revision, type, rated power and rules equal; where the text came
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

// Parses and checks a profile text. `source` names it in messages
// (`profile "t8.json", rule 3 (CFi): min 2 is above max 1.7`). Refused: text
// that is not one JSON object, a key twice in one object, unknown keys (a
// misspelt bound must not silently vanish), a missing or empty name, the
// built-in screening's name, a type longer in GBK than a test's type field,
// a rated power not in (0, ProfileMaxRatedPowerW], an empty rule list, an
// unknown figure or one no test measures, two rules on one figure, a rule
// without bounds, a bound that is not a finite number, min above max.
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
