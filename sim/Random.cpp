#include "sim/Random.h"

#include <cmath>
#include <numbers>

namespace kt::sim {

double Random::Uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

double Random::Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }

double Random::Gauss() {
  // Box-Muller; 1 - u keeps the logarithm away from zero.
  const double u = 1.0 - Uniform();
  const double v = Uniform();
  return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * v);
}

}  // namespace kt::sim
