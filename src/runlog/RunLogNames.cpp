#include "runlog/RunLogNames.h"

#include "verdict/VerdictText.h"

namespace kt {

std::string KindName(TestKind kind, bool chinese) {
  if (kind < 0 || kind >= KindCount) return "kind " + std::to_string(kind);
  const KindNames& w = KindTable[kind];
  return chinese ? w.Chinese : w.English;
}

std::string VerdictName(VerdictResult result, bool chinese) { return VerdictResultText(result, chinese); }

std::string OutcomeName(RuleOutcome outcome) {
  switch (outcome) {
    case RuleOutcome::Pass:
      return "pass";
    case RuleOutcome::Fail:
      return "fail";
    case RuleOutcome::NotMeasured:
      return "not measured";
    case RuleOutcome::NotApplicable:
      break;
  }
  return "n/a";
}

int VerdictCode(VerdictResult result) {
  switch (result) {
    case VerdictResult::None:
      return 0;
    case VerdictResult::Pass:
      return 1;
    case VerdictResult::Fail:
      return 2;
    case VerdictResult::Incomplete:
      return 3;
    case VerdictResult::NotApplicable:
      return 4;
  }
  return 0;
}

VerdictResult VerdictFromCode(int code) {
  switch (code) {
    case 1:
      return VerdictResult::Pass;
    case 2:
      return VerdictResult::Fail;
    case 3:
      return VerdictResult::Incomplete;
    case 4:
      return VerdictResult::NotApplicable;
    default:
      return VerdictResult::None;
  }
}

int OutcomeCode(RuleOutcome outcome) {
  switch (outcome) {
    case RuleOutcome::Pass:
      return 0;
    case RuleOutcome::Fail:
      return 1;
    case RuleOutcome::NotMeasured:
      return 2;
    case RuleOutcome::NotApplicable:
      return 3;
  }
  return 3;
}

RuleOutcome OutcomeFromCode(int code) {
  switch (code) {
    case 0:
      return RuleOutcome::Pass;
    case 1:
      return RuleOutcome::Fail;
    case 2:
      return RuleOutcome::NotMeasured;
    default:
      return RuleOutcome::NotApplicable;
  }
}

}  // namespace kt
