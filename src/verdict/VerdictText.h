#pragma once
#include <string>
#include <vector>

#include "verdict/Verdict.h"

namespace kt {

// What the verdict field, the report and the log window write, in either
// language. Numbers through NumberText with each figure's decimals and unit.

// PASS / FAIL / INCOMPLETE / N/A, 合格 / 不合格 / 不完整 / 不适用; empty for None.
const char* VerdictResultText(VerdictResult result, bool chinese);
// What the built-in screening's verdict carries beside it.
const char* ScreeningText(bool chinese);
// One line for a rule, the figure by its label (FigureLabel): "THDI 12.3 % >
// 10.0 %", "功率因数 0.970 ≥ 0.950", "PFw not measured". When the value and
// the bound it broke read the same at the figure's decimals, more decimals
// are written until they differ.
std::string RuleLine(const RuleResult& rule, bool chinese);
// The lines of the rules that failed or could not be measured, in rule order.
std::vector<std::string> ProblemLines(const Verdict& verdict, bool chinese);

}  // namespace kt
