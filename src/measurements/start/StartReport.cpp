#include "measurements/start/StartReport.h"

#include <algorithm>
#include <string>

#include "core/Geometry.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/ReportParts.h"
#include "measurements/start/StartRun.h"
#include "measurements/start/StartValueRows.h"

namespace kt {

namespace {

struct Language {
  const char* Title[2];
  std::span<const InfoItem, 9> Info;  // in the order of TestInfoValues
  const char* Labels[16];             // value column, top to bottom (see StartValueRows.h)
  const char* CursorTime;
  const char* CursorVoltage;
  const char* CursorCurrent;
};

const Language English = {
    {"KT6100 Electronic Ballast Test Instrument", "Start Characteristic Test Report"},
    MarginInfoEnglishNarrow,
    {"Lamp Voltage:", "Peak Voltage:", "Time to Peak Voltage:", "Sensitivity:",       //
     "Lamp Current:", "Peak Current:", "Time to Peak Current:", "Time for warm-up:",  //
     "Filament Current:", "Peak Current:", "Time to Peak Current:", "Sensitivity:",   //
     "Current Lead to Cathode:", "Peak Current:", "Time to Peak Current:", "Sensitivity:"},
    "Time:    ",
    "Voltage: ",
    "Current: ",
};

// The start report's own Chinese block: its columns stand further left.
constexpr InfoItem StartInfoChinese[9] = {
    {"名称:", 1000, 1300, 2500},    {"编号:", 1000, 1800, 2500},      {"型号:", 9000, 1300, 10500},
    {"规格:", 9000, 1800, 10500},   {"温度:", 18000, 1300, 19500},    {"湿度:", 18000, 1800, 19500},
    {"制造商:", 1000, 16200, 3500}, {"测试员:", 16000, 16200, 18000}, {"测试日期:", 1000, 16700, 3500}};

const Language Chinese = {
    {"KT6100 电子镇流器综合测试仪", "启动特性测试报告"},
    StartInfoChinese,
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

// The layout is measured from a 25 mm margin at the left and the top
// (MarginCanvas). A4 across, in 0.01 mm: damaged curves are held to the paper.
constexpr int PaperHeight = 21000;

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

void PrintTexts(const Language& lang, const Form& form, Canvas& c) {
  const StartResult& r = form.M.Start;

  PrintMarginTitles(c, Face, TitleHeight, lang.Title);

  c.SetFont({Face, TextHeight, clBlack, 0});
  c.SetTextAlign(AlignLeft);
  PrintInfoItems(c, lang.Info, TestInfoValues(form));

  for (int row = 0; row < StartRowCount; ++row) {
    const int y = FirstRow[StartRowPanel(row)] + RowGap * (row % 4);
    c.TextOut(StartRowIndented(row) ? IndentColumn : LabelColumn, y, lang.Labels[row]);
    const std::string value = StartRowValue(r, row);
    if (!value.empty()) c.TextOut(ValueColumn, y, value);
  }

  for (int k = 0; k < 4; ++k) {
    c.TextOut(CursorColumn, CursorRow[k], StartCursorTimeText(r, lang.CursorTime));
    c.TextOut(CursorColumn, CursorRow[k] + CursorRowGap,
              StartCursorValueText(r, k, PanelChannel[k] == ChU ? lang.CursorVoltage : lang.CursorCurrent));
  }
}

void PrintCurve(Canvas& c, const StartResult& r, int k, int bottom) {
  const int ch = PanelChannel[k];
  // A curve of all-zero samples (CurveMax 0) lies flat; a damaged peak is
  // held to a few panels' height, and the point to the paper.
  const auto y = [&](int i) {
    const double share = DrawRatio(static_cast<double>(r.Curve[ch][i]) * r.Peak[ch], FullScale[k] * r.CurveMax[ch]);
    return std::clamp(bottom - Trunc(share * PanelHeight), -MarginCanvas::Margin, PaperHeight - MarginCanvas::Margin);
  };
  const ClipTo plot(c, 0, bottom - PanelHeight, PlotWidth, bottom);
  c.MoveTo(0, bottom);
  for (int i = 0; i < StartSamples; ++i) {
    const int x = Trunc(1300.0 * i / 30);  // 30 samples to a division
    c.LineTo(x, y(i));
    if (i == r.CursorIndex) Line(c, x, bottom, x, y(i));
  }
}

void PrintPanels(const Form& form, Canvas& c) {
  const StartResult& r = form.M.Start;
  for (int k = 0; k < 4; ++k) {
    const int top = PanelTop + PanelPitch * k, bottom = top + PanelHeight;
    c.SetPen(clBlack, 50, PenStyle::Solid);
    ReportFrame(c, 0, top, PanelRight, bottom);
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
  for (int top : CursorBoxTop) ReportFrame(c, CursorBoxLeft, top, CursorBoxRight, top + CursorBoxHeight);
}

void Print(const Language& lang, Form& form, Canvas& report) {
  MarginCanvas c(report);
  PrintTexts(lang, form, c);
  PrintPanels(form, c);
}

}  // namespace

void PrintStartReport(Form& form, Canvas& canvas) { Print(form.ChineseMode ? Chinese : English, form, canvas); }

}  // namespace kt
