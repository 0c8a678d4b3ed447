#pragma once
// Reading the instrument's blocks the way the program must: written from the
// wire format, independently of the simulator's encoder.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kt::sim::test {

// value = (-1)^s * 2^(e-128) * (1 + m/2^23) for e >= 2, (-1)^s * m * 2^-149
// for e = 1, 0 for e = 0. Computed arithmetically rather than by assembling
// IEEE bits, so that it shares nothing with the encoder.
inline float DecodeFloat(const std::uint8_t* b) {
  const int e = b[0];
  if (e == 0) return 0.0f;
  const double m = b[1] + 256.0 * b[2] + 65536.0 * (b[3] & 0x7F);
  const double magnitude = e == 1 ? std::ldexp(m, -149) : std::ldexp(1.0 + m / 8388608.0, e - 128);
  return static_cast<float>((b[3] & 0x80) ? -magnitude : magnitude);
}

inline float FloatAt(const std::vector<std::uint8_t>& block, std::size_t offset) {
  return DecodeFloat(block.data() + offset);
}

inline std::vector<double> Samples(const std::vector<std::uint8_t>& block) {
  std::vector<double> s(block.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::int16_t>(block[2 * i] | (block[2 * i + 1] << 8));
  return s;
}

inline double Rms(const std::vector<double>& x) {
  double s = 0;
  for (double v : x) s += v * v;
  return std::sqrt(s / x.size());
}

inline double MaxAbs(const std::vector<double>& x) {
  double m = 0;
  for (double v : x) m = std::max(m, std::fabs(v));
  return m;
}

}  // namespace kt::sim::test
