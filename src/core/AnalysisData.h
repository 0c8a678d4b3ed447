#pragma once
#include <cstdint>

namespace kt {

// Envelope points of one envelope test, and the slots kept for them (the
// points past 150 stay 0, as the file keeps them).
inline constexpr int AnalysisEnvelopePoints = 150;
inline constexpr int AnalysisEnvelopeSlots = 200;
// Raw samples of one channel in a high-frequency capture; after the analysis
// the first two periods of the cleaned wave are kept in the same slots.
inline constexpr int AnalysisWaveSamples = 600;

// The analysis window's results. Every per-channel array is indexed in the
// display order lamp voltage, lamp current, filament current, cathode-lead
// current (ChU, ChIl, ChIf, ChIk).
struct AnalysisData {
  std::int32_t EnvelopeValid = 0;  // an envelope test was decoded in this showing of the window
  std::int32_t BlockSamples = 0;   // samples per channel of the last decoded block set
  std::int32_t SelectX = 0;        // x pixel of the last click on an envelope panel

  float Envelope[4][AnalysisEnvelopeSlots] = {};
  float EnvelopeMax[4] = {};  // 0: the channel is absent
  float Wave[4][AnalysisWaveSamples] = {};
  // The wave's own period in samples; the lamp current's is the length over
  // which every channel's RMS value and crest factor are taken.
  std::int32_t Period[4] = {};
  float Gain[4] = {};  // raw units per volt or ampere
  std::int32_t OrderFlag = 0;
  float WavePeak[4] = {};     // raw units; 0: nothing to draw
  float WaveRms[4] = {};      // V or A
  float CrestFactor[4] = {};  // peak / RMS over the reference period
};

}  // namespace kt
