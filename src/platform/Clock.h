#pragma once
#include <cstdint>

namespace kt {

struct UtcDate {
  int Year = 0, Month = 0, Day = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds of a free-running counter that wraps at 2^32; differences are
  // taken in 32-bit arithmetic.
  virtual std::uint32_t TickCount() = 0;
  virtual UtcDate Today() = 0;
};

class SystemClock final : public Clock {
 public:
  std::uint32_t TickCount() override;
  UtcDate Today() override;
};

}  // namespace kt
