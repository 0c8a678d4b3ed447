#pragma once
#include <optional>
#include <string>
#include <vector>

#include "core/TestKind.h"

namespace kt {

// A figure of one run by its stable name ("Urms", "CurrentHarmonicPct[3]"),
// as the verdict, the run log and the command line name it.
struct NamedFigure {
  std::string Name;
  double Value = 0;       // meaningful only when Measured
  bool Measured = false;  // false: the kind could not measure it this time
};

// What one rule of a profile gave for one run.
enum class RuleOutcome { Pass, Fail, NotMeasured, NotApplicable };

struct RuleResult {
  std::string Figure;
  std::optional<double> Value;  // absent when not measured / not applicable
  std::optional<double> Min, Max;
  // Distance to the nearer bound, positive inside the limits, in the
  // figure's unit; absent when there is no value or no bound.
  std::optional<double> Margin;
  RuleOutcome Outcome = RuleOutcome::NotApplicable;
  std::string Note;  // the rule's note, or what the screening says about it
  // The screening's option the rule belongs to ("a", "b", "c"): one harmonic
  // may be judged by two options with two limits. Empty for a profile's rules.
  std::string Option;
};

// The run's verdict. None: no profile was active.
enum class VerdictResult { None, Pass, Fail, Incomplete, NotApplicable };

struct Verdict {
  VerdictResult Result = VerdictResult::None;
  TestKind Kind = NoTest;
  std::string ProfileName;
  std::string ProfileRevision;
  bool Screening = false;     // the built-in harmonic screening: a single capture
  std::string Detail;         // e.g. which Class C branch or option decided
  std::string DetailChinese;  // the same in Chinese
  std::vector<RuleResult> Rules;
  std::vector<std::string> Missing;  // figures an incomplete verdict would have needed
  // Why the run could not be decided, said before anything else wherever the
  // verdict shows ("needs the phase-angle test"); empty when it was decided.
  std::string Reason, ReasonChinese;
  // What the operator must know about the limits themselves: their file is
  // damaged and a kept copy judged, say. Empty normally.
  std::string LimitsNote, LimitsNoteChinese;
};

}  // namespace kt
