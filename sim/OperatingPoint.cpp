#include "sim/OperatingPoint.h"

#include <algorithm>
#include <cmath>

namespace kt::sim {

OperatingPoint DrawBallast(Random& rng) {
  OperatingPoint p;
  // Ranges are chosen with room for the drift below, so that every reading
  // stays where such a ballast would put it.
  p.MainsRms = rng.Uniform(227.0, 233.0);
  p.MainsHz = rng.Uniform(49.95, 50.05);
  p.MainsH3 = rng.Uniform(0.012, 0.022);
  p.MainsH5 = rng.Uniform(0.004, 0.010);
  p.CurrentBegin = rng.Uniform(28.0, 35.0);
  p.CurrentPeak = rng.Uniform(83.0, 91.0);
  p.CurrentEnd = rng.Uniform(153.0, 161.0);
  p.CurrentSharpness = rng.Uniform(0.8, 1.05);
  p.Pedestal = rng.Uniform(0.02, 0.035);
  p.Efficiency = rng.Uniform(0.85, 0.89);
  p.HfCurrent = rng.Uniform(0.02, 0.04);
  p.LampVrms = rng.Uniform(102.5, 106.5);
  p.LampPower = rng.Uniform(31.0, 33.0);
  p.LampPowerFactor = 0.9;
  p.LampVoltageH3 = rng.Uniform(0.05, 0.09);
  p.LampCurrentAsymmetry = rng.Uniform(0.01, 0.02);
  p.LampCurrentH3 = rng.Uniform(0.005, 0.015);
  p.FilamentIrms = rng.Uniform(0.12, 0.16);
  p.FilamentPhase = rng.Uniform(65.0, 85.0);
  p.Ripple = rng.Uniform(0.05, 0.13);
  p.VoltageRippleRatio = rng.Uniform(0.3, 0.5);
  p.FilamentRippleRatio = rng.Uniform(0.5, 0.8);
  p.OscKHz = rng.Uniform(42.0, 48.0);
  p.PreheatSeconds = rng.Uniform(0.85, 1.45);
  p.PreheatFilament = rng.Uniform(0.50, 0.62);
  p.OpenCircuitVolts = rng.Uniform(205.0, 245.0);
  p.IgnitionVolts = rng.Uniform(560.0, 840.0);
  p.StartDamping = rng.Uniform(0.5, 0.7);
  return p;
}

OperatingPoint MainsSetting::Apply(OperatingPoint p) const {
  p.MainsPower = PowerW;
  p.ReverseCurrent = Reverse;
  if (AnglesGiven) {
    p.CurrentBegin = Begin, p.CurrentPeak = Peak, p.CurrentEnd = End;
    p.FixedAngles = true;
  }
  return p;
}

namespace {

struct Wander {
  double OperatingPoint::*field;
  double relative;  // stationary deviation as a share of the nominal value ...
  double absolute;  // ... or, when non-zero, in the field's own units
};

// Which readings wander and how much; deviations are clamped at 2.5 times
// these. The start-up and the harmonic character of the ballast stay fixed;
// the conduction angles move a little with the line.
constexpr Wander kWander[] = {
    {&OperatingPoint::MainsRms, 0.0025, 0},    {&OperatingPoint::MainsHz, 0.0, 0.012},
    {&OperatingPoint::MainsH3, 0.03, 0},       {&OperatingPoint::CurrentBegin, 0.0, 0.4},
    {&OperatingPoint::CurrentPeak, 0.0, 0.4},  {&OperatingPoint::HfCurrent, 0.02, 0},
    {&OperatingPoint::LampVrms, 0.003, 0},     {&OperatingPoint::LampPower, 0.003, 0},
    {&OperatingPoint::FilamentIrms, 0.004, 0}, {&OperatingPoint::Ripple, 0.03, 0},
    {&OperatingPoint::OscKHz, 0.002, 0},       {&OperatingPoint::LampCurrentAsymmetry, 0.04, 0},
};
static_assert(std::size(kWander) == Drift::Parameters);

// Each step keeps this share of the previous deviation: a slow wander
// rather than independent jitter.
constexpr double kMemory = 0.8;

}  // namespace

OperatingPoint Drift::Step(Random& rng) {
  OperatingPoint p = nominal_;
  const double innovation = std::sqrt(1.0 - kMemory * kMemory);
  for (std::size_t i = 0; i < Parameters; ++i) {
    const Wander& w = kWander[i];
    deviation_[i] = std::clamp(kMemory * deviation_[i] + innovation * rng.Gauss(), -2.5, 2.5);
    // Angles given by hand are where a test expects the current: they stay
    // (the draw above still happens, so the other readings wander as before).
    if (nominal_.FixedAngles && (w.field == &OperatingPoint::CurrentBegin || w.field == &OperatingPoint::CurrentPeak))
      continue;
    const double nominal = nominal_.*(w.field);
    const double spread = w.absolute > 0 ? w.absolute : w.relative * nominal;
    p.*(w.field) = nominal + spread * deviation_[i];
  }
  return p;
}

}  // namespace kt::sim
