#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/Canvas.h"
#include "verdict/Verdict.h"

namespace kt {

// What a verdict says, in the pieces the printed block and the main window's
// verdict band both show.
struct VerdictSummary {
  std::string Word;    // PASS / 合格 ...; empty for None
  std::string Limits;  // "Limits: T8 36 W, revision 3", with the screening note for the built-in screening
  // About the limits themselves ("the file t8.json is damaged: its last good
  // copy judged"); empty normally. Shown with Limits.
  std::string LimitsNote;
  // Said first, before any rule: why the run could not be decided. Empty
  // when it was.
  std::string Headline;
  // The rules that failed or could not be measured, in rule order, then the
  // figures an incomplete verdict lacked that no rule line names yet.
  std::vector<std::string> Problems;
  // Said when there are no problems: the screening's reasoning, or that no
  // rule of the profile applies to this test. Often empty.
  std::string Remark;
};
VerdictSummary SummarizeVerdict(const Verdict& v, bool chinese);

// The report face is monospaced: half a cell for Latin text, a whole cell
// for Chinese and every other wide sign. Widths in canvas units, rounded up
// for anything outside Latin-1 so that an estimate never falls short.
int SongTextWidth(std::string_view utf8, int height);

// The items joined by `separator`, as many as fit into `maxWidth` at that
// height, then "…" for the rest; a first item too long alone is cut short
// before its "…".
std::string FitJoined(const std::vector<std::string>& items, std::string_view separator, int maxWidth, int height);

// Where the block goes: below everything any report prints (all end above
// y = -19700) and above the paper's edge at -21000, within the reports'
// safe width. Report canvas units (0.01 mm, y upwards).
struct VerdictStrip {
  static constexpr int Left = 2500, Right = 26600;
  static constexpr int Top = -19700, Bottom = -21000;
};

// The verdict on a printed report, in black, in the free strip at the foot
// of the page: the verdict word large on the left, beside it the limits it
// was judged by and the failing rules. Nothing for a verdict of None.
void PrintVerdictBlock(Canvas& report, const Verdict& v, bool chinese);

}  // namespace kt
