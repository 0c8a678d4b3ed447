#pragma once
#include <array>
#include <cstdint>

namespace kt::sim {

// The instrument's own 4-byte number: byte 0 is the IEEE biased exponent plus
// one (0 reserved for zero), bytes 1..3 the 23-bit mantissa low byte first,
// with the sign in bit 7 of byte 3. Every finite float survives the trip
// exactly (subnormals and negative zero included). The format has no room for
// infinities or NaN, so those become the largest finite value of their sign.
std::array<std::uint8_t, 4> EncodeInstrumentFloat(float value);

}  // namespace kt::sim
