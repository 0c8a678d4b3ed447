#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/BlockWriter.h"
#include "sim/LampModel.h"
#include "sim/MainsModel.h"
#include "sim/OperatingPoint.h"
#include "sim/Random.h"
#include "sim/StartModel.h"

namespace kt::sim {

struct CompCapture {
  MainsCapture Mains;
  LampCapture Lamp;
  Block ValueBlock;  // 104 bytes: the mains value frame, then the lamp value frame
};

// The simulated KT6100 with one ballast and lamp on its terminals. Every
// measurement lets the operating point wander a little, so continuous tests
// look alive; one seed gives the same session, measurement for measurement.
// Each Measure... returns what was measured together with the blocks of its
// sequence; Blocks() lists them in wire order.
class Instrument {
 public:
  // `mains` replaces parts of the drawn mains input (nothing by default).
  explicit Instrument(std::uint64_t seed, bool orderFlag = false, const MainsSetting& mains = {});

  MainsCapture MeasureInput();  // command "0"
  LampCapture MeasureOutput();  // command "1"
  CompCapture MeasureComp();    // command "2"
  StartCapture MeasureStart();  // command "3"
  // Command "4", after the position byte: the high-frequency waves at that
  // envelope point (0..255, points past 149 mean the last one) of the most
  // recent lamp measurement, taking one first if there was none.
  WaveCapture MeasureWave(std::uint8_t position);

  static std::vector<Block> Blocks(const MainsCapture& c);  // 512, 512, 40
  static std::vector<Block> Blocks(const LampCapture& c);   // 64, 4 x 300
  static std::vector<Block> Blocks(const CompCapture& c);   // 512, 512, 104, 4 x 300
  static std::vector<Block> Blocks(const StartCapture& c);  // 4 x 600, 37
  static std::vector<Block> Blocks(const WaveCapture& c);   // 16, 4 x 1200

  const OperatingPoint& Nominal() const { return drift_.Nominal(); }
  const WaveGains& Gains() const { return gains_; }
  bool OrderFlag() const { return orderFlag_; }

 private:
  OperatingPoint Next() { return drift_.Step(rng_); }

  Random rng_;
  Drift drift_;
  WaveGains gains_;
  bool orderFlag_;
  std::optional<LampCapture> lastLamp_;
};

}  // namespace kt::sim
