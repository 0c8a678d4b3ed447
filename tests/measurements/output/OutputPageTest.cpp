// The output page on a recording canvas: positions of representative items
// at two window sizes in both languages, and damaged results that must still
// draw inside the page. Expected pixels were worked out by hand from the
// layout (sx = W / 640, sy = H / 385 as 32-bit floats).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/MeasureSet.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "measurements/output/OutputPage.h"
#include "support/Fakes.h"
#include "support/RecordingCanvas.h"

namespace kt {
namespace {

using test::LineItem;
using test::RecordingCanvas;
using test::TextItem;

constexpr Colour kWhite = 0xFFFFFF, kRed = 0x0000FF, kLime = 0x00FF00, kYellow = 0x00FFFF;

OutputResult Sample() {
  OutputResult o;
  o.OscFreq = 45.678f;
  o.Pout = 36.4f;
  o.Vm = 160.2f;
  o.Vrms = 110.4f;
  o.Vcf = 1.45f;
  o.Ilm = 0.456f;
  o.Ilrms = 0.312f;
  o.IlcfPos = 1.5f;
  o.IlcfNeg = 1.42f;
  o.Ildhc = 5.3f;
  o.Ifm = 0.3f;
  o.Ifrms = 0.21f;
  o.Ifcf = 1.43f;
  o.Ikm = 0.7f;
  o.Ikrms = 0.48f;
  o.Ikcf = 1.46f;
  for (int c = 0; c < 4; ++c) {
    std::fill_n(o.OutputWave[c], 150, 1000.0f);
    o.OutputWavePeak[c] = 1000.0f;
  }
  // Lamp current: a half-size sample and a negative one of the same size.
  o.OutputWave[ChIl][1] = 500.0f;
  o.OutputWave[ChIl][2] = -500.0f;
  return o;
}

RecordingCanvas Draw(const OutputResult& o, bool chinese, int w, int h) {
  RecordingCanvas c;
  DrawOutputPage(o, chinese ? OutputPageChinese : OutputPageEnglish, c, w, h);
  return c;
}

// The text drawn at exactly (x, y), or nullptr.
const TextItem* TextAt(const RecordingCanvas& c, int x, int y) {
  for (const auto& t : c.texts)
    if (t.x == x && t.y == y) return &t;
  return nullptr;
}

#define EXPECT_TEXT(canvas, x, y, str)                                       \
  do {                                                                       \
    const TextItem* t_ = TextAt(canvas, x, y);                               \
    ASSERT_NE(t_, nullptr) << "nothing at (" << (x) << ", " << (y) << ")";   \
    EXPECT_EQ(t_->text, str);                                                \
  } while (0)

// The band strokes of a panel: vertical lines of its colour and width 1 that
// lie strictly inside the panel (the outline and divider span it fully).
std::vector<LineItem> Strokes(const RecordingCanvas& c, Colour colour, int top, int bottom) {
  std::vector<LineItem> out;
  for (const auto& l : c.lines)
    if (l.colour == colour && l.width == 1 && l.x1 == l.x2 && l.y1 != l.y2 && std::min(l.y1, l.y2) > top &&
        std::max(l.y1, l.y2) < bottom)
      out.push_back(l);
  return out;
}

bool Within(const RecordingCanvas& c, int w, int h) {
  const auto in = [&](int x, int y) { return x >= 0 && x <= w && y >= 0 && y <= h; };
  for (const auto& t : c.texts)
    if (!in(t.x, t.y)) return false;
  for (const auto& l : c.lines)
    if (!in(l.x1, l.y1) || !in(l.x2, l.y2)) return false;
  for (const auto& r : c.rects)
    if (!in(r.x1, r.y1) || !in(r.x2, r.y2)) return false;
  return true;
}

// ---------------------------------------------------------------------------

TEST(OutputPage, DesignSizeInBothLanguages) {
  for (bool zh : {false, true}) {
    SCOPED_TRACE(zh ? "Chinese" : "English");
    const RecordingCanvas c = Draw(Sample(), zh, 640, 385);

    // Background first: dark blue with the default black pen.
    ASSERT_FALSE(c.rects.empty());
    EXPECT_EQ(c.rects[0].x1, 0);
    EXPECT_EQ(c.rects[0].y1, 0);
    EXPECT_EQ(c.rects[0].x2, 640);
    EXPECT_EQ(c.rects[0].y2, 385);
    EXPECT_EQ(c.rects[0].brush, 0x960000u);
    EXPECT_EQ(c.rects[0].pen, 0u);

    // Title, centred in the gap of the frame.
    const TextItem* t1 = TextAt(c, 320, 5);
    const TextItem* t2 = TextAt(c, 320, 25);
    ASSERT_TRUE(t1 && t2);
    EXPECT_EQ(t1->text, zh ? "KT6100 电子镇流器综合测试仪" : "KT6100 Electronic Ballast Test Instrument");
    EXPECT_EQ(t2->text, zh ? "输出特性测试报告" : "Output Characteristic Test Report");
    EXPECT_EQ(t1->align, AlignCenter);
    EXPECT_EQ(t1->font.Face, zh ? "宋体" : "Times New Roman");
    EXPECT_EQ(t1->font.Height, zh ? 18 : 20);
    EXPECT_EQ(t1->font.Color, kWhite);

    // Frame: white, 2 pixels, open at the title.
    for (const auto& [x1, y1, x2, y2] : {std::array{20, 17, 100, 17}, std::array{540, 17, 620, 17},
                                        std::array{20, 17, 20, 383}, std::array{20, 383, 620, 383},
                                        std::array{620, 383, 620, 17}}) {
      const LineItem* l = c.Line(x1, y1, x2, y2);
      ASSERT_NE(l, nullptr) << x1 << "," << y1 << " " << x2 << "," << y2;
      EXPECT_EQ(l->colour, kWhite);
      EXPECT_EQ(l->width, 2);
    }
    EXPECT_EQ(c.Line(100, 17, 540, 17), nullptr) << "no frame edge behind the title";

    // Lamp-current panel: outline, divider and axis in red.
    for (const auto& [x1, y1, x2, y2] :
         {std::array{40, 126, 600, 126}, std::array{600, 126, 600, 200}, std::array{600, 200, 40, 200},
          std::array{40, 200, 40, 126}, std::array{340, 126, 340, 200}, std::array{40, 163, 340, 163}}) {
      const LineItem* l = c.Line(x1, y1, x2, y2);
      ASSERT_NE(l, nullptr) << x1 << "," << y1 << " " << x2 << "," << y2;
      EXPECT_EQ(l->colour, kRed);
      EXPECT_EQ(l->width, 1);
    }

    // Band: one stroke per sample, 2 pixels apart, 34 units at the peak; the
    // negative sample draws the same stroke the other way round.
    const std::vector<LineItem> strokes = Strokes(c, kRed, 126, 200);
    EXPECT_EQ(strokes.size(), 150u);
    ASSERT_NE(c.Line(40, 129, 40, 197), nullptr);
    ASSERT_NE(c.Line(42, 146, 42, 180), nullptr);
    const LineItem* neg = c.Line(44, 146, 44, 180);
    ASSERT_NE(neg, nullptr);
    EXPECT_EQ(neg->y1, 180) << "drawn upwards";
    const LineItem* pos = c.Line(42, 146, 42, 180);
    EXPECT_EQ(pos->y1, 146);
    EXPECT_NE(c.Line(338, 129, 338, 197), nullptr) << "last of 150 strokes";

    // Values: headers at 370, indented labels at 390, values at 520.
    EXPECT_TEXT(c, 390, 71, zh ? "有效值:" : "Vrms:");
    EXPECT_TEXT(c, 520, 71, "110.4 (V)");
    EXPECT_EQ(TextAt(c, 520, 71)->font.Color, kWhite);
    EXPECT_EQ(TextAt(c, 520, 71)->font.Height, zh ? 14 : 15);
    EXPECT_EQ(TextAt(c, 520, 71)->align, AlignLeft);
    EXPECT_TEXT(c, 370, 130, zh ? "灯电流有效值:" : "Lamp Current RMS:");
    EXPECT_TEXT(c, 520, 130, "0.312 (A)");
    EXPECT_EQ(TextAt(c, 520, 130)->font.Color, kRed);
    EXPECT_TEXT(c, 520, 178, "5.3 %");
    EXPECT_TEXT(c, 370, 290, zh ? "导入阴极电流:" : "Current Lead to Cathode :");
    EXPECT_EQ(TextAt(c, 370, 290)->font.Color, kYellow);
    EXPECT_TEXT(c, 520, 226, "0.210 (A)");
    EXPECT_EQ(TextAt(c, 520, 226)->font.Color, kLime);

    // Crest-factor row of the lamp current, in its two forms.
    if (zh) {
      EXPECT_TEXT(c, 370, 162, "波峰系数:");
      EXPECT_TEXT(c, 445, 162, "正波:1.50");
      EXPECT_TEXT(c, 520, 162, "负波:-1.42");
    } else {
      EXPECT_TEXT(c, 390, 162, "Ilcf:");
      EXPECT_TEXT(c, 500, 162, "1.50");
      EXPECT_TEXT(c, 545, 162, "-1.42");
    }
    EXPECT_EQ(c.TextsAt(162).size(), 3u);

    // Bottom line in lime.
    EXPECT_TEXT(c, 90, 365, zh ? "功率=36.4 (W)" : "Pout=36.4 (W)");
    EXPECT_TEXT(c, 440, 365, zh ? "振荡频率=45.68 (kHz)" : "f   =45.68 (kHz)");
    EXPECT_EQ(TextAt(c, 90, 365)->font.Color, kLime);

    EXPECT_TRUE(Within(c, 640, 385));
  }
}

TEST(OutputPage, FullHdSizeInBothLanguages) {
  for (bool zh : {false, true}) {
    SCOPED_TRACE(zh ? "Chinese" : "English");
    const RecordingCanvas c = Draw(Sample(), zh, 1920, 1017);
    // sx = 3, sy = 2.6415584; X0 = 120, Y0 = 13.
    const TextItem* t1 = TextAt(c, 960, 13);
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(t1->font.Height, zh ? 47 : 52);
    EXPECT_NE(TextAt(c, 960, 65), nullptr);

    for (const auto& [x1, y1, x2, y2] : {std::array{60, 44, 300, 44}, std::array{1620, 44, 1860, 44},
                                        std::array{60, 44, 60, 1011}, std::array{60, 1011, 1860, 1011}})
      EXPECT_NE(c.Line(x1, y1, x2, y2), nullptr) << x1 << "," << y1 << " " << x2 << "," << y2;
    EXPECT_NE(c.Line(120, 332, 1800, 332), nullptr);
    EXPECT_NE(c.Line(1020, 332, 1020, 528), nullptr);
    EXPECT_NE(c.Line(120, 430, 1020, 430), nullptr);

    // 450 strokes, half-height 89 about an axis at 430.37 (each end
    // truncated on its own).
    // One of them, between -500 and 1000 at a third of the way, is 0.
    EXPECT_EQ(Strokes(c, kRed, 332, 528).size(), 449u);
    EXPECT_NE(c.Line(120, 341, 120, 519), nullptr);
    const LineItem* half = c.Line(126, 386, 126, 474);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->y1, 386);
    const LineItem* neg = c.Line(132, 386, 132, 474);
    ASSERT_NE(neg, nullptr);
    EXPECT_EQ(neg->y1, 474);

    EXPECT_TEXT(c, 1170, 187, zh ? "有效值:" : "Vrms:");
    EXPECT_TEXT(c, 1560, 187, "110.4 (V)");
    EXPECT_EQ(TextAt(c, 1560, 187)->font.Height, zh ? 36 : 39);
    EXPECT_TEXT(c, 1110, 343, zh ? "灯电流有效值:" : "Lamp Current RMS:");
    EXPECT_TEXT(c, 1560, 343, "0.312 (A)");
    if (zh) {
      EXPECT_TEXT(c, 1110, 427, "波峰系数:");
      EXPECT_TEXT(c, 1335, 427, "正波:1.50");
      EXPECT_TEXT(c, 1560, 427, "负波:-1.42");
    } else {
      EXPECT_TEXT(c, 1170, 427, "Ilcf:");
      EXPECT_TEXT(c, 1500, 427, "1.50");
      EXPECT_TEXT(c, 1635, 427, "-1.42");
    }
    EXPECT_NE(TextAt(c, 270, 963), nullptr);
    EXPECT_NE(TextAt(c, 1320, 963), nullptr);
    EXPECT_TRUE(Within(c, 1920, 1017));
  }
}

TEST(OutputPage, FractionalScaleTruncatesEachColumnOnItsOwn) {
  // 700 x 500: sx = 1.09375, X0 = 43. The indented labels stand 20 units
  // right of the truncated header column (403 + 21.875 -> 424), not at
  // 350 units from X0 (425).
  for (bool zh : {false, true}) {
    const RecordingCanvas c = Draw(Sample(), zh, 700, 500);
    EXPECT_TEXT(c, 424, 91, zh ? "有效值:" : "Vrms:");
    EXPECT_TEXT(c, 568, 91, "110.4 (V)");
    if (zh) {
      EXPECT_TEXT(c, 485, 209, "正波:1.50");
    } else {
      EXPECT_TEXT(c, 546, 209, "1.50");
      EXPECT_TEXT(c, 595, 209, "-1.42");
    }
  }
}

TEST(OutputPage, WiderWindowInterpolatesTheLastPointTowardsZero) {
  // 1280 wide: 300 points for 150 samples; the last lies half way between
  // sample 149 and the 0 after the curve.
  const RecordingCanvas c = Draw(Sample(), false, 1280, 800);
  // X0 = 80, axis of panel 0 at 10 + 78 * 2.0779 = 172.08, h = 70.
  EXPECT_EQ(Strokes(c, kWhite, 95, 248).size(), 300u);
  EXPECT_EQ(c.Line(678, 102, 678, 242), nullptr) << "not sample 149 in full";
  EXPECT_NE(c.Line(678, 137, 678, 207), nullptr) << "half of it";
  EXPECT_NE(c.Line(676, 102, 676, 242), nullptr) << "sample 149 itself";
}

TEST(OutputPage, LargeNumbersSwitchToExponentForm) {
  OutputResult o = Sample();
  o.Pout = 12345.6f;
  o.Vm = 99999.0f;
  const RecordingCanvas en = Draw(o, false, 640, 385);
  EXPECT_TEXT(en, 90, 365, "Pout=1.235E+4 (W)");
  EXPECT_TEXT(en, 520, 87, "1.000E+5 (V)");
  const RecordingCanvas zh = Draw(o, true, 640, 385);
  EXPECT_TEXT(zh, 90, 365, "功率=1.235E+4 (W)");
}

TEST(OutputPage, AbsentChannelShowsOnlyItsAxisAndZeros) {
  OutputResult o = Sample();
  ResetOutputChannel(o, ChIf);
  ResetOutputChannel(o, ChU);
  const RecordingCanvas c = Draw(o, false, 640, 385);
  EXPECT_TRUE(Strokes(c, kLime, 206, 280).empty());
  EXPECT_TRUE(Strokes(c, kWhite, 46, 120).empty());
  EXPECT_NE(c.Line(40, 243, 340, 243), nullptr) << "the axis stays";
  EXPECT_EQ(Strokes(c, kYellow, 286, 360).size(), 150u) << "other channels keep their bands";
  EXPECT_TEXT(c, 520, 226, "0.000 (A)");
  EXPECT_TEXT(c, 520, 258, "0.00");
  EXPECT_TEXT(c, 520, 71, "0.0 (V)");
  EXPECT_TEXT(c, 90, 365, "Pout=0.0 (W)");
}

TEST(OutputPage, ZeroPeakOfAPresentChannelDrawsNoBand) {
  OutputResult o = Sample();
  std::fill_n(o.OutputWave[ChIk], 200, 0.0f);
  o.OutputWavePeak[ChIk] = 0.0f;
  o.OutputWavePeak[ChIl] = 0.0f;  // curve not zero, peak zero: no scale either
  const RecordingCanvas c = Draw(o, true, 640, 385);
  EXPECT_TRUE(Strokes(c, kYellow, 286, 360).empty());
  EXPECT_TRUE(Strokes(c, kRed, 126, 200).empty());
  EXPECT_EQ(Strokes(c, kWhite, 46, 120).size(), 150u);
  EXPECT_TRUE(Within(c, 640, 385));
}

TEST(OutputPage, DamagedResultsStillDrawInsideThePage) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float big = std::numeric_limits<float>::max();
  const float tiny = std::numeric_limits<float>::denorm_min();
  const std::vector<float> fills = {nan, inf, -inf, big, -big, tiny, -1000.0f};
  const std::vector<float> peaks = {nan, inf, -inf, big, tiny, -5.0f, 0.0f, 1000.0f};
  for (float fill : fills) {
    for (float peak : peaks) {
      OutputResult o = Sample();
      float* values = &o.OscFreq;
      for (int i = 0; i < 16; ++i) values[i] = fill;
      for (int ch = 0; ch < 4; ++ch) {
        for (int i = 0; i < 200; i += 2) o.OutputWave[ch][i] = fill;
        o.OutputWavePeak[ch] = peak;
      }
      for (const auto& [w, h] : {std::pair{640, 385}, std::pair{1, 1}, std::pair{7, 3}, std::pair{3000, 200}}) {
        for (bool zh : {false, true}) {
          const RecordingCanvas c = Draw(o, zh, w, h);
          ASSERT_TRUE(Within(c, w, h)) << fill << " " << peak << " " << w << "x" << h;
          ASSERT_EQ(c.texts.size(), 2u + 2u + 16u + 12u + 2u) << "titles, bottom line, labels, values, crest values";
        }
      }
    }
  }
}

TEST(OutputPage, VeryWideWindowKeepsTheBandBounded) {
  // 150000 pixels would ask for 35156 points: the whole curve is drawn on
  // the bounded number of points instead, still inside the page.
  const RecordingCanvas c = Draw(Sample(), false, 150000, 385);
  EXPECT_TRUE(Within(c, 150000, 385));
  const int x0 = 9375;
  int points = 0, lastX = 0;
  for (const auto& l : c.lines)
    if (l.colour == kWhite && l.width == 1 && l.x1 == l.x2 && std::min(l.y1, l.y2) > 46 && std::max(l.y1, l.y2) < 120) {
      ++points;
      lastX = std::max(lastX, l.x1);
    }
  EXPECT_EQ(points, 16384);
  EXPECT_EQ(lastX, x0 + 2 * 16383);
  EXPECT_NE(c.Line(x0, 49, x0, 117), nullptr);
  EXPECT_NE(c.Line(lastX, 83, lastX, 83), nullptr) << "the last point has reached the 0 after the curve";
}

TEST(OutputPage, PaintHookFollowsTheLanguageSwitch) {
  test::FakeClock clock;
  test::FakeHost host;
  test::ScriptedPort port(clock);
  auto form = std::make_unique<Form>(host, port, clock);
  form->M.Output = Sample();
  for (int mode : {0, 1}) {
    form->ChineseMode = mode;
    RecordingCanvas c;
    PaintOutputPage(*form, c, 640, 385);
    const TextItem* t = TextAt(c, 320, 25);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->text, mode ? "输出特性测试报告" : "Output Characteristic Test Report");
  }
}

}  // namespace
}  // namespace kt
