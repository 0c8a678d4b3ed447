#pragma once

namespace kt {

struct Form;
struct MeasureSet;
struct InputResult;
struct InputSnapshot;

// Working arrays of one mains-side decoding: the two 256-point FFT inputs.
struct MainsWork {
  float Voltage[2 * 256];
  float Current[2 * 256];
};

// What the current-side spectrum leaves for the callers that go on with it.
struct CurrentSpectrumResult {
  double HarmonicSumSq;  // S: sum of the squared percentages without the fundamental
  double Fundamental;    // I1: RMS of the fundamental current, A
};

// Thresholds below which a mains channel counts as absent (held in double
// precision: the float nearest 0.015 lies below it and counts as absent).
inline constexpr double MainsVoltageMin = 15.0;
inline constexpr double MainsCurrentMin = 0.015;

// The steps of the mains-side decoding, shared by the input, comprehensive
// and phase-angle tests.
//
// Samples of both frames to floats without their mean, and the FFT inputs.
void PrepareMainsChannels(Form& form, MainsWork& work);
// The first `count` numbers of the ten-value frame into their fields.
void DecodeInputValues(Form& form, int count);
// Peak, spectrum, percentages, THDU and the 200-point waveform of the voltage.
void VoltageSide(Form& form, MainsWork& work);
// Spectrum, percentages, THDI and THDIw of the current.
CurrentSpectrumResult CurrentSpectrum(Form& form, MainsWork& work);
// Resamples one channel's period to the 200 display points and returns the
// largest absolute value among them.
float ResampleMainsWave(Form& form, float* wave);
// Everything after the value conversion: the voltage and current thresholds
// with their resets, both spectra and waveforms.
void DecodeMainsSpectra(Form& form, MainsWork& work);

// The last step of an input test run.
void DecodeInputMeasurement(Form& form);

void RestoreInputSnapshot(Form& form);
// What a snapshot holds of an input result, in either direction; the
// comprehensive test keeps its mains side through the same two.
void CopyInputSnapshot(const InputResult& in, InputSnapshot& s);
void CopyInputSnapshot(const InputSnapshot& s, InputResult& in);

}  // namespace kt
