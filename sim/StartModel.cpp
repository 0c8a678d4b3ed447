#include "sim/StartModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kt::sim {

namespace {

constexpr double kSamplePeriod = StartSeconds / StartSamples;
constexpr double kNoise = 0.004;  // relative, per recorded point

std::int16_t ToCounts(double value, double unitsPerCount) {
  return static_cast<std::int16_t>(std::clamp(std::round(value / unitsPerCount), 0.0, 32767.0));
}

// Unit step response of a second-order system: the lamp current's rise after
// ignition, with an overshoot of exp(-pi*z/sqrt(1-z^2)).
double StepResponse(double t, double damping, double omega) {
  if (t <= 0) return 0;
  const double wd = omega * std::sqrt(1 - damping * damping);
  return 1 - std::exp(-damping * omega * t) *
                 (std::cos(wd * t) + damping / std::sqrt(1 - damping * damping) * std::sin(wd * t));
}

}  // namespace

StartCapture MeasureStart(const OperatingPoint& op, bool orderFlag, Random& rng) {
  StartCapture c;
  c.OrderFlag = orderFlag;
  const int ignition = std::clamp(static_cast<int>(std::lround(op.PreheatSeconds / kSamplePeriod)), 30, 120);
  c.IgnitionIndex = ignition;

  const double uRun = op.LampVrms;
  const double ilRun = op.LampIrms();
  const double ifRun = op.FilamentIrms;
  const double cosF = std::cos(op.FilamentPhase * std::numbers::pi / 180.0);
  // The frequency sweeps down towards resonance during preheat: the voltage
  // across the cold lamp rises, the filament current sags as they heat up.
  auto openCircuit = [&](int k) { return op.OpenCircuitVolts * (1.0 + 0.12 * k / ignition); };
  auto preheatFilament = [&](int k) { return op.PreheatFilament * (1.06 - 0.1 * k / ignition); };
  const double ifAtIgnition = preheatFilament(ignition);

  std::array<std::array<double, StartSamples>, 4> x{};
  for (int k = 0; k < StartSamples; ++k) {
    double u, fil, lamp;
    const double softStart = std::min(1.0, (k + 1) / 3.0);  // the bus takes a few points to come up
    if (k < ignition) {
      u = softStart * openCircuit(k);
      fil = softStart * preheatFilament(k);
      lamp = 0;
      // The ballast raises the voltage in the last moment before the lamp strikes.
      if (k == ignition - 1) u += 0.45 * (op.IgnitionVolts - u);
    } else {
      const double dt = (k - ignition) * kSamplePeriod;
      if (k == ignition) {
        u = op.IgnitionVolts;
      } else {
        // A cold lamp burns at a higher voltage; it settles as it warms.
        const double run = uRun * (1 + 0.35 * std::exp(-dt / 0.2) + 0.06 * std::exp(-dt / 1.5));
        u = k == ignition + 1 ? run + 0.3 * (op.IgnitionVolts - run) : run;
      }
      lamp = ilRun * StepResponse(dt + 0.04, op.StartDamping, 12.0);
      fil = ifRun + (ifAtIgnition - ifRun) * std::exp(-dt / 0.1);
    }
    const double cathode = std::sqrt(lamp * lamp + fil * fil + 2 * lamp * fil * cosF);
    x[WireU][k] = u * (1 + kNoise * rng.Gauss());
    x[WireIf][k] = fil * (1 + kNoise * rng.Gauss());
    x[WireIl][k] = lamp * (1 + kNoise * rng.Gauss());
    x[WireIk][k] = cathode * (1 + kNoise * rng.Gauss());
  }

  const double scale[4] = {StartVoltsPerCount, StartAmpsPerCount, StartAmpsPerCount, StartAmpsPerCount};
  for (int ch = 0; ch < 4; ++ch) {
    for (int k = 0; k < StartSamples; ++k) {
      c.Raw[ch][k] = ToCounts(x[ch][k], scale[ch]);
      c.Curve[ch][k] = c.Raw[ch][k] * scale[ch];
    }
  }

  // Peaks and their times from the recorded curves, the first of equal maxima.
  for (int ch = 0; ch < 4; ++ch) {
    const auto top = std::max_element(c.Curve[ch].begin(), c.Curve[ch].end());
    c.Summary[ch] = static_cast<float>(*top);
    c.Summary[5 + ch] = static_cast<float>(static_cast<double>(top - c.Curve[ch].begin()) * kSamplePeriod);
  }
  c.Summary[4] = static_cast<float>(ignition * kSamplePeriod);

  const int slots[4] = {WireU, orderFlag ? WireIk : WireIf, WireIl, orderFlag ? WireIf : WireIk};
  for (int slot = 0; slot < 4; ++slot) {
    BlockWriter w(2 * StartSamples);
    w.Samples(c.Raw[slots[slot]]);
    c.CurveBlocks[slot] = w.Take();
  }
  BlockWriter s(37);
  for (float v : c.Summary) s.Float(v);
  s.Byte(orderFlag ? 1 : 0);
  c.SummaryBlock = s.Take();
  return c;
}

}  // namespace kt::sim
