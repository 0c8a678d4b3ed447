#pragma once
// A direct discrete Fourier transform in double precision: the independent
// reference the FFT and the harmonic decodings are checked against.
#include <cmath>
#include <complex>
#include <vector>

namespace kt::test {

inline std::vector<std::complex<double>> Dft(const std::vector<std::complex<double>>& x) {
  const std::size_t n = x.size();
  std::vector<std::complex<double>> out(n);
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t j = 0; j < n; ++j)
      out[k] += x[j] * std::polar(1.0, -2.0 * M_PI * static_cast<double>(k * j % n) / static_cast<double>(n));
  return out;
}

// Magnitudes of bins 0..bins-1 of real samples with their mean removed.
template <typename Samples>
std::vector<double> HarmonicMagnitudes(const Samples& s, std::size_t bins) {
  double mean = 0;
  for (auto v : s) mean += v;
  mean /= static_cast<double>(s.size());
  std::vector<std::complex<double>> x;
  for (auto v : s) x.emplace_back(v - mean, 0.0);
  const auto X = Dft(x);
  std::vector<double> m;
  for (std::size_t k = 0; k < bins; ++k) m.push_back(std::abs(X[k]));
  return m;
}

}  // namespace kt::test
