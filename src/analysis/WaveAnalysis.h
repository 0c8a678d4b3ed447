#pragma once
#include <cstdint>

#include "measurements/output/OutputRun.h"

namespace kt {

struct AnalysisData;

// Block sizes of the high-frequency exchange (the envelope test shares the
// output test's blocks).
inline constexpr unsigned WaveHeaderBytes = 16;   // order flag and four gains
inline constexpr unsigned WaveFrameBytes = 1200;  // 600 samples of one channel

// Whether a channel carries a signal: it does unless more than 90 % of its
// samples are below 10.0 in magnitude (exactly 90 % still counts as a
// signal). No samples: no signal.
bool SignalPresent(const float* x, int n);

// Subtracts the mean (summed in single precision) from every sample.
void RemoveMean(float* x, int n);

// Cuts the one sample at the larger of the two extremes (largest and
// smallest value, first occurrence) to the size of the opposite extreme, and
// replaces a dip among samples 1..4 (one of them above sample 5) by the
// straight line from sample 0 to sample 5. The second repair needs six
// samples and is skipped for fewer.
void ClipSpike(float* x, int n);

// Square root of the mean of the squares; 0 for no samples.
float RmsOf(const float* x, int n);

// A gain field of the wave header: integer part, hundredths and
// ten-thousandths.
float HeaderGain(unsigned integerPart, unsigned hundredths, unsigned tenThousandths);

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
