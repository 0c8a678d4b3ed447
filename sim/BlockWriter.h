#pragma once
#include <cstdint>
#include <vector>

#include "sim/InstrumentFloat.h"

namespace kt::sim {

using Block = std::vector<std::uint8_t>;

// Appends wire fields byte by byte, low byte first, so that the host's layout
// never leaks onto the line.
class BlockWriter {
 public:
  explicit BlockWriter(std::size_t reserve = 0) { bytes_.reserve(reserve); }

  void Byte(std::uint8_t b) { bytes_.push_back(b); }
  void UInt16(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v & 0xFFu));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void Int16(std::int16_t v) { UInt16(static_cast<std::uint16_t>(v)); }
  void Float(float v) {
    for (std::uint8_t b : EncodeInstrumentFloat(v)) bytes_.push_back(b);
  }
  template <typename Range>
  void Samples(const Range& samples) {
    for (std::int16_t s : samples) Int16(s);
  }

  Block Take() { return std::move(bytes_); }

 private:
  Block bytes_;
};

}  // namespace kt::sim
