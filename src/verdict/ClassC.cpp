#include "verdict/ClassC.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/NumberText.h"
#include "verdict/Evaluate.h"

namespace kt {

namespace {

// ---------------------------------------------------------------------------
// The limit tables: IEC 61000-3-2 Ed. 5.0 (2018), Class C, lighting equipment.
// Harmonic currents in percent of the fundamental input current, by the
// measured active input power P. Everything the screening judges by is in
// this block; an amendment that changes Class C changes only these lines
// (and ClassCRevision in ClassC.h).
// ---------------------------------------------------------------------------

// Below this input power there are no limits.
constexpr double NoLimitsBelowW = 5.0;
// Above this the percentage table applies; from NoLimitsBelowW up to it
// (both included) the two options for small lighting equipment.
constexpr double TableAboveW = 25.0;

// P > 25 W. The 3rd harmonic's limit is 30·λ %, λ the circuit power factor.
constexpr double ThirdPctPerLambda = 30.0;
double TablePct(int n) {
  switch (n) {
    case 2: return 2.0;
    case 5: return 10.0;
    case 7: return 7.0;
    case 9: return 5.0;
    default: return 3.0;  // odd 11th to 39th
  }
}
constexpr int TableOrders[] = {2, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39};

// 5 W ≤ P ≤ 25 W, option (a): odd harmonics 3rd to 39th in mA per watt of
// input power.
double PerWattLimit(int n) {
  switch (n) {
    case 3: return 3.4;
    case 5: return 1.9;
    case 7: return 1.0;
    case 9: return 0.5;
    case 11: return 0.35;
    default: return 3.85 / n;  // 13th to 39th
  }
}
constexpr int OddOrders[] = {3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39};

// 5 W ≤ P ≤ 25 W, option (b): 3rd and 5th in percent, and the input current's
// waveform (degrees from the voltage's zero crossing): flowing at or before
// 60°, its peak at or before 65°, not stopping before 90°.
constexpr double OptionBThirdPct = 86.0;
constexpr double OptionBFifthPct = 61.0;
constexpr double BeginByDeg = 60.0;
constexpr double PeakByDeg = 65.0;
constexpr double EndNotBeforeDeg = 90.0;

// Harmonic currents below 0.6 % of the input current or below 5 mA are
// disregarded.
constexpr double DisregardShareOfInput = 0.006;
constexpr double DisregardAmps = 0.005;

// ------------------------------- end of tables -----------------------------

std::string Ordinal(int n) {
  const int last = n % 10, tens = n % 100;
  const char* suffix = (last == 1 && tens != 11) ? "st" : (last == 2 && tens != 12) ? "nd" : (last == 3 && tens != 13) ? "rd" : "th";
  return std::to_string(n) + suffix;
}
std::string PctName(int n) { return "CurrentHarmonicPct[" + std::to_string(n) + "]"; }
std::string Milli(double amps) { return NumberText(amps * 1000.0, 1) + " mA"; }
std::string Pct(double pct) { return NumberText(pct, 1) + " %"; }

void AddMissing(std::vector<std::string>& missing, const std::string& name) {
  if (std::find(missing.begin(), missing.end(), name) == missing.end()) missing.push_back(name);
}

// The mains figures every harmonic limit is stated against.
struct Mains {
  double P = 0, Irms = 0, I1 = 0;
  NamedFigure PF;
};

// One harmonic against a limit in percent (none when the limit itself could
// not be measured): the disregard rule first, then the bound.
RuleResult Harmonic(const RunView& run, const Mains& m, int n, std::optional<double> limitPct,
                    const std::string& limitNote, std::vector<std::string>& missing) {
  const NamedFigure f = GetFigure(run, PctName(n));
  RuleResult r;
  r.Figure = f.Name;
  r.Max = limitPct;
  r.Note = limitNote;
  if (!f.Measured) {
    r.Outcome = RuleOutcome::NotMeasured;
    AddMissing(missing, f.Name);
    return r;
  }
  r.Value = f.Value;
  const double amps = f.Value / 100.0 * m.I1;
  const char* below = amps < DisregardAmps                    ? "below 5 mA"
                      : amps < DisregardShareOfInput * m.Irms ? "below 0.6 % of Irms"
                                                              : nullptr;
  if (below) {
    r.Outcome = RuleOutcome::Pass;
    r.Note = std::string("disregarded: ") + below + " (" + Milli(amps) + "); " + limitNote;
    return r;
  }
  // A harmonic that counts but whose limit could not be measured.
  if (!limitPct) {
    r.Outcome = RuleOutcome::NotMeasured;
    return r;
  }
  r = JudgeValue(f.Name, f.Value, std::nullopt, limitPct);
  r.Note = limitNote + ", measured " + Milli(amps);
  return r;
}

// All pass: the option passed; a fail: it failed; else it cannot be decided.
enum class Option { Passed, Failed, Open };
Option Decide(const std::vector<RuleResult>& rules) {
  const auto any = [&rules](RuleOutcome o) {
    return std::any_of(rules.begin(), rules.end(), [o](const RuleResult& r) { return r.Outcome == o; });
  };
  if (any(RuleOutcome::Fail)) return Option::Failed;
  return std::all_of(rules.begin(), rules.end(), [](const RuleResult& r) { return r.Outcome == RuleOutcome::Pass; })
             ? Option::Passed
             : Option::Open;
}

void Describe(Verdict& v, const std::string& english, const std::string& chinese) {
  v.Detail = english + " (IEC 61000-3-2 " + ClassCRevision + ", Class C)";
  v.DetailChinese = chinese + "（IEC 61000-3-2 " + ClassCRevision + "，C 类）";
}

void AboveTable(Verdict& v, const RunView& run, const Mains& m) {
  for (int n : TableOrders) {
    std::optional<double> limit;
    std::string note;
    if (n == 3) {
      note = "3rd ≤ 30·λ %";
      if (m.PF.Measured) {
        limit = ThirdPctPerLambda * m.PF.Value;
        note += " = " + Pct(*limit) + " = " + Milli(*limit / 100.0 * m.I1);
      } else {
        note += ": λ not measured";
      }
    } else {
      limit = TablePct(n);
      note = Ordinal(n) + " ≤ " + Pct(*limit) + " = " + Milli(*limit / 100.0 * m.I1);
    }
    v.Rules.push_back(Harmonic(run, m, n, limit, note, v.Missing));
    if (n == 3 && v.Rules.back().Outcome == RuleOutcome::NotMeasured && !m.PF.Measured) AddMissing(v.Missing, "PF");
  }
  v.Result = CombineOutcomes(v.Rules);
  const std::string p = NumberText(m.P, 1);
  Describe(v, "P " + p + " W > 25 W: percentage limits, 3rd ≤ 30·λ %",
           "P " + p + " W > 25 W：按百分比限值，3 次 ≤ 30·λ %");
}

void SmallLighting(Verdict& v, const RunView& run, const Mains& m) {
  std::vector<std::string> missingA, missingB;
  std::vector<RuleResult> a, b;
  for (int n : OddOrders) {
    const double perWatt = PerWattLimit(n);
    const double limitAmps = perWatt * m.P / 1000.0;
    const double limitPct = limitAmps / m.I1 * 100.0;
    const std::string note = "option (a): " + Ordinal(n) + " ≤ " + NumberText(perWatt, 3) + " mA/W = " +
                             Milli(limitAmps) + " = " + Pct(limitPct);
    a.push_back(Harmonic(run, m, n, limitPct, note, missingA));
  }
  for (const auto& [n, pct] : {std::pair{3, OptionBThirdPct}, std::pair{5, OptionBFifthPct}})
    b.push_back(Harmonic(run, m, n, pct, "option (b): " + Ordinal(n) + " ≤ " + Pct(pct) + " = " + Milli(pct / 100.0 * m.I1),
                         missingB));
  const ProfileRule angles[] = {
      {"PhaseBegin", std::nullopt, BeginByDeg, "option (b): current flows at or before 60°"},
      {"PhasePeak", std::nullopt, PeakByDeg, "option (b): current peaks at or before 65°"},
      {"PhaseEnd", EndNotBeforeDeg, std::nullopt, "option (b): current does not stop before 90°"},
  };
  for (const ProfileRule& rule : angles) {
    b.push_back(CheckRule(rule, run));
    if (b.back().Outcome != RuleOutcome::Pass && b.back().Outcome != RuleOutcome::Fail) AddMissing(missingB, rule.Figure);
  }

  const Option optionA = Decide(a), optionB = Decide(b);
  const std::string p = NumberText(m.P, 1);
  const std::string range = "5 W ≤ P " + p + " W ≤ 25 W: ";
  const std::string rangeZh = "5 W ≤ P " + p + " W ≤ 25 W：";
  if (optionA == Option::Passed) {
    v.Result = VerdictResult::Pass;
    v.Rules = std::move(a);
    Describe(v, range + "option (a) per-watt limits met", rangeZh + "满足方案 (a) 每瓦限值");
    return;
  }
  v.Rules = optionB == Option::Passed ? std::move(b) : std::move(a);
  if (optionB == Option::Passed) {
    v.Result = VerdictResult::Pass;
    Describe(v, range + "option (a) not met; option (b) 3rd, 5th and current phase met",
             rangeZh + "不满足方案 (a)；满足方案 (b)（3 次、5 次谐波与电流相位）");
    return;
  }
  v.Rules.insert(v.Rules.end(), b.begin(), b.end());
  if (optionA == Option::Failed && optionB == Option::Failed) {
    v.Result = VerdictResult::Fail;
    Describe(v, range + "neither option (a) nor option (b) met", rangeZh + "方案 (a) 与方案 (b) 均不满足");
    return;
  }
  // Only an option that has not failed can still decide: its missing figures
  // are what the run lacks.
  v.Result = VerdictResult::Incomplete;
  if (optionA != Option::Failed)
    for (const std::string& name : missingA) AddMissing(v.Missing, name);
  if (optionB != Option::Failed)
    for (const std::string& name : missingB) AddMissing(v.Missing, name);
  std::string needs;
  for (const std::string& name : v.Missing) needs += (needs.empty() ? "" : ", ") + name;
  const bool aFailed = optionA == Option::Failed;
  Describe(v, range + (aFailed ? "option (a) not met; " : "") + "cannot decide without " + needs,
           rangeZh + (aFailed ? "不满足方案 (a)；" : "") + "缺少 " + needs + "，无法判定");
}

}  // namespace

bool ClassCScreens(TestKind kind) { return kind == InputTest || kind == CompTest || kind == PhaseTest; }

double FundamentalCurrent(double irms, double thdiPct) {
  const double thd = 0.01 * thdiPct;
  return std::sqrt(irms * irms / (thd * thd + 1.0));
}

Verdict ScreenClassC(const RunView& run) {
  Verdict v;
  v.Kind = run.Kind;
  v.ProfileName = ClassCName;
  v.ProfileRevision = ClassCRevision;
  v.Screening = true;
  if (!ClassCScreens(run.Kind)) {
    v.Result = VerdictResult::NotApplicable;
    Describe(v, "this test does not measure the mains current's harmonics", "本测试不测电源电流谐波");
    return v;
  }
  const NamedFigure p = GetFigure(run, "P"), irms = GetFigure(run, "Irms"), thdi = GetFigure(run, "THDI");
  for (const NamedFigure* f : {&p, &irms, &thdi})
    if (!f->Measured) v.Missing.push_back(f->Name);
  if (!v.Missing.empty()) {
    v.Result = VerdictResult::Incomplete;
    Describe(v, "the input power and current were not measured", "输入功率与电流未测得");
    return v;
  }
  if (p.Value < NoLimitsBelowW) {
    v.Result = VerdictResult::NotApplicable;
    Describe(v, "P " + NumberText(p.Value, 1) + " W < 5 W: no limits", "P " + NumberText(p.Value, 1) + " W < 5 W：无限值");
    return v;
  }
  const Mains m{p.Value, irms.Value, FundamentalCurrent(irms.Value, thdi.Value), GetFigure(run, "PF")};
  if (p.Value > TableAboveW)
    AboveTable(v, run, m);
  else
    SmallLighting(v, run, m);
  return v;
}

}  // namespace kt
