#pragma once
#include <cstdint>

#include "link/TestRun.h"

namespace kt {

struct Form;
struct OutputResult;
struct OutputSnapshot;

// The lamp-side blocks, shared by the output, comprehensive and envelope
// exchanges: sixteen values, then four envelopes of 150 samples in the wire
// order lamp voltage, filament current, lamp current, cathode-lead current.
inline constexpr unsigned EnvelopeSamples = 150;
inline constexpr unsigned EnvelopeFrameBytes = 2 * EnvelopeSamples;
inline constexpr unsigned OutputValueBytes = 64;

void StoreOutputValues(Form& form, const std::uint8_t* data, unsigned n);
// Frame `wireIndex` (0..3) of the four envelope blocks.
void StoreEnvelopeFrame(Form& form, int wireIndex, const std::uint8_t* data, unsigned n);
template <int WireIndex>
void StoreEnvelope(Form& form, const std::uint8_t* data, unsigned n) {
  StoreEnvelopeFrame(form, WireIndex, data, n);
}

extern const RunSpec OutputRun;

// Below these the instrument has nothing on that terminal. A reading exactly
// at the limit counts as present; the current limit is the float the
// instrument sends for 0.01 A, so that reading is not lost to rounding.
inline constexpr float LampVoltageMin = 10.0f;
inline constexpr float LampCurrentMin = 0.01f;

// The lamp-side decoding in steps, so that the comprehensive test can run the
// same steps on the same raw stores with its own sample count.
//
// The sixteen numbers of the value frame into OutputResult. The power is kept
// as its absolute value; the negative lamp-current peak at offset 28 is not
// used.
void DecodeOutputValues(Form& form);
// The first `count` samples of the four envelope frames into OutputWave
// (channel order U, Il, If, Ik), their largest absolute values into
// OutputWavePeak, and the filament and cathode-lead curves put in order so
// that the filament curve is the one with the smaller largest value. `count`
// is held to 0..150. Returns the count used.
int DecodeOutputCurves(Form& form, int count);
// Resets every channel whose RMS value is below its limit (or not a number).
void ApplyOutputChannelLimits(OutputResult& out);

void RestoreOutputSnapshot(Form& form);
// What a snapshot holds of an output result, in either direction (all of
// its values; the comprehensive test keeps two of them back).
void CopyOutputSnapshot(const OutputResult& o, OutputSnapshot& s);
void CopyOutputSnapshot(const OutputSnapshot& s, OutputResult& o);

}  // namespace kt
