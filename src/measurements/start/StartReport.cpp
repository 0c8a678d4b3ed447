#include "measurements/start/StartReport.h"

#include <algorithm>
#include <string>

#include "core/Geometry.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/start/StartRun.h"
#include "measurements/start/StartValueRows.h"
#include "platform/Canvas.h"

namespace kt {

namespace {

struct Language {
  const char* Title[2];
  const char* InfoLabels[9];  // in the order of InfoItems below
  int InfoValueX[9];
  const char* Labels[16];  // value column, top to bottom (see StartValueRows.h)
  const char* CursorTime;
  const char* CursorVoltage;
  const char* CursorCurrent;
};

const Language English = {
    {"KT6100 Electronic Ballast Test Instrument", "Start Characteristic Test Report"},
    {"Name:", "No. :", "Type:", "Standard:", "Temperature:", "Humidity:", "Manufacturer:", "Operator:", "Test Date:"},
    {2500, 2500, 11500, 11500, 21000, 21000, 4000, 18500, 4000},
    {"Lamp Voltage:", "Peak Voltage:", "Time to Peak Voltage:", "Sensitivity:",       //
     "Lamp Current:", "Peak Current:", "Time to Peak Current:", "Time for warm-up:",  //
     "Filament Current:", "Peak Current:", "Time to Peak Current:", "Sensitivity:",   //
     "Current Lead to Cathode:", "Peak Current:", "Time to Peak Current:", "Sensitivity:"},
    "Time:    ",
    "Voltage: ",
    "Current: ",
};

const Language Chinese = {
    {"KT6100 电子镇流器综合测试仪", "启动特性测试报告"},
    {"名称:", "编号:", "型号:", "规格:", "温度:", "湿度:", "制造商:", "测试员:", "测试日期:"},
    {2500, 2500, 10500, 10500, 19500, 19500, 3500, 18000, 3500},
    {"灯电压:", "峰值电压:", "到达峰值时间:", "时间分度:",    //
     "灯电流:", "峰值电流:", "到达峰值时间:", "预热时间:",    //
     "灯丝电流:", "峰值电流:", "到达峰值时间:", "时间分度:",  //
     "导入阴极电流:", "峰值电流:", "到达峰值时间:", "时间分度:"},
    "时间: ",
    "电压: ",
    "电流: ",
};

constexpr const char* Face = "宋体";
constexpr int TitleHeight = 700, TextHeight = 400;

// The layout is measured from a 25 mm margin at the left and the top.
constexpr int MarginLeft = 2500, MarginTop = 2500;
// A4 across, in 0.01 mm: damaged curves are held to the paper.
constexpr int PaperHeight = 21000;

// The label positions of the test information (design units below the top
// margin), in the order of the language tables.
struct InfoPos {
  int X, Y;
};
constexpr InfoPos InfoItems[9] = {{1000, 1300},  {1000, 1800},  {9000, 1300},   {9000, 1800}, {18000, 1300},
                                  {18000, 1800}, {1000, 16200}, {16000, 16200}, {1000, 16700}};

constexpr int LabelColumn = 14000, IndentColumn = 15000, ValueColumn = 20000, CursorColumn = 8000;
// Value rows of each panel, 750 apart from the panel's first.
constexpr int FirstRow[4] = {2600, 6100, 9600, 13100};
constexpr int RowGap = 750;
// The cursor readouts of each panel: time, then the value 500 below.
constexpr int CursorRow[4] = {2800, 6300, 9800, 13300};
constexpr int CursorRowGap = 500;

constexpr int PanelTop = 2500, PanelPitch = 3500, PanelHeight = 3000;  // full scale
constexpr int PanelRight = 23700, PlotWidth = 13000;
constexpr int Divisions = 10, Rows = 5;
constexpr int CursorBoxLeft = 7800, CursorBoxRight = 11500, CursorBoxHeight = 1200;
constexpr int CursorBoxTop[4] = {2700, 6200, 9700, 13200};

// Channels of the panels, top to bottom, and their full scale: 1000 V and
// 1.5 A.
constexpr int PanelChannel[4] = {ChU, ChIl, ChIf, ChIk};
constexpr double FullScale[4] = {1000.0, 1.5, 1.5, 1.5};

// The canvas point of design point (x, y).
int PX(int x) { return MarginLeft + x; }
int PY(int y) { return -(MarginTop + y); }

void Text(Canvas& c, int x, int y, const std::string& s) { c.TextOut(PX(x), PY(y), s); }
void Line(Canvas& c, int x1, int y1, int x2, int y2) {
  c.MoveTo(PX(x1), PY(y1));
  c.LineTo(PX(x2), PY(y2));
}
// An outline only: a filled rectangle would wipe out the texts drawn before.
void Frame(Canvas& c, int x1, int y1, int x2, int y2) {
  c.MoveTo(PX(x1), PY(y1));
  c.LineTo(PX(x2), PY(y1));
  c.LineTo(PX(x2), PY(y2));
  c.LineTo(PX(x1), PY(y2));
  c.LineTo(PX(x1), PY(y1));
}

void PrintTexts(const Language& lang, const Form& form, Canvas& c) {
  const StartResult& r = form.M.Start;
  const TestInfo& t = form.Info;

  c.SetFont({Face, TitleHeight, clBlack, 0});
  c.SetTextAlign(AlignCenter);
  Text(c, 11800, -500, lang.Title[0]);
  Text(c, 11800, 300, lang.Title[1]);

  c.SetFont({Face, TextHeight, clBlack, 0});
  c.SetTextAlign(AlignLeft);
  const std::string values[9] = {t.Name,           t.No,           t.Type,     t.Standard,   t.Temperature + "℃",
                                 t.Humidity + "%", t.Manufacturer, t.Operator, form.TestDate};
  for (int k = 0; k < 9; ++k) {
    Text(c, InfoItems[k].X, InfoItems[k].Y, lang.InfoLabels[k]);
    Text(c, lang.InfoValueX[k], InfoItems[k].Y, values[k]);
  }

  for (int row = 0; row < StartRowCount; ++row) {
    const int y = FirstRow[StartRowPanel(row)] + RowGap * (row % 4);
    Text(c, StartRowIndented(row) ? IndentColumn : LabelColumn, y, lang.Labels[row]);
    const std::string value = StartRowValue(r, row);
    if (!value.empty()) Text(c, ValueColumn, y, value);
  }

  for (int k = 0; k < 4; ++k) {
    Text(c, CursorColumn, CursorRow[k], StartCursorTimeText(r, lang.CursorTime));
    Text(c, CursorColumn, CursorRow[k] + CursorRowGap,
         StartCursorValueText(r, k, PanelChannel[k] == ChU ? lang.CursorVoltage : lang.CursorCurrent));
  }
}

void PrintCurve(Canvas& c, const StartResult& r, int k, int bottom) {
  const int ch = PanelChannel[k];
  // A curve of all-zero samples (CurveMax 0) lies flat; a damaged peak is
  // held to a few panels' height, and the point to the paper.
  const auto y = [&](int i) {
    const double share = DrawRatio(static_cast<double>(r.Curve[ch][i]) * r.Peak[ch], FullScale[k] * r.CurveMax[ch]);
    return std::clamp(bottom - Trunc(share * PanelHeight), -MarginTop, PaperHeight - MarginTop);
  };
  c.MoveTo(PX(0), PY(bottom));
  for (int i = 0; i < StartSamples; ++i) {
    const int x = Trunc(1300.0 * i / 30);  // 30 samples to a division
    c.LineTo(PX(x), PY(y(i)));
    if (i == r.CursorIndex) {
      c.MoveTo(PX(x), PY(bottom));
      c.LineTo(PX(x), PY(y(i)));
    }
  }
}

void PrintPanels(const Form& form, Canvas& c) {
  const StartResult& r = form.M.Start;
  for (int k = 0; k < 4; ++k) {
    const int top = PanelTop + PanelPitch * k, bottom = top + PanelHeight;
    c.SetPen(clBlack, 50, PenStyle::Solid);
    Frame(c, 0, top, PanelRight, bottom);
    Line(c, PlotWidth, top, PlotWidth, bottom);
    c.SetPen(clBlack, 10, PenStyle::Dot);
    const int step = PlotWidth / Divisions;
    for (int i = 1; i < Divisions; ++i) Line(c, step * i, top, step * i, bottom);
    const int rowStep = PanelHeight / Rows;
    for (int i = 1; i < Rows; ++i) Line(c, 0, top + rowStep * i, PlotWidth, top + rowStep * i);
    c.SetPen(clBlack, 50, PenStyle::Solid);
    PrintCurve(c, r, k, bottom);
  }
  const int last = PanelTop + PanelPitch * 3 + PanelHeight;
  Line(c, 0, PanelTop, 0, last);
  Line(c, PanelRight, PanelTop, PanelRight, last);
  c.SetPen(clBlack, 10, PenStyle::Solid);
  for (int top : CursorBoxTop) Frame(c, CursorBoxLeft, top, CursorBoxRight, top + CursorBoxHeight);
}

void Print(const Language& lang, Form& form, Canvas& c) {
  PrintTexts(lang, form, c);
  PrintPanels(form, c);
}

}  // namespace

void PrintStartReportEnglish(Form& form, Canvas& canvas) { Print(English, form, canvas); }
void PrintStartReportChinese(Form& form, Canvas& canvas) { Print(Chinese, form, canvas); }
void PrintStartReport(Form& form, Canvas& canvas) {
  if (form.ChineseMode)
    PrintStartReportChinese(form, canvas);
  else
    PrintStartReportEnglish(form, canvas);
}

}  // namespace kt
