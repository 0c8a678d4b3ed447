#include "measurements/start/StartPage.h"

#include <algorithm>

#include "core/Geometry.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/start/StartPrompt.h"
#include "measurements/start/StartRun.h"
#include "measurements/start/StartValueRows.h"
#include "platform/Canvas.h"

namespace kt {

namespace {

// What differs between the English and the Chinese start page: the titles
// and the labels.
struct StartPageTexts {
  const char* Title[2];
  const char* Labels[16];  // value column, top to bottom (see StartValueRows.h)
  const char* CursorTime;
  const char* CursorVoltage;
  const char* CursorCurrent;
};

const StartPageTexts StartPageEnglish = {
    {"KT6100 Electronic Ballast Test Instrument", "Start Characteristic Test Report"},
    {"Lamp Voltage :", "Peak Voltage: ", "Time to Peak Voltage: ", "Sensitivity:",     //
     "Lamp Current :", "Peak Current:", "Time to Peak Current:", "Time for Warm-up:",  //
     "Filament Current :", "Peak Currnet:", "Time to Peak Current:", "Sensitivity:",   //
     "Current Lead to Cathode :", "Peak Current:", "Time to Peak Current:", "Sentivity:"},
    "Time:      ",
    "Voltage:  ",
    "Current:  ",
};

const StartPageTexts StartPageChinese = {
    {"KT6100 电子镇流器综合测试仪", "启动特性测试报告"},
    {"灯电压 ：", "峰值电压 ：", "到达峰值时间 ： ", "时间分度 ：",   //
     "灯电流 ：", "峰值电流 ：", "到达峰值时间 ：", "预热时间 ：",    //
     "灯丝电流 ：", "峰值电流 ：", "到达峰值时间 ：", "时间分度 ：",  //
     "导入阴极电流 ：", "峰值电流 ：", "到达峰值时间 ：", "时间分度 ："},
    "时间:  ",
    "电压:  ",
    "电流:  ",
};

constexpr Colour PageBackground = Rgb(0, 0, 150);  // dark blue
constexpr const char* Face = "Times New Roman";
constexpr int TitleHeight = 20, TextHeight = 15;

// Design grid of the page: 640 x 385 units, origin (40, 5).
constexpr double OriginX = 40, OriginY = 5;
constexpr int PlotWidth = 300;  // units of the five seconds, one per sample
constexpr int PanelRight = 560;
constexpr int PanelHeight = 75;  // units from a panel's top to its baseline: full scale
constexpr int Divisions = 10, Rows = 5;
constexpr int LabelColumn = 330, IndentColumn = 350, ValueColumn = 480, CursorColumn = 190;
constexpr int CursorBoxLeft = 185, CursorBoxRight = 290;

// One panel per channel, top to bottom. Full scale is 1000 V for the lamp
// voltage and 1.5 A for the currents.
struct Panel {
  int Channel;
  Colour Pen;
  int Top, Bottom, BoxTop, BoxBottom;
  double FullScale;
  int TitleRow;  // design y of the panel's first value row
};
constexpr Panel Panels[4] = {
    {ChU, clWhite, 40, 115, 45, 85, 1000.0, 50},
    {ChIl, clRed, 120, 195, 122, 162, 1.5, 125},
    {ChIf, clLime, 200, 275, 202, 242, 1.5, 205},
    {ChIk, clYellow, 280, 355, 282, 322, 1.5, 285},
};
constexpr int RowGap = 16;  // design units between rows of the value column

// Design y of the value column's rows: four per panel.
int RowY(int row) { return Panels[StartRowPanel(row)].TitleRow + RowGap * (row % 4); }

using Layout = PaintBox;

void DrawCurve(Canvas& c, const Layout& L, const StartResult& r, const Panel& p, int height) {
  const double baseline = static_cast<float>(L.Y0) + static_cast<float>(p.Bottom) * L.s.sy;
  const int base = Trunc(baseline);
  const int full = L.Height32(PanelHeight);
  const int cursor = r.CursorIndex;  // a cursor off the curves draws no line
  c.MoveTo(L.X(0), base);
  for (int i = 0; i < StartSamples; ++i) {
    // A curve of all-zero samples (CurveMax 0) lies flat; a damaged peak is
    // held to a few panels' height, and the point to the paint box.
    const double share =
        DrawRatio(static_cast<double>(r.Curve[p.Channel][i]) * r.Peak[p.Channel], p.FullScale * r.CurveMax[p.Channel]);
    const int h = Trunc(share * full);
    const int x = L.X(i);
    const int y = std::clamp(Trunc(baseline - h), 0, std::max(height, 0));
    c.LineTo(x, y);
    if (i == cursor) {
      c.MoveTo(x, base);
      c.LineTo(x, y);
    }
  }
}

void DrawPanels(Canvas& c, const Layout& L, const StartResult& r, int height) {
  for (const Panel& p : Panels) {
    const int top = L.Y(p.Top), bottom = L.Y(p.Bottom);
    c.SetPen(p.Pen, 1, PenStyle::Solid);
    c.Rectangle(L.X(0), top, L.X(PanelRight), bottom);
    Line(c, L.X(PlotWidth), top, L.X(PlotWidth), bottom);

    c.SetPen(clBlack, 1, PenStyle::Dot);
    const int step = PlotWidth / Divisions;
    for (int i = 1; i < Divisions; ++i) Line(c, L.X(step * i), top, L.X(step * i), bottom);
    const int rowStep = PanelHeight / Rows;
    for (int i = 1; i < Rows; ++i) L.Line(0, p.Top + rowStep * i, PlotWidth, p.Top + rowStep * i);

    c.SetPen(p.Pen, 1, PenStyle::Solid);
    {
      const ClipTo plot(c, L.X(0), top, L.X(PlotWidth), bottom);
      DrawCurve(c, L, r, p, height);
    }
    c.Rectangle(L.X(CursorBoxLeft), L.Y(p.BoxTop), L.X(CursorBoxRight), L.Y(p.BoxBottom));
  }
}

void DrawTexts(Canvas& c, const Layout& L, const StartResult& r, const StartPageTexts& t) {
  const int height = L.Height32(TextHeight);
  c.SetTextAlign(AlignLeft);
  for (int k = 0; k < 4; ++k) {
    const Panel& p = Panels[k];
    c.SetFont(Font{Face, height, p.Pen, 0});
    for (int row = 4 * k; row < 4 * k + 4; ++row) {
      const int y = L.Y(RowY(row));
      c.TextOut(L.X(StartRowIndented(row) ? IndentColumn : LabelColumn), y, t.Labels[row]);
      const std::string value = StartRowValue(r, row);
      if (!value.empty()) c.TextOut(L.X(ValueColumn), y, value);
    }
    c.TextOut(L.X(CursorColumn), L.Y(p.TitleRow), StartCursorTimeText(r, t.CursorTime));
    c.TextOut(L.X(CursorColumn), L.Y(p.TitleRow + RowGap),
              StartCursorValueText(r, k, p.Channel == ChU ? t.CursorVoltage : t.CursorCurrent));
  }
}

void DrawStartPage(const StartResult& r, const StartPageTexts& t, Canvas& c, int width, int height) {
  const Layout L(c, width, height, OriginX, OriginY);

  // The brush stays dark blue: the panels and cursor boxes are filled with it.
  c.SetBrush(PageBackground);
  c.FillRect(0, 0, width, height, PageBackground);

  c.SetFont(Font{Face, L.Height32(TitleHeight), clWhite, 0});
  c.SetTextAlign(AlignCenter);
  c.TextOut(L.X(280), L.Y(0), t.Title[0]);
  c.TextOut(L.X(280), L.Y(20), t.Title[1]);

  DrawTitledFrame(L, 70, 490, 360);  // the title stands in the gap of the top edge
  DrawPanels(c, L, r, height);
  DrawTexts(c, L, r, t);
}

}  // namespace

void PaintStartPage(Form& form, Canvas& canvas, int width, int height) {
  if (!form.M.Start.Valid)
    PaintStartPrompt(canvas, width, height);
  else
    DrawStartPage(form.M.Start, form.ChineseMode ? StartPageChinese : StartPageEnglish, canvas, width, height);
}

}  // namespace kt
