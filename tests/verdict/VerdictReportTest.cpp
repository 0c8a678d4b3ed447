// The verdict block at the head of a printed report: its items derived by
// hand from the layout (word at the band's left, up to three lines beside
// it), and every item inside any A4 printer's printable area and clear of
// everything each report prints.
#include "verdict/VerdictReport.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "core/MeasureSet.h"
#include "support/Recording.h"
#include "support/Verdicts.h"
#include "verdict/ClassC.h"

namespace kt {
namespace {

using test::RecordingCanvas;

using test::Judged;
using test::Rule;

std::string T(int x, int y, int height, const std::string& text) {
  return "T " + std::to_string(x) + " " + std::to_string(y) + " L \"宋体\" " + std::to_string(height) + " #000000 0 " +
         text;
}

// Word at (2000, -1000) in 900; lines at x = 2000 + word width + 400, from
// -1000 down in steps of 300, empty ones left out. Song widths: Latin half a
// cell, Chinese a cell.
TEST(VerdictReport, BlockItemsByVerdictAndLanguage) {
  const Verdict pass = Judged(VerdictResult::Pass, {Rule("PF", RuleOutcome::Pass, 0.97, 0.95)});
  const Verdict fail = Judged(VerdictResult::Fail, {Rule("THDI", RuleOutcome::Fail, 12.3, {}, 10.0),
                                                    Rule("Urms", RuleOutcome::Pass, 230.0, 207.0, 253.0),
                                                    Rule("PF", RuleOutcome::Fail, 0.9, 0.95)});
  // A rule's missing figure is said once; one no rule names is added. The
  // reason comes before them, the note on the limits after the limits.
  Verdict incomplete = Judged(VerdictResult::Incomplete, {Rule("PFw", RuleOutcome::NotMeasured)}, {"PFw", "THDIw"});
  incomplete.Reason = "needs the phase-angle test", incomplete.ReasonChinese = "需要相位角测试";
  incomplete.LimitsNote = "t8.json is damaged", incomplete.LimitsNoteChinese = "t8.json 已损坏";
  Verdict noRev = Judged(VerdictResult::NotApplicable, {Rule("Vcf", RuleOutcome::NotApplicable)});
  noRev.ProfileRevision.clear();
  Verdict longName = noRev;  // cut short with "…": 152 half cells from x = 3750
  longName.ProfileName = std::string(200, 'x');

  const struct {
    const Verdict& v;
    bool chinese;
    std::vector<std::string> items;
  } cases[] = {
      // clang-format off
      {pass, false, {T(2000, -1000, 900, "PASS"), T(4200, -1000, 300, "Limits: T8 36W, revision 3")}},
      {pass, true, {T(2000, -1000, 900, "合格"), T(4200, -1000, 300, "限值：T8 36W，版本 3")}},
      {fail, false, {T(2000, -1000, 900, "FAIL"), T(4200, -1000, 300, "Limits: T8 36W, revision 3"),
                     T(4200, -1300, 300, "THDI 12.3 % > 10.0 %; PF 0.900 < 0.950")}},
      {fail, true, {T(2000, -1000, 900, "不合格"), T(5100, -1000, 300, "限值：T8 36W，版本 3"),
                    T(5100, -1300, 300, "电流总谐波 12.3 % > 10.0 %；功率因数 0.900 < 0.950")}},
      {incomplete, false, {T(2000, -1000, 900, "INCOMPLETE"),
                           T(6900, -1000, 300, "Limits: T8 36W, revision 3; t8.json is damaged"),
                           T(6900, -1300, 300, "needs the phase-angle test"),
                           T(6900, -1600, 300, "PFw not measured; THDIw not measured")}},
      {incomplete, true, {T(2000, -1000, 900, "不完整"), T(5100, -1000, 300, "限值：T8 36W，版本 3；t8.json 已损坏"),
                          T(5100, -1300, 300, "需要相位角测试"),
                          T(5100, -1600, 300, "宽频功率因数 未测得；宽频电流总谐波 未测得")}},
      {noRev, false, {T(2000, -1000, 900, "N/A"), T(3750, -1000, 300, "Limits: T8 36W"),
                      T(3750, -1300, 300, "no rule of the profile applies to this test")}},
      {noRev, true, {T(2000, -1000, 900, "不适用"), T(5100, -1000, 300, "限值：T8 36W"),
                     T(5100, -1300, 300, "本测试不适用限值文件中的任何规则")}},
      {longName, false, {T(2000, -1000, 900, "N/A"), T(3750, -1000, 300, "Limits: " + std::string(142, 'x') + "…"),
                         T(3750, -1300, 300, "no rule of the profile applies to this test")}},
      // clang-format on
  };
  for (const auto& c : cases) {
    RecordingCanvas canvas;
    PrintVerdictBlock(canvas, c.v, c.chinese);
    EXPECT_EQ(canvas.ops, c.items);
  }
  RecordingCanvas none;
  PrintVerdictBlock(none, Verdict{}, false);
  EXPECT_TRUE(none.ops.empty());
}

// The built-in screening on a real run: the note and the edition beside the
// word, and the screening's own reasoning when nothing failed.
TEST(VerdictReport, ScreeningNoteAndReasoning) {
  MeasureSet m;  // all zeros: the decoder's reset input side
  const Verdict na = ScreenClassC({OutputTest, &m, nullptr});
  ASSERT_EQ(na.Result, VerdictResult::NotApplicable);

  RecordingCanvas en, zh;
  PrintVerdictBlock(en, na, false);
  PrintVerdictBlock(zh, na, true);
  test::ExpectItems(
      en, {T(3750, -1000, 300, "Limits: iec-61000-3-2-class-c Ed. 5.0 2018+A1:2020 (screening, single capture)"),
           T(3750, -1300, 300, na.Detail)});
  test::ExpectItems(zh, {T(5100, -1000, 300, "限值：iec-61000-3-2-class-c Ed. 5.0 2018+A1:2020（筛查，单次采样）"),
                         T(5100, -1300, 300, na.DetailChinese)});
  EXPECT_NE(na.Detail.find("does not measure"), std::string::npos);
}

// Too many failing rules: whole rules while they fit with room for "; …",
// then "…". From x = 4200 there are 22400 units: 149 half cells of 150.
TEST(VerdictReport, ManyFailingRulesAreCut) {
  std::vector<RuleResult> rules;
  for (const char* f :
       {"CurrentHarmonicPct[3]", "CurrentHarmonicPct[5]", "CurrentHarmonicPct[7]", "CurrentHarmonicPct[9]"})
    rules.push_back(Rule(f, RuleOutcome::Fail, 40.0, {}, 30.0));
  RecordingCanvas canvas;
  PrintVerdictBlock(canvas, Judged(VerdictResult::Fail, rules), false);
  // Three rules take 112 half cells and 4 more for "; …"; a fourth would need 150 of the 149.
  test::ExpectItems(canvas, {T(4200, -1300, 300,
                               "Current 3rd harmonic 40.0 % > 30.0 %; Current 5th harmonic 40.0 % > 30.0 %; "
                               "Current 7th harmonic 40.0 % > 30.0 %; …")});
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
      {two, "; ", 300, "ab; cd"},  // exactly the width
      {two, "; ", 299, "ab…"},     // no room for "ab; …": the first item is cut
      {three, "; ", 500, "ab; cd; ef"},
      {three, "; ", 499, "ab; …"},  // "ab; cd" would leave no room for "; …"
      {four, "; ", 699, "ab; cd; …"},
      {four, "; ", 700, "ab; cd; ef; gh"},
      {{"限值文件很长"}, "；", 500, "限值文件…"},  // cut at whole characters
      {{}, "; ", 100, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FitJoined(c.items, c.sep, c.width, 100), c.fitted) << c.width;
}

// What an operation covers: a text's cell at the Song widths (a turned one
// taken as a square of its length around its anchor), a line with its pen,
// a rectangle; nothing for a clip.
using Box = std::array<int, 4>;  // left, bottom, right, top
std::optional<Box> Extent(const std::string& op) {
  std::istringstream in(op);
  std::string kind, align, face, colour, text;
  int x = 0, y = 0, height = 0, escapement = 0, x2 = 0, y2 = 0, pen = 0;
  if (!(in >> kind >> x >> y) || kind == "C") return std::nullopt;
  if (kind != "T") {
    in >> x2 >> y2 >> colour >> pen;
    const int h = kind == "L" ? pen / 2 + 1 : 0;
    return Box{std::min(x, x2) - h, std::min(y, y2) - h, std::max(x, x2) + h, std::max(y, y2) + h};
  }
  in >> align >> std::quoted(face) >> height >> colour >> escapement;
  std::getline(in, text);
  const int w = SongTextWidth(text.substr(1), height);
  if (escapement != 0) return Box{x - w, y - w, x + w, y + w};
  const int left = align == "L" ? x : align == "C" ? x - w / 2 : x - w;
  return Box{left, y - height, left + w, y};
}

// For every kind and language, whatever the verdict and however long its
// texts: black text only, inside the printable area of any A4 printer (10 mm
// from the paper's edges, and 5 mm more towards the foot and the right for a
// printer whose origin is its margin's corner), and over nothing the report
// prints. The reports' operations are their golden files, which their own
// suites keep equal to what they draw.
TEST(VerdictReport, InsideThePrintableAreaAndClearOfEveryReport) {
  std::vector<RuleResult> many;
  for (int n = 0; n < 40; ++n)
    many.push_back(Rule("CurrentHarmonicPct[39]", n % 2 ? RuleOutcome::Fail : RuleOutcome::NotMeasured, 99.9, {}, 1.0));
  Verdict v = Judged(VerdictResult::Fail, many, {"PF"});
  v.Screening = true;
  v.ProfileName = std::string(150, 'n');
  v.LimitsNote = v.Reason = std::string(200, 'r');
  for (int n = 0; n < 30; ++n) v.ReasonChinese += "限值已损坏，无法判定；";
  v.LimitsNoteChinese = v.ReasonChinese;
  const std::pair<TestKind, const char*> reports[] = {
      {InputTest, "input"}, {OutputTest, "output"}, {CompTest, "comp"},   {StartTest, "start"},
      {PhaseTest, "phase"}, {GaoTest, "analysis"},  {BaoTest, "analysis"}};
  for (const auto& [kind, name] : reports)
    for (bool chinese : {false, true}) {
      std::ifstream in(test::GoldenPath(std::string(name) + (chinese ? "-zh" : "-en") + "-report.txt"));
      std::vector<Box> printed;
      for (std::string op; std::getline(in, op);)
        if (auto box = Extent(op)) printed.push_back(*box);
      ASSERT_GT(printed.size(), 500u) << name;
      v.Kind = kind;
      for (VerdictResult r :
           {VerdictResult::Pass, VerdictResult::Fail, VerdictResult::Incomplete, VerdictResult::NotApplicable}) {
        v.Result = r;
        RecordingCanvas canvas;
        PrintVerdictBlock(canvas, v, chinese);
        ASSERT_EQ(canvas.ops.size(), 4u);
        for (const std::string& op : canvas.ops) {
          EXPECT_EQ(op.substr(0, 2) + op.substr(op.find('#'), 7), "T #000000") << op;
          const Box b = *Extent(op);
          EXPECT_TRUE(b[0] >= 1000 && b[2] <= 28200 && b[3] <= -1000 && b[1] >= -19500) << op;
          for (const Box& p : printed)
            EXPECT_FALSE(b[0] < p[2] && p[0] < b[2] && b[1] < p[3] && p[1] < b[3]) << name << ": " << op;
        }
      }
    }
}

}  // namespace
}  // namespace kt
