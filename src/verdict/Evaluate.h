#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "verdict/Figures.h"
#include "verdict/Profile.h"
#include "verdict/Verdict.h"

namespace kt {

// The limits a run is judged by: none, a profile file, the built-in harmonic
// screening, or limits that were asked for but cannot be used (their file is
// damaged, two profiles claim the run's product type): a run judged by those
// is incomplete, never passed and never silently unjudged.
enum class LimitSource { None, File, ClassC, Unavailable };
struct ActiveLimits {
  LimitSource Source = LimitSource::None;
  const Profile* File = nullptr;  // File: points into the caller's list of profiles
  // The product's rated input power for the screening, when the caller was
  // given one: it wins over a profile's.
  std::optional<double> RatedPowerW;
  std::string Name;        // Unavailable: the limits asked for
  ProfileMessage Problem;  // Unavailable: why they cannot be used
  ProfileMessage Note;     // File: what the operator must know about the copy that judges
};

// One value against its bounds. A value exactly at a bound passes: figures
// are 32-bit numbers, so a bound is taken at that precision (0.95 as a PF
// limit is the PF the instrument sends for 0.95). Margin: the distance to
// the nearer bound, negative outside.
RuleResult JudgeValue(std::string figure, double value, std::optional<double> min, std::optional<double> max);

// One rule on one run: not applicable when the run's kind does not measure
// the figure, not measured when it could not this time.
RuleResult CheckRule(const ProfileRule& rule, const RunView& run);

// Any fail: fail; else any not measured: incomplete; else any pass: pass;
// else (nothing applied): not applicable.
VerdictResult CombineOutcomes(const std::vector<RuleResult>& rules);

Verdict EvaluateProfile(const Profile& profile, const RunView& run);
// A profile that gives a rated power is also judged by the harmonic
// screening at that power: the worse of the two results, every rule of both.
Verdict Evaluate(const ActiveLimits& limits, const RunView& run);

// A product type as profiles and runs are matched by it: white space of any
// kind (an ideographic space from a Chinese input method too) cut from both
// ends, Latin letters in lower case. Empty: no type.
std::string TypeKey(std::string_view productType);

// The profile whose product type matches the run's `Type` (the first such
// profile in the list), else the operator's choice.
ActiveLimits ChooseLimits(const std::vector<Profile>& loaded, std::string_view productType,
                          const ActiveLimits& operatorChoice);

}  // namespace kt
