#pragma once
// Verdicts built by hand, as the band and the printed block receive them.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "verdict/Verdict.h"

namespace kt::test {

inline RuleResult Rule(const char* figure, RuleOutcome outcome, std::optional<double> value = {},
                       std::optional<double> min = {}, std::optional<double> max = {}) {
  RuleResult r;
  r.Figure = figure, r.Outcome = outcome, r.Value = value, r.Min = min, r.Max = max;
  return r;
}

// An input run's verdict by the profile "T8 36W", revision 3.
inline Verdict Judged(VerdictResult result, std::vector<RuleResult> rules, std::vector<std::string> missing = {}) {
  Verdict v;
  v.Result = result, v.Kind = InputTest, v.ProfileName = "T8 36W", v.ProfileRevision = "3";
  v.Rules = std::move(rules), v.Missing = std::move(missing);
  return v;
}

}  // namespace kt::test
