#include "analysis/AnalysisPanels.h"

#include <algorithm>
#include <vector>

#include "core/AnalysisData.h"
#include "core/Geometry.h"
#include "core/MeasureSet.h"
#include "core/NumberText.h"
#include "measurements/PageMath.h"
#include "measurements/output/EnvelopeBand.h"

namespace kt {

const Colour EnvelopeColour[4] = {clWhite, clRed, Rgb(0, 150, 0), clYellow};
const Colour WaveColour[4] = {clWhite, clRed, clLime, clYellow};

namespace {

// Design sizes of the two paint boxes, and the share of the half-height a
// curve's peak reaches.
constexpr double EnvelopeWidth = 300, WaveWidth = 228, PanelHeight = 100;
constexpr double EnvelopeReach = 40, WaveReach = 45;

const AnalysisTexts English = {{"RMS--U", "RMS--Il", "RMS--If", "RMS--Ik"}, "CF"};
const AnalysisTexts Chinese = {{"灯电压--U", "灯电流--Il", "灯丝电流--If", "阴极电流--Ik"}, "波峰比"};

// More points than any panel is wide; a larger request is cut off here.
constexpr int MaxWavePoints = 16384;

// The two periods at the start of Wave[channel] resampled to `n` points by
// linear interpolation (point k at position 2 * Period * k / n). The copy
// holds at most all 600 slots; the point that would need the sample after
// them takes the last one. Returns the number of points written (0 when the
// channel has no period).
int WavePanelPoints(const AnalysisData& a, int channel, int n, std::span<float> out) {
  // A period from a damaged file may be anything; the copy never holds more
  // than the slots.
  const auto held = static_cast<int>(
      std::clamp(2 * static_cast<long long>(a.Period[channel]), 0LL, static_cast<long long>(AnalysisWaveSamples)));
  const auto count = static_cast<int>(std::min<long long>(std::max(n, 0), static_cast<long long>(out.size())));
  if (held == 0 || count == 0) return 0;
  const float* s = a.Wave[channel];
  out[0] = s[0];
  for (int k = 1; k < count; ++k) {
    const double t = static_cast<double>(held) * k / n;
    const int j = std::min(static_cast<int>(t), held - 1);
    const double next = j + 1 < held ? s[j + 1] : s[held - 1];
    out[static_cast<std::size_t>(k)] = static_cast<float>(s[j] + (next - s[j]) * (t - j));
  }
  return count;
}

}  // namespace

void PaintEnvelopePanel(Canvas& c, const AnalysisData& a, int channel, int width, int height) {
  c.FillRect(0, 0, width, height, AnalysisPanelBackground);
  const float sx = static_cast<float>(width / EnvelopeWidth), sy = static_cast<float>(height / PanelHeight);
  const int mid = Trunc(50 * sy);
  c.SetPen(EnvelopeColour[channel], 1, PenStyle::Solid);
  c.MoveTo(0, mid);
  c.LineTo(Trunc(EnvelopeWidth * sx), mid);
  const int n = std::clamp(Trunc(EnvelopeWidth * sx * 0.5), 0, MaxBandPoints);
  DrawEnvelopeBand(c, a.Envelope[channel], a.EnvelopeMax[channel], n, 0, mid, Trunc(EnvelopeReach * sy));
  c.SetPen(clBlack, 2, PenStyle::Solid);
  c.MoveTo(a.SelectX, 0);
  c.LineTo(a.SelectX, height);
}

void PaintWavePanel(Canvas& c, const AnalysisData& a, int channel, int width, int height) {
  c.FillRect(0, 0, width, height, AnalysisPanelBackground);
  const float sx = static_cast<float>(width / WaveWidth), sy = static_cast<float>(height / PanelHeight);
  const int mid = Trunc(50 * sy);
  c.SetPen(clBlack, 1, PenStyle::Solid);
  c.MoveTo(0, mid);
  c.LineTo(Trunc(WaveWidth * sx), mid);
  c.SetPen(WaveColour[channel], 1, PenStyle::Solid);
  const float peak = a.WavePeak[channel];
  if (!(peak > 0.0f)) return;
  std::vector<float> points(static_cast<std::size_t>(std::clamp(Trunc(WaveWidth * sx), 0, MaxWavePoints)));
  const int count = WavePanelPoints(a, channel, static_cast<int>(points.size()), points);
  if (count == 0) return;
  const int reach = Trunc(WaveReach * sy);
  // A damaged file's point far beyond the peak is held a few reaches off the
  // axis instead of sending the line a million pixels away.
  const auto y = [&](int k) { return mid - Trunc(DrawRatio(points[static_cast<std::size_t>(k)], peak) * reach); };
  c.MoveTo(0, y(0));
  for (int k = 0; k < count; ++k) c.LineTo(k, y(k));
}

const AnalysisTexts& AnalysisLanguage(int english) { return english == 1 ? English : Chinese; }

std::string RmsValueText(const AnalysisData& a, int channel) {
  return NumberText(a.WaveRms[channel], channel == ChU ? 1 : 3);
}

std::string CrestValueText(const AnalysisData& a, int channel) { return NumberText(a.CrestFactor[channel], 2); }

}  // namespace kt
