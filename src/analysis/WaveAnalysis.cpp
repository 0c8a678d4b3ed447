#include "analysis/WaveAnalysis.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/AnalysisData.h"
#include "core/MeasureSet.h"
#include "link/InstrumentFloat.h"
#include "link/Waveform.h"

namespace kt {

namespace {

// Where each wire frame (U, If, Il, Ik) goes among the display channels.
constexpr int ChannelOfWireFrame[4] = {ChU, ChIf, ChIl, ChIk};

// Below this magnitude a sample is taken for noise on an idle input.
constexpr float SmallSample = 10.0f;
// An envelope whose largest point stays below this is an empty terminal.
constexpr float EnvelopeFloor = 50.0f;

struct Measured {
  float Peak = 0, Rms = 0, Crest = 0;
};

// Whether a channel carries a signal: it does unless more than 90 % of its
// samples are below 10.0 in magnitude (exactly 90 % still counts as a
// signal). No samples: no signal.
bool SignalPresent(const float* x, int n) {
  if (n <= 0) return false;
  int small = 0;
  for (int i = 0; i < n; ++i)
    if (std::fabs(x[i]) < SmallSample) ++small;
  // small / n > 0.9, in integers so that exactly 90 % is not lost to rounding.
  return !(static_cast<long long>(small) * 10 > static_cast<long long>(n) * 9);
}

// Subtracts the mean (summed in single precision) from every sample.
void RemoveMean(float* x, int n) {
  if (n <= 0) return;
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) sum += x[i];
  const float mean = sum / static_cast<float>(n);
  for (int i = 0; i < n; ++i) x[i] -= mean;
}

// Cuts the one sample at the larger of the two extremes (largest and
// smallest value, first occurrence) to the size of the opposite extreme, and
// replaces a dip among samples 1..4 (one of them above sample 5) by the
// straight line from sample 0 to sample 5. The second repair needs six
// samples and is skipped for fewer.
void ClipSpike(float* x, int n) {
  if (n <= 0) return;
  float hi = 0.0f, lo = 0.0f;
  int hiAt = 0, loAt = 0;
  for (int i = 0; i < n; ++i) {
    if (x[i] > hi) {
      hi = x[i];
      hiAt = i;
    } else if (x[i] < lo) {
      lo = x[i];
      loAt = i;
    }
  }
  if (std::fabs(hi) > std::fabs(lo))
    x[hiAt] = std::fabs(lo);
  else
    x[loAt] = -std::fabs(hi);

  // A period starts at a rising zero crossing, so its first samples climb
  // towards sample 5; one that stands above it is a glitch of the trigger.
  if (n < 6) return;
  if (std::any_of(x + 1, x + 5, [&](float v) { return v > x[5]; })) {
    const float x0 = x[0], step = 0.2f * (x[5] - x[0]);
    for (int k = 1; k <= 4; ++k) x[k] = x0 + static_cast<float>(k) * step;
  }
}

// Square root of the mean of the squares; 0 for no samples.
float RmsOf(const float* x, int n) {
  if (n <= 0) return 0.0f;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += static_cast<double>(x[i]) * x[i];
  return static_cast<float>(std::sqrt(sum / n));
}

// A gain field of the wave header: integer part, hundredths and
// ten-thousandths.
float HeaderGain(unsigned integerPart, unsigned hundredths, unsigned tenThousandths) {
  return static_cast<float>(integerPart + hundredths * 0.01 + tenThousandths * 0.0001);
}

// Cleans `n` samples in place and measures them. A zero RMS (a flat period)
// or a zero gain (a converter without calibration) has no quotient: that
// value reads 0 instead of an infinity or NaN on the page and in the file.
Measured Measure(float* x, int n, float gain) {
  RemoveMean(x, n);
  ClipSpike(x, n);
  Measured m;
  const float r = RmsOf(x, n);
  std::int32_t peakIndex = 0;
  m.Peak = MaxAbs(peakIndex, n, x);
  if (r > 0.0f) {
    m.Crest = m.Peak / r;
    if (gain > 0.0f) m.Rms = r / gain;
  }
  return m;
}

// The drawing copy: `period` samples twice in a row, as far as the slots
// reach (a period over half the capture fills them before its second copy
// ends).
void WriteTwice(float* wave, const float* period, int n) {
  if (n <= 0) return;
  const int slots = std::min(2 * n, AnalysisWaveSamples);
  for (int i = 0; i < slots; ++i) wave[i] = period[i % n];
}

void SetResult(AnalysisData& a, int c, const Measured& m) {
  a.WavePeak[c] = m.Peak;
  a.WaveRms[c] = m.Rms;
  a.CrestFactor[c] = m.Crest;
}

}  // namespace

void DecodeEnvelopeFrames(AnalysisData& a, const std::uint8_t (&frames)[4][EnvelopeFrameBytes]) {
  constexpr int n = AnalysisEnvelopePoints;
  a.BlockSamples = n;
  for (int wire = 0; wire < 4; ++wire) {
    float* curve = a.Envelope[ChannelOfWireFrame[wire]];
    for (int i = 0; i < n; ++i) curve[i] = static_cast<float>(ReadSample(frames[wire] + 2 * i));
    // The resampling of the panels reads the slot after the curve as its end.
    std::fill(curve + n, curve + AnalysisEnvelopeSlots, 0.0f);
  }
  std::int32_t peakIndex = 0;
  for (int c : {ChU, ChIf, ChIl, ChIk}) a.EnvelopeMax[c] = MaxAbs(peakIndex, n, a.Envelope[c]);
  // The cathode lead carries the filament current plus the lamp current, so
  // the larger of the two envelopes belongs to it, whichever frame it came in.
  if (a.EnvelopeMax[ChIf] > a.EnvelopeMax[ChIk]) {
    std::swap(a.EnvelopeMax[ChIf], a.EnvelopeMax[ChIk]);
    std::swap_ranges(a.Envelope[ChIf], a.Envelope[ChIf] + n, a.Envelope[ChIk]);
  }
  for (float& m : a.EnvelopeMax)
    if (m < EnvelopeFloor) m = 0.0f;
}

void AnalyseWaveFrames(AnalysisData& a, const std::uint8_t (&header)[WaveHeaderBytes],
                       const std::uint8_t (&frames)[4][WaveFrameBytes]) {
  constexpr int n = AnalysisWaveSamples;
  const auto word = [&](int at) { return static_cast<unsigned>(header[at] | (header[at + 1] << 8)); };
  a.BlockSamples = n;
  a.OrderFlag = header[0];
  // The voltage gain's integer part is one byte, the currents' two.
  a.Gain[ChU] = HeaderGain(header[1], header[2], header[3]);
  a.Gain[ChIf] = HeaderGain(word(4), header[6], header[7]);
  a.Gain[ChIl] = HeaderGain(word(8), header[10], header[11]);
  a.Gain[ChIk] = HeaderGain(word(12), header[14], header[15]);
  for (int wire = 0; wire < 4; ++wire) {
    float* wave = a.Wave[ChannelOfWireFrame[wire]];
    for (int i = 0; i < n; ++i) wave[i] = static_cast<float>(ReadSample(frames[wire] + 2 * i));
  }

  float work[AnalysisWaveSamples];
  int period = 0, start = 0;

  // The lamp current first: its period is the length every channel is
  // measured over.
  if (!SignalPresent(a.Wave[ChIl], n) || FindPeriod(a.Wave[ChIl], n, period, start) != 0) {
    SetResult(a, ChIl, {});
    a.Period[ChIl] = 0;
  } else {
    a.Period[ChIl] = period;
    const int len = std::min(period, n - start);
    std::copy_n(a.Wave[ChIl] + start, len, work);
    SetResult(a, ChIl, Measure(work, len, a.Gain[ChIl]));
    WriteTwice(a.Wave[ChIl], work, len);
  }

  const int reference = a.Period[ChIl];
  for (int c : {ChU, ChIf, ChIk}) {
    if (reference == 0 || !SignalPresent(a.Wave[c], n)) {
      SetResult(a, c, {});
      continue;
    }
    if (FindPeriod(a.Wave[c], n, period, start) != 0) {
      SetResult(a, c, {});
      a.Period[c] = 0;
      continue;
    }
    a.Period[c] = period;
    // Measured over the lamp current's period from the channel's own rising
    // crossing; a crossing late in the capture leaves fewer samples than
    // that, and only those are taken.
    const int len = std::min(reference, n - start);
    std::copy_n(a.Wave[c] + start, len, work);
    SetResult(a, c, Measure(work, len, a.Gain[c]));
    // Drawn over two of its own periods, cleaned the same way.
    const int own = std::min(period, n - start);
    std::copy_n(a.Wave[c] + start, own, work);
    RemoveMean(work, own);
    ClipSpike(work, own);
    WriteTwice(a.Wave[c], work, own);
  }

  // The flag says the filament and cathode-lead waves came in each other's
  // place; the gains travelled with the waves, so only results move.
  if (a.OrderFlag != 0) {
    std::swap(a.WavePeak[ChIf], a.WavePeak[ChIk]);
    std::swap(a.WaveRms[ChIf], a.WaveRms[ChIk]);
    std::swap(a.CrestFactor[ChIf], a.CrestFactor[ChIk]);
    std::swap(a.Period[ChIf], a.Period[ChIk]);
    std::swap_ranges(a.Wave[ChIf], a.Wave[ChIf] + n, a.Wave[ChIk]);
  }
}

}  // namespace kt
