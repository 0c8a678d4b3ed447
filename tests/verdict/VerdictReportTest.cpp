// The verdict block at the foot of a printed report: its items derived by
// hand from the layout (word at the strip's left, two lines beside it), and
// every item inside the free strip below the reports.
#include "verdict/VerdictReport.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/MeasureSet.h"
#include "support/Recording.h"
#include "verdict/ClassC.h"

namespace kt {
namespace {

using test::RecordingCanvas;

RuleResult Rule(const char* figure, RuleOutcome outcome, std::optional<double> value = {},
                std::optional<double> min = {}, std::optional<double> max = {}) {
  RuleResult r;
  r.Figure = figure, r.Outcome = outcome, r.Value = value, r.Min = min, r.Max = max;
  return r;
}

Verdict Judged(VerdictResult result, std::vector<RuleResult> rules, std::vector<std::string> missing = {}) {
  Verdict v;
  v.Result = result;
  v.Kind = InputTest;
  v.ProfileName = "T8 36W";
  v.ProfileRevision = "3";
  v.Rules = std::move(rules);
  v.Missing = std::move(missing);
  return v;
}

std::string T(int x, int y, int height, const std::string& text) {
  return "T " + std::to_string(x) + " " + std::to_string(y) + " L \"宋体\" " + std::to_string(height) + " #000000 0 " + text;
}

// Word at (2500, -19800) in 800; lines at x = 2500 + word width + 500, at
// -19800 and -20200 in 400. Song widths: Latin half a cell, Chinese a cell.
TEST(VerdictReport, BlockItemsByVerdictAndLanguage) {
  const Verdict pass = Judged(VerdictResult::Pass, {Rule("PF", RuleOutcome::Pass, 0.97, 0.95)});
  const Verdict fail = Judged(VerdictResult::Fail, {Rule("THDI", RuleOutcome::Fail, 12.3, {}, 10.0),
                                                    Rule("Urms", RuleOutcome::Pass, 230.0, 207.0, 253.0),
                                                    Rule("PF", RuleOutcome::Fail, 0.9, 0.95)});
  // A rule's missing figure is said once; one no rule names is added.
  const Verdict incomplete =
      Judged(VerdictResult::Incomplete, {Rule("PFw", RuleOutcome::NotMeasured)}, {"PFw", "THDIw"});
  Verdict noRev = Judged(VerdictResult::NotApplicable, {Rule("Vcf", RuleOutcome::NotApplicable)});
  noRev.ProfileRevision.clear();

  const struct {
    const Verdict& v;
    bool chinese;
    std::vector<std::string> items;
  } cases[] = {
      {pass, false, {T(2500, -19800, 800, "PASS"), T(4600, -19800, 400, "Limits: T8 36W, revision 3")}},
      {pass, true, {T(2500, -19800, 800, "合格"), T(4600, -19800, 400, "限值：T8 36W，版本 3")}},
      {fail, false,
       {T(2500, -19800, 800, "FAIL"), T(4600, -19800, 400, "Limits: T8 36W, revision 3"),
        T(4600, -20200, 400, "THDI 12.3 % > 10.0 %; PF 0.900 < 0.950")}},
      {fail, true,
       {T(2500, -19800, 800, "不合格"), T(5400, -19800, 400, "限值：T8 36W，版本 3"),
        T(5400, -20200, 400, "电流总谐波 12.3 % > 10.0 %；功率因数 0.900 < 0.950")}},
      {incomplete, false,
       {T(2500, -19800, 800, "INCOMPLETE"), T(7000, -20200, 400, "PFw not measured; THDIw not measured")}},
      {incomplete, true, {T(2500, -19800, 800, "不完整"), T(5400, -20200, 400, "宽频功率因数 未测得；宽频电流总谐波 未测得")}},
      {noRev, false,
       {T(2500, -19800, 800, "N/A"), T(4200, -19800, 400, "Limits: T8 36W"),
        T(4200, -20200, 400, "no rule of the profile applies to this test")}},
      {noRev, true, {T(2500, -19800, 800, "不适用"), T(5400, -20200, 400, "本测试不适用限值文件中的任何规则")}},
  };
  for (const auto& c : cases) {
    RecordingCanvas canvas;
    PrintVerdictBlock(canvas, c.v, c.chinese);
    test::ExpectItems(canvas, c.items);
    // A pass or a profile's verdict without problems has nothing to say on the second line.
    const std::size_t texts = c.items.size() == 2 && c.v.Result == VerdictResult::Pass ? 2 : 3;
    EXPECT_EQ(canvas.ops.size(), texts) << canvas.Dump();
  }
  RecordingCanvas none;
  PrintVerdictBlock(none, Verdict{}, false);
  EXPECT_TRUE(none.ops.empty());
}

// The built-in screening on real runs: the note and the edition beside the
// word, the screening's own reasoning when nothing failed, and the figures
// it lacked when the input side was not measured.
TEST(VerdictReport, ScreeningNoteAndMissingFigures) {
  MeasureSet m;  // all zeros: the decoder's reset input side
  const Verdict na = ScreenClassC({OutputTest, &m, nullptr});
  const Verdict incomplete = ScreenClassC({InputTest, &m, nullptr});
  ASSERT_EQ(na.Result, VerdictResult::NotApplicable);
  ASSERT_EQ(incomplete.Result, VerdictResult::Incomplete);
  ASSERT_TRUE(incomplete.Rules.empty());

  RecordingCanvas en, zh, missing;
  PrintVerdictBlock(en, na, false);
  PrintVerdictBlock(zh, na, true);
  PrintVerdictBlock(missing, incomplete, false);
  test::ExpectItems(en, {T(4200, -19800, 400, "Limits: iec-61000-3-2-class-c Ed. 5.0 2018 (screening, single capture)"),
                         T(4200, -20200, 400, na.Detail)});
  test::ExpectItems(zh, {T(5400, -19800, 400, "限值：iec-61000-3-2-class-c Ed. 5.0 2018（筛查，单次采样）"),
                         T(5400, -20200, 400, na.DetailChinese)});
  EXPECT_NE(na.Detail.find("does not measure"), std::string::npos);
  test::ExpectItems(missing, {T(7000, -20200, 400, "P not measured; Irms not measured; THDI not measured")});
}

// Too many failing rules: whole rules while they fit with room for "; …",
// then "…". From x = 4600 there are 22000 units: 110 half cells of 200.
TEST(VerdictReport, ManyFailingRulesAreCut) {
  std::vector<RuleResult> rules;
  for (const char* f : {"CurrentHarmonicPct[3]", "CurrentHarmonicPct[5]", "CurrentHarmonicPct[7]", "CurrentHarmonicPct[9]"})
    rules.push_back(Rule(f, RuleOutcome::Fail, 40.0, {}, 30.0));
  RecordingCanvas canvas;
  PrintVerdictBlock(canvas, Judged(VerdictResult::Fail, rules), false);
  // 36 + 2 + 36 = 74 half cells, a third would need 112.
  test::ExpectItems(canvas, {T(4600, -20200, 400,
                                 "Current 3rd harmonic 40.0 % > 30.0 %; Current 5th harmonic 40.0 % > 30.0 %; …")});

  // A profile name too long for its line is cut as well.
  Verdict longName = Judged(VerdictResult::Pass, {});
  longName.ProfileName = std::string(200, 'x');
  longName.ProfileRevision.clear();
  RecordingCanvas cut;
  PrintVerdictBlock(cut, longName, false);
  // 110 half cells: "Limits: " (8) and 100 x's, then "…" (2).
  test::ExpectItems(cut, {T(4600, -19800, 400, "Limits: " + std::string(100, 'x') + "…")});
}

// Widths and fitting at their boundaries, height 100 (half cell 50).
TEST(VerdictReport, WidthsAndFitting) {
  EXPECT_EQ(SongTextWidth("PASS", 800), 1600);
  EXPECT_EQ(SongTextWidth("不合格", 800), 2400);
  EXPECT_EQ(SongTextWidth("25 °C", 400), 1000);  // the degree sign is Latin-1: half a cell
  EXPECT_EQ(SongTextWidth("≥…", 400), 800);
  const std::vector<std::string> two = {"ab", "cd"}, three = {"ab", "cd", "ef"}, four = {"ab", "cd", "ef", "gh"};
  const struct {
    const std::vector<std::string>& items;
    const char* sep;
    int width;
    std::string fitted;
  } cases[] = {
      {two, "; ", 300, "ab; cd"},    // exactly the width
      {two, "; ", 299, "ab…"},       // no room for "ab; …": the first item is cut
      {three, "; ", 500, "ab; cd; ef"},
      {three, "; ", 499, "ab; …"},  // "ab; cd" would leave no room for "; …"
      {four, "; ", 699, "ab; cd; …"},
      {four, "; ", 700, "ab; cd; ef; gh"},
      {{"限值文件很长"}, "；", 500, "限值文件…"},  // cut at whole characters
      {{}, "; ", 100, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FitJoined(c.items, c.sep, c.width, 100), c.fitted) << c.width;
}

// Whatever the verdict and language, the block is black text only, inside
// the strip below every report: tops and cell bottoms between -19700 and
// -21000, from x = 2500 to no further than 26600 at the Song widths.
TEST(VerdictReport, EverythingInTheFreeStrip) {
  std::vector<RuleResult> many;
  for (int n = 0; n < 40; ++n)
    many.push_back(Rule("CurrentHarmonicPct[39]", n % 2 ? RuleOutcome::Fail : RuleOutcome::NotMeasured, 99.9, {}, 1.0));
  Verdict screening = Judged(VerdictResult::Fail, many, {"PF"});
  screening.Screening = true;
  screening.ProfileName = std::string(150, 'n');
  for (VerdictResult r : {VerdictResult::Pass, VerdictResult::Fail, VerdictResult::Incomplete, VerdictResult::NotApplicable})
    for (bool chinese : {false, true}) {
      screening.Result = r;
      RecordingCanvas canvas;
      PrintVerdictBlock(canvas, screening, chinese);
      ASSERT_EQ(canvas.ops.size(), 3u);
      for (const std::string& op : canvas.ops) {
        std::istringstream in(op);
        std::string kind, align, face, colour, text;
        int x = 0, y = 0, height = 0, escapement = 0;
        in >> kind >> x >> y >> align >> face >> height >> colour >> escapement;
        std::getline(in, text);
        text.erase(0, 1);
        EXPECT_EQ(kind + align + colour, "TL#000000") << op;
        EXPECT_GE(x, VerdictStrip::Left) << op;
        EXPECT_LE(x + SongTextWidth(text, height), VerdictStrip::Right) << op;
        EXPECT_LE(y, VerdictStrip::Top) << op;
        EXPECT_GE(y - height, VerdictStrip::Bottom) << op;
      }
    }
}

}  // namespace
}  // namespace kt
