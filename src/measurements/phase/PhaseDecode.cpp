#include "measurements/phase/PhaseDecode.h"

#include <algorithm>
#include <cmath>

#include "link/Form.h"
#include "link/Resets.h"
#include "link/Waveform.h"
#include "measurements/input/InputDecode.h"
#include "measurements/input/InputRun.h"

namespace kt {

namespace {

// The phase test converts the value frame up to the high-frequency current;
// the two crest factors after it keep what the last input or comprehensive
// test left.
constexpr int PhaseValueCount = 8;
// Three periods in a row, so that a rising zero crossing and the full period
// after it lie inside the copies wherever the capture began.
constexpr int PeriodCopies = 3;

int PeriodSamples(const MeasureSet& ms) { return std::clamp(ms.Input.SampleCount, 0, static_cast<int>(MainsSamples)); }

void CopyPeriods(MeasureSet& ms) {
  const int n = PeriodSamples(ms);
  for (int r = 0; r < PeriodCopies; ++r) {
    std::copy_n(ms.Input.VoltageWave, n, ms.VoltageWave3 + r * n);
    std::copy_n(ms.Input.CurrentWave, n, ms.CurrentWave3 + r * n);
  }
}

// Lines the three copies of the period up on the voltage's first confirmed
// rising zero crossing and measures the phase angles of the current from
// there; without such a crossing the angles are 0 and the copies stay as
// they are.
void AlignAndMeasurePhase(MeasureSet& ms) {
  const int n = PeriodSamples(ms);
  int period = 0, start = 0;
  // The copies repeat, so the first confirmed crossing lies within the first
  // period and the period after it is whole inside them; the bound only
  // guards against a start that could not come from repeated copies.
  if (FindPeriod(ms.VoltageWave3, PeriodCopies * n, period, start) != 0 || start < 0 || start + n > PeriodCopies * n) {
    ms.PhaseBegin = ms.PhasePeak = ms.PhaseEnd = 0.0f;
    return;
  }
  std::copy(ms.VoltageWave3 + start, ms.VoltageWave3 + start + n, ms.VoltageWave3);
  std::copy(ms.CurrentWave3 + start, ms.CurrentWave3 + start + n, ms.CurrentWave3);
  PhaseAngles(ms, ms.CurrentWave3);
}

// Each current harmonic (A) in mA per watt of the input power. Without a
// usable power (0, not finite, or so small that the quotient overflows)
// there is nothing to relate them to, and the values are 0 rather than
// infinities or NaN.
void FillCurrentPerWatt(MeasureSet& ms) {
  const double p = ms.Input.P;
  for (int k = 0; k < HarmonicBins; ++k) {
    // A power of 0 or NaN, or one so small that the quotient leaves the
    // float range, gives no finite quotient: these show 0, as an infinite
    // power does by itself.
    const auto perWatt = static_cast<float>(ms.Input.CurrentHarmonic[k] * 1000.0 / p);
    ms.CurrentPerWatt[k] = std::isfinite(perWatt) ? perWatt : 0.0f;
  }
}

void SavePhaseSnapshot(MeasureSet& ms) {
  PhaseSnapshot& s = ms.PhaseSnap;
  const InputResult& in = ms.Input;
  std::copy_n(in.VoltageWave, WavePoints, s.VoltageWave);
  std::copy_n(in.CurrentWave, WavePoints, s.CurrentWave);
  s.VoltagePeak = in.VoltagePeak;
  s.CurrentPeak = in.CurrentPeak;
  std::copy_n(in.CurrentHarmonic, HarmonicBins, s.CurrentHarmonic);
  std::copy_n(in.CurrentHarmonicPct, HarmonicBins, s.CurrentHarmonicPct);
  s.Urms = in.Urms;
  s.Irms = in.Irms;
  s.P = in.P;
  s.PF = in.PF;
  s.THDI = in.THDI;
  s.PhaseBegin = ms.PhaseBegin;
  s.PhasePeak = ms.PhasePeak;
  s.PhaseEnd = ms.PhaseEnd;
}

}  // namespace

void DecodePhaseMeasurement(Form& form) {
  MeasureSet& ms = form.M;
  InputResult& in = ms.Input;
  MainsWork work;
  PrepareMainsChannels(form, work);
  CopyPeriods(ms);
  DecodeInputValues(form, PhaseValueCount);

  // NaN counts as absent, like any value that is not at least the limit.
  if (!(static_cast<double>(in.Urms) >= MainsVoltageMin)) {
    ResetInputResult(ms);
  } else {
    VoltageSide(form, work);
    if (!(static_cast<double>(in.Irms) >= MainsCurrentMin)) {
      ResetCurrentSide(ms);
      // No current: no fundamental either, in amperes.
      in.CurrentHarmonic[1] = 0.0f;
    } else {
      in.CurrentPeak = MaxAbs(form.PeakIndex, PeriodSamples(ms), in.CurrentWave);
      AlignAndMeasurePhase(ms);
      const CurrentSpectrumResult current = CurrentSpectrum(form, work);
      // This test states the harmonics in amperes: each as its share of
      // the fundamental current.
      for (int k = 0; k < HarmonicBins; ++k)
        in.CurrentHarmonic[k] = static_cast<float>(0.01 * in.CurrentHarmonicPct[k] * current.Fundamental);
      in.CurrentPeak = ResampleMainsWave(form, in.CurrentWave);
      FillCurrentPerWatt(ms);
    }
  }
  StampTestDate(form);
  SavePhaseSnapshot(ms);
  form.host.Repaint();
}

void RestorePhaseSnapshot(Form& form) {
  const PhaseSnapshot& s = form.M.PhaseSnap;
  InputResult& in = form.M.Input;
  std::copy_n(s.VoltageWave, WavePoints, in.VoltageWave);
  std::copy_n(s.CurrentWave, WavePoints, in.CurrentWave);
  in.VoltagePeak = s.VoltagePeak;
  in.CurrentPeak = s.CurrentPeak;
  std::copy_n(s.CurrentHarmonic, HarmonicBins, in.CurrentHarmonic);
  std::copy_n(s.CurrentHarmonicPct, HarmonicBins, in.CurrentHarmonicPct);
  in.Urms = s.Urms;
  in.Irms = s.Irms;
  in.P = s.P;
  in.PF = s.PF;
  in.THDI = s.THDI;
  form.M.PhaseBegin = s.PhaseBegin;
  form.M.PhasePeak = s.PhasePeak;
  form.M.PhaseEnd = s.PhaseEnd;
}

}  // namespace kt
