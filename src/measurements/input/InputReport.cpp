#include "measurements/input/InputReport.h"

#include <algorithm>
#include <string>

#include "core/Geometry.h"
#include "core/NumberText.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/ReportParts.h"

namespace kt {

namespace {

struct Language {
  const char* Title1;
  const char* Title2;
  const char* Labels[5][2];  // [column][WideFreqMode]
  const char* ThdU;
  const char* ThdI;
  const char* ThdIw;
  const char* Spectrum;
  const char* Voltage;
  const char* Current;
};

const Language English = {
    "KT6100 Electronic Ballast Test Instrument",
    "Input Characteristic Test Report",
    {{"Urms (V)", "Urms (V)"},
     {"Irms (A)", "Irmsw (A)"},
     {"P (W)", "P (W)"},
     {"PF", "PFw"},
     {"Freq (Hz)", "Freq (Hz)"}},
    "THDU=",
    "THDI=",
    "THDIw=",
    "spectrum",
    "voltage",
    "current",
};

const Language Chinese = {
    "KT6100电子镇流器综合测试仪",
    "输入特性测试报告",
    {{"电压 (V)", "电压 (V)"},
     {"电流 (A)", "宽频电流 (A)"},
     {"功率 (W)", "功率 (W)"},
     {"功率因数", "宽频功率因数"},
     {"频率 (Hz)", "频率 (Hz)"}},
    "电压总谐波=",
    "电流总谐波=",
    "宽频电流总谐波=",
    "谐波",
    "电压",
    "电流",
};

const char* Face = "宋体";

// The test information of the mains-side reports, in the order of
// TestInfoValues.
constexpr InfoItem MainsInfoEnglish[9] = {
    {"Name:", 3500, -4000, 5000},          {"No.:", 3500, -4500, 5000},           {"Type:", 12500, -4000, 14500},
    {"Standard:", 12500, -4500, 14500},    {"Temperature:", 20500, -4000, 23500}, {"Humidity:", 20500, -4500, 23500},
    {"Manufacturer:", 3500, -18700, 6500}, {"Operator:", 20500, -18700, 22500},   {"Test Date:", 3500, -19200, 6500},
};
constexpr InfoItem MainsInfoChinese[9] = {
    {"名称:", 3500, -4000, 5000},    {"编号:", 3500, -4500, 5000},      {"型号:", 12500, -4000, 14000},
    {"规格:", 12500, -4500, 14000},  {"温度:", 21500, -4000, 23000},    {"湿度:", 21500, -4500, 23000},
    {"制造商:", 3500, -18700, 5500}, {"测试员:", 21500, -18700, 23000}, {"测试日期:", 3500, -19200, 5500},
};

void Print(const Language& lang, Form& form, Canvas& c, bool chinese) {
  const InputResult& in = form.M.Input;
  const bool wide = form.WideFreqMode != 0;

  PrintMainsHeading(c, lang.Title1, lang.Title2);

  // The frame's dividers, at the heading's pen first.
  Line(c, 2000, -11500, 13500, -11500);
  Line(c, 2000, -15000, 13500, -15000);
  Line(c, 13500, -6800, 13500, -18500);
  Line(c, 14000, -6800, 14000, -18500);
  c.SetPen(clBlack, 10);
  for (int x : {7200, 11900, 16700, 21400}) Line(c, x, -5000, x, -6800);
  for (int n = 1; n <= 5; ++n) Line(c, 14300 + 2000 * n, -6800, 14300 + 2000 * n, -18500);
  Line(c, 14000, -8100, 26600, -8100);

  // Value table.
  const float values[5] = {in.Urms, wide ? in.Irmsw : in.Irms, in.P, wide ? in.PFw : in.PF, in.Freq};
  const int decimals[5] = {1, 3, 1, 3, 2};
  const int columns[5] = {5000, 9600, 14300, 19000, 23600};
  c.SetFont({Face, 600, clBlack, 0});
  for (int k = 0; k < 5; ++k) {
    c.TextOut(columns[k], -5300, lang.Labels[k][wide ? 1 : 0]);
    c.TextOut(columns[k], -6000, NumberText(values[k], decimals[k]));
  }

  PrintMainsInfoBlock(form, c, chinese);

  // THD lines and the spectrum axis marks.
  c.SetFont({Face, 400, clBlack, 0});
  c.SetTextAlign(AlignLeft);
  c.TextOut(9000, -12000, lang.ThdU + NumberText(in.THDU, 1) + "%");
  c.TextOut(9000, -15400, std::string(wide ? lang.ThdIw : lang.ThdI) + NumberText(wide ? in.THDIw : in.THDI, 1) + "%");
  for (int y : {-14100, -17600}) {
    c.TextOut(2500, y, "1");
    c.TextOut(7500, y, "k");
    c.TextOut(12000, y, "39");
  }

  // Harmonic table.
  c.SetFont({Face, 500, clBlack, 0});
  c.SetTextAlign(AlignCenter);
  for (int x : {15300, 21300}) {
    c.TextOut(x, -7000, lang.Spectrum);
    c.TextOut(x, -7500, "k");
  }
  for (int x : {17300, 23300}) c.TextOut(x, -7000, lang.Voltage);
  for (int x : {19300, 25300}) c.TextOut(x, -7000, lang.Current);
  for (int x : {17300, 19300, 23300, 25300}) c.TextOut(x, -7500, "%");
  c.SetTextAlign(AlignRight);
  for (int i = 0; i < HarmonicBins; i += 2) {
    const int y = -(8200 + 500 * i / 2);
    c.TextOut(15400, y, std::to_string(i));
    c.TextOut(17600, y, NumberText(in.VoltageHarmonicPct[i], 1));
    c.TextOut(19600, y, NumberText(in.CurrentHarmonicPct[i], 1));
    c.TextOut(21400, y, std::to_string(i + 1));
    c.TextOut(23800, y, NumberText(in.VoltageHarmonicPct[i + 1], 1));
    c.TextOut(25800, y, NumberText(in.CurrentHarmonicPct[i + 1], 1));
  }

  // Two periods of each channel.
  c.SetPen(clBlack, 10);
  ReportFrame(c, 2500, -7000, 12500, -11000);
  Line(c, 2500, -9000, 12500, -9000);
  // The report canvas's y runs upwards: the heights are negative.
  TwoPeriodTrace trace{.Left = 2500, .Step = 50, .Axis = -9000, .Height = -1500};
  {
    const ClipTo frame(c, 2500, -7000, 12500, -11000);
    DrawTwoPeriods(c, in.VoltageWave, in.VoltagePeak, trace);
    trace.Height = -1750;
    DrawTwoPeriods(c, in.CurrentWave, in.CurrentPeak, trace);
  }

  // Spectra, 250 units per bin, the fundamental 2000 units tall.
  const auto spectrum = [&](const float* magnitude, int base, int rowTop) {
    const ClipTo frame(c, 2000, rowTop, 13500, rowTop - 3500);
    c.SetPen(clBlack, 10);
    Line(c, 2500, base, 12500, base);
    c.SetPen(clBlack, 100);
    // A magnitude is never below 0; a damaged one draws no bar instead of
    // one hanging off the bottom of the paper.
    for (int k = 0; k < HarmonicBins; ++k)
      Line(c, 2500 + 250 * k, base, 2500 + 250 * k,
           base + Trunc(std::max(0.0, DrawRatio(magnitude[k], magnitude[1])) * 2000));
  };
  spectrum(in.VoltageHarmonic, -14000, -11500);
  spectrum(in.CurrentHarmonic, -17500, -15000);
}

}  // namespace

void PrintMainsHeading(Canvas& c, const char* title1, const char* title2) {
  c.SetFont({Face, 800, clBlack, 0});
  c.SetTextAlign(AlignCenter);
  c.TextOut(14300, -2000, title1);
  c.TextOut(14300, -2800, title2);
  c.SetPen(clBlack, 50);
  ReportFrame(c, 2000, -5000, 26600, -18500);
  Line(c, 2000, -6800, 26600, -6800);
}

void PrintMainsInfoBlock(const Form& form, Canvas& c, bool chinese) {
  c.SetFont({Face, 400, clBlack, 0});
  c.SetTextAlign(AlignLeft);
  PrintInfoItems(c, chinese ? MainsInfoChinese : MainsInfoEnglish, TestInfoValues(form));
}

void PrintInputReport(Form& form, Canvas& canvas) {
  const bool chinese = form.ChineseMode != 0;
  Print(chinese ? Chinese : English, form, canvas, chinese);
}

}  // namespace kt
