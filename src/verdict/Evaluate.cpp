#include "verdict/Evaluate.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "verdict/ClassC.h"

namespace kt {

namespace {

// Rounded to the nearest float where a float can hold it; beyond the float
// range a bound stays as it is (it passes or fails every figure anyway).
double AtFigurePrecision(double x) {
  return std::fabs(x) <= static_cast<double>(std::numeric_limits<float>::max()) ? static_cast<float>(x) : x;
}

std::string_view Trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

RuleResult JudgeValue(std::string figure, double value, std::optional<double> min, std::optional<double> max) {
  RuleResult r;
  r.Figure = std::move(figure);
  r.Value = value;
  r.Min = min;
  r.Max = max;
  const double v = AtFigurePrecision(value);
  std::optional<double> margin;
  const auto nearer = [&margin](double d) { margin = margin ? std::min(*margin, d) : d; };
  if (min) nearer(v - AtFigurePrecision(*min));
  if (max) nearer(AtFigurePrecision(*max) - v);
  r.Margin = margin;
  r.Outcome = !margin || *margin >= 0.0 ? RuleOutcome::Pass : RuleOutcome::Fail;
  return r;
}

RuleResult CheckRule(const ProfileRule& rule, const RunView& run) {
  RuleResult r;
  const NamedFigure f = GetFigure(run, rule.Figure);
  if (f.Measured) {
    r = JudgeValue(rule.Figure, f.Value, rule.Min, rule.Max);
  } else {
    r.Figure = rule.Figure;
    r.Min = rule.Min;
    r.Max = rule.Max;
    r.Outcome = KindMeasures(run.Kind, rule.Figure) ? RuleOutcome::NotMeasured : RuleOutcome::NotApplicable;
  }
  r.Note = rule.Note;
  return r;
}

VerdictResult CombineOutcomes(const std::vector<RuleResult>& rules) {
  const auto any = [&rules](RuleOutcome o) {
    return std::any_of(rules.begin(), rules.end(), [o](const RuleResult& r) { return r.Outcome == o; });
  };
  if (any(RuleOutcome::Fail)) return VerdictResult::Fail;
  if (any(RuleOutcome::NotMeasured)) return VerdictResult::Incomplete;
  if (any(RuleOutcome::Pass)) return VerdictResult::Pass;
  return VerdictResult::NotApplicable;
}

Verdict EvaluateProfile(const Profile& profile, const RunView& run) {
  Verdict v;
  v.Kind = run.Kind;
  v.ProfileName = profile.Name;
  v.ProfileRevision = profile.Revision;
  for (const ProfileRule& rule : profile.Rules) {
    v.Rules.push_back(CheckRule(rule, run));
    const RuleResult& r = v.Rules.back();
    if (r.Outcome == RuleOutcome::NotMeasured &&
        std::find(v.Missing.begin(), v.Missing.end(), r.Figure) == v.Missing.end())
      v.Missing.push_back(r.Figure);
  }
  v.Result = CombineOutcomes(v.Rules);
  return v;
}

Verdict Evaluate(const ActiveLimits& limits, const RunView& run) {
  switch (limits.Source) {
    case LimitSource::ClassC:
      return ScreenClassC(run);
    case LimitSource::File:
      if (limits.File) return EvaluateProfile(*limits.File, run);
      break;
    case LimitSource::None:
      break;
  }
  Verdict none;
  none.Kind = run.Kind;
  return none;
}

ActiveLimits ChooseLimits(const std::vector<Profile>& loaded, std::string_view productType,
                          const ActiveLimits& operatorChoice) {
  const std::string_view type = Trimmed(productType);
  if (!type.empty())
    for (const Profile& p : loaded)
      if (Trimmed(p.Type) == type) return {LimitSource::File, &p};
  return operatorChoice;
}

}  // namespace kt
