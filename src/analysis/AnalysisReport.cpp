#include "analysis/AnalysisReport.h"

#include <algorithm>
#include <string>

#include "analysis/AnalysisPanels.h"
#include "core/AnalysisData.h"
#include "core/Geometry.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/ReportParts.h"

namespace kt {

namespace {

// The report is laid out below and right of a 25 mm margin (MarginCanvas).
struct Language {
  const char* Title[2];
  std::span<const InfoItem, 9> Info;  // in the order of TestInfoValues
  const char* RmsLabel[4];
  const char* CfLabel;
};

const Language English = {
    {"KT6100 Electronic Ballast Test Instrument", "Hight Frequency Analysis Report"},
    MarginInfoEnglish,
    {"RMS--U:", "RMS--Il:", "RMS--If:", "RMS--Ik:"},
    "CF:",
};

const Language Chinese = {
    {"KT6100电子镇流器综合测试仪", "高频波分析报告"},
    MarginInfoChinese,
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

void Print(const Language& lang, const Form& form, const AnalysisData& a, Canvas& canvas) {
  MarginCanvas c(canvas);

  PrintMarginTitles(c, Face, 800, lang.Title);

  c.SetFont({Face, 400, clBlack, 0});
  c.SetTextAlign(AlignLeft);
  PrintInfoItems(c, lang.Info, TestInfoValues(form));

  for (const Row& r : Rows) {
    c.TextOut(ValueLabelX, r.RmsLabelY, lang.RmsLabel[r.Channel]);
    c.TextOut(ValueX, r.RmsValueY, RmsValueText(a, r.Channel));
    c.TextOut(UnitX, r.RmsValueY, AnalysisUnit[r.Channel]);
    c.TextOut(ValueLabelX, r.CfLabelY, lang.CfLabel);
    c.TextOut(ValueX, r.CfValueY, CrestValueText(a, r.Channel));
  }

  c.SetPen(clBlack, 50, PenStyle::Solid);
  ReportFrame(c, 0, TableTop, TableRight, TableBottom);
  for (int x : {EnvelopeRight, WaveRight}) Line(c, x, TableTop, x, TableBottom);
  for (int y : RowDividers) Line(c, 0, y, TableRight, y);

  c.SetPen(clBlack, 10, PenStyle::Solid);
  for (const Row& r : Rows) {
    const int ch = r.Channel;
    Line(c, 0, r.Centre, EnvelopeRight, r.Centre);
    const float max = a.EnvelopeMax[ch];
    if (max > 0.0f) {
      for (int i = 0; i < AnalysisEnvelopePoints; ++i) {
        const int x = Trunc(i * 1180.0 / 15);
        // Held to the row: only a damaged file has a point beyond the maximum.
        const int half = std::clamp(Trunc(a.Envelope[ch][i] / static_cast<double>(max) * EnvelopeReach), -EnvelopeReach,
                                    EnvelopeReach);
        Line(c, x, r.Centre - half, x, r.Centre + half);
      }
    }
  }

  for (const Row& r : Rows) {
    const int ch = r.Channel;
    Line(c, EnvelopeRight, r.Centre, WaveRight, r.Centre);
    const float peak = a.WavePeak[ch];
    // The drawing copy never holds more than the slots, whatever a file says.
    const auto n = static_cast<int>(
        std::clamp(2 * static_cast<long long>(a.Period[ch]), 0LL, static_cast<long long>(AnalysisWaveSamples)));
    if (!(peak > 0.0f) || n == 0) continue;
    // A damaged file's point beyond the peak is held at twice it, which
    // keeps even the lowest row on the paper.
    const auto y = [&](int k) { return r.Centre - Trunc(DrawRatio(a.Wave[ch][k], peak, 2.0) * r.WaveAmplitude); };
    constexpr int HalfRow = (RowDividers[1] - RowDividers[0]) / 2;
    const ClipTo cell(c, EnvelopeRight, r.Centre - HalfRow, WaveRight, r.Centre + HalfRow);
    c.MoveTo(EnvelopeRight, y(0));
    for (int k = 1; k < n; ++k) c.LineTo(EnvelopeRight + k * WaveWidth / n, y(k));
  }

  c.SetPen(clBlack, 20, PenStyle::Solid);
  const int select = Trunc(a.SelectX * 0.5 * 11800 / 150);
  Line(c, select, TableTop, select, TableBottom);
}

}  // namespace

void PrintAnalysisReport(const Form& form, const AnalysisData& a, int english, Canvas& canvas) {
  Print(english == 1 ? English : Chinese, form, a, canvas);
}

}  // namespace kt
