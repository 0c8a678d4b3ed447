#include "measurements/output/OutputReport.h"

#include <string>

#include "core/Geometry.h"
#include "core/MeasureSet.h"
#include "core/NumberText.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/ReportParts.h"

namespace kt {

namespace {

constexpr const char* Face = "宋体";
constexpr int TitleHeight = 800, TextHeight = 400;

struct Language {
  const char* Title[2];
  InfoItem Measured[2];               // Pout, f
  std::span<const InfoItem, 9> Info;  // in the order of TestInfoValues
  // The value column, top to bottom: four rows each for the lamp voltage,
  // the lamp current, the filament and the cathode-lead current.
  const char* Rows[16];
  // The lamp current's crest-factor row: the two half-waves behind their
  // prefixes.
  const char* PositivePrefix;
  int PositiveX;
  const char* NegativePrefix;
  int NegativeX;
};

const Language English = {
    {"KT6100 Electronic Ballast Test Instrument", "Output Characteristic Test Report"},
    {{"Pout:", 1000, 15300, 2500}, {"f   :", 18000, 15300, 19500}},
    MarginInfoEnglish,
    {"Lamp Voltage:", "Vrms:", "Vm:", "Vcf:",         //
     "Lamp Current RMS:", "Ilm:", "Ilcf:", "Ildhc:",  //
     "Filament Current:", "Ifrms:", "Ifm:", "Ifcf:",  //
     "Current Lead to Cathode:", "Ikrms:", "Ikm:", "Ikcf:"},
    "",
    19000,
    "-",
    20500,
};

const Language Chinese = {
    {"KT6100电子镇流器综合测试仪", "输出特性测试报告"},
    {{"功率:", 1000, 15300, 2500}, {"振荡频率:", 17500, 15300, 20000}},
    MarginInfoChinese,
    {"灯电压:", "有效值:", "峰值:", "波峰系数:",        //
     "灯电流有效值:", "峰值:", "波峰系数:", "半波差:",  //
     "灯丝电流:", "有效值:", "峰值:", "波峰系数:",      //
     "导入阴极电流:", "有效值:", "峰值:", "波峰系数:"},
    "正波：",
    17500,
    "负波：-",
    20500,
};

constexpr int HeaderX = 14000, LabelX = 15000, ValueX = 20000;

enum class RowKind { Header, Value, Crest };
struct ValueRow {
  RowKind Kind;
  int Y;
  float OutputValues::*Field;  // none for a bare header and the crest row
  int Decimals;
  const char* Unit;
};
constexpr ValueRow Rows[16] = {
    {RowKind::Header, 2600, nullptr, 0, ""},
    {RowKind::Value, 3350, &OutputValues::Vrms, 1, " (V)"},
    {RowKind::Value, 4100, &OutputValues::Vm, 1, " (V)"},
    {RowKind::Value, 4850, &OutputValues::Vcf, 2, ""},
    {RowKind::Header, 5800, &OutputValues::Ilrms, 3, " (A)"},
    {RowKind::Value, 6550, &OutputValues::Ilm, 3, " (A)"},
    {RowKind::Crest, 7300, nullptr, 2, ""},
    {RowKind::Value, 8050, &OutputValues::Ildhc, 1, " %"},
    {RowKind::Header, 9000, nullptr, 0, ""},
    {RowKind::Value, 9750, &OutputValues::Ifrms, 3, " (A)"},
    {RowKind::Value, 10500, &OutputValues::Ifm, 3, " (A)"},
    {RowKind::Value, 11250, &OutputValues::Ifcf, 2, ""},
    {RowKind::Header, 12200, nullptr, 0, ""},
    {RowKind::Value, 12950, &OutputValues::Ikrms, 3, " (A)"},
    {RowKind::Value, 13700, &OutputValues::Ikm, 3, " (A)"},
    {RowKind::Value, 14450, &OutputValues::Ikcf, 2, ""},
};

// The four panels, top to bottom, in record channel order.
constexpr int PanelTop[4] = {2500, 5700, 8900, 12100};
constexpr int PanelHeight = 3000, PanelWidth = 23700, CurveWidth = 13000, BandHalfHeight = 1300;

void Print(const Language& lang, Form& form, Canvas& report) {
  MarginCanvas c(report);
  const OutputResult& o = form.M.Output;

  PrintMarginTitles(c, Face, TitleHeight, lang.Title);

  c.SetFont({Face, TextHeight, clBlack, 0});
  c.SetTextAlign(AlignLeft);
  const std::string measured[2] = {NumberText(o.Pout, 1) + " (W)", NumberText(o.OscFreq, 2) + " (kHz)"};
  PrintInfoItems(c, lang.Measured, measured);
  PrintInfoItems(c, lang.Info, TestInfoValues(form));

  for (int r = 0; r < 16; ++r) {
    const ValueRow& row = Rows[r];
    c.TextOut(row.Kind == RowKind::Header ? HeaderX : LabelX, row.Y, lang.Rows[r]);
    if (row.Kind == RowKind::Crest) {
      c.TextOut(lang.PositiveX, row.Y, lang.PositivePrefix + NumberText(o.IlcfPos, row.Decimals));
      c.TextOut(lang.NegativeX, row.Y, lang.NegativePrefix + NumberText(o.IlcfNeg, row.Decimals));
    } else if (row.Field) {
      c.TextOut(ValueX, row.Y, NumberText(o.*row.Field, row.Decimals) + row.Unit);
    }
  }

  for (int ch = 0; ch < 4; ++ch) {
    const int top = PanelTop[ch], axis = top + PanelHeight / 2;
    c.SetPen(clBlack, 50);
    ReportFrame(c, 0, top, PanelWidth, top + PanelHeight);
    Line(c, CurveWidth, top, CurveWidth, top + PanelHeight);
    c.SetPen(clBlack, 10);
    Line(c, 0, axis, CurveWidth, axis);
    // The mirrored band of the 150 samples without resampling, 13 mm high
    // at the curve's largest value, spanning the curve area. A damaged
    // file's sample beyond the peak stays inside the panel.
    for (int i = 0; i < 150; ++i) {
      const int v = Trunc(DrawRatio(o.OutputWave[ch][i], o.OutputWavePeak[ch], 1.0) * BandHalfHeight);
      const int x = Trunc(MarginCanvas::Margin + i * 1300 * (1.0 / 15)) - MarginCanvas::Margin;
      Line(c, x, axis - v, x, axis + v);
    }
  }

  c.SetPen(clBlack, 50);
  Line(c, 0, 2500, 0, 16000);
  Line(c, PanelWidth, 2500, PanelWidth, 16000);
  Line(c, 0, 16000, PanelWidth, 16000);
}

}  // namespace

void PrintOutputReport(Form& form, Canvas& canvas) { Print(form.ChineseMode ? Chinese : English, form, canvas); }

}  // namespace kt
