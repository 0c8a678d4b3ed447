#pragma once
// The words the log shows and exports for kinds, verdicts and rule
// outcomes, in English and Chinese. The English words are also the CSV's,
// so they stay fixed once released (spreadsheets and scripts match them).
#include <string>

#include "core/TestKind.h"
#include "verdict/Verdict.h"

namespace kt {

std::string KindName(TestKind kind, bool chinese);
std::string VerdictName(VerdictResult result, bool chinese);
std::string OutcomeName(RuleOutcome outcome);

// The stored numbers of verdicts and outcomes: part of the log's schema.
int VerdictCode(VerdictResult result);
VerdictResult VerdictFromCode(int code);
int OutcomeCode(RuleOutcome outcome);
RuleOutcome OutcomeFromCode(int code);

}  // namespace kt
