#pragma once
#include <array>
#include <cstdint>

#include "sim/BlockWriter.h"
#include "sim/LampModel.h"
#include "sim/OperatingPoint.h"
#include "sim/Random.h"

namespace kt::sim {

// Five seconds after switch-on, 300 points, 1/60 s apart.
inline constexpr int StartSamples = 300;
inline constexpr double StartSeconds = 5.0;
// Recorder scales: 0.05 V per count puts a 900 V ignition peak at 18 000
// counts; 50 uA per count puts a 0.7 A preheat current at 14 000 counts.
inline constexpr double StartVoltsPerCount = 0.05;
inline constexpr double StartAmpsPerCount = 0.00005;

struct StartCapture {
  // As measured, wire order U, If, Il, Ik, before any exchange on the wire.
  std::array<std::array<std::int16_t, StartSamples>, 4> Raw{};
  std::array<std::array<double, StartSamples>, 4> Curve{};  // V or A, raw * scale
  int IgnitionIndex = 0;                                    // sample at which the lamp struck; the warm-up ends there
  // Wire order: peak U, If, Il, Ik (V, A), warm-up time, time to peak U, If,
  // Il, Ik (s).
  std::array<float, 9> Summary{};
  bool OrderFlag = false;
  std::array<Block, 4> CurveBlocks;  // 600 bytes each, in the order sent
  Block SummaryBlock;                // 37 bytes
};

// Preheat with the filaments hot and the open-circuit voltage across the cold
// lamp, ignition, then the lamp current settling to `op`'s run values. With
// `orderFlag` the If and Ik curves travel in each other's place and the
// summary's last byte says so.
StartCapture MeasureStart(const OperatingPoint& op, bool orderFlag, Random& rng);

}  // namespace kt::sim
