// The analysis report's drawing on a recording canvas, in 0.01 mm with y
// upwards and the 25 mm margins applied (its texts are checked in the PDF
// the window prints); an empty and a damaged report.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "analysis/AnalysisReport.h"
#include "core/AnalysisData.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "support/Fakes.h"
#include "support/RecordingCanvas.h"

namespace kt {
namespace {

using test::RecordingCanvas;

// A design point below the top margin, as the canvas receives it.
constexpr int X(int x) { return 2500 + x; }
constexpr int Y(int y) { return -(2500 + y); }

struct Rig : test::FormRig {
  AnalysisData a;
  Rig() { a.SelectX = 151; }
  RecordingCanvas Print(int english) {
    RecordingCanvas rc;
    PrintAnalysisReport(*form, a, english, rc);
    return rc;
  }
};

TEST(AnalysisReport, DrawsTheTableEnvelopesWavesAndSelectionLine) {
  Rig r;
  for (int i = 0; i < 150; ++i) r.a.Envelope[ChIf][i] = 500.0f;
  r.a.Envelope[ChIf][149] = 1000.0f;
  r.a.EnvelopeMax[ChIf] = 1000.0f;
  r.a.Period[ChIl] = 100;
  for (int k = 0; k < 200; ++k) r.a.Wave[ChIl][k] = k < 100 ? 600.0f : -300.0f;
  r.a.WavePeak[ChIl] = 600.0f;
  const RecordingCanvas rc = r.Print(1);

  // Frame and dividers, 0.5 mm wide.
  for (auto [x1, y1, x2, y2] : {std::array{0, 2500, 23700, 2500}, std::array{23700, 2500, 23700, 16000},
                                std::array{11800, 2500, 11800, 16000}, std::array{19800, 2500, 19800, 16000},
                                std::array{0, 5875, 23700, 5875}, std::array{0, 12625, 23700, 12625}}) {
    const auto* l = rc.Line(X(x1), Y(y1), X(x2), Y(y2));
    ASSERT_NE(l, nullptr) << x1 << "," << y1 << " " << x2 << "," << y2;
    EXPECT_EQ(l->width, 50);
  }
  // The filament-current envelope (third row, centre 10937): bars of
  // 700 and, at the last point, 1400 either side.
  const auto* bar0 = rc.Line(X(0), Y(10937 - 700), X(0), Y(10937 + 700));
  ASSERT_NE(bar0, nullptr);
  EXPECT_EQ(bar0->width, 10);
  EXPECT_NE(rc.Line(X(78), Y(10937 - 700), X(78), Y(10937 + 700)), nullptr);
  EXPECT_NE(rc.Line(X(11721), Y(10937 - 1400), X(11721), Y(10937 + 1400)), nullptr);
  EXPECT_NE(rc.Line(X(0), Y(10937), X(11800), Y(10937)), nullptr) << "axis";
  // The lamp-current wave (second row, centre 7562, amplitude 1200) over
  // N = 200 samples: step 40 units.
  EXPECT_NE(rc.Line(X(11800), Y(7562 - 1200), X(11840), Y(7562 - 1200)), nullptr);
  EXPECT_NE(rc.Line(X(11800 + 99 * 40), Y(7562 - 1200), X(11800 + 100 * 40), Y(7562 + 600)), nullptr);
  EXPECT_NE(rc.Line(X(11800 + 198 * 40), Y(7562 + 600), X(11800 + 199 * 40), Y(7562 + 600)), nullptr);
  // Selection line at trunc(151 * 0.5 * 11800 / 150) = 5939.
  const auto* select = rc.Line(X(5939), Y(2500), X(5939), Y(16000));
  ASSERT_NE(select, nullptr);
  EXPECT_EQ(select->width, 20);
}

TEST(AnalysisReport, AFreshWindowPrintsEmptyRowsAndADamagedFileStaysOnThePage) {
  Rig fresh;
  fresh.a.Period[ChU] = 5000;  // a period alone draws nothing without a peak
  const RecordingCanvas empty = fresh.Print(0);
  EXPECT_NE(empty.Text("0.0"), nullptr);
  EXPECT_NE(empty.Text("0.000", 2), nullptr);
  EXPECT_NE(empty.Text("0.00", 3), nullptr);
  // Frame (4), dividers (5), four envelope and four wave axes, the selection line.
  EXPECT_EQ(empty.lines.size(), 4u + 5u + 8u + 1u);

  Rig r;
  r.a.Period[ChIk] = 1 << 30;
  r.a.WavePeak[ChIk] = 1e-30f;
  for (int k = 0; k < 600; ++k) r.a.Wave[ChIk][k] = k % 2 ? 3.0e38f : -3.0e38f;
  r.a.EnvelopeMax[ChU] = 1.0f;
  for (int i = 0; i < 150; ++i) r.a.Envelope[ChU][i] = 1.0e9f;
  const RecordingCanvas rc = r.Print(1);
  std::size_t waveLines = 0;
  for (const auto& l : rc.lines) {
    if (l.x1 >= X(11800) && l.x2 <= X(19800) && l.width == 10 && l.y1 != l.y2) ++waveLines;
    if (l.x1 < X(11800) && l.x1 == l.x2 && l.width == 10) {
      ASSERT_GE(l.y2, Y(4187 + 1400)) << "envelope bars held to their row";
    }
  }
  EXPECT_EQ(waveLines, 599u) << "the copy never holds more than the 600 slots";
}

}  // namespace
}  // namespace kt
