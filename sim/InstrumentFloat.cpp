#include "sim/InstrumentFloat.h"

#include <bit>

namespace kt::sim {

std::array<std::uint8_t, 4> EncodeInstrumentFloat(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  const std::uint32_t sign = bits >> 31;
  std::uint32_t biased = (bits >> 23) & 0xFFu;
  std::uint32_t mantissa = bits & 0x7FFFFFu;
  if (biased == 0xFFu) {
    // Exponent byte 255 would mean biased exponent 254: the top finite binade.
    biased = 0xFEu;
    mantissa = 0x7FFFFFu;
  }
  // Positive zero takes the short form; negative zero needs the subnormal
  // form (exponent byte 1) to keep its sign.
  if (biased == 0 && mantissa == 0 && sign == 0) return {0, 0, 0, 0};
  return {static_cast<std::uint8_t>(biased + 1), static_cast<std::uint8_t>(mantissa & 0xFFu),
          static_cast<std::uint8_t>((mantissa >> 8) & 0xFFu),
          static_cast<std::uint8_t>(((mantissa >> 16) & 0x7Fu) | (sign << 7))};
}

}  // namespace kt::sim
