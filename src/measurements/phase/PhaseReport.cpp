#include "measurements/phase/PhaseReport.h"

#include <string>

#include "core/NumberText.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/ReportParts.h"
#include "measurements/input/InputReport.h"

namespace kt {

namespace {

constexpr int Columns = 6;

struct Language {
  const char* Title1;
  const char* Title2;
  const char* Labels[Columns];
  const char* Spectrum;
  const char* Current;
  int TableHeight;  // font of the 40-bin table
  bool Chinese;     // positions of the information block
};

const Language English = {
    "KT6100 Electronic Ballast Test Instrument",
    "Input Characteristic Test Report (continued)",
    {"Irms (A)", "PF", "THDI (%)", "Begin Phase (°)", "Peak Phase (°)", "End Phase (°)"},
    "spectrum",
    "current",
    400,
    false,
};

const Language Chinese = {
    "KT6100电子镇流器综合测试仪",
    "输入特性测试报告(续)",
    {"电流 (A)", "功率因数", "电流总谐波 (%)", "起始相位 (°)", "峰值相位 (°)", "终止相位 (°)"},
    "谐波",
    "电流",
    500,
    true,
};

const char* Face = "宋体";

void Print(const Language& lang, Form& form, Canvas& c) {
  const InputResult& in = form.M.Input;
  const MeasureSet& ms = form.M;

  PrintMainsHeading(c, lang.Title1, lang.Title2);

  // The frame's dividers, at the heading's pen first.
  Line(c, 2000, -13200, 13500, -13200);
  Line(c, 13500, -6800, 13500, -18500);
  Line(c, 14000, -6800, 14000, -18500);
  c.SetPen(clBlack, 10);
  for (int k = 0; k < 5; ++k) Line(c, 6100 + 4100 * k, -5000, 6100 + 4100 * k, -6800);
  Line(c, 2000, -14700, 13500, -14700);
  Line(c, 7700, -13200, 7700, -18500);
  for (int n = 1; n <= 5; ++n) Line(c, 14300 + 2000 * n, -6800, 14300 + 2000 * n, -18500);
  Line(c, 14000, -8100, 26600, -8100);

  // Value table.
  const float values[Columns] = {in.Irms, in.PF, in.THDI, ms.PhaseBegin, ms.PhasePeak, ms.PhaseEnd};
  const int decimals[Columns] = {3, 3, 1, 0, 0, 0};
  c.SetFont({Face, 500, clBlack, 0});
  for (int k = 0; k < Columns; ++k) {
    c.TextOut(4050 + 4100 * k, -5300, lang.Labels[k]);
    c.TextOut(4050 + 4100 * k, -6000, NumberText(values[k], decimals[k]));
  }

  PrintMainsInfoBlock(form, c, lang.Chinese);

  // Harmonic table: bins 0..39 in amperes and mA per watt, even bins left.
  c.SetFont({Face, lang.TableHeight, clBlack, 0});
  c.SetTextAlign(AlignCenter);
  for (int x : {15300, 21300}) {
    c.TextOut(x, -7000, lang.Spectrum);
    c.TextOut(x, -7500, "k");
  }
  for (int x : {17300, 23300}) {
    c.TextOut(x, -7000, lang.Current);
    c.TextOut(x, -7500, "(A)");
  }
  for (int x : {19300, 25300}) c.TextOut(x, -7000, "mA/W");
  for (int i = 0; i < HarmonicBins; i += 2) {
    const int y = -(8200 + 500 * i / 2);
    for (int half : {0, 1}) {
      const int bin = i + half, shift = 6000 * half;
      c.SetTextAlign(AlignRight);
      c.TextOut(15400 + shift, y, std::to_string(bin));
      c.SetTextAlign(AlignCenter);
      c.TextOut(17300 + shift, y, NumberText(in.CurrentHarmonic[bin], 3));
      c.TextOut(19300 + shift, y, NumberText(ms.CurrentPerWatt[bin], 1, 5));
    }
  }

  // Two periods of each channel, the crest 2550 units off the zero line.
  c.SetPen(clBlack, 10);
  ReportFrame(c, 2700, -7200, 12700, -12800);
  Line(c, 2700, -10000, 12700, -10000);
  // The report canvas's y runs upwards: the height is negative. Held to the
  // frame: only damaged values go past the crest, and the top of their reach
  // would be off the paper.
  const TwoPeriodTrace trace{.Left = 2700, .Step = 50, .Axis = -10000, .Height = -2550, .Low = -12800, .High = -7200};
  {
    const ClipTo frame(c, 2700, -7200, 12700, -12800);
    DrawTwoPeriods(c, in.VoltageWave, in.VoltagePeak, trace);
    DrawTwoPeriods(c, in.CurrentWave, in.CurrentPeak, trace);
  }

  // Low-order current harmonics in percent: bins 2, 3, 5, 7, 9, 11.
  c.SetFont({Face, 500, clBlack, 0});
  c.SetTextAlign(AlignCenter);
  c.TextOut(4850, -13400, lang.Spectrum);
  c.TextOut(10550, -13400, lang.Current);
  c.TextOut(4850, -14000, "k");
  c.TextOut(10550, -14000, "%");
  c.SetTextAlign(AlignRight);
  for (int j = 0; j <= 5; ++j) {
    const int bin = j == 0 ? 2 : 2 * j + 1;
    const int y = -(14900 + 600 * j);
    c.TextOut(4950, y, std::to_string(bin));
    c.TextOut(11050, y, NumberText(in.CurrentHarmonicPct[bin], 1));
  }
}

}  // namespace

void PrintPhaseReport(Form& form, Canvas& canvas) { Print(form.ChineseMode ? Chinese : English, form, canvas); }

}  // namespace kt
