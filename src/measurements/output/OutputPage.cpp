#include "measurements/output/OutputPage.h"

#include <algorithm>
#include <string>

#include "core/Geometry.h"
#include "core/MeasureSet.h"
#include "core/NumberText.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/output/EnvelopeBand.h"
#include "platform/Canvas.h"

namespace kt {

namespace {

// What differs between the English and the Chinese output page: texts,
// font, font heights (design units) and the form of the lamp-current
// crest-factor row.
struct OutputPageTexts {
  const char* Face;
  int TitleHeight;
  int TableHeight;
  const char* Title[2];
  const char* PowerLabel;
  const char* FrequencyLabel;
  // Value-area labels, top to bottom: four for the lamp voltage, four for the
  // lamp current (the third is the crest-factor row's), four each for the
  // filament and the cathode-lead current. Index 0, 4, 8 and 12 are the
  // channel headers.
  const char* Labels[16];
  // The crest-factor row of the lamp current: its label at the header column
  // instead of indented, and where the two half-wave values stand (design
  // column plus an offset in design units) behind which prefix.
  bool CrestLabelAtHeader;
  const char* PositivePrefix;
  int PositiveColumn, PositiveOffset;
  const char* NegativePrefix;
  int NegativeColumn, NegativeOffset;
};

const OutputPageTexts OutputPageEnglish = {
    "Times New Roman",
    20,
    15,
    {"KT6100 Electronic Ballast Test Instrument", "Output Characteristic Test Report"},
    "Pout=",
    "f   =",
    {"Lamp Voltage:", "Vrms:", "Vm: ", "Vcf:",           //
     "Lamp Current RMS:", "Ilm: ", "Ilcf:", "Ildhc:",    //
     "Filament Current :", "Ifrms: ", "Ifm: ", "Ifcf:",  //
     "Current Lead to Cathode :", "Ikrms: ", "Ikm: ", "Ikcf:"},
    false,
    "",
    480,
    -20,
    "-",
    480,
    25,
};

const OutputPageTexts OutputPageChinese = {
    "宋体",
    18,
    14,
    {"KT6100 电子镇流器综合测试仪", "输出特性测试报告"},
    "功率=",
    "振荡频率=",
    {"灯电压:", "有效值:", "峰值:", "波峰系数:",        //
     "灯电流有效值:", "峰值:", "波峰系数:", "半波差:",  //
     "灯丝电流:", "有效值:", "峰值:", "波峰系数:",      //
     "导入阴极电流:", "有效值:", "峰值:", "波峰系数:"},
    true,
    "正波:",
    330,
    75,
    "负波:-",
    480,
    0,
};

constexpr Colour PageBackground = 0x960000;  // dark blue

// Design grid of the page: 640 x 385 units, origin (40, 5).
constexpr double OriginX = 40, OriginY = 5;
constexpr int BandHalfHeight = 34;  // units of a band's half-height at the curve's peak
constexpr int CurveWidth = 300;     // units of the curve area left of each panel's divider
constexpr int PanelRight = 560;
constexpr int HeaderColumn = 330, LabelIndent = 20, ValueColumn = 480;

// One panel per channel, top to bottom, drawn in the channel's colour.
struct Panel {
  int Channel;
  Colour Pen;
  int Top, Bottom, Axis;
};
constexpr Panel Panels[4] = {
    {ChU, clWhite, 41, 115, 78},
    {ChIl, clRed, 121, 195, 158},
    {ChIf, clLime, 201, 275, 238},
    {ChIk, clYellow, 281, 355, 318},
};

enum class RowKind { Header, Value, Crest };
struct ValueRow {
  RowKind Kind;
  int Panel;  // colour
  int Y;
  float OutputValues::*Field;  // none for a bare header and the crest row
  int Decimals;
  const char* Unit;
};
constexpr ValueRow Rows[16] = {
    {RowKind::Header, 0, 50, nullptr, 0, ""},
    {RowKind::Value, 0, 66, &OutputValues::Vrms, 1, " (V)"},
    {RowKind::Value, 0, 82, &OutputValues::Vm, 1, " (V)"},
    {RowKind::Value, 0, 98, &OutputValues::Vcf, 2, ""},
    {RowKind::Header, 1, 125, &OutputValues::Ilrms, 3, " (A)"},
    {RowKind::Value, 1, 141, &OutputValues::Ilm, 3, " (A)"},
    {RowKind::Crest, 1, 157, nullptr, 2, ""},
    {RowKind::Value, 1, 173, &OutputValues::Ildhc, 1, " %"},
    {RowKind::Header, 2, 205, nullptr, 0, ""},
    {RowKind::Value, 2, 221, &OutputValues::Ifrms, 3, " (A)"},
    {RowKind::Value, 2, 237, &OutputValues::Ifm, 3, " (A)"},
    {RowKind::Value, 2, 253, &OutputValues::Ifcf, 2, ""},
    {RowKind::Header, 3, 285, nullptr, 0, ""},
    {RowKind::Value, 3, 301, &OutputValues::Ikrms, 3, " (A)"},
    {RowKind::Value, 3, 317, &OutputValues::Ikm, 3, " (A)"},
    {RowKind::Value, 3, 333, &OutputValues::Ikcf, 2, ""},
};

// Positions on the page for one paint box size. Every position is formed in
// floating point and truncated once; a column is first truncated on its own.
struct Layout : PaintBox {
  Layout(Canvas& canvas, int w, int h) : PaintBox(canvas, w, h, OriginX, OriginY) {}
  int Column(int column) const { return X0 + Trunc(static_cast<float>(column) * s.sx); }
  // An x a number of units to the side of a column.
  int BesideColumn(int column, double units) const { return Trunc(Column(column) + units * s.sx); }
};

void DrawPanels(Canvas& c, const Layout& L, const OutputResult& o) {
  // One band point every 2 pixels across the curve area. Past the bound (a
  // window some 70 000 pixels wide) the whole curve still shows, on fewer
  // points than the area would take.
  const int n = std::clamp(Trunc(CurveWidth * L.s.sx * 0.5), 0, MaxBandPoints);
  const int h = L.Height32(BandHalfHeight);
  for (const Panel& p : Panels) {
    c.SetPen(p.Pen, 1, PenStyle::Solid);
    const int top = L.Y(p.Top), bottom = L.Y(p.Bottom), right = L.X(PanelRight);
    c.MoveTo(L.X0, top);
    c.LineTo(right, top);
    c.LineTo(right, bottom);
    c.LineTo(L.X0, bottom);
    c.LineTo(L.X0, top);
    Line(c, L.X(CurveWidth), top, L.X(CurveWidth), bottom);
    Line(c, L.X0, L.Y(p.Axis), L.X(CurveWidth), L.Y(p.Axis));
    DrawEnvelopeBand(c, o.OutputWave[p.Channel], o.OutputWavePeak[p.Channel], n, L.X0,
                     static_cast<float>(L.Y0) + static_cast<float>(p.Axis) * L.s.sy, h);
  }
}

void DrawValues(Canvas& c, const Layout& L, const OutputResult& o, const OutputPageTexts& t) {
  const int height = L.Height32(t.TableHeight);
  const auto font = [&](Colour colour) { c.SetFont(Font{t.Face, height, colour, 0}); };

  font(clLime);
  c.TextOut(L.X(50), L.Y(360), t.PowerLabel + NumberText(o.Pout, 1) + " (W)");
  c.TextOut(L.X(400), L.Y(360), t.FrequencyLabel + NumberText(o.OscFreq, 2) + " (kHz)");

  const int header = L.Column(HeaderColumn), indented = L.BesideColumn(HeaderColumn, LabelIndent);
  const int value = L.Column(ValueColumn);
  int colour = -1;
  for (int r = 0; r < 16; ++r) {
    const ValueRow& row = Rows[r];
    if (row.Panel != colour) font(Panels[row.Panel].Pen);
    colour = row.Panel;
    const int y = L.Y(row.Y);
    if (row.Kind == RowKind::Crest) {
      c.TextOut(t.CrestLabelAtHeader ? header : indented, y, t.Labels[r]);
      c.TextOut(L.BesideColumn(t.PositiveColumn, t.PositiveOffset), y,
                t.PositivePrefix + NumberText(o.IlcfPos, row.Decimals));
      c.TextOut(L.BesideColumn(t.NegativeColumn, t.NegativeOffset), y,
                t.NegativePrefix + NumberText(o.IlcfNeg, row.Decimals));
      continue;
    }
    c.TextOut(row.Kind == RowKind::Header ? header : indented, y, t.Labels[r]);
    if (row.Field) c.TextOut(value, y, NumberText(o.*row.Field, row.Decimals) + row.Unit);
  }
}

void DrawOutputPage(const OutputResult& o, const OutputPageTexts& t, Canvas& c, int width, int height) {
  const Layout L(c, width, height);

  c.SetBrush(PageBackground);
  c.SetPen(clBlack, 1, PenStyle::Solid);
  c.Rectangle(0, 0, width, height);

  c.SetFont(Font{t.Face, L.Height32(t.TitleHeight), clWhite, 0});
  c.SetTextAlign(AlignCenter);
  c.TextOut(L.X(280), L.Y(0), t.Title[0]);
  c.TextOut(L.X(280), L.Y(20), t.Title[1]);

  DrawTitledFrame(L, 60, 500, 378);  // the title stands in the gap of the top edge
  DrawPanels(c, L, o);

  c.SetTextAlign(AlignLeft);
  DrawValues(c, L, o, t);
}

}  // namespace

void PaintOutputPage(Form& form, Canvas& canvas, int width, int height) {
  DrawOutputPage(form.M.Output, form.ChineseMode ? OutputPageChinese : OutputPageEnglish, canvas, width, height);
}

}  // namespace kt
