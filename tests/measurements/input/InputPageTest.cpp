// The input page's drawing compared with the layout's coordinates at two
// window sizes and in both languages.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "link/Form.h"
#include "link/Resets.h"
#include "measurements/input/InputPage.h"
#include "support/Fakes.h"
#include "support/RecordingCanvas.h"
#include "support/SampleResults.h"

namespace kt {
namespace {

using test::RecordingCanvas;
constexpr Colour DarkGreen = Rgb(0, 75, 0);

struct Rig : test::FormRig {
  Rig() {
    test::FillTypicalInput(form->M.Input);
    InputResult& in = form->M.Input;
    // The spectra are drawn from the amplitudes, the table from the shares.
    for (int k = 0; k < 40; ++k) {
      in.VoltageHarmonic[k] = k == 1 ? 2000.0f : 10.0f;
      in.CurrentHarmonic[k] = k == 1 ? 800.0f : (k % 2 ? 400.0f / k : 0.0f);
      in.VoltageHarmonicPct[k] = in.VoltageHarmonic[k] / 20.0f;
      in.CurrentHarmonicPct[k] = in.CurrentHarmonic[k] / 8.0f;
    }
  }
  RecordingCanvas Paint(int w, int h, int chinese, int wide = 0) {
    form->ChineseMode = chinese;
    form->WideFreqMode = wide;
    RecordingCanvas c;
    PaintInputPage(*form, c, w, h);
    return c;
  }
};

void ExpectText(const RecordingCanvas& c, const std::string& s, int x, int y, int height, Colour colour, int align) {
  const auto* t = c.Text(s);
  ASSERT_NE(t, nullptr) << "missing text " << s;
  EXPECT_EQ(t->x, x) << s;
  EXPECT_EQ(t->y, y) << s;
  EXPECT_EQ(t->font.Height, height) << s;
  EXPECT_EQ(t->font.Face, "Times New Roman") << s;
  EXPECT_EQ(t->font.Color, colour) << s;
  EXPECT_EQ(t->align, align) << s;
}

TEST(InputPage, DesignSizeDrawsAtTheDesignCoordinates) {
  Rig r;
  const RecordingCanvas c = r.Paint(640, 385, 0);
  ASSERT_FALSE(c.rects.empty());
  EXPECT_EQ(c.rects[0].x2, 640);
  EXPECT_EQ(c.rects[0].brush, clWhite);
  ExpectText(c, "KT6100 Electronic Ballast Test Instrument", 320, 0, 20, clBlack, AlignCenter);
  ExpectText(c, "Input Characteristic Test Report", 320, 20, 20, clBlack, AlignCenter);
  ExpectText(c, "Urms (V)", 70, 45, 16, clBlue, AlignCenter);
  ExpectText(c, "229.6", 70, 60, 16, clBlue, AlignCenter);
  ExpectText(c, "0.172", 190, 60, 16, clBlue, AlignCenter);
  ExpectText(c, "49.97", 550, 60, 16, clBlue, AlignCenter);
  ExpectText(c, "THDU:  1.7%", 120, 205, 14, clRed, AlignLeft);
  ExpectText(c, "THDI:  27.6%", 120, 285, 14, DarkGreen, AlignLeft);
  ExpectText(c, "39", 200, 260, 14, clBlack, AlignLeft);
  ExpectText(c, "voltage", 329, 82, 16, clRed, AlignCenter);
  // Bin 1 heads the right half of the table, 100 % in both channels.
  const auto* one = c.Text("1", 2);  // two axis marks come first
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->x, 469);
  EXPECT_EQ(one->y, 119);
  EXPECT_EQ(one->align, AlignRight);
  EXPECT_NE(c.Line(10, 42, 630, 42), nullptr);
  EXPECT_EQ(c.Line(10, 42, 630, 42)->width, 2);
  EXPECT_NE(c.Line(130, 42, 130, 78), nullptr) << "value column divider";
  EXPECT_NE(c.Line(498, 78, 498, 370), nullptr);
  EXPECT_NE(c.Line(20, 85, 220, 85), nullptr) << "waveform box top";
  // The fundamental bar stands 50 units tall at 5 units per bin.
  const auto* bar = c.Line(25, 255, 25, 205);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->colour, clRed);
  EXPECT_EQ(bar->width, 2);
  EXPECT_NE(c.Line(25, 340, 25, 290), nullptr);
}

TEST(InputPage, AFullHdWindowScalesEveryPositionAndFont) {
  Rig r;
  for (int chinese : {0, 1}) {
    const RecordingCanvas c = r.Paint(1920, 1017, chinese);
    SCOPED_TRACE(chinese ? "Chinese" : "English");
    const char* title2 = chinese ? "输入特性测试报告" : "Input Characteristic Test Report";
    ExpectText(c, title2, 960, 52, chinese ? 50 : 52, clBlack, AlignCenter);
    ExpectText(c, chinese ? "电压(V)" : "Urms (V)", 210, 118, chinese ? 39 : 42, clBlue, AlignCenter);
    ExpectText(c, "49.97", 1650, 157, chinese ? 39 : 42, clBlue, AlignCenter);
    ExpectText(c, chinese ? "电压总谐波:  1.7%" : "THDU:  1.7%", chinese ? 240 : 360, 540, 36, clRed, AlignLeft);
    ExpectText(c, chinese ? "电流总谐波:  27.6%" : "THDI:  27.6%", chinese ? 240 : 360, 752, 36, DarkGreen, AlignLeft);
    ExpectText(c, "k", 330, 686, 36, clBlack, AlignLeft);
    ExpectText(c, chinese ? "谐波" : "spectrum", 801, 215, 42, clBlack, AlignCenter);
    // Row of bins 2 and 3.
    const auto* three = c.Text("3");
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(three->x, 1407);
    EXPECT_EQ(three->y, 344);
    EXPECT_NE(c.Text("39"), nullptr);
    EXPECT_NE(c.Line(30, 110, 1890, 110), nullptr);
    EXPECT_NE(c.Line(690, 206, 690, 977), nullptr);
    EXPECT_NE(c.Line(30, 507, 690, 507), nullptr);
    EXPECT_NE(c.Line(60, 224, 660, 224), nullptr);
    EXPECT_NE(c.Line(75, 672, 75, 540), nullptr) << "fundamental voltage bar";
    // The voltage period's first point: sin(0) on the zero line.
    bool found = false;
    for (const auto& l : c.lines) found = found || (l.colour == clRed && l.width == 1 && l.x1 == 60 && l.y1 == 356);
    EXPECT_TRUE(found);
  }
}

TEST(InputPage, TheWideBandSwitchShowsTheWideBandValuesAndLabels) {
  Rig r;
  const RecordingCanvas en = r.Paint(640, 385, 0, 1);
  EXPECT_NE(en.Text("Irmsw (A)"), nullptr);
  EXPECT_NE(en.Text("PFw"), nullptr);
  EXPECT_NE(en.Text("0.175"), nullptr);
  EXPECT_NE(en.Text("0.941"), nullptr);
  EXPECT_NE(en.Text("THDIw:  30.6%"), nullptr);
  EXPECT_EQ(en.Text("Irms (A)"), nullptr);
  const RecordingCanvas zh = r.Paint(640, 385, 1, 1);
  EXPECT_NE(zh.Text("宽频电流(A)"), nullptr);
  EXPECT_NE(zh.Text("宽频功率因数"), nullptr);
  EXPECT_NE(zh.Text("宽频电流总谐波:  30.6%"), nullptr);
}

TEST(InputPage, AnEmptyResultDrawsZerosFlatLinesAndOneFullBar) {
  Rig r;
  ResetInputResult(r.form->M);
  const RecordingCanvas c = r.Paint(640, 385, 0);
  EXPECT_NE(c.Text("0.0"), nullptr);
  EXPECT_NE(c.Text("0.000"), nullptr);
  int tallBars = 0, wavePointsOffAxis = 0;
  for (const auto& l : c.lines) {
    if (l.width == 2 && l.colour != clBlack && l.x1 == l.x2 && l.y1 != l.y2) ++tallBars;
    if (l.width == 1 && (l.colour == clRed || l.colour == DarkGreen) && l.y2 != 135) ++wavePointsOffAxis;
  }
  EXPECT_EQ(tallBars, 2) << "bin 1 of each spectrum, and nothing else";
  EXPECT_EQ(wavePointsOffAxis, 0);
}

TEST(InputPage, DamagedValuesStayOnThePage) {
  Rig r;
  InputResult& in = r.form->M.Input;
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  in.VoltagePeak = 0.0f;
  in.CurrentPeak = nan;
  in.VoltageHarmonic[1] = 0.0f;
  in.CurrentHarmonic[5] = inf;
  in.CurrentWave[10] = -inf;
  in.Urms = inf;
  in.THDI = nan;
  in.P = 1.0e30f;
  const RecordingCanvas c = r.Paint(1920, 1017, 0);
  EXPECT_TRUE(c.AllWithin(-2000, 4000));
  EXPECT_NE(c.Text("INF"), nullptr);
  EXPECT_NE(c.Text("THDI:  NAN%"), nullptr);
  EXPECT_NE(c.Text("1.000E+30"), nullptr);
}

}  // namespace
}  // namespace kt
