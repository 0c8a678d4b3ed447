#include "measurements/start/StartCursor.h"

#include <algorithm>

#include "core/Geometry.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/start/StartRun.h"

namespace kt {

namespace {

constexpr double StartSeconds = 5.0;  // what the 300 samples span
constexpr double PlotUnits = 300;     // design units of the plot's width
constexpr double PlotLeft = 40;       // design x of the plot's left edge on the paint box

// Sample i of channel c in V or A: scaled so that the curve's largest
// magnitude equals the instrument's peak. A curve whose samples are all 0
// (CurveMax 0 while its peak passed the limit) is 0 everywhere rather than a
// division by zero. `i` must lie in 0..299.
float ScaledSample(const StartCurves& r, int c, int i) {
  if (r.CurveMax[c] == 0.0f) return 0.0f;
  return static_cast<float>(static_cast<double>(r.Curve[c][i]) * r.Peak[c] / r.CurveMax[c]);
}

void SetCursorValues(StartResult& r) {
  const int i = StartCursorSample(r.CursorIndex);
  for (int c = 0; c < 4; ++c) r.CursorValue[c] = ScaledSample(r, c, i);
}

}  // namespace

int StartCursorSample(int index) { return std::clamp(index, 0, StartSamples - 1); }

float StartSampleTime(int index) { return static_cast<float>(index * StartSeconds * (1.0 / StartSamples)); }

void SetStartCursor(StartResult& r, int index) {
  r.CursorIndex = StartCursorSample(index);
  r.CursorTime = StartSampleTime(r.CursorIndex);
  SetCursorValues(r);
}

void StartMouseDown(Form& form, int x, int, int width) {
  const double s = PageScale(width, 1).sx;
  const int n = Trunc(PlotUnits * s);
  const int d = Trunc(x - PlotLeft * s);
  if (d < 0 || d >= n) return;
  StartResult& r = form.M.Start;
  // The time follows the pixel, between samples too; the values are those
  // of the sample under it.
  r.CursorTime = static_cast<float>(d * StartSeconds / (PlotUnits * s));
  r.CursorIndex = StartCursorSample(Trunc(d / s));
  SetCursorValues(r);
  form.host.Repaint();
}

void StartKeyDown(Form& form, int key) {
  if (key != KeyLeft && key != KeyRight) return;
  StartResult& r = form.M.Start;
  const int last = StartSamples - 1;
  const int i = StartCursorSample(r.CursorIndex);
  if (key == KeyLeft)
    SetStartCursor(r, i == 0 ? last : i - 1);
  else
    SetStartCursor(r, i == last ? 0 : i + 1);
  form.host.Repaint();
}

}  // namespace kt
