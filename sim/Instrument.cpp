#include "sim/Instrument.h"

namespace kt::sim {

// The ballast is drawn first, then the calibration, from the one stream (the
// members are declared in that order): the order is part of what makes a seed
// reproducible.
Instrument::Instrument(std::uint64_t seed, bool orderFlag, const MainsSetting& mains)
    : rng_(seed), drift_(mains.Apply(DrawBallast(rng_))), gains_(DrawWaveGains(rng_)), orderFlag_(orderFlag) {}

MainsCapture Instrument::MeasureInput() {
  const OperatingPoint op = Next();
  return MeasureMains(op, op.LampPower, rng_);
}

LampCapture Instrument::MeasureOutput() {
  lastLamp_ = MeasureLamp(Next(), rng_);
  return *lastLamp_;
}

CompCapture Instrument::MeasureComp() {
  const OperatingPoint op = Next();
  CompCapture c;
  c.Lamp = MeasureLamp(op, rng_);
  // The mains power is what the lamp actually took, through the ballast's losses.
  c.Mains = MeasureMains(op, c.Lamp.Values.Pout, rng_);
  lastLamp_ = c.Lamp;
  c.ValueBlock = c.Mains.ValueFrame;
  c.ValueBlock.insert(c.ValueBlock.end(), c.Lamp.ValueFrame.begin(), c.Lamp.ValueFrame.end());
  return c;
}

StartCapture Instrument::MeasureStart() { return sim::MeasureStart(Next(), orderFlag_, rng_); }

WaveCapture Instrument::MeasureWave(std::uint8_t position) {
  if (!lastLamp_) lastLamp_ = MeasureLamp(Next(), rng_);
  return CaptureWave(*lastLamp_, position, gains_, orderFlag_, rng_);
}

std::vector<Block> Instrument::Blocks(const MainsCapture& c) { return {c.VoltageBlock, c.CurrentBlock, c.ValueFrame}; }

std::vector<Block> Instrument::Blocks(const LampCapture& c) {
  std::vector<Block> b{c.ValueFrame};
  b.insert(b.end(), c.EnvelopeBlocks.begin(), c.EnvelopeBlocks.end());
  return b;
}

std::vector<Block> Instrument::Blocks(const CompCapture& c) {
  std::vector<Block> b{c.Mains.VoltageBlock, c.Mains.CurrentBlock, c.ValueBlock};
  b.insert(b.end(), c.Lamp.EnvelopeBlocks.begin(), c.Lamp.EnvelopeBlocks.end());
  return b;
}

std::vector<Block> Instrument::Blocks(const StartCapture& c) {
  std::vector<Block> b(c.CurveBlocks.begin(), c.CurveBlocks.end());
  b.push_back(c.SummaryBlock);
  return b;
}

std::vector<Block> Instrument::Blocks(const WaveCapture& c) {
  std::vector<Block> b{c.Header};
  b.insert(b.end(), c.WaveBlocks.begin(), c.WaveBlocks.end());
  return b;
}

}  // namespace kt::sim
