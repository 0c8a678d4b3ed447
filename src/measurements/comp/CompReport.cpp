#include "measurements/comp/CompReport.h"

#include <string>

#include "core/Geometry.h"
#include "core/NumberText.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/ReportParts.h"

namespace kt {

namespace {

// Escapement of the English report's rotated captions: printers of family 0
// are given text running downwards (270 degrees), the others upwards.
int CompCaptionEscapement(int printerFamily) { return printerFamily == 0 ? 2700 : 900; }

// Positions are design units from the report's margins (MarginCanvas).
struct RotatedCaption {
  const char* Text;
  int X, Y;
};

// Single characters, centred, one under the other 500 units apart.
struct StackedCaption {
  const char* Chars[6];
  int Count;
  int X, Y;
};

struct Language {
  const char* Face;
  int TitleHeight;
  const char* Title[2];
  const RotatedCaption* Rotated;
  int RotatedCount;
  const StackedCaption* Stacked;
  int StackedCount;
  std::span<const InfoItem, 9> Info;  // in the order of TestInfoValues
  InfoItem Lamp[3];                   // Result (no value), luminous flux, colour temperature
  const char* InputLabels[3][3];      // [row][column]
  const char* ThdLabels[3];
  const char* PercentSuffix;
  const char* HarmonicHeaders[3];
  int HarmonicHeaderX[3], HarmonicRowX[3];
  int OutputColumnX[2];
  const char* OutputLabels[4][2];
  // Grid: the divider between the output and the harmonic table, and the
  // harmonic table's inner verticals (with the output table's).
  int TableDivider;
  int InnerVerticals[3];
};

constexpr RotatedCaption EnglishCaptions[] = {
    {"Input", 300, 5200},          {"Characteristic", 1300, 5200}, {"Output Characteristic", 300, 12000},
    {"Lamp Voltage", 1300, 10000}, {"Lamp Current", 1300, 14000},
};

constexpr StackedCaption ChineseCaptions[] = {
    {{"输", "入", "特", "性", "分", "析"}, 6, 1000, 3700},
    {{"输", "出", "特", "性", "分", "析"}, 6, 500, 10500},
    {{"灯", "管", "电", "压"}, 4, 1500, 9000},
    {{"灯", "管", "电", "流"}, 4, 1500, 13000},
};

const Language English = {
    "T 宋体",
    800,
    {"KT6100 Electronic Ballast Test Instrument", "Compositive Characteristic Test Report"},
    EnglishCaptions,
    static_cast<int>(std::size(EnglishCaptions)),
    nullptr,
    0,
    MarginInfoEnglishNarrow,
    {{"Result:", 16000, 16700, 0}, {"Luminous flux:", 10300, 2700, 13300}, {"Color Temperature:", 17000, 2700, 22000}},
    {{"Urms (V)", "Irms (A)", "Irmsw (A)"}, {"P     (W)", "PF", "PFw"}, {"Freq (Hz)", "CFv", "CFi"}},
    {"THDU", "THDI", "THDIw"},
    "%",
    {"spectrum", "Voltage", "Current"},
    {17200, 19700, 22200},
    {17400, 20300, 22800},
    {11500, 14500},
    {{"Vrms", "Ilrms"}, {"Ifrms", "Ikrms"}, {"Pout", "f"}, {"Ilm", "Ilcf"}},
    16000,
    {13000, 18500, 21000},
};

const Language Chinese = {
    "宋体",
    700,
    {"KT6100 电子镇流器综合测试仪", "综合特性测试报告"},
    nullptr,
    0,
    ChineseCaptions,
    static_cast<int>(std::size(ChineseCaptions)),
    MarginInfoChinese,
    {{"测定结果:", 18000, 16700, 0}, {"光通量:", 10300, 2700, 12300}, {"色温:", 18000, 2700, 19500}},
    {{"电压 (V)", "电流 (A)", "宽频电流 (A)"},
     {"功率 (W)", "功率因数", "宽频功率因数"},
     {"频率 (Hz)", "电压波峰比", "电流波峰比"}},
    {"电压总谐波", "窄频电流总谐波", "宽频电流总谐波"},
    " %",
    {"谐波", "电压", "电流"},
    {18900, 20800, 22700},
    {19100, 21400, 23300},
    {12000, 16000},
    {{"灯管电压", "灯管电流"}, {"灯丝电流", "导入阴极电流"}, {"灯功率", "振荡频率"}, {"峰值灯电流", "灯电流波峰比"}},
    18000,
    {14000, 19900, 21800},
};

constexpr int TextHeight = 400;
constexpr int Right = 23700, Bottom = 16000;

void DrawCaptions(Canvas& c, const Language& lang, int escapement) {
  if (lang.RotatedCount > 0) {
    c.SetFont({lang.Face, TextHeight, clBlack, escapement});
    c.SetTextAlign(AlignCenter);
    for (int i = 0; i < lang.RotatedCount; ++i) c.TextOut(lang.Rotated[i].X, lang.Rotated[i].Y, lang.Rotated[i].Text);
    c.SetFont({lang.Face, TextHeight, clBlack, 0});
  }
  c.SetTextAlign(AlignCenter);
  for (int i = 0; i < lang.StackedCount; ++i) {
    const StackedCaption& s = lang.Stacked[i];
    for (int j = 0; j < s.Count; ++j) c.TextOut(s.X, s.Y + 500 * j, s.Chars[j]);
  }
}

void DrawInfo(Canvas& c, const Language& lang, const Form& form) {
  c.SetTextAlign(AlignLeft);
  PrintInfoItems(c, lang.Info, TestInfoValues(form));
  const std::string lamp[3] = {"", form.Info.LuminousFlux + " lm", form.Info.ColourTemperature + " K"};
  PrintInfoItems(c, lang.Lamp, lamp);
}

void DrawTables(Canvas& c, const Language& lang, const Form& form) {
  const InputResult& in = form.M.Input;
  const OutputResult& o = form.M.Output;

  struct Cell {
    float value;
    int decimals;
  };
  const Cell cells[3][3] = {
      {{in.Urms, 1}, {in.Irms, 3}, {in.Irmsw, 3}},
      {{in.P, 1}, {in.PF, 3}, {in.PFw, 3}},
      {{in.Freq, 2}, {in.CFv, 2}, {in.CFi, 2}},
  };
  constexpr int LabelX[3] = {10200, 14600, 19100}, ValueX[3] = {14400, 18900, 23600}, RowY[3] = {3600, 4500, 5400};
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) {
      c.SetTextAlign(AlignLeft);
      c.TextOut(LabelX[col], RowY[row], lang.InputLabels[row][col]);
      c.SetTextAlign(AlignRight);
      c.TextOut(ValueX[col], RowY[row], NumberText(cells[row][col].value, cells[row][col].decimals));
    }

  constexpr int ThdX[3] = {12300, 16700, 21300};
  const float thd[3] = {in.THDU, in.THDI, in.THDIw};
  c.SetTextAlign(AlignCenter);
  for (int col = 0; col < 3; ++col) {
    c.TextOut(ThdX[col], 6300, lang.ThdLabels[col]);
    c.TextOut(ThdX[col], 7200, NumberText(thd[col], 1) + lang.PercentSuffix);
  }

  const char* second[3] = {"k", "%", "%"};
  for (int col = 0; col < 3; ++col) {
    c.TextOut(lang.HarmonicHeaderX[col], 8200, lang.HarmonicHeaders[col]);
    c.TextOut(lang.HarmonicHeaderX[col], 9200, second[col]);
  }
  c.SetTextAlign(AlignRight);
  for (int i = 0; i < 6; ++i) {
    const int k = 2 * i + 1, y = 10200 + 1000 * i;
    c.TextOut(lang.HarmonicRowX[0], y, std::to_string(k));
    c.TextOut(lang.HarmonicRowX[1], y, NumberText(in.VoltageHarmonicPct[k], 1));
    c.TextOut(lang.HarmonicRowX[2], y, NumberText(in.CurrentHarmonicPct[k], 1));
  }

  const std::string values[4][2] = {
      {NumberText(o.Vrms, 1) + " (V)", NumberText(o.Ilrms, 3) + " (A)"},
      {NumberText(o.Ifrms, 3) + " (A)", NumberText(o.Ikrms, 3) + " (A)"},
      {NumberText(o.Pout, 1) + " (W)", NumberText(o.OscFreq, 2) + " (kHz)"},
      {NumberText(o.Ilm, 3) + " (A)", NumberText(o.IlcfPos, 2)},
  };
  c.SetTextAlign(AlignCenter);
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 2; ++col) {
      const int y = 8200 + 2000 * row;
      c.TextOut(lang.OutputColumnX[col], y, lang.OutputLabels[row][col]);
      c.TextOut(lang.OutputColumnX[col], y + 1000, values[row][col]);
    }
}

void DrawGrid(Canvas& c, const Language& lang) {
  c.SetPen(clBlack, 50);
  ReportFrame(c, 0, 2500, Right, Bottom);
  Line(c, 0, 7900, Right, 7900);
  Line(c, 10100, 2500, 10100, Bottom);
  Line(c, lang.TableDivider, 7900, lang.TableDivider, Bottom);
  Line(c, 10100, 3400, Right, 3400);

  c.SetPen(clBlack, 10);
  Line(c, 1000, 7900, 1000, Bottom);
  Line(c, 1000, 12000, 10100, 12000);
  for (int x : {13100, 17600, 22300}) Line(c, x, 3400, x, 6100);
  for (int x : {14500, 19000}) Line(c, x, 3400, x, 7900);
  for (int y : {4300, 5200, 6100, 7000}) Line(c, 10100, y, Right, y);
  for (int i = 0; i <= 6; ++i) Line(c, 10100, 8900 + 1000 * i, lang.TableDivider, 8900 + 1000 * i);
  Line(c, lang.TableDivider, 8900, Right, 8900);
  for (int x : lang.InnerVerticals) Line(c, x, 7900, x, Bottom);
}

// Values beyond their curve's peak only come from a damaged file; they are
// held at the peak so that nothing leaves its box.
int Scaled(float value, float peak, int height) { return Trunc(DrawRatio(value, peak, 1.0) * height); }

void DrawPictures(Canvas& c, const Form& form) {
  const InputResult& in = form.M.Input;
  const OutputResult& o = form.M.Output;

  // Two mains periods, every second point of the 200, 40 units apart.
  ReportFrame(c, 2000, 3200, 10000, 7200);
  Line(c, 2000, 5200, 10000, 5200);
  TwoPeriodTrace trace{.Left = 2000, .Step = 40, .Axis = 5200, .Height = 1500, .Limit = 1.0};
  DrawTwoPeriods(c, in.VoltageWave, in.VoltagePeak, trace);
  trace.Height = 1700;
  DrawTwoPeriods(c, in.CurrentWave, in.CurrentPeak, trace);

  // The first 100 envelope samples of lamp voltage and lamp current as
  // mirrored bands, 80 units apart.
  struct Band {
    int Channel, Top, Axis;
  };
  for (const Band& b : {Band{ChU, 8200, 10000}, Band{ChIl, 12200, 14000}}) {
    ReportFrame(c, 2000, b.Top, 10000, b.Top + 3600);
    Line(c, 2000, b.Axis, 10000, b.Axis);
    for (int i = 0; i < 100; ++i) {
      const int v = Scaled(o.OutputWave[b.Channel][i], o.OutputWavePeak[b.Channel], 1700);
      const int x = 2000 + i * 800 / 10;
      Line(c, x, b.Axis - v, x, b.Axis + v);
    }
  }
}

void Print(const Language& lang, Form& form, Canvas& report) {
  MarginCanvas c(report);
  PrintMarginTitles(c, lang.Face, lang.TitleHeight, lang.Title);
  c.SetFont({lang.Face, TextHeight, clBlack, 0});

  DrawCaptions(c, lang, CompCaptionEscapement(form.PrinterFamily));
  DrawInfo(c, lang, form);
  DrawTables(c, lang, form);
  DrawGrid(c, lang);
  DrawPictures(c, form);
}

}  // namespace

void PrintCompReport(Form& form, Canvas& canvas) { Print(form.ChineseMode ? Chinese : English, form, canvas); }

}  // namespace kt
