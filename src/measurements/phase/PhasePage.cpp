#include "measurements/phase/PhasePage.h"

#include <string>

#include "core/Geometry.h"
#include "core/NumberText.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/input/InputPage.h"
#include "platform/Canvas.h"

namespace kt {

namespace {

constexpr Colour DarkGreen = Rgb(0, 75, 0);  // current items
constexpr const char* Face = "Times New Roman";
constexpr int Columns = 6;  // of the value table and of the harmonic table
// Below this current (A) the ampere column shows no fundamental.
constexpr double CurrentShown = 0.01;

struct Language {
  const char* Title1;
  const char* Title2;
  const char* Labels[Columns];
  const char* Spectrum;
  const char* Current;
  int LowOrderTop;  // design y of the low-order table's first line
};

const Language English = {
    "KT6100 Electronic Ballast Test Instrument",
    "Input Characteristic Test Report (continued)",
    {"Irms (A)", "PF", "THDI %", "Begin Phase (°)", "Peak Phase (°)", "End Phase (°)"},
    "spectrum",
    "current",
    227,
};

const Language Chinese = {
    "KT6100 电子镇流器综合测试仪",
    "输入特性测试报告(续)",
    {"电流 (A)", "功率因数", "电流总谐波 %", "起始相位 (°)", "峰值相位 (°)", "终止相位 (°)"},
    "谐波",
    "电流",
    228,
};

void Paint(const Language& lang, Form& form, Canvas& c, int w, int h) {
  InputResult& in = form.M.Input;
  const MeasureSet& ms = form.M;
  const PaintBox P(c, w, h);
  const double sx = P.s.sx, sy = P.s.sy;
  const auto font = [&](int height, Colour colour) { P.SetFont(Face, height, colour); };

  // Background and title.
  c.SetPen(clBlack, 1);
  c.SetBrush(clWhite);
  c.Rectangle(0, 0, w, h);
  font(18, clBlack);
  c.SetTextAlign(AlignCenter);
  c.TextOut(P.X(320), P.Y(2), lang.Title1);
  c.TextOut(P.X(320), P.Y(22), lang.Title2);

  DrawMainsFrame(P);
  P.Line(10, 224, 230, 224);
  P.Line(230, 78, 230, 370);

  // Value-table columns of 103 units, harmonic-table columns of 67 units
  // from x 230.
  c.SetPen(clBlack, 1);
  const int col = P.X(103);
  for (int k = 1; k < Columns; ++k) {
    const int x = Trunc(10 * sx + k * col);
    P.PixelLine(x, P.Y(42), x, P.Y(78));
  }
  P.Line(120, 224, 120, 370);
  P.Line(10, 260, 230, 260);
  P.Line(230, 115, 630, 115);
  const int tableX = P.X(230), tableCol = P.X(67);
  for (int k = 1; k < Columns; ++k) P.PixelLine(tableX + k * tableCol, P.Y(78), tableX + k * tableCol, P.Y(370));

  // Value table.
  const int rowY = Trunc(P.Y(2) + 40 * sy);
  const float values[Columns] = {in.Irms, in.PF, in.THDI, ms.PhaseBegin, ms.PhasePeak, ms.PhaseEnd};
  const int decimals[Columns] = {3, 3, 1, 0, 0, 0};
  font(15, clBlue);
  for (int k = 0; k < Columns; ++k) {
    const int x = Trunc(10 * sx + k * col + col / 2);
    c.TextOut(x, Trunc(rowY + 5 * sy), lang.Labels[k]);
    c.TextOut(x, Trunc(rowY + 20 * sy), NumberText(values[k], decimals[k]));
  }

  // Harmonic table header.
  const int headY = Trunc(rowY + 8 * sy);
  const auto centre = [&](int column) { return tableX + column * tableCol + tableCol / 2; };
  const int head1 = Trunc(headY + 32 * sy), head2 = Trunc(headY + 48 * sy);
  for (int half : {0, 3}) {
    font(15, clRed);
    c.TextOut(centre(half), head1, lang.Spectrum);
    c.TextOut(centre(half), head2, "k");
    font(15, DarkGreen);
    c.TextOut(centre(half + 1), head1, lang.Current);
    c.TextOut(centre(half + 1), head2, "(A)");
    font(15, clBlue);
    c.TextOut(centre(half + 2), head1, "mA / W");
  }

  // Rows: bins 0..39, even bins on the left, odd on the right. A current
  // too small to judge shows no fundamental.
  if (!(static_cast<double>(in.Irms) >= CurrentShown)) in.CurrentHarmonic[1] = 0.0f;
  const int rowsY = Trunc(headY + 69 * sy);
  for (int i = 0; i < HarmonicBins; i += 2) {
    const int y = Trunc(rowsY + 12 * (i / 2) * sy);
    for (int half : {0, 3}) {
      const int bin = i + (half ? 1 : 0);
      font(14, clRed);
      c.SetTextAlign(AlignRight);
      c.TextOut(Trunc(tableX + half * tableCol + tableCol / 2 + 4 * sx), y, std::to_string(bin));
      c.SetTextAlign(AlignCenter);
      font(14, DarkGreen);
      c.TextOut(centre(half + 1), y, NumberText(in.CurrentHarmonic[bin], 3));
      font(14, clBlue);
      c.TextOut(centre(half + 2), y, NumberText(ms.CurrentPerWatt[bin], 1, 5));
    }
  }

  // Waveform box and two periods of each channel.
  const int left = P.X(20), amp = P.Y(55);
  PaintMainsWaves(c, in, {left, left + P.X(200), P.Y(150), amp, sx, amp - 10 * sy, amp - 5 * sy});

  // Low-order current harmonics in percent: bins 2, 3, 5, 7, 9, 11.
  const int binX = P.X(65), pctX = Trunc(binX + 110 * sx);
  const int top = P.Y(lang.LowOrderTop), second = P.Y(lang.LowOrderTop + 16);
  c.SetTextAlign(AlignCenter);
  font(15, clRed);
  c.TextOut(binX, top, lang.Spectrum);
  c.TextOut(binX, second, "k");
  font(15, DarkGreen);
  c.TextOut(pctX, top, lang.Current);
  c.TextOut(pctX, second, "%");
  const int lowY = Trunc(top + 38 * sy);
  for (int j = 0; j <= 5; ++j) {
    const int bin = j == 0 ? 2 : 2 * j + 1;
    const int y = Trunc(lowY + 16 * j * sy);
    font(14, clRed);
    c.TextOut(binX, y, std::to_string(bin));
    font(14, DarkGreen);
    c.TextOut(pctX, y, NumberText(in.CurrentHarmonicPct[bin], 1));
  }
}

}  // namespace

void PaintPhasePage(Form& form, Canvas& canvas, int width, int height) {
  Paint(form.ChineseMode ? Chinese : English, form, canvas, width, height);
}

}  // namespace kt
