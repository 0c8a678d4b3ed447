#pragma once
#include <array>
#include <cstdint>

#include "sim/BlockWriter.h"
#include "sim/OperatingPoint.h"
#include "sim/Random.h"

namespace kt::sim {

// The mains side is sampled synchronously: 256 samples span exactly one
// period whatever the line frequency, so bin k of a 256-point transform is
// the k-th harmonic.
inline constexpr int MainsSamples = 256;
// Converter scales. 0.02 V per count puts a 230 V crest at ~16 000 counts
// (full scale +-655 V); 20 uA per count puts the ~0.35 A current crest at
// ~17 000 counts (full scale +-0.65 A).
inline constexpr double MainsVoltsPerCount = 0.02;
inline constexpr double MainsAmpsPerCount = 0.00002;

// The ten values the instrument computes, in wire order.
struct MainsValues {
  float Urms = 0;   // V
  float Irms = 0;   // A, from the 256 current samples
  float Irmsw = 0;  // A, wide band: sqrt(Irms^2 + Ihf^2)
  float P = 0;      // W, mean of v * i over the period
  float PF = 0;     // P / (Urms * Irms)
  float PFw = 0;    // P / (Urms * Irmsw)
  float Freq = 0;   // Hz
  float Ihf = 0;    // A, high-frequency component
  float CFv = 0;    // crest factor of the voltage samples
  float CFi = 0;    // crest factor of the current samples
};

// One mains measurement as the instrument took it: the samples it sent, what
// they mean physically, and the values it computed from exactly those samples.
struct MainsCapture {
  std::array<std::int16_t, MainsSamples> VoltageRaw{};
  std::array<std::int16_t, MainsSamples> CurrentRaw{};
  std::array<double, MainsSamples> Voltage{};  // V, raw * MainsVoltsPerCount
  std::array<double, MainsSamples> Current{};  // A, raw * AmpsPerCount
  // The current range: MainsAmpsPerCount, or 10, 100 or 1000 times it when
  // the crest would not fit (a ballast of hundreds of watts).
  double AmpsPerCount = MainsAmpsPerCount;
  // Mains phase of sample 0 in degrees after the voltage's rising zero
  // crossing (the capture starts anywhere in the period).
  double StartPhase = 0;
  MainsValues Values;
  Block VoltageBlock, CurrentBlock;  // 512 bytes each
  Block ValueFrame;                  // 40 bytes
};

// Noise-free shapes of one period, at phase theta (radians after the rising
// zero crossing). The voltage has unit fundamental amplitude; the current has
// its hump peak at 1.
double MainsVoltageShape(const OperatingPoint& op, double theta);
double MainsCurrentShape(const OperatingPoint& op, double theta);

// `lampPower` is the lamp-side power the ballast delivers at this moment; the
// mains power is that divided by the ballast's efficiency, unless the point
// sets a MainsPower of its own.
MainsCapture MeasureMains(const OperatingPoint& op, double lampPower, Random& rng);

}  // namespace kt::sim
