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

// The code point starting at s[i] and its length; a byte that starts no
// valid sequence counts as itself.
std::pair<char32_t, std::size_t> CodePoint(std::string_view s, std::size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
  if (n == 1 || i + n > s.size()) return {b, 1};
  char32_t c = b & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  return {c, n};
}

bool IsSpace(char32_t c) {
  return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 ||
         c == 0xFEFF;
}

// The worse of two results: fail, then incomplete, then pass.
VerdictResult Worse(VerdictResult a, VerdictResult b) {
  for (VerdictResult r : {VerdictResult::Fail, VerdictResult::Incomplete, VerdictResult::Pass})
    if (a == r || b == r) return r;
  return a == VerdictResult::None ? b : a;
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
  Verdict v;
  v.Kind = run.Kind;
  switch (limits.Source) {
    case LimitSource::ClassC:
      return ScreenClassC(run, limits.RatedPowerW);
    case LimitSource::File:
      if (!limits.File) break;
      v = EvaluateProfile(*limits.File, run);
      if (limits.File->RatedPowerW) {
        const Verdict screening = ScreenClassC(run, limits.RatedPowerW ? limits.RatedPowerW : limits.File->RatedPowerW);
        v.Result = Worse(v.Result, screening.Result);
        v.Screening = true;
        v.Rules.insert(v.Rules.end(), screening.Rules.begin(), screening.Rules.end());
        for (const std::string& name : screening.Missing)
          if (std::find(v.Missing.begin(), v.Missing.end(), name) == v.Missing.end()) v.Missing.push_back(name);
        v.Detail = screening.Detail, v.DetailChinese = screening.DetailChinese;
        v.Reason = screening.Reason, v.ReasonChinese = screening.ReasonChinese;
      }
      v.LimitsNote = limits.Note.English, v.LimitsNoteChinese = limits.Note.Chinese;
      break;
    case LimitSource::Unavailable:
      // Never a pass, never a silent "no limits": the run waits for limits
      // that can be read.
      v.Result = VerdictResult::Incomplete;
      v.ProfileName = limits.Name;
      v.Reason = limits.Problem.English, v.ReasonChinese = limits.Problem.Chinese;
      break;
    case LimitSource::None:
      break;
  }
  return v;
}

std::string TypeKey(std::string_view productType) {
  std::size_t begin = 0, end = productType.size();
  while (begin < end) {
    const auto [c, n] = CodePoint(productType, begin);
    if (!IsSpace(c)) break;
    begin += n;
  }
  // From the end: step back to the start of the last code point.
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(productType[start]) & 0xC0) == 0x80) --start;
    if (!IsSpace(CodePoint(productType, start).first)) break;
    end = start;
  }
  std::string key(productType.substr(begin, end - begin));
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

ActiveLimits ChooseLimits(const std::vector<Profile>& loaded, std::string_view productType,
                          const ActiveLimits& operatorChoice) {
  const std::string type = TypeKey(productType);
  if (!type.empty())
    for (const Profile& p : loaded)
      if (TypeKey(p.Type) == type) return {LimitSource::File, &p, operatorChoice.RatedPowerW, {}, {}, {}};
  return operatorChoice;
}

}  // namespace kt
