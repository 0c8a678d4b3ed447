#include "measurements/input/InputPage.h"

#include <string>

#include "core/Geometry.h"
#include "core/NumberText.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "platform/Canvas.h"

namespace kt {

namespace {

constexpr Colour DarkGreen = Rgb(0, 75, 0);  // current items

struct Language {
  const char* Title1;
  const char* Title2;
  int TitleHeight;
  bool TitleOnHalfWidth;  // centred on W / 2 instead of design x 320
  int ValueHeight;
  int ThdOffset;             // x offset of the THD lines after the box's left edge
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
    20,
    false,
    16,
    100,
    {{"Urms (V)", "Urms (V)"},
     {"Irms (A)", "Irmsw (A)"},
     {"P (W)", "P (W)"},
     {"PF", "PFw"},
     {"Freq (Hz)", "Freq (Hz)"}},
    "THDU:  ",
    "THDI:  ",
    "THDIw:  ",
    "spectrum",
    "voltage",
    "current",
};

const Language Chinese = {
    "KT6100 电子镇流器综合测试仪",
    "输入特性测试报告",
    19,
    true,
    15,
    60,
    {{"电压(V)", "电压(V)"},
     {"电流(A)", "宽频电流(A)"},
     {"功率(W)", "功率(W)"},
     {"功率因数", "宽频功率因数"},
     {"频率(Hz)", "频率(Hz)"}},
    "电压总谐波:  ",
    "电流总谐波:  ",
    "宽频电流总谐波:  ",
    "谐波",
    "电压",
    "电流",
};

void Paint(const Language& lang, Form& form, Canvas& c, int w, int h) {
  const InputResult& in = form.M.Input;
  const bool wide = form.WideFreqMode != 0;
  const PaintBox P(c, w, h);
  const double sx = P.s.sx, sy = P.s.sy;
  const auto font = [&](int height, Colour colour) { P.SetFont("Times New Roman", height, colour); };

  // Background and title.
  c.SetPen(clBlack, 1);
  c.SetBrush(clWhite);
  c.Rectangle(0, 0, w, h);
  font(lang.TitleHeight, clBlack);
  c.SetTextAlign(AlignCenter);
  const int titleX = lang.TitleOnHalfWidth ? w / 2 : P.X(320);
  c.TextOut(titleX, P.Y(0), lang.Title1);
  c.TextOut(titleX, P.Y(20), lang.Title2);

  DrawMainsFrame(P);
  P.Line(10, 192, 230, 192);
  P.Line(10, 275, 230, 275);
  P.Line(230, 78, 230, 370);

  c.SetPen(clBlack, 1);
  const int col = P.X(120);
  for (int k = 1; k <= 4; ++k) {
    const int x = Trunc(10 * sx + k * col);
    c.MoveTo(x, P.Y(42));
    c.LineTo(x, P.Y(78));
  }
  P.Line(230, 115, 630, 115);
  for (int x : {296, 362, 430, 498, 564}) P.Line(x, 78, x, 370);

  // Value table.
  const int rowY = P.Y(40);
  const float values[5] = {in.Urms, wide ? in.Irmsw : in.Irms, in.P, wide ? in.PFw : in.PF, in.Freq};
  const int decimals[5] = {1, 3, 1, 3, 2};
  font(lang.ValueHeight, clBlue);
  c.SetTextAlign(AlignCenter);
  for (int k = 0; k < 5; ++k) {
    const int x = Trunc(10 * sx + k * col + col / 2);
    c.TextOut(x, Trunc(rowY + 5 * sy), lang.Labels[k][wide ? 1 : 0]);
    c.TextOut(x, Trunc(rowY + 20 * sy), NumberText(values[k], decimals[k]));
  }

  // THD lines and the spectrum axis marks.
  const int left = P.X(20), mid = P.Y(135);
  font(14, clRed);
  c.SetTextAlign(AlignLeft);
  const int thdX = Trunc(left + lang.ThdOffset * sx);
  c.TextOut(thdX, Trunc(mid + 70 * sy), lang.ThdU + NumberText(in.THDU, 1) + "%");
  font(14, DarkGreen);
  c.TextOut(thdX, Trunc(mid + 150 * sy),
            std::string(wide ? lang.ThdIw : lang.ThdI) + NumberText(wide ? in.THDIw : in.THDI, 1) + "%");
  font(14, clBlack);
  for (int yOff : {125, 210}) {
    const int y = Trunc(mid + yOff * sy);
    c.TextOut(left, y, "1");
    c.TextOut(Trunc(left + 90 * sx), y, "k");
    c.TextOut(Trunc(left + 180 * sx), y, "39");
  }

  // Harmonic table.
  const int tx = P.X(50);
  int ty = Trunc(rowY + 10 * sy);
  const auto at = [&](int origin, double units, double scale) { return Trunc(origin + units * scale); };
  font(16, clBlack);
  c.SetTextAlign(AlignCenter);
  const int head1 = at(ty, 32, sy), head2 = at(ty, 48, sy);
  for (int x : {217, 414}) c.TextOut(at(tx, x, sx), head1, lang.Spectrum);
  font(16, clRed);
  for (int x : {279, 481}) c.TextOut(at(tx, x, sx), head1, lang.Voltage);
  font(16, DarkGreen);
  for (int x : {345, 547}) c.TextOut(at(tx, x, sx), head1, lang.Current);
  font(16, clBlack);
  for (int x : {217, 414}) c.TextOut(at(tx, x, sx), head2, "k");
  for (int x : {279, 345, 481, 547}) c.TextOut(at(tx, x, sx), head2, "%");

  ty = Trunc(ty + 69 * sy);
  c.SetTextAlign(AlignRight);
  for (int i = 0; i < HarmonicBins; i += 2) {
    const int y = Trunc(12 * sy * i * 0.5 + ty);
    const auto cells = [&](int bin, int xBin, int xV, int xI) {
      font(14, clBlack);
      c.TextOut(at(tx, xBin, sx), y, std::to_string(bin));
      font(14, clRed);
      c.TextOut(at(tx, xV, sx), y, NumberText(in.VoltageHarmonicPct[bin], 1));
      font(14, DarkGreen);
      c.TextOut(at(tx, xI, sx), y, NumberText(in.CurrentHarmonicPct[bin], 1));
    };
    cells(i, 219, 287, 353);
    cells(i + 1, 419, 494, 561);
  }

  // Waveform box and the two periods of each channel.
  const int amp = P.Y(50);
  PaintMainsWaves(c, in, {left, left + P.X(200), mid, amp, sx, amp - 15 * sy, amp - 5 * sy});

  // Spectra: bar k of each at 5 units per bin, the fundamental 50 units high.
  // Each stands in its row of the frame.
  const auto spectrum = [&](const float* magnitude, double baseUnits, Colour colour, int rowTop, int rowBottom) {
    const ClipTo frame(c, P.X(10), P.Y(rowTop), P.X(230), P.Y(rowBottom));
    const int base = Trunc(mid + baseUnits * sy);
    c.SetPen(clBlack, 1);
    c.MoveTo(left, base);
    c.LineTo(Trunc(left + 200 * sx), base);
    c.SetPen(colour, 2);
    for (int k = 0; k < HarmonicBins; ++k) {
      const int x = Trunc(left + 5 * k * sx);
      c.MoveTo(x, base);
      c.LineTo(x, base - Trunc(DrawRatio(magnitude[k], magnitude[1]) * amp));
    }
  };
  spectrum(in.VoltageHarmonic, 120, clRed, 192, 275);
  spectrum(in.CurrentHarmonic, 205, DarkGreen, 275, 370);
}

}  // namespace

void PaintMainsWaves(Canvas& c, const InputResult& in, const MainsWaveBox& b) {
  c.SetPen(clBlack, 1);
  c.MoveTo(b.Left, b.Mid - b.Amp);
  c.LineTo(b.Right, b.Mid - b.Amp);
  c.LineTo(b.Right, b.Mid + b.Amp);
  c.LineTo(b.Left, b.Mid + b.Amp);
  c.LineTo(b.Left, b.Mid - b.Amp);
  c.MoveTo(b.Left, b.Mid);
  c.LineTo(b.Right, b.Mid);
  TwoPeriodTrace trace{.Left = b.Left, .Step = b.Step, .Axis = static_cast<double>(b.Mid), .Height = b.VoltageHeight};
  const ClipTo frame(c, b.Left, b.Mid - b.Amp, b.Right, b.Mid + b.Amp);
  c.SetPen(clRed, 1);
  DrawTwoPeriods(c, in.VoltageWave, in.VoltagePeak, trace);
  trace.Height = b.CurrentHeight;
  c.SetPen(DarkGreen, 1);
  DrawTwoPeriods(c, in.CurrentWave, in.CurrentPeak, trace);
}

void PaintInputPage(Form& form, Canvas& canvas, int width, int height) {
  Paint(form.ChineseMode ? Chinese : English, form, canvas, width, height);
}

}  // namespace kt
