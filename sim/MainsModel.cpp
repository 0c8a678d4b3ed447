#include "sim/MainsModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kt::sim {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kVoltageNoise = 0.12;    // V rms: converter noise plus line hash
constexpr double kCurrentNoise = 0.0002;  // A rms

// 0 at x <= 0, 1 at x >= width, a raised-cosine step in between: soft
// conduction edges keep the spectrum free of the ringing a hard edge would add.
double SoftStep(double x, double width) {
  if (x <= 0) return 0;
  if (x >= width) return 1;
  return 0.5 - 0.5 * std::cos(kPi * x / width);
}

std::int16_t Quantise(double value, double unitsPerCount) {
  const double counts = std::round(value / unitsPerCount);
  return static_cast<std::int16_t>(std::clamp(counts, -32768.0, 32767.0));
}

}  // namespace

double MainsVoltageShape(const OperatingPoint& op, double theta) {
  // With the 3rd and 5th in these phases the crest is flattened, as on a line
  // loaded by rectifiers; both vanish at the zero crossings.
  return std::sin(theta) + op.MainsH3 * std::sin(3 * theta) - op.MainsH5 * std::sin(5 * theta);
}

double MainsCurrentShape(const OperatingPoint& op, double theta) {
  theta = std::fmod(theta, 2 * kPi);
  if (theta < 0) theta += 2 * kPi;
  double sign = 1;
  if (theta >= kPi) {  // the negative half-wave mirrors the positive one: odd harmonics only
    theta -= kPi;
    sign = -1;
  }
  const double deg = theta * 180.0 / kPi;
  double hump = 0;
  if (deg > op.CurrentBegin && deg < op.CurrentEnd) {
    // Map begin..peak..end onto 0..0.5..1 so that the peak can sit off centre.
    // A peak at the beginning is a step: there is no rise to map.
    const bool rising = op.CurrentPeak > op.CurrentBegin && deg < op.CurrentPeak;
    const double u = rising ? 0.5 * (deg - op.CurrentBegin) / (op.CurrentPeak - op.CurrentBegin)
                            : 0.5 + 0.5 * (deg - op.CurrentPeak) / (op.CurrentEnd - op.CurrentPeak);
    hump = std::pow(std::sin(kPi * u), op.CurrentSharpness);
  }
  // The pedestal spans most of the half-wave, well below the 5 % level at which
  // conduction is judged to begin and end.
  const double pedestal = op.Pedestal * SoftStep(deg - 12.0, 10.0) * SoftStep(168.0 - deg, 10.0);
  return sign * (hump + pedestal);
}

MainsCapture MeasureMains(const OperatingPoint& op, double lampPower, Random& rng) {
  MainsCapture c;
  c.StartPhase = rng.Uniform(0.0, 360.0);
  const double phase0 = c.StartPhase * kPi / 180.0;

  // Noise-free shapes first, to scale them to the wanted RMS and power.
  std::array<double, MainsSamples> v{}, i{};
  for (int n = 0; n < MainsSamples; ++n) {
    const double theta = phase0 + 2 * kPi * n / MainsSamples;
    v[n] = MainsVoltageShape(op, theta);
    i[n] = MainsCurrentShape(op, theta);
  }
  double vv = 0, ii = 0, vi = 0;
  for (int n = 0; n < MainsSamples; ++n) {
    vv += v[n] * v[n];
    ii += i[n] * i[n];
    vi += v[n] * i[n];
  }
  const double shapePf = vi / std::sqrt(vv * ii);
  const double voltScale = op.MainsRms / std::sqrt(vv / MainsSamples);
  const double mainsPower = op.MainsPower > 0 ? op.MainsPower : lampPower / op.Efficiency;
  const double targetIrms = mainsPower / (op.MainsRms * shapePf);
  const double ampScale = targetIrms / std::sqrt(ii / MainsSamples);
  double crest = 0;
  for (double x : i) crest = std::max(crest, std::fabs(x) * ampScale);
  while (crest / c.AmpsPerCount > 30000 && c.AmpsPerCount < 1000 * MainsAmpsPerCount) c.AmpsPerCount *= 10;
  // A reversed clamp turns the current over, and with it the power's sign.
  const double sign = op.ReverseCurrent ? -1 : 1;

  for (int n = 0; n < MainsSamples; ++n) {
    c.VoltageRaw[n] = Quantise(v[n] * voltScale + kVoltageNoise * rng.Gauss(), MainsVoltsPerCount);
    c.CurrentRaw[n] = Quantise(sign * i[n] * ampScale + kCurrentNoise * rng.Gauss(), c.AmpsPerCount);
    c.Voltage[n] = c.VoltageRaw[n] * MainsVoltsPerCount;
    c.Current[n] = c.CurrentRaw[n] * c.AmpsPerCount;
  }

  // The values come from the very samples sent, as the instrument computes them.
  double sv = 0, si = 0, svi = 0, pv = 0, pi = 0;
  for (int n = 0; n < MainsSamples; ++n) {
    sv += c.Voltage[n] * c.Voltage[n];
    si += c.Current[n] * c.Current[n];
    svi += c.Voltage[n] * c.Current[n];
    pv = std::max(pv, std::fabs(c.Voltage[n]));
    pi = std::max(pi, std::fabs(c.Current[n]));
  }
  const double urms = std::sqrt(sv / MainsSamples);
  const double irms = std::sqrt(si / MainsSamples);
  const double p = svi / MainsSamples;
  const double ihf = op.HfCurrent;
  const double irmsw = std::sqrt(irms * irms + ihf * ihf);
  MainsValues& out = c.Values;
  out.Urms = static_cast<float>(urms);
  out.Irms = static_cast<float>(irms);
  out.Irmsw = static_cast<float>(irmsw);
  out.P = static_cast<float>(p);
  out.PF = static_cast<float>(p / (urms * irms));
  out.PFw = static_cast<float>(p / (urms * irmsw));
  out.Freq = static_cast<float>(op.MainsHz);
  out.Ihf = static_cast<float>(ihf);
  out.CFv = static_cast<float>(pv / urms);
  out.CFi = static_cast<float>(pi / irms);

  BlockWriter vb(2 * MainsSamples), ib(2 * MainsSamples), fb(40);
  vb.Samples(c.VoltageRaw);
  ib.Samples(c.CurrentRaw);
  for (float x : {out.Urms, out.Irms, out.Irmsw, out.P, out.PF, out.PFw, out.Freq, out.Ihf, out.CFv, out.CFi})
    fb.Float(x);
  c.VoltageBlock = vb.Take();
  c.CurrentBlock = ib.Take();
  c.ValueFrame = fb.Take();
  return c;
}

}  // namespace kt::sim
