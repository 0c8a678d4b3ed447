#pragma once
// The figures of the statistics window, and the arithmetic behind them that
// does not need the database (so it is checked on hand-worked numbers).
//
// First-pass yield: a unit is a serial number. Only judged runs count (a
// verdict of pass, fail or incomplete; runs without an active profile and
// runs the profile does not apply to have nothing to yield). The first
// judged run of each serial in the filtered set decides: the unit passed
// first time when that run passed. Every later judged run of the serial is a
// retest. Runs without a serial number are left out of the yield and the
// retests (they cannot be told apart as units) and counted on their own.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kt {

// Below this many values a Cpk says little: it is shown, marked unreliable.
inline constexpr std::int64_t ReliableSampleSize = 30;

struct FigureStats {
  std::string Figure;
  std::int64_t N = 0;  // the filtered runs' measured values of the figure
  // None without values; StdDev is the sample one (n - 1), none below two.
  std::optional<double> Mean, StdDev, Min, Max;
  std::optional<double> Lsl, Usl;  // the limits most of the runs were judged against
  std::optional<double> Cpk;       // none without a bound, below two values or with no spread
  bool Unreliable = true;          // N < ReliableSampleSize
  bool LimitsDiffer = false;       // the runs were judged against more than one pair of limits
};

struct ParetoRow {
  std::string Figure;
  std::int64_t Count = 0;
  double Share = 0;       // of all failing rule outcomes, 0..1
  double Cumulative = 0;  // running sum of Share down the ranking
};

struct RunStats {
  std::int64_t Runs = 0, Passed = 0, Failed = 0, Incomplete = 0, Unjudged = 0;
  std::int64_t Units = 0, FirstPassUnits = 0, Retests = 0, RunsWithoutSerial = 0;
  std::optional<double> FirstPassYield;  // FirstPassUnits / Units; none without units
  std::vector<ParetoRow> Pareto;
  std::vector<FigureStats> Figures;
};

// Values summed relative to a shift K near the data: n, sum(v - K),
// sum((v - K)^2), min, max. Shifting keeps the variance exact to many
// digits where plain sums of squares cancel.
struct ShiftedSums {
  std::int64_t N = 0;
  double Shift = 0, Sum = 0, SumSquares = 0, Min = 0, Max = 0;
};

struct Moments {
  std::int64_t N = 0;
  double Mean = 0, M2 = 0, Min = 0, Max = 0;  // M2: sum of squared deviations
};
Moments MomentsOf(const ShiftedSums& sums);
Moments OneValue(double v);
// The moments of two sets together (the pairwise update: exact up to
// rounding, with no sum of squares to cancel).
Moments MergeMoments(const Moments& a, const Moments& b);
double SampleStdDev(const Moments& m);

std::optional<double> ProcessCpk(double mean, double stdDev, std::optional<double> lsl, std::optional<double> usl);

// Counts per figure, ranked: most failures first, ties by name.
std::vector<ParetoRow> RankPareto(std::vector<std::pair<std::string, std::int64_t>> counts);

}  // namespace kt
