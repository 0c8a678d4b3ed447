#include "verdict/ClassC.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/NumberText.h"
#include "verdict/Evaluate.h"

namespace kt {

namespace {

// ---------------------------------------------------------------------------
// The limit tables: IEC 61000-3-2 Ed. 5.0 (2018) with its Amendment 1 (2020),
// Class C, lighting equipment (the same tables as GB 17625.1-2022).
// Harmonic currents in percent of the fundamental input current, by the
// input power (the rated power when one is given, else the measured P).
// Everything the screening judges by is in this block; an amendment that
// changes Class C changes only these lines (and ClassCRevision in ClassC.h).
// ---------------------------------------------------------------------------

// Below this input power there are no limits.
constexpr double NoLimitsBelowW = 5.0;
// Above this the percentage table applies; from NoLimitsBelowW up to it
// (both included) the three options for small lighting equipment.
constexpr double TableAboveW = 25.0;

// P > 25 W. The 3rd harmonic's limit is 30·λ %, λ the circuit power factor.
constexpr double ThirdPctPerLambda = 30.0;
double TablePct(int n) {
  switch (n) {
    case 2:
      return 2.0;
    case 5:
      return 10.0;
    case 7:
      return 7.0;
    case 9:
      return 5.0;
    default:
      return 3.0;  // odd 11th to 39th
  }
}
constexpr int TableOrders[] = {2, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39};

// 5 W ≤ P ≤ 25 W, option (a): odd harmonics 3rd to 39th in mA per watt of
// the measured input power.
double PerWattLimit(int n) {
  switch (n) {
    case 3:
      return 3.4;
    case 5:
      return 1.9;
    case 7:
      return 1.0;
    case 9:
      return 0.5;
    case 11:
      return 0.35;
    default:
      return 3.85 / n;  // 13th to 39th
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

// 5 W ≤ P ≤ 25 W, option (c), added by Amendment 1: the current's total
// harmonic distortion, and the 2nd to the 11th in percent.
constexpr double OptionCThdPct = 70.0;
constexpr std::pair<int, double> OptionCPct[] = {{2, 5.0}, {3, 35.0}, {5, 25.0}, {7, 30.0}, {9, 20.0}, {11, 20.0}};

// Harmonic currents below 0.6 % of the input current or below 5 mA are
// disregarded.
constexpr double DisregardShareOfInput = 0.006;
constexpr double DisregardAmps = 0.005;

// ------------------------------- end of tables -----------------------------

std::string Ordinal(int n) {
  const int last = n % 10, tens = n % 100;
  const char* suffix = (last == 1 && tens != 11)   ? "st"
                       : (last == 2 && tens != 12) ? "nd"
                       : (last == 3 && tens != 13) ? "rd"
                                                   : "th";
  return std::to_string(n) + suffix;
}
std::string PctName(int n) { return "CurrentHarmonicPct[" + std::to_string(n) + "]"; }
std::string Milli(double amps) { return NumberText(amps * 1000.0, 1) + " mA"; }
std::string Pct(double pct) { return NumberText(pct, 1) + " %"; }

// A power with as many decimals as it takes to tell it from the bound it
// was compared with: 25.04 W must not read "25.0 W > 25 W".
std::string Watts(double w, double bound) {
  for (int decimals = 1; decimals <= 4; ++decimals) {
    const std::string text = NumberText(w, decimals, 12);
    if (text != NumberText(bound, decimals, 12)) return text + " W";
  }
  return NumberText(w, 1, 12) + " W";  // the bound itself
}

void AddMissing(std::vector<std::string>& missing, const std::string& name) {
  if (std::find(missing.begin(), missing.end(), name) == missing.end()) missing.push_back(name);
}

std::string Joined(const std::vector<std::string>& items, const char* separator) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
  return out;
}

// The mains figures every harmonic limit is stated against, and the power
// that picked the branch, as the detail says it.
struct Mains {
  double P = 0, Irms = 0, I1 = 0;
  NamedFigure PF, THDI;
  std::optional<double> Rated;
  double BranchW() const { return Rated ? *Rated : P; }
  // "P 25.04 W > 25 W, branch by measured power" and its Chinese twin.
  std::pair<std::string, std::string> Branch(const std::string& relation, double bound) const {
    if (!Rated)
      return {"P " + Watts(P, bound) + relation + ", branch by measured power",
              "P " + Watts(P, bound) + relation + "，按实测功率选择限值"};
    const std::string measured = Watts(P, bound);
    return {"rated power " + Watts(*Rated, bound) + relation + ", branch by rated power (P " + measured + " measured)",
            "额定功率 " + Watts(*Rated, bound) + relation + "，按额定功率选择限值（实测 P " + measured + "）"};
  }
};

// One harmonic against a limit in percent (none when the limit itself could
// not be measured): the disregard rule first, then the bound.
RuleResult Harmonic(const RunView& run, const Mains& m, int n, std::optional<double> limitPct,
                    const std::string& limitNote, const char* option, std::vector<std::string>& missing) {
  const NamedFigure f = GetFigure(run, PctName(n));
  RuleResult r;
  r.Figure = f.Name;
  r.Max = limitPct;
  r.Note = limitNote;
  r.Option = option;
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
  r.Option = option;
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

// The reason an undecided verdict gives first: the phase-angle test the
// angles come from, or the figures it lacks.
void SayWhyUndecided(Verdict& v, TestKind kind) {
  std::vector<std::string> others;
  bool angles = false;
  for (const std::string& name : v.Missing) {
    if (name.rfind("Phase", 0) == 0)
      angles = true;
    else
      others.push_back(name);
  }
  std::vector<std::string> en, zh;
  if (angles && kind == PhaseTest) {
    en.push_back("the current's phase angles were not found");
    zh.push_back("未找到电流相位角");
  } else if (angles) {
    en.push_back("needs the phase-angle test");
    zh.push_back("需要相位角测试");
  }
  if (!others.empty()) {
    en.push_back("cannot decide without " + Joined(others, ", "));
    zh.push_back("缺少 " + Joined(others, "、") + "，无法判定");
  }
  v.Reason = Joined(en, "; ");
  v.ReasonChinese = Joined(zh, "；");
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
    v.Rules.push_back(Harmonic(run, m, n, limit, note, "", v.Missing));
    if (n == 3 && v.Rules.back().Outcome == RuleOutcome::NotMeasured && !m.PF.Measured) AddMissing(v.Missing, "PF");
  }
  v.Result = CombineOutcomes(v.Rules);
  const auto [en, zh] = m.Branch(" > 25 W", TableAboveW);
  Describe(v, en + ": percentage limits, 3rd ≤ 30·λ %", zh + "：按百分比限值，3 次 ≤ 30·λ %");
  if (v.Result == VerdictResult::Incomplete) SayWhyUndecided(v, run.Kind);
}

// The three options for small lighting equipment, each as its rules.
struct SmallOption {
  const char* Letter;
  const char* English;
  const char* Chinese;
  std::vector<RuleResult> Rules;
  std::vector<std::string> Missing;
  Option Outcome = Option::Open;
};

void OptionA(SmallOption& o, const RunView& run, const Mains& m) {
  for (int n : OddOrders) {
    const double perWatt = PerWattLimit(n);
    const double limitAmps = perWatt * m.P / 1000.0;
    const double limitPct = limitAmps / m.I1 * 100.0;
    const std::string note = "option (a): " + Ordinal(n) + " ≤ " + NumberText(perWatt, 3) +
                             " mA/W = " + Milli(limitAmps) + " = " + Pct(limitPct);
    o.Rules.push_back(Harmonic(run, m, n, limitPct, note, "a", o.Missing));
  }
}

void OptionB(SmallOption& o, const RunView& run, const Mains& m) {
  for (const auto& [n, pct] : {std::pair{3, OptionBThirdPct}, std::pair{5, OptionBFifthPct}})
    o.Rules.push_back(Harmonic(run, m, n, pct,
                               "option (b): " + Ordinal(n) + " ≤ " + Pct(pct) + " = " + Milli(pct / 100.0 * m.I1), "b",
                               o.Missing));
  const ProfileRule angles[] = {
      {"PhaseBegin", std::nullopt, BeginByDeg, "option (b): current flows at or before 60°"},
      {"PhasePeak", std::nullopt, PeakByDeg, "option (b): current peaks at or before 65°"},
      {"PhaseEnd", EndNotBeforeDeg, std::nullopt, "option (b): current does not stop before 90°"},
  };
  for (const ProfileRule& rule : angles) {
    o.Rules.push_back(CheckRule(rule, run));
    o.Rules.back().Option = "b";
    if (o.Rules.back().Outcome != RuleOutcome::Pass && o.Rules.back().Outcome != RuleOutcome::Fail)
      AddMissing(o.Missing, rule.Figure);
  }
}

void OptionC(SmallOption& o, const RunView& run, const Mains& m) {
  o.Rules.push_back(JudgeValue("THDI", m.THDI.Value, std::nullopt, OptionCThdPct));
  o.Rules.back().Note = "option (c): THD ≤ " + Pct(OptionCThdPct);
  o.Rules.back().Option = "c";
  for (const auto& [n, pct] : OptionCPct)
    o.Rules.push_back(Harmonic(run, m, n, pct,
                               "option (c): " + Ordinal(n) + " ≤ " + Pct(pct) + " = " + Milli(pct / 100.0 * m.I1), "c",
                               o.Missing));
}

void SmallLighting(Verdict& v, const RunView& run, const Mains& m) {
  SmallOption options[] = {
      {"a", "option (a) per-watt limits", "方案 (a) 每瓦限值", {}, {}},
      {"b", "option (b) 3rd, 5th and current phase", "方案 (b)（3 次、5 次谐波与电流相位）", {}, {}},
      {"c", "option (c) THD and 2nd to 11th", "方案 (c)（总谐波与 2～11 次谐波）", {}, {}},
  };
  OptionA(options[0], run, m);
  OptionB(options[1], run, m);
  OptionC(options[2], run, m);
  for (SmallOption& o : options) o.Outcome = Decide(o.Rules);

  const auto [range, rangeZh] = m.Branch(" ≤ 25 W", TableAboveW);
  const std::string en = "5 W ≤ " + range + ": ", zh = "5 W ≤ " + rangeZh + "：";
  // What the options before the deciding one came to.
  std::vector<std::string> before, beforeZh;
  for (SmallOption& o : options) {
    if (o.Outcome == Option::Passed) {
      v.Result = VerdictResult::Pass;
      v.Rules = std::move(o.Rules);
      const std::string others = before.empty() ? "" : " (" + Joined(before, ", ") + ")";
      const std::string othersZh = beforeZh.empty() ? "" : "（" + Joined(beforeZh, "，") + "）";
      Describe(v, en + o.English + " met" + others, zh + "满足" + o.Chinese + othersZh);
      return;
    }
    const bool failed = o.Outcome == Option::Failed;
    before.push_back(std::string("option (") + o.Letter + (failed ? ") not met" : ") not decided"));
    beforeZh.push_back(std::string(failed ? "不满足方案 (" : "无法判定方案 (") + o.Letter + ")");
  }
  for (SmallOption& o : options) v.Rules.insert(v.Rules.end(), o.Rules.begin(), o.Rules.end());
  if (std::all_of(std::begin(options), std::end(options),
                  [](const SmallOption& o) { return o.Outcome == Option::Failed; })) {
    v.Result = VerdictResult::Fail;
    Describe(v, en + "none of options (a), (b), (c) met", zh + "方案 (a)、(b)、(c) 均不满足");
    return;
  }
  // Only an option that has not failed can still decide: its missing figures
  // are what the run lacks.
  v.Result = VerdictResult::Incomplete;
  for (const SmallOption& o : options)
    if (o.Outcome != Option::Failed)
      for (const std::string& name : o.Missing) AddMissing(v.Missing, name);
  SayWhyUndecided(v, run.Kind);
  Describe(v, en + Joined(before, ", "), zh + Joined(beforeZh, "，"));
}

}  // namespace

bool ClassCScreens(TestKind kind) { return kind == InputTest || kind == CompTest || kind == PhaseTest; }

double FundamentalCurrent(double irms, double thdiPct) {
  const double thd = 0.01 * thdiPct;
  return std::sqrt(irms * irms / (thd * thd + 1.0));
}

Verdict ScreenClassC(const RunView& run, std::optional<double> ratedPowerW) {
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
    v.Reason = "the input power and current were not measured";
    v.ReasonChinese = "输入功率与电流未测得";
    Describe(v, v.Reason, v.ReasonChinese);
    return v;
  }
  // No lamp feeds power back into the mains: a negative P is a current
  // channel wired the wrong way round, and nothing judged by it can be trusted.
  if (p.Value < 0.0) {
    v.Result = VerdictResult::Incomplete;
    v.Missing.push_back("P");
    const std::string watts = NumberText(p.Value, 1) + " W";
    v.Reason = "P " + watts + " is negative: is the current channel reversed?";
    v.ReasonChinese = "P " + watts + " 为负：电流通道是否接反？";
    Describe(v, v.Reason, v.ReasonChinese);
    return v;
  }
  const Mains m{p.Value, irms.Value, FundamentalCurrent(irms.Value, thdi.Value), GetFigure(run, "PF"),
                thdi,    ratedPowerW};
  if (m.BranchW() < NoLimitsBelowW) {
    v.Result = VerdictResult::NotApplicable;
    const auto [en, zh] = m.Branch(" < 5 W", NoLimitsBelowW);
    Describe(v, en + ": no limits", zh + "：无限值");
    return v;
  }
  if (m.BranchW() > TableAboveW)
    AboveTable(v, run, m);
  else
    SmallLighting(v, run, m);
  return v;
}

}  // namespace kt
