// The comprehensive page's drawing compared with the layout's coordinates at
// the design size and a full-HD paint box, in both languages, and what
// damaged results and extreme window sizes do to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/Geometry.h"
#include "link/Form.h"
#include "measurements/comp/CompPage.h"
#include "support/Fakes.h"
#include "support/RecordingCanvas.h"
#include "support/SampleResults.h"

namespace kt {
namespace {

using test::LineItem;
using test::RecordingCanvas;

struct Rig : test::FormRig {
  Rig() {
    test::FillTypicalInput(form->M.Input);
    OutputResult& o = form->M.Output;
    o.Vrms = 103.4f;
    o.Ilrms = 0.3125f;
    o.Ifrms = 0.2031f;
    o.Ikrms = 0.4448f;
    o.Pout = 32.27f;
    o.OscFreq = 45.26f;
    o.Ilm = 0.4517f;
    o.IlcfPos = 1.445f;
    for (int c = 0; c < 4; ++c) {
      for (int i = 0; i < 150; ++i) o.OutputWave[c][i] = 1000.0f + 10.0f * i;
      o.OutputWavePeak[c] = 2490.0f;
    }
    form->Info.LuminousFlux = "3200";
    form->Info.ColourTemperature = "4000";
  }
  RecordingCanvas Paint(int w, int h, int chinese) {
    form->ChineseMode = chinese;
    RecordingCanvas c;
    PaintCompPage(*form, c, w, h);
    return c;
  }
};

void ExpectText(const RecordingCanvas& c, const std::string& s, int x, int y, int height, Colour colour, int align,
                int nth = 0) {
  const auto* t = c.Text(s, nth);
  ASSERT_NE(t, nullptr) << "missing text " << s;
  EXPECT_EQ(t->x, x) << s;
  EXPECT_EQ(t->y, y) << s;
  EXPECT_EQ(t->font.Height, height) << s;
  EXPECT_EQ(t->font.Face, "Times New Roman") << s;
  EXPECT_EQ(t->font.Color, colour) << s;
  EXPECT_EQ(t->font.Escapement, 0) << s;
  EXPECT_EQ(t->align, align) << s;
}

void ExpectRotated(const RecordingCanvas& c, const std::string& s, int x, int y, int height) {
  const auto* t = c.Text(s);
  ASSERT_NE(t, nullptr) << "missing caption " << s;
  EXPECT_EQ(t->x, x) << s;
  EXPECT_EQ(t->y, y) << s;
  EXPECT_EQ(t->font.Escapement, 900) << s << " runs upwards";
  EXPECT_EQ(t->font.Height, height) << s;
  EXPECT_EQ(t->align, AlignCenter) << s;
}

// Vertical strokes of one colour inside a horizontal strip: the band's.
std::vector<LineItem> Strokes(const RecordingCanvas& c, Colour colour, int top, int bottom) {
  std::vector<LineItem> out;
  for (const auto& l : c.lines)
    if (l.colour == colour && l.x1 == l.x2 && std::min(l.y1, l.y2) >= top && std::max(l.y1, l.y2) <= bottom) out.push_back(l);
  return out;
}

// The polyline of one colour above the given y (the mains picture).
std::vector<LineItem> Polyline(const RecordingCanvas& c, Colour colour, int below) {
  std::vector<LineItem> out;
  for (const auto& l : c.lines)
    if (l.colour == colour && std::max(l.y1, l.y2) < below) out.push_back(l);
  return out;
}

TEST(CompPage, DesignSizeDrawsAtTheDesignCoordinates) {
  Rig r;
  const RecordingCanvas c = r.Paint(640, 385, 0);
  ASSERT_FALSE(c.rects.empty());
  EXPECT_EQ(c.rects[0].x2, 640);
  EXPECT_EQ(c.rects[0].y2, 385);
  EXPECT_EQ(c.rects[0].brush, clWhite);
  ExpectText(c, "KT6100 Electronic Ballast Test Instrument", 320, 5, 20, clBlack, AlignCenter);
  ExpectText(c, "Compositive Characteristic Test Report", 320, 25, 20, clBlack, AlignCenter);
  ExpectRotated(c, "Input", 20, 115, 15);
  ExpectRotated(c, "Characteristic", 40, 115, 15);
  ExpectRotated(c, "Output Characteristic", 20, 285, 15);
  ExpectRotated(c, "Lamp Voltage", 45, 225, 15);
  ExpectRotated(c, "Lamp Current", 45, 325, 15);

  ExpectText(c, "Luminous flux:", 285, 49, 15, clBlack, AlignLeft);
  ExpectText(c, "3200 lm", 380, 49, 15, clBlue, AlignLeft);
  ExpectText(c, "Color Temperature:", 445, 49, 15, clBlack, AlignLeft);
  ExpectText(c, "4000 K", 565, 49, 15, clBlue, AlignLeft);

  ExpectText(c, "Urms (V)", 290, 69, 15, clBlack, AlignLeft);
  ExpectText(c, "229.6", 387, 69, 15, clBlue, AlignRight);
  ExpectText(c, "0.175", 619, 69, 15, clBlue, AlignRight);  // Irmsw
  ExpectText(c, "P     (W)", 290, 89, 15, clBlack, AlignLeft);
  ExpectText(c, "CFi", 500, 109, 15, clBlack, AlignLeft);
  ExpectText(c, "1.87", 619, 109, 15, clBlue, AlignRight);
  ExpectText(c, "THDIw", 560, 129, 15, clBlack, AlignCenter);
  ExpectText(c, "30.6%", 560, 149, 15, clBlue, AlignCenter);

  ExpectText(c, "spectrum", 475, 209, 15, clBlack, AlignCenter);
  ExpectText(c, "voltage", 540, 209, 15, clRed, AlignCenter);
  ExpectText(c, "current", 595, 209, 15, clBlue, AlignCenter);
  ExpectText(c, "1", 480, 249, 15, clBlack, AlignRight);
  ExpectText(c, "100.0", 552, 249, 15, clRed, AlignRight);
  ExpectText(c, "100.0", 612, 249, 15, clBlue, AlignRight, 1);
  ExpectText(c, "11", 480, 349, 15, clBlack, AlignRight);
  ExpectText(c, "11.5", 552, 349, 15, clRed, AlignRight);
  EXPECT_EQ(c.Text("13"), nullptr) << "odd bins 1 to 11 only";

  ExpectText(c, "Vrms", 320, 209, 15, clBlack, AlignCenter);
  ExpectText(c, "103.4 (V)", 320, 229, 15, clBlue, AlignCenter);
  ExpectText(c, "f", 395, 289, 15, clBlack, AlignCenter);
  ExpectText(c, "45.26 (kHz)", 395, 309, 15, clBlue, AlignCenter);
  ExpectText(c, "Ilcf", 395, 329, 15, clBlack, AlignCenter);
  ExpectText(c, "1.45", 395, 349, 15, clBlue, AlignCenter);

  // Frame, section dividers and the tables' grids.
  ASSERT_NE(c.Line(15, 46, 627, 46), nullptr);
  EXPECT_EQ(c.Line(15, 46, 627, 46)->width, 2);
  EXPECT_NE(c.Line(627, 46, 627, 375), nullptr);
  EXPECT_EQ(c.Line(15, 175, 627, 175)->width, 1);
  EXPECT_NE(c.Line(280, 46, 280, 375), nullptr);
  EXPECT_NE(c.Line(40, 275, 280, 275), nullptr);
  EXPECT_NE(c.Line(285, 85, 620, 85), nullptr) << "input table row line";
  EXPECT_NE(c.Line(348, 65, 348, 125), nullptr);
  EXPECT_NE(c.Line(388, 65, 388, 165), nullptr);
  EXPECT_NE(c.Line(442, 227, 622, 227), nullptr) << "harmonic header line";
  EXPECT_NE(c.Line(511, 207, 511, 367), nullptr);
  EXPECT_NE(c.Line(285, 367, 435, 367), nullptr) << "output table's last row line";
  EXPECT_NE(c.Line(355, 207, 355, 367), nullptr);

  // The mains picture: two periods, 100 points each, from every second
  // sample; voltage 35 and current 45 pixels at their peaks.
  const auto red = Polyline(c, clRed, 175);
  ASSERT_EQ(red.size(), 200u);
  EXPECT_EQ(red.front().x1, 70);
  EXPECT_EQ(red[25].y2, 110 - 35) << "point 25 is sample 50, the crest";
  EXPECT_EQ(red[50].y2, 110);
  EXPECT_EQ(red[125].y2, 110 - 35) << "the period again";
  EXPECT_EQ(red[125].x2, 70 + 125);
  EXPECT_EQ(red.back().x2, 269);
  const auto blue = Polyline(c, clBlue, 175);
  ASSERT_EQ(blue.size(), 200u);
  EXPECT_EQ(blue[25].y2, 110 - 45);

  // The two bands: 100 strokes, 2 pixels apart, 40 pixels at the peak.
  const auto voltage = Strokes(c, clRed, 179, 269);
  ASSERT_EQ(voltage.size(), 100u);
  EXPECT_EQ(voltage[0].x1, 70);
  EXPECT_EQ(voltage[99].x1, 268);
  for (const auto& s : voltage) EXPECT_EQ(s.y1 + s.y2, 2 * 224) << "mirrored about the axis";
  const auto current = Strokes(c, clBlue, 279, 369);
  ASSERT_EQ(current.size(), 100u);
  EXPECT_EQ(std::abs(current[0].y2 - current[0].y1), 2 * 16) << "1000 of 2490 of 40 pixels";
  EXPECT_NE(c.Line(70, 324, 270, 324), nullptr) << "lamp-current axis";
}

TEST(CompPage, AFullHdWindowScalesEveryPositionInBothLanguages) {
  Rig r;
  for (int chinese : {0, 1}) {
    SCOPED_TRACE(chinese ? "Chinese" : "English");
    const RecordingCanvas c = r.Paint(1920, 1017, chinese);
    ExpectText(c, chinese ? "综合特性测试报告" : "Compositive Characteristic Test Report", 960, 65, chinese ? 47 : 52,
               clBlack, AlignCenter);
    ExpectText(c, chinese ? "光通量:" : "Luminous flux:", 855, 129, 39, clBlack, AlignLeft);
    ExpectText(c, "4000 K", 1695, 129, 39, clBlue, AlignLeft);
    ExpectText(c, chinese ? "宽频功率因数" : "PFw", 1500, 233, 39, clBlack, AlignLeft);
    ExpectText(c, "0.941", 1857, 233, 39, clBlue, AlignRight);
    ExpectText(c, chinese ? "窄频电流总谐波" : "THDI", 1335, 337, 39, clBlack, AlignCenter);
    ExpectText(c, "27.6%", 1335, 389, 39, clBlue, AlignCenter);
    if (chinese) {
      ExpectText(c, "谐波", 1500, 550, 39, clBlack, AlignCenter);
      ExpectText(c, "3", 1515, 706, 39, clBlack, AlignRight);
      ExpectText(c, "13.3", 1836, 706, 39, clBlue, AlignRight);
      ExpectText(c, "导入阴极电流", 1275, 550 + 2 * 52, 39, clBlack, AlignCenter);
      ExpectText(c, "0.445 (A)", 1275, 550 + 3 * 52, 39, clBlue, AlignCenter);
      EXPECT_NE(c.Line(1446, 539, 1866, 539), nullptr) << "the grid keeps its top";
      EXPECT_NE(c.Line(1572, 539, 1572, 539 + 8 * 52), nullptr);
      EXPECT_NE(c.Line(1125, 539, 1125, 539 + 8 * 52), nullptr);
      EXPECT_NE(c.Line(855, 539 + 52, 1425, 539 + 52), nullptr);
      // Stacked captions, upright, one character under the other.
      const struct {
        const char* ch;
        int nth, x, y;
      } stacked[] = {{"输", 0, 108, 171}, {"析", 0, 108, 381}, {"输", 1, 60, 499}, {"出", 0, 60, 583},
                     {"析", 1, 60, 919},  {"灯", 0, 135, 499}, {"压", 0, 135, 640}, {"灯", 1, 135, 763},
                     {"流", 0, 135, 904}};
      for (const auto& s : stacked) ExpectText(c, s.ch, s.x, s.y, 39, clBlack, AlignLeft, s.nth);
      for (const auto& t : c.texts) EXPECT_EQ(t.font.Escapement, 0) << t.text;
    } else {
      ExpectText(c, "spectrum", 1425, 545, 39, clBlack, AlignCenter);
      ExpectText(c, "3", 1440, 701, 39, clBlack, AlignRight);
      ExpectText(c, "13.3", 1836, 701, 39, clBlue, AlignRight);
      ExpectText(c, "Ikrms", 1185, 545 + 2 * 52, 39, clBlack, AlignCenter);
      EXPECT_NE(c.Line(1533, 539, 1533, 539 + 8 * 52), nullptr);
      EXPECT_NE(c.Line(1065, 539, 1065, 539 + 8 * 52), nullptr);
      ExpectRotated(c, "Output Characteristic", 60, 752, 39);
      ExpectRotated(c, "Lamp Current", 135, 858, 39);
    }
    EXPECT_NE(c.Line(45, 121, 1881, 121), nullptr);
    EXPECT_NE(c.Line(855, 171 + 52, 1860, 171 + 52), nullptr);
    EXPECT_NE(c.Line(210, 290, 810, 290), nullptr) << "mains axis";
    // A band of 300 strokes 2 pixels apart, 105 pixels high at the peak.
    const auto band = Strokes(c, clRed, 472, 709);
    ASSERT_EQ(band.size(), 300u);
    EXPECT_EQ(band[299].x1, 210 + 598);
    const auto peak = std::max_element(band.begin(), band.end(), [](auto& a, auto& b) { return a.y2 < b.y2; });
    EXPECT_LE(peak->y2 - 591, 105);
    EXPECT_GE(peak->y2 - 591, 104);
  }
}

// Every coordinate a page drew lies inside its paint box.
bool InsideBox(const RecordingCanvas& c, int w, int h) {
  const auto in = [&](int x, int y) { return x >= 0 && x <= w && y >= 0 && y <= h; };
  for (const auto& t : c.texts)
    if (!in(t.x, t.y)) return false;
  for (const auto& l : c.lines)
    if (!in(l.x1, l.y1) || !in(l.x2, l.y2)) return false;
  for (const auto& r : c.rects)
    if (!in(r.x1, r.y1) || !in(r.x2, r.y2)) return false;
  return true;
}

TEST(CompPage, DamagedResultsAndExtremeWindowsStayInsideThePaintBox) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  Rig r;
  InputResult& in = r.form->M.Input;
  OutputResult& o = r.form->M.Output;
  in.Urms = nan;
  in.Irms = -inf;
  in.THDU = 3.0e38f;
  in.VoltageHarmonicPct[3] = nan;
  in.VoltagePeak = 0.0f;    // a file may hold any scale
  in.CurrentPeak = -5.0f;
  in.CurrentWave[40] = inf;
  in.CurrentWave[42] = nan;
  o.OutputWavePeak[ChU] = 0.0f;
  o.OutputWavePeak[ChIl] = 1.0f;  // far below the curve's samples
  o.OutputWave[ChIl][7] = -inf;
  o.Vrms = inf;
  r.form->Info.LuminousFlux.clear();

  for (int chinese : {0, 1})
    for (auto [w, h] : {std::pair{640, 385}, {1, 1}, {0, 0}, {40000, 385}, {7, 3000}}) {
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + (chinese ? " Chinese" : " English"));
      const RecordingCanvas c = r.Paint(w, h, chinese);
      EXPECT_TRUE(InsideBox(c, w, h));
      ASSERT_NE(c.Text(" lm"), nullptr) << "an empty flux shows just the unit";
      EXPECT_NE(c.Text("NAN"), nullptr);
      EXPECT_NE(c.Text("INF (V)"), nullptr);
      EXPECT_NE(c.Text("3.000E+38%"), nullptr);
    }

  // A paint box far wider than the work buffer of 500 points: one stroke
  // every 2 pixels across the whole picture, none beyond it.
  const RecordingCanvas wide = r.Paint(40000, 385, 0);
  const auto band = Strokes(wide, clBlue, 279, 369);
  ASSERT_EQ(band.size(), 6250u);
  EXPECT_EQ(band.back().x1, Trunc(20 * 62.5 + 50 * 62.5) + 2 * 6249);
  EXPECT_LT(band.back().x1, Trunc(20 * 62.5 + 250 * 62.5));
  for (const auto& s : band) ASSERT_LE(std::abs(s.y2 - s.y1), 2 * 40) << "held at the band's height";
  EXPECT_TRUE(Strokes(wide, clRed, 179, 269).empty()) << "a zero peak has no scale: nothing drawn";
}

}  // namespace
}  // namespace kt
