#include "measurements/input/InputDecode.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "link/Form.h"
#include "link/InstrumentFloat.h"
#include "link/Resets.h"
#include "link/Waveform.h"
#include "measurements/input/InputRun.h"

namespace kt {

namespace {

constexpr int FftLog2 = 8;  // 256 points: one mains period

// The samples of the last exchange, bounded to what the frames can hold.
int MainsCount(const Form& form) { return std::clamp(form.M.Input.SampleCount, 0, static_cast<int>(MainsSamples)); }

void ToFloats(const std::uint8_t* frame, int n, float* wave, float* fft) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    wave[i] = ReadSample(frame + 2 * i);
    sum += wave[i];
  }
  const float mean = n > 0 ? static_cast<float>(sum / n) : 0.0f;
  for (int i = 0; i < n; ++i) wave[i] -= mean;
  for (int i = 0; i < static_cast<int>(MainsSamples); ++i) {
    fft[2 * i] = i < n ? wave[i] : 0.0f;
    fft[2 * i + 1] = 0.0f;
  }
}

// Magnitudes of bins 0..39 and their share of bin 1 in percent. Returns the
// sum of the squared percentages without the fundamental's.
double Spectrum(float* fft, float* magnitude, float* percent) {
  ForwardFft(fft, FftLog2);
  for (int k = 0; k < HarmonicBins; ++k)
    magnitude[k] = static_cast<float>(std::hypot(static_cast<double>(fft[2 * k]), fft[2 * k + 1]));
  const double fundamental = magnitude[1];
  // A period without a fundamental has no percentages to give; 0 instead of
  // a division by zero.
  const bool usable = fundamental > 0.0 && std::isfinite(fundamental);
  double sum = 0.0;
  for (int k = 0; k < HarmonicBins; ++k) {
    percent[k] = usable ? static_cast<float>(magnitude[k] / fundamental * 100.0) : 0.0f;
    sum += static_cast<double>(percent[k]) * percent[k];
  }
  // Rounding can leave the fundamental's own square a hair above the total.
  return std::max(0.0, sum - static_cast<double>(percent[1]) * percent[1]);
}

void SaveInputSnapshot(MeasureSet& ms) { CopyInputSnapshot(ms.Input, ms.InputSnap); }

}  // namespace

void PrepareMainsChannels(Form& form, MainsWork& work) {
  const int n = MainsCount(form);
  ToFloats(form.M.Raw.InputVoltage, n, form.M.Input.VoltageWave, work.Voltage);
  ToFloats(form.M.Raw.InputCurrent, n, form.M.Input.CurrentWave, work.Current);
}

void DecodeInputValues(Form& form, int count) {
  float* fields[] = {&form.M.Input.Urms, &form.M.Input.Irms, &form.M.Input.Irmsw, &form.M.Input.P,
                     &form.M.Input.PF,   &form.M.Input.PFw,  &form.M.Input.Freq,  &form.M.HighFreqCurrent,
                     &form.M.Input.CFv,  &form.M.Input.CFi};
  count = std::clamp(count, 0, 10);
  for (int i = 0; i < count; ++i) *fields[i] = ReadInstrumentFloat(form.M.Raw.InputValues + 4 * i);
}

float ResampleMainsWave(Form& form, float* wave) {
  const int n = MainsCount(form);
  if (n != WavePoints && n > 1) {
    float points[WavePoints];
    points[0] = wave[0];
    for (int j = 1; j < WavePoints; ++j) {
      const double x = static_cast<double>(n) * j * 0.005;
      const int i = std::min(static_cast<int>(x), n - 2);
      const double f = x - i;
      points[j] = static_cast<float>(wave[i] + (static_cast<double>(wave[i + 1]) - wave[i]) * f);
    }
    std::copy(points, points + WavePoints, wave);
  }
  return MaxAbs(form.PeakIndex, WavePoints, wave);
}

void VoltageSide(Form& form, MainsWork& work) {
  InputResult& in = form.M.Input;
  in.VoltagePeak = MaxAbs(form.PeakIndex, MainsCount(form), in.VoltageWave);
  const double s = Spectrum(work.Voltage, in.VoltageHarmonic, in.VoltageHarmonicPct);
  in.THDU = static_cast<float>(std::sqrt(s));
  in.VoltagePeak = ResampleMainsWave(form, in.VoltageWave);
}

CurrentSpectrumResult CurrentSpectrum(Form& form, MainsWork& work) {
  InputResult& in = form.M.Input;
  const double s = Spectrum(work.Current, in.CurrentHarmonic, in.CurrentHarmonicPct);
  in.THDI = static_cast<float>(std::sqrt(s));
  const double thd = 0.01 * in.THDI;
  const double irms = in.Irms;
  const double i1 = std::sqrt(irms * irms / (thd * thd + 1.0));
  // The high-frequency component as a share of the fundamental adds to the
  // harmonic distortion seen over the wide band.
  const double h = i1 > 0.0 ? form.M.HighFreqCurrent / i1 * 100.0 : 0.0;
  in.THDIw = static_cast<float>(std::sqrt(s + h * h));
  return {s, i1};
}

void DecodeMainsSpectra(Form& form, MainsWork& work) {
  InputResult& in = form.M.Input;
  // NaN counts as absent, like any value that is not at least the limit.
  if (!(static_cast<double>(in.Urms) >= MainsVoltageMin)) {
    ResetInputResult(form.M);
    return;
  }
  VoltageSide(form, work);
  if (!(static_cast<double>(in.Irms) >= MainsCurrentMin)) {
    ResetCurrentSide(form.M);
    return;
  }
  in.CurrentPeak = MaxAbs(form.PeakIndex, MainsCount(form), in.CurrentWave);
  CurrentSpectrum(form, work);
  in.CurrentPeak = ResampleMainsWave(form, in.CurrentWave);
}

void DecodeInputMeasurement(Form& form) {
  MainsWork work;
  PrepareMainsChannels(form, work);
  DecodeInputValues(form, 10);
  DecodeMainsSpectra(form, work);
  StampTestDate(form);
  SaveInputSnapshot(form.M);
  form.host.Repaint();
}

void CopyInputSnapshot(const InputResult& in, InputSnapshot& s) {
  s.Values = in;
  s.VoltagePeak = in.VoltagePeak;
  s.CurrentPeak = in.CurrentPeak;
  std::copy_n(in.VoltageWave, WavePoints, s.VoltageWave);
  std::copy_n(in.CurrentWave, WavePoints, s.CurrentWave);
  std::copy_n(in.VoltageHarmonic, HarmonicBins, s.VoltageHarmonic);
  std::copy_n(in.CurrentHarmonic, HarmonicBins, s.CurrentHarmonic);
  std::copy_n(in.VoltageHarmonicPct, HarmonicBins, s.VoltageHarmonicPct);
  std::copy_n(in.CurrentHarmonicPct, HarmonicBins, s.CurrentHarmonicPct);
}

void CopyInputSnapshot(const InputSnapshot& s, InputResult& in) {
  static_cast<InputValues&>(in) = s.Values;
  in.VoltagePeak = s.VoltagePeak;
  in.CurrentPeak = s.CurrentPeak;
  std::copy_n(s.VoltageWave, WavePoints, in.VoltageWave);
  std::copy_n(s.CurrentWave, WavePoints, in.CurrentWave);
  std::copy_n(s.VoltageHarmonic, HarmonicBins, in.VoltageHarmonic);
  std::copy_n(s.CurrentHarmonic, HarmonicBins, in.CurrentHarmonic);
  std::copy_n(s.VoltageHarmonicPct, HarmonicBins, in.VoltageHarmonicPct);
  std::copy_n(s.CurrentHarmonicPct, HarmonicBins, in.CurrentHarmonicPct);
}

void RestoreInputSnapshot(Form& form) { CopyInputSnapshot(form.M.InputSnap, form.M.Input); }

}  // namespace kt
