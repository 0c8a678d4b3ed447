// The start page on a recording canvas: positions of representative items at
// two window sizes in both languages, the curves' scale and cursor line, and
// damaged results that must still draw inside the paint box. Expected pixels
// were worked out by hand from the layout (sx = W / 640, sy = H / 385 as
// 32-bit floats; at 1920 x 1017: sx = 3, sy = 2.6415584, origin (120, 13)).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/start/StartCursor.h"
#include "measurements/start/StartPage.h"
#include "support/Fakes.h"
#include "support/RecordingCanvas.h"

namespace kt {
namespace {

using test::LineItem;
using test::RecordingCanvas;
using test::TextItem;

constexpr Colour kDarkBlue = Rgb(0, 0, 150);

struct Rig : test::FormRig {
  Rig() {
    RegisterMeasurementKinds(*form);
    form->ShownKind = StartTest;
    StartResult& s = form->M.Start;
    s.Valid = 1;
    // Lamp voltage: full scale (1000 V) at sample 100, half of it negative at 101.
    s.Curve[ChU][100] = 16000.0f;
    s.Curve[ChU][101] = -8000.0f;
    s.CurveMax[ChU] = 16000.0f;
    s.Peak[ChU] = 1000.0f;
    s.PeakTime[ChU] = 1.6667f;
    // Lamp current: half of full scale (1.5 A) at the cursor, sample 150.
    s.Curve[ChIl][150] = 1000.0f;
    s.CurveMax[ChIl] = 1000.0f;
    s.Peak[ChIl] = 0.75f;
    s.PeakTime[ChIl] = 2.5f;
    s.WarmUpTime = 1.2f;
    // Filament current: a peak past its limit over samples that are all 0.
    s.CurveMax[ChIf] = 0.0f;
    s.Peak[ChIf] = 0.5f;
    // Cathode lead: absent.
    s.CurveMax[ChIk] = 1.0f;
    SetStartCursor(s, 150);
  }
  RecordingCanvas Paint(int w, int h, int chinese) {
    form->ChineseMode = chinese;
    RecordingCanvas c;
    form->Kinds[StartTest].Paint(*form, c, w, h);
    return c;
  }
};

using Corners = std::array<int, 4>;
Corners Of(const test::RectItem& r) { return {r.x1, r.y1, r.x2, r.y2}; }

const TextItem* TextAt(const RecordingCanvas& c, int x, int y) {
  for (const auto& t : c.texts)
    if (t.x == x && t.y == y) return &t;
  return nullptr;
}

#define EXPECT_TEXT(canvas, x, y, str, colour)                             \
  do {                                                                     \
    const TextItem* t_ = TextAt(canvas, x, y);                             \
    ASSERT_NE(t_, nullptr) << "nothing at (" << (x) << ", " << (y) << ")"; \
    EXPECT_EQ(t_->text, str);                                              \
    EXPECT_EQ(t_->font.Color, colour) << (str);                            \
  } while (0)

// The curve segments of a panel: solid width-1 lines of its colour that run
// from left to right (the outline is a rectangle, the divider vertical).
std::vector<LineItem> CurveSegments(const RecordingCanvas& c, Colour colour) {
  std::vector<LineItem> out;
  for (const auto& l : c.lines)
    if (l.colour == colour && l.width == 1 && l.style == PenStyle::Solid && l.x2 > l.x1) out.push_back(l);
  return out;
}

TEST(StartPage, AtTheDesignSizeEveryItemStandsAtItsDesignPointPlusTheOrigin) {
  Rig r;
  for (int chinese : {0, 1}) {
    SCOPED_TRACE(chinese ? "Chinese" : "English");
    const RecordingCanvas c = r.Paint(640, 385, chinese);
    ASSERT_FALSE(c.fills.empty());
    EXPECT_EQ(c.fills[0].x2, 640);
    EXPECT_EQ(c.fills[0].y2, 385);
    EXPECT_EQ(c.fills[0].colour, kDarkBlue);

    const TextItem* title =
        c.Text(chinese ? "KT6100 电子镇流器综合测试仪" : "KT6100 Electronic Ballast Test Instrument");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->x, 320);
    EXPECT_EQ(title->y, 5);
    EXPECT_EQ(title->align, AlignCenter);
    EXPECT_EQ(title->font.Height, 20);
    EXPECT_EQ(title->font.Face, "Times New Roman");
    EXPECT_TEXT(c, 320, 25, chinese ? "启动特性测试报告" : "Start Characteristic Test Report", clWhite);

    // Frame with the title in the gap of its top edge.
    const std::array<int, 4> frame[] = {
        {20, 17, 110, 17}, {530, 17, 620, 17}, {20, 17, 20, 365}, {20, 365, 620, 365}, {620, 365, 620, 17}};
    for (const auto& [x1, y1, x2, y2] : frame) {
      const LineItem* l = c.Line(x1, y1, x2, y2);
      ASSERT_NE(l, nullptr) << x1 << "," << y1 << " " << x2 << "," << y2;
      EXPECT_EQ(l->width, 2);
      EXPECT_EQ(l->colour, clWhite);
    }

    // Panels, dividers, cursor boxes.
    ASSERT_EQ(c.rects.size(), 8u);
    const Colour colours[4] = {clWhite, clRed, clLime, clYellow};
    const int tops[4] = {45, 125, 205, 285}, boxTops[4] = {50, 127, 207, 287};
    for (int k = 0; k < 4; ++k) {
      const auto& panel = c.rects[static_cast<std::size_t>(2 * k)];
      const auto& box = c.rects[static_cast<std::size_t>(2 * k + 1)];
      EXPECT_EQ(Of(panel), (Corners{40, tops[k], 600, tops[k] + 75}));
      EXPECT_EQ(panel.pen, colours[k]);
      EXPECT_EQ(Of(box), (Corners{225, boxTops[k], 330, boxTops[k] + 40}));
      EXPECT_EQ(box.pen, colours[k]);
      EXPECT_EQ(box.brush, kDarkBlue) << "the readouts stand on the page colour";
      EXPECT_NE(c.Line(340, tops[k], 340, tops[k] + 75), nullptr) << "divider " << k;
    }
    // Ten 0.50-s divisions across, five down, dotted black.
    const int dotted = static_cast<int>(std::count_if(c.lines.begin(), c.lines.end(), [](const LineItem& l) {
      return l.style == PenStyle::Dot && l.colour == clBlack;
    }));
    EXPECT_EQ(dotted, 4 * 13);
    EXPECT_NE(c.Line(70, 45, 70, 120), nullptr);
    EXPECT_NE(c.Line(310, 285, 310, 360), nullptr);
    EXPECT_NE(c.Line(40, 60, 340, 60), nullptr);
    EXPECT_NE(c.Line(40, 345, 340, 345), nullptr);

    // Value column and cursor readouts, in the panels' colours.
    if (chinese) {
      EXPECT_TEXT(c, 370, 55, "灯电压 ：", clWhite);
      EXPECT_TEXT(c, 390, 87, "到达峰值时间 ： ", clWhite);
      EXPECT_TEXT(c, 370, 178, "预热时间 ：", clRed);
      EXPECT_TEXT(c, 370, 290, "导入阴极电流 ：", clYellow);
      EXPECT_TEXT(c, 230, 55, "时间:  2.50 S", clWhite);
      EXPECT_TEXT(c, 230, 146, "电流:  0.750 A", clRed);
    } else {
      EXPECT_TEXT(c, 370, 55, "Lamp Voltage :", clWhite);
      EXPECT_TEXT(c, 390, 71, "Peak Voltage: ", clWhite);
      EXPECT_TEXT(c, 370, 178, "Time for Warm-up:", clRed);
      EXPECT_TEXT(c, 390, 226, "Peak Currnet:", clLime);
      EXPECT_TEXT(c, 370, 338, "Sentivity:", clYellow);
      EXPECT_TEXT(c, 230, 55, "Time:      2.50 S", clWhite);
      EXPECT_TEXT(c, 230, 71, "Voltage:  0.0 V", clWhite);
      EXPECT_TEXT(c, 230, 146, "Current:  0.750 A", clRed);
    }
    EXPECT_TEXT(c, 520, 71, "1000.0 (V)", clWhite);
    EXPECT_TEXT(c, 520, 87, "1.67 (S)", clWhite);
    EXPECT_TEXT(c, 520, 103, "0.50 s/div", clWhite);
    EXPECT_TEXT(c, 520, 146, "0.750 (A)", clRed);
    EXPECT_TEXT(c, 520, 178, "1.20 (S)", clRed);
    EXPECT_TEXT(c, 520, 226, "0.500 (A)", clLime);
    EXPECT_TEXT(c, 520, 306, "0.000 (A)", clYellow);
    EXPECT_TEXT(c, 230, 226, std::string(chinese ? "电流:  " : "Current:  ") + "0.000 A", clLime);
    EXPECT_EQ(c.Text("0.50 s/div", 2)->font.Height, 15);
    EXPECT_EQ(c.Text("0.50 s/div", 2)->font.Face, "Times New Roman");
    EXPECT_EQ(c.texts.size(), 2u + 4 * 2 + 16 + 12);
  }
}

TEST(StartPage, CurvesScaleToFullScaleAndTheCursorRisesFromTheBaseline) {
  Rig r;
  struct Size {
    int w, h;
    int uTop, uBelow, base2, ilHalf, cursorX, x100;
  };
  // At 1920 x 1017 the voltage baseline lies at 316.78, full scale is 198 px.
  const Size sizes[] = {{640, 385, 45, 157, 200, 163, 190, 140}, {1920, 1017, 118, 415, 528, 429, 570, 420}};
  for (const Size& z : sizes) {
    SCOPED_TRACE(z.w);
    const RecordingCanvas c = r.Paint(z.w, z.h, 0);
    const auto u = CurveSegments(c, clWhite);
    // Frame lines are width 2, so the white width-1 segments are the curve.
    ASSERT_EQ(u.size(), 299u);
    EXPECT_EQ(u[99].x2, z.x100);
    EXPECT_EQ(u[99].y2, z.uTop) << "1000 V touches the panel's top";
    EXPECT_EQ(u[100].y2, z.uBelow) << "a negative sample lies below the baseline";

    const auto il = CurveSegments(c, clRed);
    ASSERT_EQ(il.size(), 299u);
    EXPECT_EQ(il[149].x2, z.cursorX);
    EXPECT_EQ(il[149].y2, z.ilHalf);
    const LineItem* cursor = c.Line(z.cursorX, z.base2, z.cursorX, z.ilHalf);
    ASSERT_NE(cursor, nullptr) << "the cursor line";
    EXPECT_EQ(cursor->colour, clRed);
    EXPECT_EQ(il[150].x1, z.cursorX);
    EXPECT_EQ(il[150].y1, z.ilHalf) << "the curve goes on from the cursor's top";

    // The filament curve is all zero: flat on its baseline, no division by zero.
    const int base3 = z.w == 640 ? 280 : 739;
    for (const auto& l : CurveSegments(c, clLime)) {
      ASSERT_EQ(l.y1, base3);
      ASSERT_EQ(l.y2, base3);
    }
  }
}

TEST(StartPage, LargeWindowKeepsItemsOnTheScaledGrid) {
  Rig r;
  for (int chinese : {0, 1}) {
    const RecordingCanvas c = r.Paint(1920, 1017, chinese);
    const TextItem* title = TextAt(c, 960, 13);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->font.Height, 52);
    EXPECT_TEXT(c, 1110, 145, chinese ? "灯电压 ：" : "Lamp Voltage :", clWhite);
    EXPECT_TEXT(c, 1560, 187, "1000.0 (V)", clWhite);
    EXPECT_TEXT(c, 690, 145, std::string(chinese ? "时间:  " : "Time:      ") + "2.50 S", clWhite);
    EXPECT_TEXT(c, 1110, 892, chinese ? "时间分度 ：" : "Sentivity:", clYellow);
    EXPECT_EQ(TextAt(c, 1110, 892)->font.Height, 39);
    EXPECT_NE(c.Line(60, 44, 330, 44), nullptr);
    EXPECT_NE(c.Line(1860, 963, 1860, 44), nullptr);
    ASSERT_EQ(c.rects.size(), 8u);
    EXPECT_EQ(Of(c.rects[6]), (Corners{120, 752, 1800, 950}));
    EXPECT_EQ(Of(c.rects[7]), (Corners{675, 757, 990, 863}));
  }
}

TEST(StartPage, DamagedResultsDrawInsideThePaintBox) {
  Rig r;
  StartResult& s = r.form->M.Start;
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  std::fill_n(s.Curve[ChU], 300, 32767.0f);
  s.Peak[ChU] = 1.0e30f;
  std::fill_n(s.Curve[ChIl], 300, -32768.0f);
  s.Peak[ChIl] = 3.0e38f;
  s.CurveMax[ChIl] = 1.0e-30f;
  std::fill_n(s.Curve[ChIf], 300, 100.0f);
  s.Peak[ChIf] = nan;
  s.CurveMax[ChIf] = 100.0f;
  std::fill_n(s.Curve[ChIk], 300, nan);
  s.Peak[ChIk] = 1.0f;
  s.CurveMax[ChIk] = inf;
  s.CursorIndex = 5000;
  s.CursorTime = inf;
  s.CursorValue[ChU] = nan;
  const std::pair<int, int> sizes[] = {{640, 385}, {1920, 1017}, {1, 1}};
  for (const auto& [w, h] : sizes) {
    SCOPED_TRACE(w);
    const RecordingCanvas c = r.Paint(w, h, 1);
    for (const auto& l : c.lines) {
      ASSERT_TRUE(l.y1 >= 0 && l.y1 <= h && l.y2 >= 0 && l.y2 <= h)
          << l.x1 << "," << l.y1 << " " << l.x2 << "," << l.y2;
      ASSERT_TRUE(l.x1 >= 0 && l.x1 <= w && l.x2 >= 0 && l.x2 <= w);
    }
    EXPECT_TRUE(c.AllWithin(0, std::max(w, h)));
    if (w == 640) {
      EXPECT_EQ(CurveSegments(c, clWhite).back().y2, 0) << "held to the paint box's top";
      EXPECT_EQ(CurveSegments(c, clRed).back().y2, 385) << "and its bottom";
      EXPECT_EQ(CurveSegments(c, clLime).back().y2, 280) << "a peak that is not a number draws flat";
      EXPECT_EQ(CurveSegments(c, clYellow).back().y2, 360);
      EXPECT_NE(c.Text("时间:  INF S"), nullptr);
      EXPECT_NE(c.Text("电压:  NAN V"), nullptr);
    }
  }
}

TEST(StartPage, WithoutAResultThePageIsThePrompt) {
  Rig r;
  r.form->M.Start.Valid = 0;
  const RecordingCanvas c = r.Paint(800, 500, 0);
  ASSERT_EQ(c.texts.size(), 1u);
  EXPECT_EQ(c.texts[0].text, "启动测试，先关灯，再开灯！");
  EXPECT_EQ(c.texts[0].x, 320);
  EXPECT_EQ(c.texts[0].y, 10);
  EXPECT_TRUE(c.lines.empty());
}

}  // namespace
}  // namespace kt
