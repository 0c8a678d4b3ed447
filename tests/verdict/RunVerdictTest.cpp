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
    in.Urms = 230.0f, in.Freq = 50.0f, in.Irms = in.Irmsw = irms, in.P = p, in.PF = in.PFw = pf, in.THDI = in.THDIw = thdi;
    in.VoltageHarmonicPct[1] = in.CurrentHarmonicPct[1] = 100.0f;
  }
  RunView View() const { return {Kind, M.get(), A.get()}; }
};

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
  for (const char* bad : {"", "urms", "Urms[1]", "CurrentHarmonicPct", "CurrentHarmonicPct[40]", "CurrentHarmonicPct[03]",
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
      m.Input.CurrentHarmonicPct[k] = m.Input.VoltageHarmonicPct[k] = m.Input.CurrentHarmonic[k] = m.CurrentPerWatt[k] = 5;
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
      {0.95f, 0.95, None, RuleOutcome::Pass, 0.0},        {0.9499999f, 0.95, None, RuleOutcome::Fail, -6e-8},
      {10.0f, None, 10.0, RuleOutcome::Pass, 0.0},        {10.000001f, None, 10.0, RuleOutcome::Fail, -1e-6},
      {250.0f, 207.0, 253.0, RuleOutcome::Pass, 3.0},     {200.0f, 207.0, 253.0, RuleOutcome::Fail, -7.0},
      {1.0f, -1e300, 1e300, RuleOutcome::Pass, 1e300}};
  for (const auto& [value, min, max, outcome, margin] : cases) {
    const RuleResult r = JudgeValue("X", value, min, max);
    EXPECT_EQ(r.Outcome, outcome) << value;
    EXPECT_NEAR(r.Margin.value_or(-1), margin, 1e-7 + 1e-9 * std::abs(margin)) << value;
  }
}

TEST(Evaluate, RunVerdictFromItsRules) {
  Profile p{"T8", "2", "", {{"PF", 0.95, None, ""}, {"THDI", None, 10.0, "mains"}, {"IlcfPos", None, 1.7, ""}}, None, "", ""};
  Rig r(InputTest, 36, 0.16f, 8, 0.98f);
  Verdict v = EvaluateProfile(p, r.View());
  EXPECT_EQ(v.Result, VerdictResult::Pass);  // the lamp rule does not apply to an input test
  EXPECT_TRUE(v.Rules[2].Outcome == RuleOutcome::NotApplicable && v.Rules[1].Note == "mains");
  r.M->Input.THDI = 12.34f;
  v = Evaluate({LimitSource::File, &p}, r.View());
  EXPECT_EQ(ProblemLines(v, false), std::vector<std::string>{"THDI 12.3 % > 10.0 %"});
  r.M->Input.THDI = 8;
  r.Kind = CompTest;  // lamp current absent: not measured, never a 0 that passes
  v = EvaluateProfile(p, r.View());
  EXPECT_TRUE(v.Result == VerdictResult::Incomplete && v.Missing == std::vector<std::string>{"IlcfPos"});
  EXPECT_EQ(ProblemLines(v, true), std::vector<std::string>{"灯电流正波波峰系数 未测得"});
  r.Kind = StartTest;
  EXPECT_EQ(EvaluateProfile(p, r.View()).Result, VerdictResult::NotApplicable);
  EXPECT_TRUE(Evaluate({}, r.View()).Result == VerdictResult::None && Evaluate({LimitSource::ClassC, nullptr}, r.View()).Screening);
}

TEST(Evaluate, ProfileChosenByProductType) {
  std::vector<Profile> loaded(3);
  loaded[1].Type = loaded[2].Type = "EB-236";
  const ActiveLimits chosen{LimitSource::ClassC, nullptr};
  EXPECT_EQ(ChooseLimits(loaded, " EB-236 ", chosen).File, &loaded[1]);
  EXPECT_EQ(ChooseLimits(loaded, "EB-218", chosen).Source, LimitSource::ClassC);
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
Rig Harmonics(TestKind kind, float p, double i1, float thdi, float pf, std::initializer_list<std::pair<int, double>> amps) {
  Rig r(kind, p, static_cast<float>(i1 * std::sqrt(1.0 + 0.0001 * thdi * thdi)), thdi, pf);
  for (const auto& [n, a] : amps) r.M->Input.CurrentHarmonicPct[n] = static_cast<float>(a / i1 * 100.0);
  return r;
}

const RuleResult& Rule(const Verdict& v, int n, const char* option = "") {
  static const RuleResult none;
  for (const RuleResult& r : v.Rules)
    if (r.Figure == "CurrentHarmonicPct[" + std::to_string(n) + "]" && r.Note.find(option) != std::string::npos) return r;
  return none;
}

TEST(ClassC, BranchByInputPower) {
  const std::tuple<float, V, std::size_t, const char*> cases[] = {
      {4.9f, V::NotApplicable, 0, "P 4.9 W < 5 W: no limits"},
      {5.0f, V::Pass, 19, "5 W ≤ P 5.0 W ≤ 25 W: option (a)"},
      {25.0f, V::Pass, 19, "5 W ≤ P 25.0 W ≤ 25 W: option (a)"},
      {25.1f, V::Pass, 20, "P 25.1 W > 25 W"}};
  for (const auto& [p, result, rules, detail] : cases) {
    const Verdict v = ScreenClassC(Rig(InputTest, p, 0.2f, 5, 0.98f).View());
    EXPECT_TRUE(v.Result == result && v.Rules.size() == rules && v.Screening) << p;
    EXPECT_TRUE(v.Detail.rfind(detail, 0) == 0 && v.Detail.find("Ed. 5.0 2018") != std::string::npos) << v.Detail;
  }
  for (TestKind k : {OutputTest, StartTest, GaoTest, BaoTest})
    EXPECT_EQ(ScreenClassC(Rig(k, 36, 0.2f, 5, 0.98f).View()).Result, V::NotApplicable);
  const Verdict absent = ScreenClassC(Rig(CompTest, 36, 0.01f, 5, 0.98f).View());  // no mains current
  EXPECT_TRUE(absent.Result == V::Incomplete && (absent.Missing == std::vector<std::string>{"P", "Irms", "THDI"}));
}

// A ballast with I1 = 0.4 A and λ = 0.98: the 3rd may be 0.4 × 0.30 × 0.98 = 117.6 mA.
TEST(ClassC, BallastThirdHarmonicLimit) {
  for (const auto& [amps, outcome] : {std::pair{0.1175, RuleOutcome::Pass}, std::pair{0.1177, RuleOutcome::Fail}}) {
    const Verdict v = ScreenClassC(Harmonics(CompTest, 36, 0.4, 20, 0.98f, {{3, amps}}).View());
    const RuleResult& third = Rule(v, 3);
    EXPECT_NEAR(third.Max.value_or(0) / 100.0 * 0.4, 0.1176, 1e-6);
    EXPECT_NE(third.Note.find("3rd ≤ 30·λ % = 29.4 % = 117.6 mA"), std::string::npos) << third.Note;
    EXPECT_TRUE(third.Outcome == outcome && v.Result == (outcome == RuleOutcome::Pass ? V::Pass : V::Fail)) << amps;
  }
  const Verdict v = ScreenClassC(Harmonics(InputTest, 36, 0.4, 20, std::nanf(""), {{3, 0.1}}).View());
  EXPECT_TRUE(v.Result == V::Incomplete && v.Missing == std::vector<std::string>{"PF"});
}

// A 15 W lamp with I1 = 0.0757 A. Option (a) allows 3.4 mA/W × 15 W = 51 mA
// of 3rd; option (b) 65.1 mA (86 %) of 3rd and 46.2 mA (61 %) of 5th.
TEST(ClassC, SmallLampOptions) {
  const std::vector<std::string> angles{"PhaseBegin", "PhasePeak", "PhaseEnd"};
  const std::tuple<TestKind, double, double, float, float, float, V, std::vector<std::string>> cases[] = {
      {InputTest, 0.0509, 0.0, 0, 0, 0, V::Pass, {}},  // (a) met: the angles are not needed
      {InputTest, 0.0511, 0.0, 0, 0, 0, V::Incomplete, angles},
      {PhaseTest, 0.0600, 0.0, 0, 0, 0, V::Incomplete, angles},  // angles not found
      {PhaseTest, 0.0650, 0.0461, 60, 65, 90, V::Pass, {}},    // (b) met at its bounds
      {PhaseTest, 0.0652, 0.0461, 50, 60, 100, V::Fail, {}},
      {PhaseTest, 0.0650, 0.0463, 50, 60, 100, V::Fail, {}},
      {PhaseTest, 0.0600, 0.0, 61, 65, 90, V::Fail, {}},
  };
  for (const auto& [kind, third, fifth, begin, peak, end, result, missing] : cases) {
    Rig r = Harmonics(kind, 15, 0.0757, 110, 0.6f, {{3, third}, {5, fifth}});
    r.M->PhaseBegin = begin, r.M->PhasePeak = peak, r.M->PhaseEnd = end;
    const Verdict v = ScreenClassC(r.View());
    EXPECT_TRUE(v.Result == result && v.Missing == missing) << third << " " << fifth << ": " << v.Detail;
    EXPECT_EQ(v.Detail.find("option (b) 3rd") != std::string::npos, result == V::Pass && kind == PhaseTest) << v.Detail;
    EXPECT_TRUE(third <= 0.0511 || (Rule(v, 3, "option (b)").Note.find("3rd ≤ 86.0 % = 65.1 mA") != std::string::npos &&
                                    Rule(v, 5, "option (b)").Note.find("5th ≤ 61.0 % = 46.2 mA") != std::string::npos));
  }
}

// Below 5 mA or below 0.6 % of Irms a harmonic passes whatever its share.
TEST(ClassC, SmallHarmonicsDisregarded) {
  // 13th at 25 W may be 3.85 / 13 × 25 = 7.4 mA; 0.6 % of 2.02 A is 12.1 mA.
  const std::tuple<float, double, float, int, double, RuleOutcome, const char*> cases[] = {
      {36, 0.16, 5, 2, 0.0049, RuleOutcome::Pass, "disregarded: below 5 mA"},
      {36, 0.16, 5, 2, 0.0051, RuleOutcome::Fail, "2nd ≤ 2.0 %"},
      {25, 2.0, 14, 13, 0.0120, RuleOutcome::Pass, "disregarded: below 0.6 % of Irms"},
      {25, 2.0, 14, 13, 0.0122, RuleOutcome::Fail, "option (a): 13th ≤ 0.296 mA/W = 7.4 mA"}};
  for (const auto& [p, i1, thdi, n, amps, outcome, note] : cases) {
    const Verdict v = ScreenClassC(Harmonics(InputTest, p, i1, thdi, 0.98f, {{n, amps}}).View());
    EXPECT_TRUE(Rule(v, n).Outcome == outcome && Rule(v, n).Note.find(note) != std::string::npos) << Rule(v, n).Note;
  }
}


// The pages' words, harmonics by their ordinal; each figure its own label in
// each language; a name that is no figure comes back as it was.
TEST(Evaluate, FigureLabels) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"THDI", "THDI", "电流总谐波"}, {"Irmsw", "Irmsw", "宽频电流"}, {"PhaseEnd", "End Phase", "终止相位"},
      {"IlcfNeg", "Ilcf−", "灯电流负波波峰系数"}, {"PeakIf", "Peak Filament Current", "灯丝电流启动峰值"},
      {"CrestFactorIk", "CF--Ik", "阴极电流--Ik 波峰比"},
      {"CurrentHarmonicPct[1]", "Current 1st harmonic", "电流 1 次谐波"},
      {"VoltageHarmonicPct[2]", "Voltage 2nd harmonic", "电压 2 次谐波"},
      {"CurrentHarmonic[3]", "3rd harmonic current", "3 次谐波电流"},
      {"CurrentPerWatt[11]", "11th harmonic current per watt", "每瓦 11 次谐波电流"},
      {"CurrentHarmonicPct[12]", "Current 12th harmonic", "电流 12 次谐波"},
      {"CurrentHarmonicPct[13]", "Current 13th harmonic", "电流 13 次谐波"},
      {"CurrentHarmonicPct[21]", "Current 21st harmonic", "电流 21 次谐波"},
      {"VoltageHarmonicPct[22]", "Voltage 22nd harmonic", "电压 22 次谐波"},
      {"CurrentHarmonicPct[03]", "CurrentHarmonicPct[03]", "CurrentHarmonicPct[03]"}, {"Ilcf", "Ilcf", "Ilcf"}};
  for (const auto& [name, english, chinese] : cases) {
    EXPECT_EQ(FigureLabel(name, false), english);
    EXPECT_EQ(FigureLabel(name, true), chinese);
  }
  std::set<std::string> english, chinese;
  for (const std::string& name : FigureNames()) {
    english.insert(FigureLabel(name, false));
    EXPECT_TRUE(chinese.insert(FigureLabel(name, true)).second && FigureLabel(name, true) != name) << name;
  }
  EXPECT_EQ(english.size(), FigureNames().size());
}

}  // namespace
}  // namespace kt
