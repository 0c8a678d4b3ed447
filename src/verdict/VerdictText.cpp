#include "verdict/VerdictText.h"

#include "verdict/FigureLabels.h"
#include "verdict/Figures.h"

namespace kt {

namespace {

// More decimals than the figure's, until the two texts differ (or give up
// after a few: a difference that small is a rounding of the bound).
void Distinct(const std::string& figure, double value, double bound, std::string& v, std::string& b) {
  for (int extra = 0; extra <= 4; ++extra) {
    v = FigureValueText(figure, value, extra);
    b = FigureValueText(figure, bound, extra);
    if (v != b) return;
  }
}

}  // namespace

const char* VerdictResultText(VerdictResult result, bool chinese) {
  switch (result) {
    case VerdictResult::Pass:
      return chinese ? "合格" : "PASS";
    case VerdictResult::Fail:
      return chinese ? "不合格" : "FAIL";
    case VerdictResult::Incomplete:
      return chinese ? "不完整" : "INCOMPLETE";
    case VerdictResult::NotApplicable:
      return chinese ? "不适用" : "N/A";
    case VerdictResult::None:
      break;
  }
  return "";
}

const char* ScreeningText(bool chinese) { return chinese ? "筛查，单次采样" : "screening, single capture"; }

std::string RuleLine(const RuleResult& r, bool chinese) {
  // The figure by the page's word, its numbers by its name.
  const std::string& f = r.Figure;
  const std::string label = FigureLabel(f, chinese);
  switch (r.Outcome) {
    case RuleOutcome::NotMeasured:
      return label + (chinese ? " 未测得" : " not measured");
    case RuleOutcome::NotApplicable:
      return label + (chinese ? "：本测试不测此量" : ": not measured by this test");
    case RuleOutcome::Fail:
    case RuleOutcome::Pass:
      break;
  }
  if (!r.Value) return label;
  const double value = *r.Value;
  std::string v, b;
  if (r.Outcome == RuleOutcome::Fail) {
    const bool low = r.Min && (!r.Max || value < *r.Min);
    Distinct(f, value, low ? *r.Min : *r.Max, v, b);
    return label + " " + v + (low ? " < " : " > ") + b;
  }
  v = FigureValueText(f, value);
  if (r.Min && r.Max)
    return label + " " + v + " (" + FigureValueText(f, *r.Min) + " … " + FigureValueText(f, *r.Max) + ")";
  if (r.Min) return label + " " + v + " ≥ " + FigureValueText(f, *r.Min);
  if (r.Max) return label + " " + v + " ≤ " + FigureValueText(f, *r.Max);
  return label + " " + v;
}

std::vector<std::string> ProblemLines(const Verdict& verdict, bool chinese) {
  std::vector<std::string> lines;
  for (const RuleResult& r : verdict.Rules)
    if (r.Outcome == RuleOutcome::Fail || r.Outcome == RuleOutcome::NotMeasured) lines.push_back(RuleLine(r, chinese));
  return lines;
}

}  // namespace kt
