#pragma once
#include <cstdint>

#include "measurements/output/OutputRun.h"

namespace kt {

struct AnalysisData;

// Block sizes of the high-frequency exchange (the envelope test shares the
// output test's blocks).
inline constexpr unsigned WaveHeaderBytes = 16;   // order flag and four gains
inline constexpr unsigned WaveFrameBytes = 1200;  // 600 samples of one channel

// The four envelope frames (wire order U, If, Il, Ik) into the envelopes and
// their maxima: the smaller of the two auxiliary-current envelopes is shown as
// the filament current, and a maximum below 50 leaves its channel empty.
void DecodeEnvelopeFrames(AnalysisData& a, const std::uint8_t (&frames)[4][EnvelopeFrameBytes]);

// The high-frequency header and the four wave frames (wire order U, If, Il,
// Ik) into periods, peaks, RMS values and crest factors, with the first two
// periods of each cleaned wave left at the start of its samples for drawing.
// The lamp current's period is the length over which every channel is
// measured: without it every channel reads 0.
void AnalyseWaveFrames(AnalysisData& a, const std::uint8_t (&header)[WaveHeaderBytes],
                       const std::uint8_t (&frames)[4][WaveFrameBytes]);

}  // namespace kt
