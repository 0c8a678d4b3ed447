// Figures of a run, the evaluation of a profile on it, and the built-in
// harmonic screening, on runs built by hand as the decoders leave them.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <set>

#include "core/AnalysisData.h"
#include "core/MeasureSet.h"
#include "link/Resets.h"
#include "measurements/output/OutputRun.h"
#include "verdict/ClassC.h"
#include "verdict/Evaluate.h"
#include "verdict/FigureLabels.h"
#include "verdict/VerdictText.h"

namespace kt {
namespace {

using V = VerdictResult;
constexpr auto None = std::nullopt;

// A mains run with both sides present and spectra whose fundamental is 100 %.
struct Rig {
  std::unique_ptr<MeasureSet> M = std::make_unique<MeasureSet>();
  std::unique_ptr<AnalysisData> A = std::make_unique<AnalysisData>();
  TestKind Kind = InputTest;
  Rig(TestKind kind, float p, float irms, float thdi, float pf) : Kind(kind) {
    InputResult& in = M->Input;
    in.Urms = 230.0f, in.Freq = 50.0f, in.Irms = in.Irmsw = irms, in.P = p, in.PF = in.PFw = pf,
    in.THDI = in.THDIw = thdi;
    in.VoltageHarmonicPct[1] = in.CurrentHarmonicPct[1] = 100.0f;
  }
  RunView View() const { return {Kind, M.get(), A.get()}; }
};

ActiveLimits Limits(LimitSource source, const Profile* file = nullptr, std::optional<double> rated = {}) {
  ActiveLimits l;
  l.Source = source, l.File = file, l.RatedPowerW = rated;
  return l;
}

// A channel exactly at its threshold is present; just below (or not finite)
// it is the decoder's reset zeros and must read as not measured.
TEST(Figures, PresenceAtTheDecodersThresholds) {
  const std::tuple<TestKind, const char*, void (*)(Rig&), bool> cases[] = {
      {InputTest, "Freq", [](Rig& r) { r.M->Input.Urms = 15.0f; }, true},
      {InputTest, "Freq", [](Rig& r) { r.M->Input.Urms = 14.99f; }, false},
      // The float nearest 0.015 lies below it: absent, as the decoder has it.
      {InputTest, "P", [](Rig& r) { r.M->Input.Irms = 0.015f; }, false},
      {InputTest, "P", [](Rig& r) { r.M->Input.Irms = 0.0151f; }, true},
      {InputTest, "P", [](Rig& r) { r.M->Input.P = std::numeric_limits<float>::infinity(); }, false},
      {InputTest, "THDI", [](Rig& r) { r.M->Input.CurrentHarmonicPct[1] = 0; }, false},
      {PhaseTest, "PhaseEnd", [](Rig&) {}, false},  // all three angles 0: no period found
      {OutputTest, "Vcf", [](Rig& r) { r.M->Output.Vrms = 10.0f; }, true},
      {CompTest, "Ildhc", [](Rig& r) { r.M->Output.Ilrms = 0.3f; }, false},  // the output test's alone
      {StartTest, "WarmUpTime", [](Rig& r) { r.M->Start.Valid = 1, r.M->Start.Peak[ChIl] = 0.02f; }, true},
      {StartTest, "WarmUpTime", [](Rig& r) { r.M->Start.Valid = 1, r.M->Start.Peak[ChIl] = 0.019f; }, false},
      {StartTest, "PeakIl", [](Rig& r) { r.M->Start.Peak[ChIl] = 0.5f; }, false},  // no start decoded
      {GaoTest, "CrestFactorIk", [](Rig& r) { r.A->CrestFactor[ChIk] = 1.4f; }, true},
  };
  for (const auto& [kind, name, set, measured] : cases) {
    Rig r(kind, 36, 0.16f, 10, 0.98f);
    set(r);
    EXPECT_EQ(GetFigure(r.View(), name).Measured, measured) << kind << " " << name;
  }
  for (const char* bad :
       {"", "urms", "Urms[1]", "CurrentHarmonicPct", "CurrentHarmonicPct[40]", "CurrentHarmonicPct[03]",
        "CurrentHarmonicPct[ 3]", "CurrentHarmonicPct[+3]", "CurrentHarmonicPct[-1]", "CurrentHarmonicPct[3"})
    EXPECT_FALSE(IsFigureName(bad)) << bad;
  EXPECT_EQ(FigureValueText("CurrentPerWatt[3]", 2.857), "2.9 mA/W");
  EXPECT_TRUE(CollectFigures({BaoTest, nullptr, nullptr}).empty());
}

// The decoders' own resets against the presence rules: whatever a reset
// changed reads as not measured afterwards, whatever it left still reads.
TEST(Figures, DecoderResetsReadAsNotMeasured) {
  const auto full = [] {
    Rig r(CompTest, 36, 0.16f, 10, 0.98f);
    MeasureSet& m = *r.M;
    m.Input.CFv = 1.41f, m.Input.CFi = 1.6f, m.Input.THDU = 2, m.HighFreqCurrent = 0.01f;
    m.PhaseBegin = 20, m.PhasePeak = 60, m.PhaseEnd = 150;
    for (int k = 0; k < HarmonicBins; ++k)
      m.Input.CurrentHarmonicPct[k] = m.Input.VoltageHarmonicPct[k] = m.Input.CurrentHarmonic[k] = m.CurrentPerWatt[k] =
          5;
    float* out = &m.Output.OscFreq;  // the sixteen values in a row
    for (int i = 0; i < 16; ++i) out[i] = 20.0f + static_cast<float>(i);
    return r;
  };
  const auto figures = [](const Rig& r) {
    std::map<std::string, NamedFigure> byName;
    for (TestKind kind : {InputTest, OutputTest, PhaseTest})
      for (const NamedFigure& f : CollectFigures({kind, r.M.get(), nullptr})) byName[f.Name] = f;
    return byName;
  };
  const std::pair<const char*, std::function<void(MeasureSet&)>> resets[] = {
      {"mains current", [](MeasureSet& m) { ResetCurrentSide(m); }},
      {"lamp voltage", [](MeasureSet& m) { ResetOutputChannel(m.Output, ChU); }},
      {"lamp current", [](MeasureSet& m) { ResetOutputChannel(m.Output, ChIl); }},
      {"filament", [](MeasureSet& m) { m.Output.Ifrms = std::nanf(""), ApplyOutputChannelLimits(m.Output); }},
  };
  const auto before = figures(full());
  for (const auto& [what, reset] : resets) {
    Rig r = full();
    reset(*r.M);
    for (const auto& [name, f] : figures(r)) {
      ASSERT_TRUE(before.at(name).Measured) << name;
      const bool gone = f.Value != before.at(name).Value;
      EXPECT_EQ(f.Measured, !gone) << what << ": " << name;
    }
  }
}

// The bound itself passes (at the figures' 32-bit precision), the next
// float beyond it fails; the margin is to the nearer bound.
TEST(Evaluate, BoundsAndMargins) {
  const std::tuple<float, std::optional<double>, std::optional<double>, RuleOutcome, double> cases[] = {
      {0.95f, 0.95, None, RuleOutcome::Pass, 0.0},    {0.9499999f, 0.95, None, RuleOutcome::Fail, -6e-8},
      {10.0f, None, 10.0, RuleOutcome::Pass, 0.0},    {10.000001f, None, 10.0, RuleOutcome::Fail, -1e-6},
      {250.0f, 207.0, 253.0, RuleOutcome::Pass, 3.0}, {200.0f, 207.0, 253.0, RuleOutcome::Fail, -7.0},
      {1.0f, -1e300, 1e300, RuleOutcome::Pass, 1e300}};
  for (const auto& [value, min, max, outcome, margin] : cases) {
    const RuleResult r = JudgeValue("X", value, min, max);
    EXPECT_EQ(r.Outcome, outcome) << value;
    EXPECT_NEAR(r.Margin.value_or(-1), margin, 1e-7 + 1e-9 * std::abs(margin)) << value;
  }
}

TEST(Evaluate, RunVerdictFromItsRules) {
  Profile p{"T8", "2", "", {{"PF", 0.95, None, ""}, {"THDI", None, 10.0, "mains"}, {"IlcfPos", None, 1.7, ""}},
            None, "",  "", {},
            {},   {}};
  Rig r(InputTest, 36, 0.16f, 8, 0.98f);
  Verdict v = EvaluateProfile(p, r.View());
  EXPECT_EQ(v.Result, VerdictResult::Pass);  // the lamp rule does not apply to an input test
  EXPECT_TRUE(v.Rules[2].Outcome == RuleOutcome::NotApplicable && v.Rules[1].Note == "mains");
  r.M->Input.THDI = 12.34f;
  v = Evaluate(Limits(LimitSource::File, &p), r.View());
  EXPECT_EQ(ProblemLines(v, false), std::vector<std::string>{"THDI 12.3 % > 10.0 %"});
  r.M->Input.THDI = 8;
  r.Kind = CompTest;  // lamp current absent: not measured, never a 0 that passes
  v = EvaluateProfile(p, r.View());
  EXPECT_TRUE(v.Result == VerdictResult::Incomplete && v.Missing == std::vector<std::string>{"IlcfPos"});
  EXPECT_EQ(ProblemLines(v, true), std::vector<std::string>{"灯电流正波波峰系数 未测得"});
  r.Kind = StartTest;
  EXPECT_EQ(EvaluateProfile(p, r.View()).Result, VerdictResult::NotApplicable);
  EXPECT_TRUE(Evaluate({}, r.View()).Result == VerdictResult::None &&
              Evaluate(Limits(LimitSource::ClassC), r.View()).Screening);
}

// Types as operators type them: any white space around (an ideographic
// space from a Chinese input method too), either case; inside, as written.
TEST(Evaluate, ProfileChosenByProductType) {
  const std::pair<const char*, const char*> keys[] = {{" EB-236 ", "eb-236"},
                                                      {"\u3000Eb-236\t\r\n", "eb-236"},
                                                      {"\u00A0AZ 236\uFEFF", "az 236"},
                                                      {" \u3000 ", ""},
                                                      {"型号Ａ\u3000", "型号Ａ"}};
  for (const auto& [typed, key] : keys) EXPECT_EQ(TypeKey(typed), key) << typed;
  std::vector<Profile> loaded(3);
  loaded[1].Type = "eb-236";
  const ActiveLimits chosen = Limits(LimitSource::ClassC, nullptr, 30.0);
  const ActiveLimits typed = ChooseLimits(loaded, "\u3000EB-236", chosen);
  EXPECT_TRUE(typed.File == &loaded[1] && typed.RatedPowerW == 30.0);
  EXPECT_EQ(ChooseLimits(loaded, "EB-218", chosen).Source, LimitSource::ClassC);
}

// A profile that gives a rated power is screened too, the worse result
// counting; limits that cannot be read make every run incomplete.
TEST(Evaluate, ProfileWithRatedPowerAndLimitsThatCannotBeRead) {
  Rig r(InputTest, 36, 0.4f, 20, 0.98f);
  r.M->Input.CurrentHarmonicPct[5] = 12;  // over the 10 % of the table
  Profile p{"T8", "3", "", {{"PF", 0.95, None, ""}}, 36.0, "t8.json", "", {}, {}, {}};
  EXPECT_EQ(Evaluate(Limits(LimitSource::File, &p), r.View()).Result, V::Fail);
  p.RatedPowerW.reset();
  ActiveLimits kept = Limits(LimitSource::File, &p), refusedLimits = Limits(LimitSource::Unavailable);
  kept.Note = {"kept copy", "副本"};
  refusedLimits.Problem = {"damaged", "损坏"};
  const Verdict plain = Evaluate(kept, r.View());
  EXPECT_TRUE(plain.Result == V::Pass && !plain.Screening && plain.LimitsNote == "kept copy");
  const Verdict refused = Evaluate(refusedLimits, r.View());
  EXPECT_TRUE(refused.Result == V::Incomplete && refused.Reason == "damaged" && refused.ReasonChinese == "损坏");
}

TEST(Evaluate, Texts) {
  const std::pair<RuleResult, const char*> lines[] = {
      {JudgeValue("PF", 0.93f, 0.95, None), "PF 0.930 < 0.950"},
      {JudgeValue("THDI", 10.04f, None, 10.0), "THDI 10.04 % > 10.00 %"},  // digits until they differ
      {JudgeValue("Urms", 230.0f, 207.0, 253.0), "Urms 230.0 V (207.0 V … 253.0 V)"}};
  for (const auto& [rule, text] : lines) EXPECT_EQ(RuleLine(rule, false), text);
  const RuleResult na{"PFw", None, None, None, None, RuleOutcome::NotApplicable, "", ""};
  EXPECT_EQ(RuleLine(na, true), "宽频功率因数：本测试不测此量");
  EXPECT_EQ(RuleLine(JudgeValue("CurrentHarmonicPct[3]", 40.0f, None, 30.0), true), "电流 3 次谐波 40.0 % > 30.0 %");
}

// A run whose fundamental is `i1` amperes at total distortion `thdi`, with
// harmonics given in amperes.
Rig Harmonics(TestKind kind, float p, double i1, float thdi, float pf,
              std::initializer_list<std::pair<int, double>> amps) {
  Rig r(kind, p, static_cast<float>(i1 * std::sqrt(1.0 + 0.0001 * thdi * thdi)), thdi, pf);
  for (const auto& [n, a] : amps) r.M->Input.CurrentHarmonicPct[n] = static_cast<float>(a / i1 * 100.0);
  return r;
}

const RuleResult& Rule(const Verdict& v, const std::string& figure, const char* option = "") {
  static const RuleResult none;
  for (const RuleResult& r : v.Rules)
    if (r.Figure == figure && (!*option || r.Option == option)) return r;
  return none;
}
std::string Pct(int n) { return "CurrentHarmonicPct[" + std::to_string(n) + "]"; }

// The run each option is tried on; `base` in percent of the fundamental.
// clang-format off
struct Lamp {  // the kind, P, I1, THDI, PF, harmonics in percent and the three angles
  TestKind kind; float p; double i1; float thdi, pf; std::vector<std::pair<int, float>> base; float begin, peak, end;
  Rig Make() const {
    Rig r = Harmonics(kind, p, i1, thdi, pf, {});
    for (const auto& [n, pct] : base) r.M->Input.CurrentHarmonicPct[n] = pct;
    r.M->PhaseBegin = begin, r.M->PhasePeak = peak, r.M->PhaseEnd = end;
    return r;
  }
};
// P > 25 W: I1 0.4 A, λ 0.98.
const Lamp Ballast{InputTest, 36, 0.4, 20, 0.98f, {}, 0, 0, 0};
// Option (a) alone can pass: no angles, THD 100 % fails (c). I1 0.15 A at
// 25 W: x mA/W allow 25x mA = 16.67x %.
const Lamp PerWatt{InputTest, 25, 0.15, 100, 0.9f, {}, 0, 0, 0};
// Option (b) alone can pass: the 5th (40 % = 30.3 mA) breaks (a)'s 28.5 mA,
// THD 110 % breaks (c). I1 0.0757 A at 15 W.
const Lamp Leading{PhaseTest, 15, 0.0757, 110, 0.6f, {{3, 60}, {5, 40}}, 50, 60, 100};
// Option (c) alone can pass: an LED lamp whose current lags (b's 60°), whose
// 7th (25 % of 0.2 A = 50 mA) breaks (a)'s 20 mA.
const Lamp Lagging{PhaseTest, 20, 0.2, 49, 0.9f, {{3, 30}, {5, 20}, {7, 25}, {9, 15}, {11, 15}}, 70, 80, 120};

// Every value of the screening's tables at its bound passes, just beyond it
// fails (outside option (a) the verdict says so; there (b) still lacks the
// angles: incomplete).
TEST(ClassC, EveryLimitAtItsBoundPassesAndJustBeyondFails) {
  struct Bound {  // the figure's hand-worked limit in `option`, and the verdict just beyond it
    const Lamp& lamp; std::string figure; double limit; const char* option; V beyond;
  };
  std::vector<Bound> bounds = {
      {Ballast, Pct(2), 2.0, "", V::Fail},       {Ballast, Pct(3), 30 * 0.98, "", V::Fail},
      {Ballast, Pct(5), 10.0, "", V::Fail},      {Ballast, Pct(7), 7.0, "", V::Fail},
      {Ballast, Pct(9), 5.0, "", V::Fail},       {Leading, Pct(3), 86.0, "b", V::Fail},
      {Leading, Pct(5), 61.0, "b", V::Fail},     {Leading, "PhaseBegin", 60.0, "b", V::Fail},
      {Leading, "PhasePeak", 65.0, "b", V::Fail}, {Leading, "PhaseEnd", 90.0, "b", V::Fail},
      {Lagging, "THDI", 70.0, "c", V::Fail},     {Lagging, Pct(2), 5.0, "c", V::Fail},
      {Lagging, Pct(3), 35.0, "c", V::Fail},     {Lagging, Pct(5), 25.0, "c", V::Fail},
      {Lagging, Pct(7), 30.0, "c", V::Fail},     {Lagging, Pct(9), 20.0, "c", V::Fail},
      {Lagging, Pct(11), 20.0, "c", V::Fail},
  };
  for (int n = 11; n <= 39; n += 2) bounds.push_back({Ballast, Pct(n), 3.0, "", V::Fail});
  // Per-watt limits from the 21st on are below 5 mA even at 25 W: disregarded
  // whatever they are, so only their bounds are checked, below.
  const std::pair<int, double> perWatt[] = {{3, 3.4}, {5, 1.9}, {7, 1.0}, {9, 0.5}, {11, 0.35}, {13, 3.85 / 13},
                                            {15, 3.85 / 15}, {17, 3.85 / 17}, {19, 3.85 / 19}};
  for (const auto& [n, mAperW] : perWatt) bounds.push_back({PerWatt, Pct(n), mAperW * 25 / 150.0 * 100, "a", V::Incomplete});

  for (const Bound& b : bounds) {
    SCOPED_TRACE(b.figure + " (" + b.option + ") at " + std::to_string(b.limit));
    const bool lower = b.figure == "PhaseEnd";
    // Just inside: the bounds stated against the fundamental carry its rounding.
    const double inside = b.limit * (lower ? 1.00001 : 0.99999);
    for (const double value : {inside, b.limit + (lower ? -0.5 : 0.05)}) {
      Rig r = b.lamp.Make();
      float* field = b.figure == "THDI"         ? &r.M->Input.THDI
                     : b.figure == "PhaseBegin" ? &r.M->PhaseBegin
                     : b.figure == "PhasePeak"  ? &r.M->PhasePeak
                     : b.figure == "PhaseEnd"   ? &r.M->PhaseEnd
                                                : &r.M->Input.CurrentHarmonicPct[std::stoi(b.figure.substr(19))];
      *field = static_cast<float>(value);
      const Verdict v = ScreenClassC(r.View());
      const RuleResult& rule = Rule(v, b.figure, b.option);
      EXPECT_NEAR((lower ? rule.Min : rule.Max).value_or(-1), b.limit, 1e-4);
      const bool at = value == inside;
      EXPECT_EQ(rule.Outcome, at ? RuleOutcome::Pass : RuleOutcome::Fail) << rule.Note;
      EXPECT_EQ(v.Result, at ? V::Pass : b.beyond) << v.Detail;
      EXPECT_TRUE(!at || !*b.option || v.Detail.find(std::string("option (") + b.option + ")") != std::string::npos) << v.Detail;
    }
  }
  // The notes say how each limit came about, in amperes too.
  const Verdict ballast = ScreenClassC(Ballast.Make().View());
  EXPECT_NE(Rule(ballast, Pct(3)).Note.find("3rd ≤ 30·λ % = 29.4 % = 117.6 mA"), std::string::npos);
  Rig leading = Leading.Make();
  leading.M->Input.CurrentHarmonicPct[5] = 62;
  const Verdict b = ScreenClassC(leading.View());
  EXPECT_NE(Rule(b, Pct(3), "b").Note.find("3rd ≤ 86.0 % = 65.1 mA"), std::string::npos) << Rule(b, Pct(3), "b").Note;
  EXPECT_NE(Rule(b, Pct(5), "b").Note.find("5th ≤ 61.0 % = 46.2 mA"), std::string::npos);
  for (int n = 21; n <= 39; n += 2)
    EXPECT_NEAR(Rule(ScreenClassC(PerWatt.Make().View()), Pct(n), "a").Max.value_or(0), 3.85 / n * 25 / 150.0 * 100, 1e-6) << n;
}

// The branch by the measured P (with the decimals that show why) or by the
// rated power; what no lamp can draw, and what an undecided run lacks, said first.
TEST(ClassC, BranchesAndReasons) {
  const float nan = std::nanf("");
  const struct {
    TestKind kind; float p; std::optional<double> rated; bool lampWithoutAngles;
    V result; const char *detail, *reason; std::vector<std::string> missing;
  } cases[] = {
      {InputTest, 4.9f, None, false, V::NotApplicable, "P 4.9 W < 5 W, branch by measured power: no limits", "", {}},
      {InputTest, 5.0f, None, false, V::Pass, "5 W ≤ P 5.0 W ≤ 25 W, branch by measured power: option (a)", "", {}},
      {InputTest, 25.0f, None, false, V::Pass, "5 W ≤ P 25.0 W ≤ 25 W, branch by measured power: option (a)", "", {}},
      {InputTest, 25.04f, None, false, V::Pass, "P 25.04 W > 25 W, branch by measured power: percentage", "", {}},
      {InputTest, 25.04f, 25.0, false, V::Pass,
       "5 W ≤ rated power 25.0 W ≤ 25 W, branch by rated power (P 25.04 W measured): option (a)", "", {}},
      {InputTest, 24.0f, 36.0, false, V::Pass, "rated power 36.0 W > 25 W, branch by rated power (P 24.0 W measured)", "", {}},
      {InputTest, 30.0f, 4.0, false, V::NotApplicable, "rated power 4.0 W < 5 W, branch by rated power", "", {}},
      {InputTest, -36.0f, None, false, V::Incomplete, "P -36.0 W is negative", "P -36.0 W is negative: is the current channel reversed?", {"P"}},
      {CompTest, nan, 36.0, false, V::Incomplete, "", "the input power and current were not measured", {"P"}},
      {InputTest, 15.0f, None, true, V::Incomplete, "option (a) not met, option (b) not decided, option (c) not met (IEC",
       "needs the phase-angle test", {"PhaseBegin", "PhasePeak", "PhaseEnd"}},
      {PhaseTest, 15.0f, None, true, V::Incomplete, "", "the current's phase angles were not found", {"PhaseBegin", "PhasePeak", "PhaseEnd"}},
      {OutputTest, 15.0f, None, false, V::NotApplicable, "this test does not measure the mains current's harmonics", "", {}},
  };
  for (const auto& c : cases) {
    Rig r(c.kind, c.p, 0.2f, 5, 0.98f);
    if (c.lampWithoutAngles) r = Harmonics(c.kind, c.p, 0.0757, 110, 0.6f, {{3, 0.0600}});
    const Verdict v = ScreenClassC(r.View(), c.rated);
    SCOPED_TRACE(v.Detail);
    EXPECT_TRUE(v.Result == c.result && v.Screening && v.Missing == c.missing);
    EXPECT_TRUE(v.Detail.find(c.detail) != std::string::npos && v.Detail.find("Ed. 5.0 2018+A1:2020") != std::string::npos);
    EXPECT_EQ(v.Reason, c.reason);
  }
  // An LED lamp meeting option (c) only passes by it, the others said.
  const Verdict led = ScreenClassC(Lagging.Make().View());
  EXPECT_TRUE(led.Result == V::Pass && Rule(led, Pct(7), "c").Outcome == RuleOutcome::Pass) << led.Detail;
  EXPECT_NE(led.Detail.find("option (c) THD and 2nd to 11th met (option (a) not met, option (b) not met)"), std::string::npos);
  EXPECT_NE(led.DetailChinese.find("满足方案 (c)"), std::string::npos);
}

// Below 5 mA or below 0.6 % of Irms a harmonic passes whatever its share.
TEST(ClassC, SmallHarmonicsDisregarded) {
  // 13th at 25 W may be 3.85 / 13 × 25 = 7.4 mA; 0.6 % of 2.5 A is 15 mA
  // (THD 75 % keeps option (c) from passing instead).
  const std::tuple<float, double, float, int, double, RuleOutcome, const char*> cases[] = {
      {36, 0.16, 5, 2, 0.0049, RuleOutcome::Pass, "disregarded: below 5 mA"},
      {36, 0.16, 5, 2, 0.0051, RuleOutcome::Fail, "2nd ≤ 2.0 %"},
      {25, 2.0, 75, 13, 0.0149, RuleOutcome::Pass, "disregarded: below 0.6 % of Irms"},
      {25, 2.0, 75, 13, 0.0151, RuleOutcome::Fail, "option (a): 13th ≤ 0.296 mA/W = 7.4 mA"}};
  for (const auto& [p, i1, thdi, n, amps, outcome, note] : cases) {
    const Verdict v = ScreenClassC(Harmonics(InputTest, p, i1, thdi, 0.98f, {{n, amps}}).View());
    EXPECT_TRUE(Rule(v, Pct(n)).Outcome == outcome && Rule(v, Pct(n)).Note.find(note) != std::string::npos) << Rule(v, Pct(n)).Note;
  }
}


// The pages' words, harmonics by their ordinal; each figure its own label in
// each language; a name that is no figure comes back as it was.
TEST(Evaluate, FigureLabels) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"THDI", "THDI", "电流总谐波"}, {"Irmsw", "Irmsw", "宽频电流"}, {"PhaseEnd", "End Phase", "终止相位"},
      {"IlcfNeg", "Ilcf−", "灯电流负波波峰系数"}, {"PeakIf", "Peak Filament Current", "灯丝电流启动峰值"},
      {"CrestFactorIk", "CF--Ik", "阴极电流--Ik 波峰比"},
      {"CurrentHarmonicPct[1]", "Current 1st harmonic", "电流 1 次谐波"}, {"VoltageHarmonicPct[2]", "Voltage 2nd harmonic", "电压 2 次谐波"},
      {"CurrentHarmonic[3]", "3rd harmonic current", "3 次谐波电流"}, {"CurrentPerWatt[11]", "11th harmonic current per watt", "每瓦 11 次谐波电流"},
      {"CurrentHarmonicPct[12]", "Current 12th harmonic", "电流 12 次谐波"}, {"CurrentHarmonicPct[13]", "Current 13th harmonic", "电流 13 次谐波"},
      {"CurrentHarmonicPct[21]", "Current 21st harmonic", "电流 21 次谐波"}, {"VoltageHarmonicPct[22]", "Voltage 22nd harmonic", "电压 22 次谐波"},
      {"CurrentHarmonicPct[03]", "CurrentHarmonicPct[03]", "CurrentHarmonicPct[03]"}, {"Ilcf", "Ilcf", "Ilcf"}};
  for (const auto& [name, english, chinese] : cases) {
    EXPECT_EQ(FigureLabel(name, false), english);
    EXPECT_EQ(FigureLabel(name, true), chinese);
  }
  std::set<std::string> english, chinese;
  // clang-format on
  for (const std::string& name : FigureNames()) {
    english.insert(FigureLabel(name, false));
    EXPECT_TRUE(chinese.insert(FigureLabel(name, true)).second && FigureLabel(name, true) != name) << name;
  }
  EXPECT_EQ(english.size(), FigureNames().size());
}

}  // namespace
}  // namespace kt
