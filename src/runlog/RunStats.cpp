#include "runlog/RunStats.h"

#include <algorithm>
#include <cmath>

namespace kt {

Moments MomentsOf(const ShiftedSums& s) {
  Moments m;
  m.N = s.N;
  if (s.N <= 0) return m;
  const double n = static_cast<double>(s.N);
  const double offset = s.Sum / n;
  m.Mean = s.Shift + offset;
  m.M2 = std::max(0.0, s.SumSquares - s.Sum * offset);
  m.Min = s.Min;
  m.Max = s.Max;
  return m;
}

Moments OneValue(double v) { return {1, v, 0, v, v}; }

Moments MergeMoments(const Moments& a, const Moments& b) {
  if (a.N == 0) return b;
  if (b.N == 0) return a;
  Moments m;
  m.N = a.N + b.N;
  const double n = static_cast<double>(m.N), na = static_cast<double>(a.N), nb = static_cast<double>(b.N);
  const double d = b.Mean - a.Mean;
  m.Mean = a.Mean + d * nb / n;
  m.M2 = a.M2 + b.M2 + d * d * na * nb / n;
  m.Min = std::min(a.Min, b.Min);
  m.Max = std::max(a.Max, b.Max);
  return m;
}

double SampleStdDev(const Moments& m) {
  if (m.N < 2) return 0;
  return std::sqrt(m.M2 / static_cast<double>(m.N - 1));
}

std::optional<double> ProcessCpk(double mean, double stdDev, std::optional<double> lsl, std::optional<double> usl) {
  if (!(stdDev > 0) || (!lsl && !usl)) return std::nullopt;
  double nearest = INFINITY;
  if (usl) nearest = std::min(nearest, *usl - mean);
  if (lsl) nearest = std::min(nearest, mean - *lsl);
  return nearest / (3 * stdDev);
}

std::vector<ParetoRow> RankPareto(std::vector<std::pair<std::string, std::int64_t>> counts) {
  std::sort(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  std::int64_t total = 0;
  for (const auto& c : counts) total += c.second;
  std::vector<ParetoRow> rows;
  double cumulative = 0;
  for (const auto& c : counts) {
    if (c.second <= 0) continue;
    ParetoRow r;
    r.Figure = c.first;
    r.Count = c.second;
    r.Share = static_cast<double>(c.second) / static_cast<double>(total);
    cumulative += r.Share;
    r.Cumulative = cumulative;
    rows.push_back(std::move(r));
  }
  return rows;
}

}  // namespace kt
