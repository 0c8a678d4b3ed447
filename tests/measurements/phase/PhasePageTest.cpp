// The phase-angle page's drawing compared with the layout's coordinates at
// two window sizes and in both languages.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "link/Form.h"
#include "link/Resets.h"
#include "measurements/MeasurementKinds.h"
#include "support/Fakes.h"
#include "support/RecordingCanvas.h"

namespace kt {
namespace {

using test::RecordingCanvas;
constexpr Colour DarkGreen = Rgb(0, 75, 0);

struct Rig : test::FormRig {
  Rig() {
    RegisterMeasurementKinds(*form);
    InputResult& in = form->M.Input;
    in.Irms = 0.17234f;
    in.PF = 0.9587f;
    in.THDI = 27.63f;
    form->M.PhaseBegin = 30.9375f;
    form->M.PhasePeak = 87.1875f;
    form->M.PhaseEnd = 157.5f;
    for (int k = 0; k < 40; ++k) {
      in.CurrentHarmonic[k] = k == 1 ? 0.1617f : 0.05432f / (k + 1);
      in.CurrentHarmonicPct[k] = 100.0f * in.CurrentHarmonic[k] / 0.1617f;
      form->M.CurrentPerWatt[k] = in.CurrentHarmonic[k] * 1000.0f / 36.6f;
    }
    form->M.CurrentPerWatt[39] = 12345.67f;  // five significant digits, not four
    for (int j = 0; j < 200; ++j) {
      in.VoltageWave[j] = static_cast<float>(16000 * std::sin(2 * M_PI * j / 200));
      in.CurrentWave[j] = static_cast<float>(8000 * std::sin(2 * M_PI * j / 200));
    }
    in.VoltagePeak = 16000.0f;
    in.CurrentPeak = 8000.0f;
  }
  RecordingCanvas Paint(int w, int h, int chinese) {
    form->ChineseMode = chinese;
    RecordingCanvas c;
    form->Kinds[PhaseTest].Paint(*form, c, w, h);
    return c;
  }
};

void ExpectText(const RecordingCanvas& c, const std::string& s, int nth, int x, int y, int height, Colour colour,
                int align) {
  const auto* t = c.Text(s, nth);
  ASSERT_NE(t, nullptr) << "missing text " << s << " #" << nth;
  EXPECT_EQ(t->x, x) << s;
  EXPECT_EQ(t->y, y) << s;
  EXPECT_EQ(t->font.Height, height) << s;
  EXPECT_EQ(t->font.Face, "Times New Roman") << s;
  EXPECT_EQ(t->font.Color, colour) << s;
  EXPECT_EQ(t->align, align) << s;
}

void ExpectLine(const RecordingCanvas& c, int x1, int y1, int x2, int y2, int width, Colour colour = clBlack) {
  const auto* l = c.Line(x1, y1, x2, y2);
  ASSERT_NE(l, nullptr) << "missing line " << x1 << "," << y1 << " - " << x2 << "," << y2;
  EXPECT_EQ(l->width, width) << x1 << "," << y1;
  EXPECT_EQ(l->colour, colour) << x1 << "," << y1;
}

TEST(PhasePage, DesignSizeDrawsAtTheDesignCoordinates) {
  Rig r;
  const RecordingCanvas c = r.Paint(640, 385, 0);
  ASSERT_FALSE(c.rects.empty());
  EXPECT_EQ(c.rects[0].x2, 640);
  EXPECT_EQ(c.rects[0].brush, clWhite);
  ExpectText(c, "KT6100 Electronic Ballast Test Instrument", 0, 320, 2, 18, clBlack, AlignCenter);
  ExpectText(c, "Input Characteristic Test Report (continued)", 0, 320, 22, 18, clBlack, AlignCenter);
  // The six-value table: columns of 103 units from x 10.
  ExpectText(c, "Irms (A)", 0, 61, 47, 15, clBlue, AlignCenter);
  ExpectText(c, "0.172", 0, 61, 62, 15, clBlue, AlignCenter);
  ExpectText(c, "0.959", 0, 164, 62, 15, clBlue, AlignCenter);
  ExpectText(c, "THDI %", 0, 267, 47, 15, clBlue, AlignCenter);
  ExpectText(c, "27.6", 0, 267, 62, 15, clBlue, AlignCenter);
  ExpectText(c, "Begin Phase (°)", 0, 370, 47, 15, clBlue, AlignCenter);
  ExpectText(c, "31", 0, 370, 62, 15, clBlue, AlignCenter);
  ExpectText(c, "87", 0, 473, 62, 15, clBlue, AlignCenter);
  ExpectText(c, "158", 0, 576, 62, 15, clBlue, AlignCenter);
  // The harmonic table: columns of 67 units from x 230.
  ExpectText(c, "spectrum", 0, 263, 82, 15, clRed, AlignCenter);
  ExpectText(c, "current", 1, 531, 82, 15, DarkGreen, AlignCenter);
  ExpectText(c, "mA / W", 0, 397, 82, 15, clBlue, AlignCenter);
  ExpectText(c, "mA / W", 1, 598, 82, 15, clBlue, AlignCenter);
  ExpectText(c, "k", 1, 464, 98, 15, clRed, AlignCenter);
  ExpectText(c, "(A)", 0, 330, 98, 15, DarkGreen, AlignCenter);
  // Bin 1 heads the right half: its current and mA per watt.
  ExpectText(c, "1", 0, 468, 119, 14, clRed, AlignRight);
  ExpectText(c, "0.162", 0, 531, 119, 14, DarkGreen, AlignCenter);
  ExpectText(c, "4.4", 0, 598, 119, 14, clBlue, AlignCenter);
  ExpectText(c, "0", 0, 267, 119, 14, clRed, AlignRight);
  ExpectText(c, "0.054", 0, 330, 119, 14, DarkGreen, AlignCenter);
  ExpectText(c, "38", 0, 267, 347, 14, clRed, AlignRight);
  ExpectText(c, "12346.0", 0, 598, 347, 14, clBlue, AlignCenter);
  // The low-order table.
  ExpectText(c, "spectrum", 2, 65, 227, 15, clRed, AlignCenter);
  ExpectText(c, "k", 2, 65, 243, 15, clRed, AlignCenter);
  ExpectText(c, "%", 0, 175, 243, 15, DarkGreen, AlignCenter);
  ExpectText(c, "2", 1, 65, 265, 14, clRed, AlignCenter);
  ExpectText(c, "11.2", 0, 175, 265, 14, DarkGreen, AlignCenter);  // bin 2
  ExpectText(c, "11", 1, 65, 345, 14, clRed, AlignCenter);
  ExpectText(c, "2.8", 0, 175, 345, 14, DarkGreen, AlignCenter);  // bin 11

  ExpectLine(c, 10, 42, 630, 42, 2);
  ExpectLine(c, 10, 224, 230, 224, 2);
  ExpectLine(c, 230, 78, 230, 370, 2);
  ExpectLine(c, 113, 42, 113, 78, 1);
  ExpectLine(c, 525, 42, 525, 78, 1);
  ExpectLine(c, 297, 78, 297, 370, 1);
  ExpectLine(c, 565, 78, 565, 370, 1);
  ExpectLine(c, 120, 224, 120, 370, 1);
  ExpectLine(c, 10, 260, 230, 260, 1);
  ExpectLine(c, 230, 115, 630, 115, 1);
  ExpectLine(c, 20, 95, 220, 95, 1);
  ExpectLine(c, 20, 150, 220, 150, 1);
  // The crests, a quarter period in: voltage 45 units, current 50 units up.
  ExpectLine(c, 44, 106, 45, 105, 1, clRed);
  ExpectLine(c, 44, 101, 45, 100, 1, DarkGreen);
}

TEST(PhasePage, ALargerWindowScalesEveryPositionInBothLanguages) {
  Rig r;
  for (int chinese : {0, 1}) {
    SCOPED_TRACE(chinese ? "Chinese" : "English");
    const RecordingCanvas c = r.Paint(1000, 600, chinese);
    ExpectText(c, chinese ? "输入特性测试报告(续)" : "Input Characteristic Test Report (continued)", 0, 500, 34, 28,
               clBlack, AlignCenter);
    ExpectText(c, chinese ? "起始相位 (°)" : "Begin Phase (°)", 0, 575, 72, 23, clBlue, AlignCenter);
    ExpectText(c, chinese ? "电流 (A)" : "Irms (A)", 0, 95, 72, 23, clBlue, AlignCenter);
    ExpectText(c, "158", 0, 895, 96, 23, clBlue, AlignCenter);
    ExpectText(c, chinese ? "谐波" : "spectrum", 1, 723, 126, 23, clRed, AlignCenter);
    ExpectText(c, "(A)", 1, 827, 151, 23, DarkGreen, AlignCenter);
    ExpectText(c, "39", 0, 729, 539, 21, clRed, AlignRight);
    ExpectText(c, "12346.0", 0, 931, 539, 21, clBlue, AlignCenter);
    // The low-order table stands one unit lower on the Chinese page.
    const int top = chinese ? 355 : 353, second = chinese ? 380 : 378, first = chinese ? 414 : 412;
    ExpectText(c, chinese ? "谐波" : "spectrum", 2, 101, top, 23, clRed, AlignCenter);
    ExpectText(c, chinese ? "电流" : "current", 2, 272, top, 23, DarkGreen, AlignCenter);
    ExpectText(c, "%", 0, 272, second, 23, DarkGreen, AlignCenter);
    ExpectText(c, "2", 1, 101, first, 21, clRed, AlignCenter);
    ExpectText(c, "11.2", 0, 272, first, 21, DarkGreen, AlignCenter);
    ExpectText(c, "11", 1, 101, chinese ? 538 : 536, 21, clRed, AlignCenter);

    ExpectLine(c, 15, 65, 984, 65, 2);
    ExpectLine(c, 15, 349, 359, 349, 2);
    ExpectLine(c, 175, 65, 175, 121, 1);
    ExpectLine(c, 879, 121, 879, 576, 1);
    ExpectLine(c, 187, 349, 187, 576, 1);
    ExpectLine(c, 31, 148, 343, 148, 1);  // waveform box top: 233 - 85
    ExpectLine(c, 31, 233, 343, 233, 1);
    EXPECT_TRUE(c.AllWithin(0, 1000));
  }
}

TEST(PhasePage, ACurrentBelowTenMilliamperesShowsNoFundamental) {
  struct Case {
    float irms;
    bool zeroed;
  } cases[] = {{0.0099f, true}, {0.0f, true}, {std::numeric_limits<float>::quiet_NaN(), true}, {0.0101f, false}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.irms);
    Rig r;
    r.form->M.Input.Irms = k.irms;
    r.form->M.Input.CurrentHarmonic[1] = 0.25f;
    const RecordingCanvas c = r.Paint(640, 385, 1);
    const auto row = c.TextsAt(119);
    const test::TextItem* current = nullptr;
    for (const auto* t : row)
      if (t->x == 531) current = t;
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->text, k.zeroed ? "0.000" : "0.250");
    // The page writes the zero into the results, as the report then prints it.
    EXPECT_EQ(r.form->M.Input.CurrentHarmonic[1], k.zeroed ? 0.0f : 0.25f);
  }
}

TEST(PhasePage, DamagedResultsDrawAsTextAndStayOnThePage) {
  Rig r;
  MeasureSet& m = r.form->M;
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  m.PhaseBegin = nan;
  m.PhaseEnd = inf;
  m.Input.VoltagePeak = 0.0f;
  m.Input.CurrentPeak = nan;
  m.Input.CurrentWave[10] = inf;
  m.CurrentPerWatt[5] = -inf;
  m.Input.CurrentHarmonicPct[3] = nan;
  const RecordingCanvas c = r.Paint(640, 385, 0);
  EXPECT_NE(c.Text("NAN"), nullptr);
  EXPECT_NE(c.Text("INF"), nullptr);
  EXPECT_NE(c.Text("-INF"), nullptr);
  // Nothing can be scaled by a zero or NaN peak: both periods lie flat.
  for (const auto& l : c.lines) {
    if (l.colour == clRed || l.colour == DarkGreen) {
      ASSERT_EQ(l.y2, 150);
    }
  }
  EXPECT_TRUE(c.AllWithin(0, 640));
}

}  // namespace
}  // namespace kt
