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

// Where the block goes: the band above the report's title. Every report
// starts its title at y = -2000 and prints nothing higher, while its foot
// reaches -19600, below the -19500 a block must stay above to keep 10 mm
// from the paper's bottom edge on a printer whose origin sits 5 mm in. The
// band's top at -1000 is 10 mm below the paper's top edge (15 mm on such a
// printer). Across the reports' widest frame. Report canvas units (0.01 mm,
// y upwards).
struct VerdictStrip {
  static constexpr int Left = 2000, Right = 26600;
  static constexpr int Top = -1000, Bottom = -1900;  // 1 mm clear of the title
};

// The verdict on a printed report, in black, in the band at the head of the
// page: the verdict word large on the left; beside it, one under another, the
// limits it was judged by (with their note), why it could not be decided, and
// the failing rules or the remark. Nothing for a verdict of None.
void PrintVerdictBlock(Canvas& report, const Verdict& v, bool chinese);

}  // namespace kt
