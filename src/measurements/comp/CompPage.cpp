#include "measurements/comp/CompPage.h"

#include <algorithm>
#include <string>

#include "core/Geometry.h"
#include "core/NumberText.h"
#include "link/Form.h"
#include "measurements/PageMath.h"
#include "measurements/output/EnvelopeBand.h"
#include "platform/Canvas.h"

namespace kt {

namespace {

// A caption written upwards with the rotated font, centred on its point
// (design units).
struct RotatedCaption {
  const char* Text;
  int A, B;
};

// A caption written as single characters one under the other, left/top
// aligned: character j at (X0 + trunc(A sx), Y0 + trunc(B sy) + j trunc(Step sy)).
struct StackedCaption {
  const char* Chars[6];
  int Count;
  int A, B, Step;
};

struct Language {
  int TitleHeight;
  const char* Title[2];
  const RotatedCaption* Rotated;  // English
  int RotatedCount;
  const StackedCaption* Stacked;  // Chinese
  int StackedCount;
  const char* FluxLabel;
  const char* ColourLabel;
  const char* InputLabels[3][3];  // [row][column]
  const char* ThdLabels[3];
  // Harmonic table: left edge and the two inner verticals after it, the
  // text base (design units above 8 rows), the header columns and the
  // right-aligned row columns.
  int HarmonicLeft, HarmonicInner[2], TextBase;
  const char* HarmonicHeaders[3];
  int HarmonicHeaderX[3], HarmonicRowX[3];
  // Output table: right edge, inner vertical after the left edge, the two
  // centred columns and the labels of the four label rows.
  int OutputRight, OutputInner, OutputColumnX[2];
  const char* OutputLabels[4][2];
};

constexpr RotatedCaption EnglishCaptions[] = {
    {"Input", 0, 110},         {"Characteristic", 20, 110}, {"Output Characteristic", 0, 280},
    {"Lamp Voltage", 25, 220}, {"Lamp Current", 25, 320},
};

constexpr StackedCaption ChineseCaptions[] = {
    {{"输", "入", "特", "性", "分", "析"}, 6, 16, 60, 16},
    {{"输", "出", "特", "性", "分", "析"}, 6, 0, 184, 32},
    {{"灯", "管", "电", "压"}, 4, 25, 184, 18},
    {{"灯", "管", "电", "流"}, 4, 25, 284, 18},
};

const Language English = {
    20,
    {"KT6100 Electronic Ballast Test Instrument", "Compositive Characteristic Test Report"},
    EnglishCaptions,
    static_cast<int>(std::size(EnglishCaptions)),
    nullptr,
    0,
    "Luminous flux:",
    "Color Temperature:",
    {{"Urms (V)", "Irms (A)", "Irmsw (A)"}, {"P     (W)", "PF", "PFw"}, {"Freq (Hz)", "CFv", "CFi"}},
    {"THDU", "THDI", "THDIw"},
    422,
    {69, 125},
    44,
    {"spectrum", "voltage", "current"},
    {455, 520, 575},
    {460, 532, 592},
    415,
    70,
    {300, 375},
    {{"Vrms", "Ilrms"}, {"Ifrms", "Ikrms"}, {"Pout", "f"}, {"Ilm", "Ilcf"}},
};

const Language Chinese = {
    18,
    {"KT6100 电子镇流器综合测试仪", "综合特性测试报告"},
    nullptr,
    0,
    ChineseCaptions,
    static_cast<int>(std::size(ChineseCaptions)),
    "光通量:",
    "色温:",
    {{"电压 (V)", "电流 (A)", "宽频电流 (A)"},
     {"功率 (W)", "功率因数", "宽频功率因数"},
     {"频率 (Hz)", "电压波峰比", "电流波峰比"}},
    {"电压总谐波", "窄频电流总谐波", "宽频电流总谐波"},
    462,
    {42, 92},
    46,
    {"谐波", "电压", "电流"},
    {480, 530, 580},
    {485, 542, 592},
    455,
    90,
    {310, 405},
    {{"灯管电压", "灯管电流"}, {"灯丝电流", "导入阴极电流"}, {"灯功率", "振荡频率"}, {"峰值灯电流", "灯电流波峰比"}},
};

constexpr const char* Face = "Times New Roman";
constexpr int WaveWidth = 200;  // design units of each picture, two mains periods or one band

// The paint box from origin (20, 5) and the row height, whole pixels.
struct Layout : PaintBox {
  int R;
  Layout(Canvas& canvas, int w, int h) : PaintBox(canvas, w, h), R(Trunc(20 * s.sy)) { SetOrigin32(20, 5); }
};

void Text(Canvas& c, int align, Colour colour, int height, int x, int y, const std::string& s) {
  c.SetFont({Face, height, colour, 0});
  c.SetTextAlign(align);
  c.TextOut(x, y, s);
}

void DrawCaptions(Canvas& c, const Layout& L, const Language& lang, int height) {
  // The English captions run upwards in a rotated copy of the page's font,
  // centred on their points.
  if (lang.RotatedCount > 0) {
    c.SetFont({Face, height, clBlack, 900});
    c.SetTextAlign(AlignCenter);
    for (int i = 0; i < lang.RotatedCount; ++i)
      c.TextOut(L.X(lang.Rotated[i].A), L.Y(lang.Rotated[i].B), lang.Rotated[i].Text);
  }
  c.SetFont({Face, height, clBlack, 0});
  // The Chinese ones are upright characters stacked downwards.
  c.SetTextAlign(AlignLeft);
  for (int i = 0; i < lang.StackedCount; ++i) {
    const StackedCaption& s = lang.Stacked[i];
    const int x = L.DX(s.A), step = L.Height(s.Step);
    for (int j = 0; j < s.Count; ++j) c.TextOut(x, L.DY(s.B) + j * step, s.Chars[j]);
  }
}

void DrawFrame(Canvas& c, const Layout& L) {
  c.SetPen(clBlack, 2);
  L.Line(-5, 41, 607, 41);
  L.Line(-5, 370, 607, 370);
  L.Line(-5, 41, -5, 370);
  L.Line(607, 41, 607, 370);
  c.SetPen(clBlack, 1);
  L.Line(-5, 170, 607, 170);  // input section above, output below
  L.Line(20, 170, 20, 370);
  L.Line(20, 270, 260, 270);
  L.Line(260, 41, 260, 370);  // pictures left, tables right
}

void DrawInputTable(Canvas& c, const Layout& L, const Language& lang, const Form& form, int height) {
  const InputResult& in = form.M.Input;
  const int top = L.DY(60), left = L.DX(265), right = L.X(600), R = L.R;
  c.SetPen(clBlack, 1);
  c.MoveTo(left, top);
  c.LineTo(right, top);
  c.LineTo(right, top + 5 * R);
  c.LineTo(left, top + 5 * R);
  c.LineTo(left, top);
  for (int i = 1; i < 5; ++i) Line(c, left, top + i * R, right, top + i * R);
  for (int x : {328, 440, 564}) Line(c, L.X(x), top, L.X(x), top + 3 * R);
  for (int x : {368, 478}) Line(c, L.X(x), top, L.X(x), top + 5 * R);

  struct Cell {
    float value;
    int decimals;
  };
  const Cell cells[3][3] = {
      {{in.Urms, 1}, {in.Irms, 3}, {in.Irmsw, 3}},
      {{in.P, 1}, {in.PF, 3}, {in.PFw, 3}},
      {{in.Freq, 2}, {in.CFv, 2}, {in.CFi, 2}},
  };
  constexpr int LabelX[3] = {270, 370, 480}, ValueX[3] = {367, 477, 599};
  const int base = L.DY(44);
  for (int k = 1; k <= 3; ++k) {
    const int y = base + k * R;
    for (int col = 0; col < 3; ++col) {
      Text(c, AlignLeft, clBlack, height, L.X(LabelX[col]), y, lang.InputLabels[k - 1][col]);
      const Cell& cell = cells[k - 1][col];
      Text(c, AlignRight, clBlue, height, L.X(ValueX[col]), y, NumberText(cell.value, cell.decimals));
    }
  }
  constexpr int ThdX[3] = {320, 425, 540};
  const float thd[3] = {in.THDU, in.THDI, in.THDIw};
  for (int col = 0; col < 3; ++col) {
    Text(c, AlignCenter, clBlack, height, L.X(ThdX[col]), base + 4 * R, lang.ThdLabels[col]);
    Text(c, AlignCenter, clBlue, height, L.X(ThdX[col]), base + 5 * R, NumberText(thd[col], 1) + "%");
  }
}

void DrawHarmonicTable(Canvas& c, const Layout& L, const Language& lang, const Form& form, int height) {
  const InputResult& in = form.M.Input;
  const int R = L.R;
  const int top = L.Y0 + Trunc(42 * L.s.sy + static_cast<float>(8 * R)),
            base = L.Y0 + Trunc(static_cast<float>(lang.TextBase) * L.s.sy + static_cast<float>(8 * R));
  const int left = L.DX(lang.HarmonicLeft), right = L.X(602);
  c.SetPen(clBlack, 1);
  for (int y : {top, top + R, top + 8 * R}) Line(c, left, y, right, y);
  for (int x : {left, Trunc(static_cast<float>(left) + static_cast<float>(lang.HarmonicInner[0]) * L.s.sx),
                Trunc(static_cast<float>(left) + static_cast<float>(lang.HarmonicInner[1]) * L.s.sx), right})
    Line(c, x, top, x, top + 8 * R);

  const Colour colours[3] = {clBlack, clRed, clBlue};
  const char* second[3] = {"k", "%", "%"};
  for (int col = 0; col < 3; ++col) {
    const int x = L.X(lang.HarmonicHeaderX[col]);
    Text(c, AlignCenter, colours[col], height, x, base, lang.HarmonicHeaders[col]);
    Text(c, AlignCenter, colours[col], height, x, base + R, second[col]);
  }
  for (int i = 0; i < 6; ++i) {
    const int k = 2 * i + 1, y = base + (i + 2) * R;
    Text(c, AlignRight, clBlack, height, L.X(lang.HarmonicRowX[0]), y, std::to_string(k));
    Text(c, AlignRight, clRed, height, L.X(lang.HarmonicRowX[1]), y, NumberText(in.VoltageHarmonicPct[k], 1));
    Text(c, AlignRight, clBlue, height, L.X(lang.HarmonicRowX[2]), y, NumberText(in.CurrentHarmonicPct[k], 1));
  }
}

void DrawOutputTable(Canvas& c, const Layout& L, const Language& lang, const Form& form, int height) {
  const OutputResult& o = form.M.Output;
  const int R = L.R;
  const int top = L.Y0 + Trunc(42 * L.s.sy + static_cast<float>(8 * R)),
            base = L.Y0 + Trunc(static_cast<float>(lang.TextBase) * L.s.sy + static_cast<float>(8 * R));
  const int left = L.DX(265), right = L.X(lang.OutputRight);
  c.SetPen(clBlack, 1);
  for (int i = 0; i <= 8; ++i) Line(c, left, top + i * R, right, top + i * R);
  for (int x : {left, Trunc(static_cast<float>(left) + static_cast<float>(lang.OutputInner) * L.s.sx), right})
    Line(c, x, top, x, top + 8 * R);

  const std::string values[4][2] = {
      {NumberText(o.Vrms, 1) + " (V)", NumberText(o.Ilrms, 3) + " (A)"},
      {NumberText(o.Ifrms, 3) + " (A)", NumberText(o.Ikrms, 3) + " (A)"},
      {NumberText(o.Pout, 1) + " (W)", NumberText(o.OscFreq, 2) + " (kHz)"},
      {NumberText(o.Ilm, 3) + " (A)", NumberText(o.IlcfPos, 2)},
  };
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 2; ++col) {
      const int x = L.X(lang.OutputColumnX[col]);
      Text(c, AlignCenter, clBlack, height, x, base + 2 * row * R, lang.OutputLabels[row][col]);
      Text(c, AlignCenter, clBlue, height, x, base + (2 * row + 1) * R, values[row][col]);
    }
}

void DrawMainsWaves(Canvas& c, const Layout& L, const Form& form) {
  const InputResult& in = form.M.Input;
  const double sx = L.s.sx, sy = L.s.sy;
  const int xa = Trunc(L.X0 + 50 * sx), xb = Trunc(xa + WaveWidth * sx);
  const double axis = L.Y0 + 105 * sy;
  c.SetPen(clBlack, 1);
  c.Rectangle(xa, Trunc(L.Y0 + 55 * sy), xb, Trunc(L.Y0 + 155 * sy));
  Line(c, xa, Trunc(axis), xb, Trunc(axis));
  // Every second point of the 200-point period, the period twice side by
  // side. A point beyond the peak (only a damaged file has one) is held at
  // the amplitude, inside the box.
  const int amp = Trunc(40 * sy);
  TwoPeriodTrace trace{.Left = xa, .Step = sx, .Axis = axis, .Height = amp - 5 * sy, .Limit = 1.0};
  c.SetPen(clRed, 1);
  DrawTwoPeriods(c, in.VoltageWave, in.VoltagePeak, trace);
  trace.Height = amp + 5 * sy;
  c.SetPen(clBlue, 1);
  DrawTwoPeriods(c, in.CurrentWave, in.CurrentPeak, trace);
}

void DrawLampBands(Canvas& c, const Layout& L, const Form& form) {
  const OutputResult& o = form.M.Output;
  const double sx = L.s.sx, sy = L.s.sy;
  const int xa = Trunc(L.X0 + 50 * sx), xb = Trunc(xa + WaveWidth * sx);
  const int yb = Trunc(L.Y0 + 10 * sy);
  // One stroke every 2 pixels across the picture; the band's own buffer is
  // sized from the count, up to a bound no screen reaches.
  const int n = std::clamp(Trunc(WaveWidth * sx * 0.5), 0, MaxBandPoints);
  const int half = Trunc(40 * sy);
  struct Band {
    int Channel;
    Colour Pen;
    int Top, Bottom, Axis;
  };
  constexpr Band Bands[2] = {{ChU, clRed, 164, 254, 209}, {ChIl, clBlue, 264, 354, 309}};
  for (const Band& b : Bands) {
    c.SetPen(clBlack, 1);
    c.Rectangle(xa, Trunc(yb + b.Top * sy), xb, Trunc(yb + b.Bottom * sy));
    const double axis = yb + b.Axis * sy;
    Line(c, xa, Trunc(axis), xb, Trunc(axis));
    c.SetPen(b.Pen, 1);
    DrawEnvelopeBand(c, o.OutputWave[b.Channel], o.OutputWavePeak[b.Channel], n, xa, axis, half);
  }
}

void Paint(const Language& lang, Form& form, Canvas& c, int w, int h) {
  const Layout L(c, w, h);

  c.SetPen(clBlack, 1);
  c.SetBrush(clWhite);
  c.Rectangle(0, 0, w, h);

  Text(c, AlignCenter, clBlack, L.Height(lang.TitleHeight), L.X(300), L.Y(0), lang.Title[0]);
  c.TextOut(L.X(300), L.Y(20), lang.Title[1]);

  const int height = L.Height(15);
  DrawCaptions(c, L, lang, height);
  DrawFrame(c, L);

  // The light values as the operator typed them.
  const int infoY = L.DY(44);
  Text(c, AlignLeft, clBlack, height, L.X(265), infoY, lang.FluxLabel);
  Text(c, AlignLeft, clBlue, height, L.X(360), infoY, form.Info.LuminousFlux + " lm");
  Text(c, AlignLeft, clBlack, height, L.X(425), infoY, lang.ColourLabel);
  Text(c, AlignLeft, clBlue, height, L.X(545), infoY, form.Info.ColourTemperature + " K");

  DrawInputTable(c, L, lang, form, height);
  DrawHarmonicTable(c, L, lang, form, height);
  DrawOutputTable(c, L, lang, form, height);
  DrawMainsWaves(c, L, form);
  DrawLampBands(c, L, form);
}

}  // namespace

void PaintCompPage(Form& form, Canvas& canvas, int width, int height) {
  Paint(form.ChineseMode ? Chinese : English, form, canvas, width, height);
}

}  // namespace kt
