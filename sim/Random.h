#pragma once
#include <cstdint>
#include <random>

namespace kt::sim {

// Seeded source of the instrument's variation. The engine's output sequence
// is fixed by the language standard and the conversions below are our own
// (the library's distributions may differ between implementations), so one
// seed gives the same session everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}

  std::uint64_t Next() { return engine_(); }
  double Uniform();                      // [0, 1)
  double Uniform(double lo, double hi);  // [lo, hi)
  double Gauss();                        // mean 0, deviation 1

 private:
  std::mt19937_64 engine_;
};

}  // namespace kt::sim
