#pragma once
#include <cstdint>

namespace kt {

// The instrument's 4-byte number: byte 0 is the exponent (0 means zero), the
// other three carry the 23-bit mantissa, the sign in bit 7 of byte 3. Every
// byte pattern is a finite value.
//
// Decoding leaves byte 0 of a non-zero input decremented by one; callers copy
// each number out of its block first (ReadInstrumentFloat does).
float DecodeInstrumentFloat(std::uint8_t bytes[4]);

// Decodes the number at `src` through a scratch copy, leaving `src` intact.
float ReadInstrumentFloat(const std::uint8_t* src);

// A signed 16-bit sample, low byte first.
inline std::int16_t ReadSample(const std::uint8_t* src) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(src[0] | (src[1] << 8)));
}

}  // namespace kt
