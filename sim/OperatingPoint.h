#pragma once
#include <array>
#include <cstddef>

#include "sim/Random.h"

namespace kt::sim {

// What the ballast under test and its lamp are doing: a 36 W linear lamp on a
// passive valley-fill electronic ballast at 230 V / 50 Hz. Each simulated
// instrument draws one ballast from its seed (no two ballasts are alike) and
// lets it wander a little from one measurement to the next.
struct OperatingPoint {
  // Mains supply.
  double MainsRms = 230.0;  // V
  double MainsHz = 50.0;
  double MainsH3 = 0.018;  // relative 3rd harmonic, phased to flatten the crest
  double MainsH5 = 0.006;  // relative 5th harmonic, likewise

  // Input current of the ballast. Angles in degrees after the rising zero
  // crossing of the voltage: the valley-fill capacitors draw from the line
  // only while the rectified voltage is above their share.
  double CurrentBegin = 31.0;
  double CurrentPeak = 87.0;
  double CurrentEnd = 157.0;
  double CurrentSharpness = 0.9;  // exponent of the conduction hump: higher is peakier
  double Pedestal = 0.03;         // fraction of the peak drawn around the hump (EMI filter, bleed)
  double Efficiency = 0.87;       // lamp power / mains power
  double HfCurrent = 0.03;        // A, switching ripple leaking to the mains (outside the 256-point band)

  // Lamp at run. The lamp is nearly resistive at tens of kHz; the phase
  // between voltage and current follows from the power factor.
  double LampVrms = 105.0;              // V
  double LampPower = 32.0;              // W
  double LampPowerFactor = 0.9;         // lamp power / (Vrms * Irms)
  double LampVoltageH3 = 0.07;          // peaky lamp voltage: crest factor of one period ~1.5
  double LampCurrentAsymmetry = 0.015;  // even harmonic: positive half-waves slightly taller
  double LampCurrentH3 = 0.01;
  double FilamentIrms = 0.14;        // A
  double FilamentPhase = 75.0;       // degrees the filament current leads the lamp current
  double Ripple = 0.1;               // 100 Hz modulation depth of the lamp-current amplitude
  double VoltageRippleRatio = 0.4;   // lamp voltage ripple / current ripple, in opposite phase
  double FilamentRippleRatio = 0.6;  // filament ripple / current ripple
  double OscKHz = 45.0;              // oscillation frequency of the half bridge

  // Start-up.
  double PreheatSeconds = 1.1;
  double PreheatFilament = 0.58;    // A at the start of preheat
  double OpenCircuitVolts = 225.0;  // at the start of preheat; rises ~12 % as the frequency sweeps down
  double IgnitionVolts = 700.0;
  double StartDamping = 0.6;  // damping ratio of the lamp-current rise (overshoot ~10 %)

  // Set by hand (kt6100-sim's --mains-... options) rather than drawn.
  double MainsPower = 0;        // W drawn from the mains; 0: the lamp power over the efficiency
  bool FixedAngles = false;     // the conduction angles stay where they were put
  bool ReverseCurrent = false;  // the current channel wired the wrong way round

  double LampIrms() const { return LampPower / (LampVrms * LampPowerFactor); }
};

// A mains input built by hand for tests of the harmonic screening: another
// power, another current shape, a reversed current clamp. The lamp side is
// left as drawn.
struct MainsSetting {
  double PowerW = 0;  // 0: as drawn
  bool AnglesGiven = false;
  double Begin = 0, Peak = 0, End = 0;  // degrees; Peak == Begin is a step
  bool Reverse = false;
  OperatingPoint Apply(OperatingPoint p) const;
};

// Draws the nominal operating point of one ballast.
OperatingPoint DrawBallast(Random& rng);

// Slow, bounded wander around a nominal point: each parameter follows its own
// first-order random process, so successive measurements differ a little,
// the way a warm lamp on a real mains line does.
class Drift {
 public:
  explicit Drift(const OperatingPoint& nominal) : nominal_(nominal) {}

  // Advances the wander by one measurement and returns the point it gives.
  OperatingPoint Step(Random& rng);
  const OperatingPoint& Nominal() const { return nominal_; }

  static constexpr std::size_t Parameters = 12;  // how many readings wander

 private:
  OperatingPoint nominal_;
  std::array<double, Parameters> deviation_{};
};

}  // namespace kt::sim
