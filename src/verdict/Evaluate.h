#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "verdict/Figures.h"
#include "verdict/Profile.h"
#include "verdict/Verdict.h"

namespace kt {

// The limits a run is judged by: none, a profile file, or the built-in
// harmonic screening. File points into the caller's list of profiles.
enum class LimitSource { None, File, ClassC };
struct ActiveLimits {
  LimitSource Source = LimitSource::None;
  const Profile* File = nullptr;
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
Verdict Evaluate(const ActiveLimits& limits, const RunView& run);

// The profile whose product type equals the run's `Type` (surrounding spaces
// ignored; an empty type matches nothing; the first such profile in the
// list), else the operator's choice.
ActiveLimits ChooseLimits(const std::vector<Profile>& loaded, std::string_view productType,
                          const ActiveLimits& operatorChoice);

}  // namespace kt
