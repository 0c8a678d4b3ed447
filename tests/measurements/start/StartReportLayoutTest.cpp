// The start report on a recording canvas: the positions of its texts, panels
// and curves in 0.01 mm (y upwards, 25 mm margins) in both languages, and
// damaged results held to the paper.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/start/StartCursor.h"
#include "support/Fakes.h"
#include "support/RecordingCanvas.h"

namespace kt {
namespace {

using test::LineItem;
using test::RecordingCanvas;
using test::TextItem;

struct Rig : test::FormRig {
  Rig() {
    RegisterMeasurementKinds(*form);
    StartResult& s = form->M.Start;
    s.Valid = 1;
    // Lamp voltage at full scale (1000 V) on sample 30, half of it negative on 31.
    s.Curve[ChU][30] = 20000.0f;
    s.Curve[ChU][31] = -10000.0f;
    s.CurveMax[ChU] = 20000.0f;
    s.Peak[ChU] = 1000.0f;
    s.PeakTime[ChU] = 0.5f;
    // Lamp current at half of full scale (1.5 A) on the cursor, sample 60.
    s.Curve[ChIl][60] = 500.0f;
    s.CurveMax[ChIl] = 500.0f;
    s.Peak[ChIl] = 0.75f;
    s.PeakTime[ChIl] = 1.0f;
    s.WarmUpTime = 0.9f;
    s.CurveMax[ChIf] = 0.0f;  // a peak over samples that are all 0
    s.Peak[ChIf] = 0.4f;
    s.CurveMax[ChIk] = 1.0f;  // absent
    SetStartCursor(s, 60);
    form->Info = {"Sample", "No-7", "EB-236", "GB", "25", "60", "Maker", "Lee", "", ""};
    std::strcpy(form->TestDate, "2026-12-6");
  }
  RecordingCanvas Print(int chinese) {
    form->ChineseMode = chinese;
    RecordingCanvas c;
    form->Kinds[StartTest].Report(*form, c);
    return c;
  }
};

void ExpectTextAt(const RecordingCanvas& c, const std::string& s, int x, int y, int nth = 0) {
  const TextItem* t = c.Text(s, nth);
  ASSERT_NE(t, nullptr) << s;
  EXPECT_EQ(t->x, x) << s;
  EXPECT_EQ(t->y, y) << s;
}

// Solid width-50 lines running left to right inside the plot: the curves.
std::vector<LineItem> CurveSegments(const RecordingCanvas& c) {
  std::vector<LineItem> out;
  for (const auto& l : c.lines)
    if (l.width == 50 && l.style == PenStyle::Solid && l.x2 > l.x1 && l.x2 < 2500 + 13000) out.push_back(l);
  return out;
}

TEST(StartReport, TextsStandAtTheirPlacesBelowTheMarginsInBothLanguages) {
  Rig r;
  for (int chinese : {0, 1}) {
    SCOPED_TRACE(chinese ? "Chinese" : "English");
    const RecordingCanvas c = r.Print(chinese);
    const TextItem* title =
        c.Text(chinese ? "KT6100 电子镇流器综合测试仪" : "KT6100 Electronic Ballast Test Instrument");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->x, 14300);
    EXPECT_EQ(title->y, -2000);
    EXPECT_EQ(title->align, AlignCenter);
    EXPECT_EQ(title->font.Height, 700);
    EXPECT_EQ(title->font.Face, "宋体");
    ExpectTextAt(c, chinese ? "启动特性测试报告" : "Start Characteristic Test Report", 14300, -2800);

    // Test information: labels at the same place, values where the language puts them.
    ExpectTextAt(c, chinese ? "名称:" : "Name:", 3500, -3800);
    ExpectTextAt(c, "Sample", 5000, -3800);
    ExpectTextAt(c, chinese ? "规格:" : "Standard:", 11500, -4300);
    ExpectTextAt(c, "GB", chinese ? 13000 : 14000, -4300);
    ExpectTextAt(c, "25℃", chinese ? 22000 : 23500, -3800);
    ExpectTextAt(c, "60%", chinese ? 22000 : 23500, -4300);
    ExpectTextAt(c, chinese ? "制造商:" : "Manufacturer:", 3500, -18700);
    ExpectTextAt(c, "Maker", chinese ? 6000 : 6500, -18700);
    ExpectTextAt(c, chinese ? "测试员:" : "Operator:", 18500, -18700);
    ExpectTextAt(c, "Lee", chinese ? 20500 : 21000, -18700);
    ExpectTextAt(c, "2026-12-6", chinese ? 6000 : 6500, -19200);
    EXPECT_EQ(c.Text("Lee")->font.Height, 400);

    // The value column: channel rows at 14000, indented rows at 15000, values at 20000.
    ExpectTextAt(c, chinese ? "灯电压:" : "Lamp Voltage:", 16500, -5100);
    ExpectTextAt(c, chinese ? "峰值电压:" : "Peak Voltage:", 17500, -5850);
    ExpectTextAt(c, "1000.0 (V)", 22500, -5850);
    ExpectTextAt(c, "0.50 (S)", 22500, -6600);
    ExpectTextAt(c, "0.50 s/div", 22500, -7350);
    ExpectTextAt(c, chinese ? "预热时间:" : "Time for warm-up:", 16500, -10850);
    ExpectTextAt(c, "0.90 (S)", 22500, -10850);
    ExpectTextAt(c, "0.750 (A)", 22500, -9350);
    ExpectTextAt(c, "0.400 (A)", 22500, -12850);
    ExpectTextAt(c, chinese ? "导入阴极电流:" : "Current Lead to Cathode:", 16500, -15600);
    ExpectTextAt(c, "0.000 (A)", 22500, -16350);
    ExpectTextAt(c, "0.00 (S)", 22500, -17100, 1);  // the filament current's comes first

    // Cursor readouts at 8000, time over value.
    const std::string time = chinese ? "时间: " : "Time:    ";
    ExpectTextAt(c, time + "1.00 S", 10500, -5300);
    ExpectTextAt(c, time + "1.00 S", 10500, -15800, 3);
    ExpectTextAt(c, (chinese ? "电压: " : "Voltage: ") + std::string("0.0 V"), 10500, -5800);
    ExpectTextAt(c, (chinese ? "电流: " : "Current: ") + std::string("0.750 A"), 10500, -9300);
    ExpectTextAt(c, (chinese ? "电流: " : "Current: ") + std::string("0.000 A"), 10500, -12800);
    EXPECT_EQ(c.texts.size(), 2u + 18 + 16 + 12 + 8);
  }
}

TEST(StartReport, PanelsGridsAndCurvesAreDrawnFromTheMargins) {
  Rig r;
  const RecordingCanvas c = r.Print(0);
  EXPECT_TRUE(c.rects.empty()) << "outlines only: a filled box would wipe out the texts drawn before";
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    const int top = -(5000 + 3500 * k), bottom = top - 3000;
    const LineItem* edge = c.Line(2500, top, 26200, top);
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(edge->width, 50);
    EXPECT_NE(c.Line(26200, bottom, 2500, bottom), nullptr);
    EXPECT_NE(c.Line(15500, top, 15500, bottom), nullptr) << "divider";
    const LineItem* grid = c.Line(2500 + 1300, top, 2500 + 1300, bottom);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->style, PenStyle::Dot);
    EXPECT_EQ(grid->width, 10);
    EXPECT_NE(c.Line(2500, top - 600, 15500, top - 600), nullptr);
    const int boxTop = -(5200 + 3500 * k);
    const LineItem* box = c.Line(10300, boxTop, 14000, boxTop);
    ASSERT_NE(box, nullptr) << "cursor box";
    EXPECT_EQ(box->width, 10);
    EXPECT_NE(c.Line(14000, boxTop - 1200, 10300, boxTop - 1200), nullptr);
  }
  EXPECT_NE(c.Line(2500, -5000, 2500, -18500), nullptr);
  EXPECT_NE(c.Line(26200, -5000, 26200, -18500), nullptr);

  const auto curves = CurveSegments(c);
  ASSERT_EQ(curves.size(), 4u * 299);
  // Sample i at trunc(1300 i / 30): 30 -> 1300, 31 -> 1343, 299 -> 12956.
  EXPECT_EQ(curves[29].x2, 3800);
  EXPECT_EQ(curves[29].y2, -5000) << "1000 V touches the panel's top";
  EXPECT_EQ(curves[30].x2, 2500 + 1343);
  EXPECT_EQ(curves[30].y2, -(8000 + 1500)) << "a negative sample lies below the baseline";
  EXPECT_EQ(curves[298].x2, 2500 + 12956);
  EXPECT_EQ(curves[299 + 59].y2, -(11500 - 1500)) << "half of full scale";
  // The cursor line of the lamp current rises from its baseline at sample 60.
  const LineItem* cursor = c.Line(2500 + 2600, -11500, 2500 + 2600, -10000);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(cursor->width, 50);
  // All-zero filament current and absent cathode-lead current lie flat.
  for (int i = 2 * 299; i < 4 * 299; ++i)
    ASSERT_EQ(curves[static_cast<std::size_t>(i)].y1, curves[static_cast<std::size_t>(i)].y2);
  EXPECT_EQ(curves[2 * 299].y2, -15000);
  EXPECT_EQ(curves[3 * 299].y2, -18500);
}

TEST(StartReport, DamagedResultsStayOnThePaper) {
  Rig r;
  StartResult& s = r.form->M.Start;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::fill_n(s.Curve[ChU], 300, 32767.0f);
  s.Peak[ChU] = 1.0e30f;
  std::fill_n(s.Curve[ChIk], 300, -32768.0f);
  s.Peak[ChIk] = 3.0e38f;
  s.CurveMax[ChIk] = 1.0e-38f;
  s.Peak[ChIl] = nan;
  s.CursorIndex = -20;
  s.CursorValue[ChIf] = nan;
  for (int chinese : {0, 1}) {
    const RecordingCanvas c = r.Print(chinese);
    for (const auto& l : c.lines) {
      ASSERT_TRUE(l.x1 >= 0 && l.x1 <= 29700 && l.x2 >= 0 && l.x2 <= 29700);
      ASSERT_TRUE(l.y1 <= 0 && l.y1 >= -21000 && l.y2 <= 0 && l.y2 >= -21000) << l.y1 << " " << l.y2;
    }
    const auto curves = CurveSegments(c);
    EXPECT_EQ(curves[10].y2, 0) << "held to the paper's top";
    EXPECT_EQ(curves[3 * 299 + 10].y2, -21000) << "and its bottom";
    EXPECT_EQ(curves[299 + 10].y2, -11500) << "a peak that is not a number draws flat";
    EXPECT_NE(c.Text((chinese ? "电流: " : "Current: ") + std::string("NAN A")), nullptr);
  }
}

}  // namespace
}  // namespace kt
