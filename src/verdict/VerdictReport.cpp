#include "verdict/VerdictReport.h"

#include <algorithm>

#include "verdict/VerdictText.h"

namespace kt {

namespace {

constexpr const char* Face = "宋体";
constexpr const char* Ellipsis = "…";

// Three lines of the smallest size that reads well on paper fill the band's
// 9 mm; the word beside them is as tall as all three.
constexpr int LineHeight = 300;
constexpr int WordHeight = 3 * LineHeight;  // the canvas has no bold: size sets it apart
constexpr int WordGap = 400;                // between the verdict word and its lines
static_assert(VerdictStrip::Top - WordHeight == VerdictStrip::Bottom);

bool StartsCodePoint(unsigned char byte) { return (byte & 0xC0) != 0x80; }

// The longest prefix of whole characters that fits `maxWidth` with a "…" after it.
std::string CutWithEllipsis(const std::string& text, int maxWidth, int height) {
  const int room = maxWidth - SongTextWidth(Ellipsis, height);
  std::size_t end = 0;
  for (std::size_t i = 1; i <= text.size(); ++i) {
    if (i < text.size() && !StartsCodePoint(static_cast<unsigned char>(text[i]))) continue;
    if (SongTextWidth(std::string_view(text).substr(0, i), height) > room) break;
    end = i;
  }
  return text.substr(0, end) + Ellipsis;
}

std::string FitOne(const std::string& text, int maxWidth, int height) {
  return SongTextWidth(text, height) <= maxWidth ? text : CutWithEllipsis(text, maxWidth, height);
}

}  // namespace

VerdictSummary SummarizeVerdict(const Verdict& v, bool chinese) {
  VerdictSummary s;
  s.Word = VerdictResultText(v.Result, chinese);
  if (v.Result == VerdictResult::None) return s;

  s.Limits = (chinese ? "限值：" : "Limits: ") + v.ProfileName;
  if (v.Screening) {
    // The screening's revision is the edition of the standard it follows.
    if (!v.ProfileRevision.empty()) s.Limits += " " + v.ProfileRevision;
    s.Limits +=
        chinese ? std::string("（") + ScreeningText(true) + "）" : std::string(" (") + ScreeningText(false) + ")";
  } else if (!v.ProfileRevision.empty()) {
    s.Limits += (chinese ? "，版本 " : ", revision ") + v.ProfileRevision;
  }

  s.LimitsNote = chinese ? v.LimitsNoteChinese : v.LimitsNote;
  s.Headline = chinese ? v.ReasonChinese : v.Reason;
  s.Problems = ProblemLines(v, chinese);
  // The screening may lack a figure no rule names (the input power, or the
  // power factor a limit is stated against): those are said as well.
  for (const std::string& name : v.Missing) {
    const bool named = std::any_of(v.Rules.begin(), v.Rules.end(), [&name](const RuleResult& r) {
      return r.Figure == name && r.Outcome == RuleOutcome::NotMeasured;
    });
    if (named) continue;
    RuleResult missing;
    missing.Figure = name;
    missing.Outcome = RuleOutcome::NotMeasured;
    s.Problems.push_back(RuleLine(missing, chinese));
  }

  if (s.Problems.empty()) {
    if (v.Screening)
      s.Remark = chinese ? v.DetailChinese : v.Detail;
    else if (v.Result == VerdictResult::NotApplicable)
      s.Remark = chinese ? "本测试不适用限值文件中的任何规则" : "no rule of the profile applies to this test";
  }
  return s;
}

int SongTextWidth(std::string_view utf8, int height) {
  const int half = (height + 1) / 2;
  int width = 0;
  for (unsigned char byte : utf8) {
    if (byte < 0x80 || byte == 0xC2 || byte == 0xC3)  // U+0000..U+00FF
      width += half;
    else if (StartsCodePoint(byte))
      width += height;
  }
  return width;
}

std::string FitJoined(const std::vector<std::string>& items, std::string_view separator, int maxWidth, int height) {
  const std::string sep(separator);
  const int tail = SongTextWidth(sep + Ellipsis, height);
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string joined = out + (i == 0 ? "" : sep) + items[i];
    // Room must stay for the "…" as long as more items follow.
    const int need = SongTextWidth(joined, height) + (i + 1 < items.size() ? tail : 0);
    if (need <= maxWidth) {
      out = joined;
      continue;
    }
    if (i == 0) return CutWithEllipsis(items[0], maxWidth, height);
    return out + sep + Ellipsis;
  }
  return out;
}

void PrintVerdictBlock(Canvas& report, const Verdict& v, bool chinese) {
  if (v.Result == VerdictResult::None) return;
  const VerdictSummary s = SummarizeVerdict(v, chinese);
  const std::string separator = chinese ? "；" : "; ";

  report.SetTextAlign(AlignLeft);
  report.SetFont({Face, WordHeight, clBlack, 0});
  report.TextOut(VerdictStrip::Left, VerdictStrip::Top, s.Word);

  const int x = VerdictStrip::Left + SongTextWidth(s.Word, WordHeight) + WordGap;
  const int width = VerdictStrip::Right - x;
  // The limits and their note, why the run was not decided, then what failed:
  // an empty line leaves no gap.
  const std::string lines[] = {
      FitOne(s.LimitsNote.empty() ? s.Limits : s.Limits + separator + s.LimitsNote, width, LineHeight),
      FitOne(s.Headline, width, LineHeight),
      s.Problems.empty() ? FitOne(s.Remark, width, LineHeight) : FitJoined(s.Problems, separator, width, LineHeight)};
  report.SetFont({Face, LineHeight, clBlack, 0});
  int y = VerdictStrip::Top;
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    report.TextOut(x, y, line);
    y -= LineHeight;
  }
}

}  // namespace kt
