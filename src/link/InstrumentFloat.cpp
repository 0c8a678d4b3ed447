#include "link/InstrumentFloat.h"

#include <cstring>

namespace kt {

float DecodeInstrumentFloat(std::uint8_t b[4]) {
  if (b[0] == 0) return 0.0f;
  b[0] = static_cast<std::uint8_t>(b[0] - 1);
  // The instrument's exponent is the IEEE biased exponent plus one; move its
  // bits into place next to the mantissa and the sign.
  std::uint8_t r[4];
  r[0] = b[1];
  r[1] = b[2];
  r[2] = static_cast<std::uint8_t>((b[3] & 0x7F) | ((b[0] & 0x01) << 7));
  r[3] = static_cast<std::uint8_t>((b[0] >> 1) | (b[3] & 0x80));
  const std::uint32_t bits = static_cast<std::uint32_t>(r[0]) | (static_cast<std::uint32_t>(r[1]) << 8) |
                             (static_cast<std::uint32_t>(r[2]) << 16) | (static_cast<std::uint32_t>(r[3]) << 24);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

float ReadInstrumentFloat(const std::uint8_t* src) {
  std::uint8_t scratch[4];
  std::memcpy(scratch, src, 4);
  return DecodeInstrumentFloat(scratch);
}

}  // namespace kt
