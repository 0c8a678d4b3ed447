#include "analysis/AnalysisReport.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "analysis/AnalysisPanels.h"
#include "core/AnalysisData.h"
#include "core/Geometry.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "platform/Canvas.h"

namespace kt {

namespace {

// The report is laid out below and right of a 25 mm margin.
constexpr int Left = 2500, Top = 2500;

struct InfoItem {
  const char* Label;
  int X, Y, ValueX;
};

struct Language {
  const char* Title[2];
  InfoItem Info[9];  // name, number, type, standard, temperature, humidity, manufacturer, operator, date
  const char* RmsLabel[4];
  const char* CfLabel;
};

const Language English = {
    {"KT6100 Electronic Ballast Test Instrument", "Hight Frequency Analysis Report"},
    {{"Name:", 1000, 1300, 3000},
     {"No. :", 1000, 1800, 3000},
     {"Type:", 9000, 1300, 11500},
     {"standard:", 9000, 1800, 11500},
     {"Temperature:", 18000, 1300, 21000},
     {"Humidity:", 18000, 1800, 21000},
     {"Manufacturer:", 1000, 16200, 4500},
     {"Operator:", 16000, 16200, 18500},
     {"Test Date:", 1000, 16700, 4500}},
    {"RMS--U:", "RMS--Il:", "RMS--If:", "RMS--Ik:"},
    "CF:",
};

const Language Chinese = {
    {"KT6100电子镇流器综合测试仪", "高频波分析报告"},
    {{"名称:", 1000, 1300, 2500},
     {"编号:", 1000, 1800, 2500},
     {"型号:", 10000, 1300, 11500},
     {"规格:", 10000, 1800, 11500},
     {"温度:", 19000, 1300, 20500},
     {"湿度:", 19000, 1800, 20500},
     {"制造商:", 1000, 16200, 3000},
     {"测试员:", 18000, 16200, 20000},
     {"测试日期:", 1000, 16700, 3000}},
    {"灯电压--U:", "灯电流--Il:", "灯丝电流--If:", "阴极电流--Ik:"},
    "波峰比:",
};

const char* const Face = "宋体";

// Table: the frame, the column dividers and the row dividers.
constexpr int TableRight = 23700, TableTop = 2500, TableBottom = 16000;
constexpr int EnvelopeRight = 11800, WaveRight = 19800;
constexpr int RowDividers[3] = {5875, 9250, 12625};

// One row per channel, in display order.
struct Row {
  int Channel;
  int Centre;
  int RmsLabelY, RmsValueY, CfLabelY, CfValueY;
  int WaveAmplitude;
};
constexpr Row Rows[4] = {
    {ChU, 4187, 2675, 3475, 4275, 5075, 1400},
    {ChIl, 7562, 6050, 6850, 7650, 8450, 1200},
    {ChIf, 10937, 9425, 10225, 11025, 11825, 1400},
    {ChIk, 14312, 12800, 13600, 14400, 15200, 1200},
};
constexpr int ValueLabelX = 20000, ValueX = 20800, UnitX = 22800;
constexpr int EnvelopeReach = 1400;
constexpr int WaveWidth = 8000;

// Design coordinates, measured down from the top margin, onto the canvas.
struct Page {
  Canvas& c;
  void Text(int x, int y, const std::string& s) { c.TextOut(Left + x, -(Top + y), s); }
  void MoveTo(int x, int y) { c.MoveTo(Left + x, -(Top + y)); }
  void LineTo(int x, int y) { c.LineTo(Left + x, -(Top + y)); }
  void Line(int x1, int y1, int x2, int y2) {
    MoveTo(x1, y1);
    LineTo(x2, y2);
  }
};

void Print(const Language& lang, const Form& form, const AnalysisData& a, Canvas& canvas) {
  Page p{canvas};
  const TestInfo& t = form.Info;

  canvas.SetFont({Face, 800, clBlack, 0});
  canvas.SetTextAlign(AlignCenter);
  p.Text(11800, -500, lang.Title[0]);
  p.Text(11800, 300, lang.Title[1]);

  canvas.SetFont({Face, 400, clBlack, 0});
  canvas.SetTextAlign(AlignLeft);
  const std::string values[9] = {t.Name,         t.No,      t.Type, t.Standard, t.Temperature + "℃", t.Humidity + "%",
                                 t.Manufacturer, t.Operator, std::string(form.TestDate, strnlen(form.TestDate, sizeof form.TestDate))};
  for (int i = 0; i < 9; ++i) {
    const InfoItem& item = lang.Info[i];
    p.Text(item.X, item.Y, item.Label);
    p.Text(item.ValueX, item.Y, values[i]);
  }

  for (const Row& r : Rows) {
    p.Text(ValueLabelX, r.RmsLabelY, lang.RmsLabel[r.Channel]);
    p.Text(ValueX, r.RmsValueY, RmsValueText(a, r.Channel));
    p.Text(UnitX, r.RmsValueY, AnalysisUnit[r.Channel]);
    p.Text(ValueLabelX, r.CfLabelY, lang.CfLabel);
    p.Text(ValueX, r.CfValueY, CrestValueText(a, r.Channel));
  }

  canvas.SetPen(clBlack, 50, PenStyle::Solid);
  p.MoveTo(0, TableTop);
  p.LineTo(TableRight, TableTop);
  p.LineTo(TableRight, TableBottom);
  p.LineTo(0, TableBottom);
  p.LineTo(0, TableTop);
  for (int x : {EnvelopeRight, WaveRight}) p.Line(x, TableTop, x, TableBottom);
  for (int y : RowDividers) p.Line(0, y, TableRight, y);

  canvas.SetPen(clBlack, 10, PenStyle::Solid);
  for (const Row& r : Rows) {
    const int c = r.Channel;
    p.Line(0, r.Centre, EnvelopeRight, r.Centre);
    const float max = a.EnvelopeMax[c];
    if (max > 0.0f) {
      for (int i = 0; i < AnalysisEnvelopePoints; ++i) {
        const int x = Trunc(i * 1180.0 / 15);
        // Held to the row: only a damaged file has a point beyond the maximum.
        const int half = std::clamp(Trunc(a.Envelope[c][i] / static_cast<double>(max) * EnvelopeReach), -EnvelopeReach,
                                    EnvelopeReach);
        p.Line(x, r.Centre - half, x, r.Centre + half);
      }
    }
  }

  for (const Row& r : Rows) {
    const int c = r.Channel;
    p.Line(EnvelopeRight, r.Centre, WaveRight, r.Centre);
    const float peak = a.WavePeak[c];
    // The drawing copy never holds more than the slots, whatever a file says.
    const int n = std::clamp(2 * static_cast<long long>(a.Period[c]), 0LL, static_cast<long long>(AnalysisWaveSamples));
    if (!(peak > 0.0f) || n == 0) continue;
    // A damaged file's point beyond the peak is held at twice it, which
    // keeps even the lowest row on the paper.
    const auto y = [&](int k) { return r.Centre - Trunc(DrawRatio(a.Wave[c][k], peak, 2.0) * r.WaveAmplitude); };
    p.MoveTo(EnvelopeRight, y(0));
    for (int k = 1; k < n; ++k) p.LineTo(EnvelopeRight + k * WaveWidth / n, y(k));
  }

  canvas.SetPen(clBlack, 20, PenStyle::Solid);
  const int select = Trunc(a.SelectX * 0.5 * 11800 / 150);
  p.Line(select, TableTop, select, TableBottom);
}

}  // namespace

void PrintAnalysisReportEnglish(const Form& form, const AnalysisData& a, Canvas& canvas) { Print(English, form, a, canvas); }
void PrintAnalysisReportChinese(const Form& form, const AnalysisData& a, Canvas& canvas) { Print(Chinese, form, a, canvas); }

void PrintAnalysisReport(const Form& form, const AnalysisData& a, int english, Canvas& canvas) {
  if (english == 1)
    PrintAnalysisReportEnglish(form, a, canvas);
  else
    PrintAnalysisReportChinese(form, a, canvas);
}

}  // namespace kt
