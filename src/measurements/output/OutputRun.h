#pragma once
#include <cstdint>

#include "link/TestRun.h"

namespace kt {

struct Form;

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

}  // namespace kt
