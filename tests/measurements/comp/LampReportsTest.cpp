// The comprehensive and output reports on a recording canvas: the layout's
// positions from the 25 mm margins in report units (y upwards), fonts and the
// rotated captions of both printer families, and damaged results that must
// still print inside the A4 landscape sheet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "core/Geometry.h"
#include "link/Form.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/comp/CompReport.h"
#include "measurements/output/OutputReport.h"
#include "support/Fakes.h"
#include "support/RecordingCanvas.h"
#include "support/SampleResults.h"

namespace kt {
namespace {

using test::LineItem;
using test::RecordingCanvas;

struct Rig : test::FormRig {
  Rig() {
    RegisterMeasurementKinds(*form);
    test::FillTypicalInput(form->M.Input);
    OutputResult& o = form->M.Output;
    o.Vrms = 103.4f;
    o.Vm = 151.2f;
    o.Vcf = 1.462f;
    o.Ilrms = 0.3126f;
    o.Ilm = 0.4517f;
    o.IlcfPos = 1.445f;
    o.IlcfNeg = 1.324f;
    o.Ildhc = 8.37f;
    o.Ifrms = 0.2031f;
    o.Ifm = 0.29f;
    o.Ifcf = 1.43f;
    o.Ikrms = 0.4448f;
    o.Ikm = 0.66f;
    o.Ikcf = 1.48f;
    o.Pout = 32.27f;
    o.OscFreq = 45.26f;
    for (int c = 0; c < 4; ++c) {
      for (int i = 0; i < 150; ++i) o.OutputWave[c][i] = 1000.0f + 10.0f * i;
      o.OutputWavePeak[c] = 2490.0f;
    }
    form->Info = {"Sample", "No-7", "EB-236", "GB", "25", "60", "Maker", "Lee", "3200", "4000"};
    std::strcpy(form->TestDate, "2026-12-6");
  }
  RecordingCanvas Print(TestKind kind, int chinese, int family = 0) {
    form->ChineseMode = chinese;
    form->PrinterFamily = family;
    RecordingCanvas c;
    form->Kinds[static_cast<std::size_t>(kind)].Report(*form, c);
    return c;
  }
};

void ExpectText(const RecordingCanvas& c, const std::string& s, int x, int y, int align, int nth = 0) {
  const auto* t = c.Text(s, nth);
  ASSERT_NE(t, nullptr) << "missing text " << s;
  EXPECT_EQ(t->x, x) << s;
  EXPECT_EQ(t->y, y) << s;
  EXPECT_EQ(t->align, align) << s;
}

void ExpectFont(const RecordingCanvas& c, const std::string& s, const std::string& face, int height, int escapement) {
  const auto* t = c.Text(s);
  ASSERT_NE(t, nullptr) << "missing text " << s;
  EXPECT_EQ(t->font.Face, face) << s;
  EXPECT_EQ(t->font.Height, height) << s;
  EXPECT_EQ(t->font.Escapement, escapement) << s;
  EXPECT_EQ(t->font.Color, clBlack) << s;
}

void ExpectLine(const RecordingCanvas& c, int x1, int y1, int x2, int y2, int width) {
  const LineItem* l = c.Line(x1, y1, x2, y2);
  ASSERT_NE(l, nullptr) << "missing line (" << x1 << ", " << y1 << ")-(" << x2 << ", " << y2 << ")";
  EXPECT_EQ(l->width, width) << "(" << x1 << ", " << y1 << ")";
}

// Vertical strokes inside a report box (y upwards: top > bottom).
std::vector<LineItem> Strokes(const RecordingCanvas& c, int left, int right, int top, int bottom) {
  std::vector<LineItem> out;
  for (const auto& l : c.lines)
    if (l.x1 == l.x2 && l.x1 > left && l.x1 < right && std::max(l.y1, l.y2) < top && std::min(l.y1, l.y2) > bottom)
      out.push_back(l);
  return out;
}

TEST(CompReport, EnglishPrintsFromTheMarginsWithCaptionsTurnedByPrinterFamily) {
  Rig r;
  for (int family : {0, 1}) {
    SCOPED_TRACE(family);
    const RecordingCanvas c = r.Print(CompTest, 0, family);
    ExpectText(c, "KT6100 Electronic Ballast Test Instrument", 14300, -2000, AlignCenter);
    ExpectFont(c, "KT6100 Electronic Ballast Test Instrument", "T 宋体", 800, 0);
    ExpectText(c, "Compositive Characteristic Test Report", 14300, -2800, AlignCenter);
    const int escapement = family == 0 ? 2700 : 900;
    for (auto [text, x, y] : {std::tuple{"Input", 2800, -7700}, {"Characteristic", 3800, -7700},
                              {"Output Characteristic", 2800, -14500}, {"Lamp Voltage", 3800, -12500},
                              {"Lamp Current", 3800, -16500}}) {
      ExpectText(c, text, x, y, AlignCenter);
      ExpectFont(c, text, "T 宋体", 400, escapement);
    }
  }
  const RecordingCanvas c = r.Print(CompTest, 0);
  ExpectText(c, "Name:", 3500, -3800, AlignLeft);
  ExpectFont(c, "Name:", "T 宋体", 400, 0);
  ExpectText(c, "Standard:", 11500, -4300, AlignLeft);
  ExpectText(c, "25℃", 23500, -3800, AlignLeft);
  ExpectText(c, "Maker", 6500, -18700, AlignLeft);
  ExpectText(c, "2026-12-6", 6500, -19200, AlignLeft);
  ExpectText(c, "Color Temperature:", 19500, -5200, AlignLeft);
  ExpectText(c, "PF", 17100, -7000, AlignLeft);
  ExpectText(c, "0.959", 21400, -7000, AlignRight);
  ExpectText(c, "THDIw", 23800, -8800, AlignCenter);
  ExpectText(c, "30.6%", 23800, -9700, AlignCenter);

  ExpectText(c, "Current", 24700, -10700, AlignCenter);
  ExpectText(c, "k", 19700, -11700, AlignCenter);
  ExpectText(c, "100.0", 25300, -12700, AlignRight, 1);
  ExpectText(c, "11.5", 22800, -17700, AlignRight);
  ExpectText(c, "f", 17000, -14700, AlignCenter);
  ExpectText(c, "Ilcf", 17000, -16700, AlignCenter);
  ExpectText(c, "1.45", 17000, -17700, AlignCenter);

  ExpectLine(c, 2500, -5000, 26200, -5000, 50);
  ExpectLine(c, 2500, -18500, 2500, -5000, 50);
  ExpectLine(c, 2500, -10400, 26200, -10400, 50);
  ExpectLine(c, 18500, -10400, 18500, -18500, 50);
  ExpectLine(c, 12600, -5900, 26200, -5900, 50);
  ExpectLine(c, 3500, -14500, 12600, -14500, 10);
  ExpectLine(c, 15600, -5900, 15600, -8600, 10);
  ExpectLine(c, 12600, -17400, 18500, -17400, 10);
  ExpectLine(c, 18500, -11400, 26200, -11400, 10);
  ExpectLine(c, 23500, -10400, 23500, -18500, 10);

  // Two mains periods of 100 points, 40 units apart, 15 mm for the voltage's
  // crest; the bands 100 strokes 80 units apart, 17 mm at the peak.
  std::vector<LineItem> wave;
  for (const auto& l : c.lines)
    if (l.x1 >= 4500 && l.x2 <= 12500 && l.y1 < -5700 && l.y1 > -9700 && l.x2 - l.x1 == 40) wave.push_back(l);
  ASSERT_EQ(wave.size(), 2u * 199u) << "two polylines of 200 points";
  EXPECT_EQ(wave[24].y2, -7700 + 1500) << "the voltage's crest, sample 50";
  EXPECT_EQ(wave[198].x2, 4500 + 199 * 40);
  const auto voltage = Strokes(c, 4400, 12600, -10700, -14300);
  ASSERT_EQ(voltage.size(), 100u);
  EXPECT_EQ(voltage[1].x1, 4580);
  EXPECT_EQ(voltage[99].x1, 4500 + 99 * 80);
  for (const auto& s : voltage) EXPECT_EQ(s.y1 + s.y2, -2 * 12500) << "mirrored about the axis";
  EXPECT_EQ(voltage[99].y1 - voltage[99].y2, 2 * Trunc(1990.0 / 2490 * 1700)) << "sample 99, not resampled";
  EXPECT_EQ(Strokes(c, 4400, 12600, -14700, -18300).size(), 100u);
}

TEST(CompReport, ChineseHasStackedCaptionsAndItsOwnColumns) {
  Rig r;
  const RecordingCanvas c = r.Print(CompTest, 1, 0);
  ExpectText(c, "KT6100 电子镇流器综合测试仪", 14300, -2000, AlignCenter);
  ExpectFont(c, "KT6100 电子镇流器综合测试仪", "宋体", 700, 0);
  ExpectText(c, "综合特性测试报告", 14300, -2800, AlignCenter);
  for (const auto& t : c.texts) EXPECT_EQ(t.font.Escapement, 0) << t.text;
  const struct {
    const char* ch;
    int nth, x, y;
  } stacked[] = {{"输", 0, 3500, -6200}, {"入", 0, 3500, -6700}, {"析", 0, 3500, -8700}, {"输", 1, 3000, -13000},
                 {"析", 1, 3000, -15500}, {"灯", 0, 4000, -11500}, {"压", 0, 4000, -13000}, {"灯", 1, 4000, -15500},
                 {"流", 0, 4000, -17000}};
  for (const auto& s : stacked) ExpectText(c, s.ch, s.x, s.y, AlignCenter, s.nth);
  ExpectFont(c, "输", "宋体", 400, 0);

  ExpectText(c, "型号:", 12500, -3800, AlignLeft);
  ExpectText(c, "湿度:", 21500, -4300, AlignLeft);
  ExpectText(c, "60%", 23000, -4300, AlignLeft);
  ExpectText(c, "Maker", 5500, -18700, AlignLeft);
  ExpectText(c, "色温:", 20500, -5200, AlignLeft);
  ExpectText(c, "宽频电流 (A)", 21600, -6100, AlignLeft);
  ExpectText(c, "电压总谐波", 14800, -8800, AlignCenter);
  ExpectText(c, "1.7 %", 14800, -9700, AlignCenter);
  ExpectText(c, "13.3", 25800, -13700, AlignRight);
  ExpectText(c, "灯电流波峰比", 18500, -16700, AlignCenter);
  ExpectText(c, "1.45", 18500, -17700, AlignCenter);

  ExpectLine(c, 20500, -10400, 20500, -18500, 50);
  ExpectLine(c, 12600, -17400, 20500, -17400, 10);
  ExpectLine(c, 20500, -11400, 26200, -11400, 10);
  ExpectLine(c, 16500, -10400, 16500, -18500, 10);
  ExpectLine(c, 24300, -10400, 24300, -18500, 10);
  EXPECT_EQ(c.Line(18500, -10400, 18500, -18500), nullptr) << "the English divider is not drawn";
  EXPECT_EQ(Strokes(c, 4400, 12600, -10700, -14300).size(), 100u) << "pictures as in English";
}

TEST(OutputReport, BothLanguagesPrintFromTheMargins) {
  Rig r;
  for (int chinese : {0, 1}) {
    SCOPED_TRACE(chinese ? "Chinese" : "English");
    const RecordingCanvas c = r.Print(OutputTest, chinese);
    const char* title = chinese ? "KT6100电子镇流器综合测试仪" : "KT6100 Electronic Ballast Test Instrument";
    ExpectText(c, title, 14300, -2000, AlignCenter);
    ExpectFont(c, title, "宋体", 800, 0);
    ExpectFont(c, chinese ? "功率:" : "Pout:", "宋体", 400, 0);
    ExpectText(c, chinese ? "振荡频率:" : "f   :", chinese ? 20000 : 20500, -17800, AlignLeft);
    ExpectText(c, chinese ? "规格:" : "standard:", chinese ? 12500 : 11500, -4300, AlignLeft);
    ExpectText(c, "GB", 14000, -4300, AlignLeft);
    ExpectText(c, "Maker", chinese ? 5500 : 7000, -18700, AlignLeft);
    ExpectText(c, chinese ? "测试员:" : "Operator:", chinese ? 20500 : 18500, -18700, AlignLeft);
    ExpectText(c, "Lee", chinese ? 22500 : 21000, -18700, AlignLeft);
    ExpectText(c, "2026-12-6", chinese ? 5500 : 7000, -19200, AlignLeft);

    ExpectText(c, chinese ? "有效值:" : "Vrms:", 17500, -5850, AlignLeft);
    ExpectText(c, "1.46", 22500, -7350, AlignLeft);  // Vcf
    ExpectText(c, chinese ? "灯电流有效值:" : "Lamp Current RMS:", 16500, -8300, AlignLeft);
    if (chinese) {
      ExpectText(c, "波峰系数:", 17500, -9800, AlignLeft, 1);
      ExpectText(c, "正波：1.45", 20000, -9800, AlignLeft);
      ExpectText(c, "负波：-1.32", 23000, -9800, AlignLeft);
    } else {
      ExpectText(c, "Ilcf:", 17500, -9800, AlignLeft);
      ExpectText(c, "1.45", 21500, -9800, AlignLeft);
      ExpectText(c, "-1.32", 23000, -9800, AlignLeft);
    }
    ExpectText(c, "8.4 %", 22500, -10550, AlignLeft);

    for (int top : {2500, 5700, 8900, 12100}) {
      ExpectLine(c, 2500, -(2500 + top), 26200, -(2500 + top), 50);
      ExpectLine(c, 15500, -(2500 + top), 15500, -(5500 + top), 50);
      ExpectLine(c, 2500, -(4000 + top), 15500, -(4000 + top), 10);
      const auto band = Strokes(c, 2400, 15500, -(2500 + top), -(5500 + top));
      ASSERT_EQ(band.size(), 150u) << "150 samples without resampling";
      EXPECT_EQ(band[3].x1, 2760);
      EXPECT_EQ(band[149].x1, 15413);
      EXPECT_EQ(band[149].y1, -(4000 + top) + 1300) << "13 mm at the curve's largest value";
      EXPECT_EQ(band[149].y2, -(4000 + top) - 1300);
    }
    ExpectLine(c, 2500, -5000, 2500, -18500, 50);
    ExpectLine(c, 2500, -18500, 26200, -18500, 50);
  }
}

// Every coordinate lies on the A4 landscape sheet (report units, y upwards).
bool OnTheSheet(const RecordingCanvas& c) {
  const auto in = [](int x, int y) { return x >= 0 && x <= 29700 && y <= 0 && y >= -21000; };
  for (const auto& t : c.texts)
    if (!in(t.x, t.y)) return false;
  for (const auto& l : c.lines)
    if (!in(l.x1, l.y1) || !in(l.x2, l.y2)) return false;
  for (const auto& r : c.rects)
    if (!in(r.x1, r.y1) || !in(r.x2, r.y2)) return false;
  return true;
}

TEST(LampReports, DamagedResultsPrintInsideTheSheet) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  Rig r;
  InputResult& in = r.form->M.Input;
  OutputResult& o = r.form->M.Output;
  in.VoltagePeak = 0.0f;
  in.CurrentPeak = nan;
  in.VoltageWave[10] = inf;
  in.Urms = -inf;
  in.CurrentHarmonicPct[5] = nan;
  o.OutputWavePeak[ChU] = 0.0f;
  o.OutputWavePeak[ChIl] = 1e-30f;  // far below its samples
  o.OutputWavePeak[ChIf] = -inf;
  o.OutputWave[ChIk][5] = nan;
  o.IlcfNeg = 3e38f;
  o.Pout = nan;
  std::memset(r.form->TestDate, 'x', sizeof r.form->TestDate);  // no terminator
  for (TestKind kind : {CompTest, OutputTest})
    for (int chinese : {0, 1})
      for (int family : {0, 1, 7}) {
        SCOPED_TRACE(std::to_string(kind) + (chinese ? " Chinese" : " English") + " family " + std::to_string(family));
        const RecordingCanvas c = r.Print(kind, chinese, family);
        EXPECT_TRUE(OnTheSheet(c));
        EXPECT_NE(c.Text("xxxxxxxxxxx"), nullptr) << "an unterminated date prints its 11 bytes";
        if (kind == OutputTest) {
          EXPECT_NE(c.Text(chinese ? "负波：-3.000E+38" : "-3.000E+38"), nullptr);
          EXPECT_NE(c.Text("NAN (W)"), nullptr);
          // The lamp-current band is held at 13 mm; the voltage has no scale.
          for (const auto& l : c.lines) {
            if (l.x1 == l.x2 && l.x1 > 2500 && l.x1 < 15500) {
              ASSERT_LE(std::abs(l.y1 - l.y2), 2 * 1300);
            }
          }
        } else {
          EXPECT_NE(c.Text("-INF"), nullptr);
          EXPECT_NE(c.Text("NAN (W)"), nullptr);
          if (!chinese) {
            ASSERT_NE(c.Text("Input"), nullptr);
            EXPECT_EQ(c.Text("Input")->font.Escapement, family == 0 ? 2700 : 900);
          }
        }
      }
}

}  // namespace
}  // namespace kt
