#include "link/Waveform.h"

#include <cmath>
#include <utility>

#include "core/MeasureSet.h"

namespace kt {

float MaxAbs(std::int32_t& peakIndex, int count, const float* values) {
  float best = 0.0f;
  for (int i = 0; i < count; ++i) {
    const float a = std::fabs(values[i]);
    if (a > best) {
      best = a;
      peakIndex = i;
    }
  }
  return best;
}

namespace {

// Twiddle factors e^(-i k 2pi/N) for k = 1 .. N/2-1, for the length exponent
// they were built for. Kept for the life of the program (every measurement
// uses the same 256-point length) in storage of their own: a transform never
// allocates, so it cannot fail for want of memory.
constexpr int MaxFftLog2 = 12;
struct TwiddleTable {
  int m = -1;
  float w[2 * ((1 << MaxFftLog2) / 2 - 1)] = {};  // pairs (cos, -sin)
};

TwiddleTable& Twiddles() {
  static TwiddleTable table;
  return table;
}

void BuildTwiddles(TwiddleTable& t, int m) {
  t.m = m;
  if (m <= 0 || m > MaxFftLog2) return;
  const int h = (1 << m) / 2;
  const double theta = 4.0 * std::atan(1.0) / h;
  // Repeated rotation in double precision: start at (cos theta, -sin theta)
  // and multiply by it for each next entry.
  const double wr = std::cos(theta), wi = -std::sin(theta);
  double cr = wr, ci = wi;
  for (int k = 1; k <= h - 1; ++k) {
    t.w[2 * (k - 1)] = static_cast<float>(cr);
    t.w[2 * (k - 1) + 1] = static_cast<float>(ci);
    const double nr = cr * wr - ci * wi;
    const double ni = cr * wi + ci * wr;
    cr = nr;
    ci = ni;
  }
}

}  // namespace

void ForwardFft(float* x, int m) {
  TwiddleTable& t = Twiddles();
  if (m != t.m) BuildTwiddles(t, m);
  if (m <= 0 || m > MaxFftLog2) return;
  const int n = 1 << m;
  const float* w = t.w;

  // Decimation in frequency.
  int span = n, stride = 1;
  for (int stage = 0; stage < m; ++stage) {
    span /= 2;
    for (int i = 0; i < n; i += 2 * span) {
      float* a = x + 2 * i;
      float* b = x + 2 * (i + span);
      const float ar = a[0], ai = a[1], br = b[0], bi = b[1];
      a[0] = ar + br;
      a[1] = ai + bi;
      b[0] = ar - br;
      b[1] = ai - bi;
    }
    for (int j = 1; j < span; ++j) {
      const float wr = w[2 * (j * stride - 1)];
      const float wi = w[2 * (j * stride - 1) + 1];
      for (int i = j; i < n; i += 2 * span) {
        float* a = x + 2 * i;
        float* b = x + 2 * (i + span);
        const float ar = a[0], ai = a[1], br = b[0], bi = b[1];
        a[0] = ar + br;
        a[1] = ai + bi;
        const float dr = ar - br, di = ai - bi;
        b[0] = dr * wr - di * wi;
        b[1] = dr * wi + di * wr;
      }
    }
    stride *= 2;
  }

  // Bit-reversal reordering.
  int j = 0;
  for (int i = 1; i <= n - 2; ++i) {
    int k = n / 2;
    while (k <= j) {
      j -= k;
      k /= 2;
    }
    j += k;
    if (i < j) {
      std::swap(x[2 * i], x[2 * j]);
      std::swap(x[2 * i + 1], x[2 * j + 1]);
    }
  }
}

void PhaseAngles(MeasureSet& ms, float* w) {
  const int n = ms.Input.SampleCount;
  // Below 5 mA there is no current worth judging (NaN counts as below too).
  if (!(static_cast<double>(ms.Input.Irms) >= 0.005) || n <= 0 || n > 800) {
    ms.PhaseBegin = ms.PhasePeak = ms.PhaseEnd = 0.0f;
    return;
  }
  const auto peakSearch = [&](float& p, int& ip) {
    for (int i = 0; i < n; ++i) {
      if (w[i] > p) {
        p = w[i];
        ip = i;
      }
    }
  };
  float p = 0.0f;
  int ip = 0;
  peakSearch(p, ip);
  const int h = n / 2;
  // The current pulse of the first half period is the one measured; a peak in
  // the second half means the period was sampled the other way round.
  if (ip > h) {
    for (int i = 0; i < n; ++i) w[i] = -w[i];
    p = 0.0f;
    peakSearch(p, ip);
  }
  const auto degrees = [n](int i) { return static_cast<float>(static_cast<double>(i) / n * 360.0); };
  ms.PhasePeak = degrees(ip);
  const float t = p * 0.05f;
  // A current that jumps to its peak within one sample has no earlier sample
  // above the threshold: it begins at the peak, not at 0° (which would read
  // as a current flowing from the zero crossing on).
  int ib = ip;
  for (int i = 0; i < ip; ++i) {
    if (w[i] > t) {
      ib = i;
      break;
    }
  }
  ms.PhaseBegin = degrees(ib);
  int ie = h;
  for (int i = ip; i < h; ++i) {
    if (w[i] < t) {
      ie = i;
      break;
    }
  }
  ms.PhaseEnd = degrees(ie);
}

int FindPeriod(const float* x, int n, int& period, int& start) {
  constexpr int HoldOff = 20;
  const auto nonNegative = [](float v) { return v >= 0.0f; };  // false for NaN
  int i = 0;
  int first = -1;
  for (;;) {
    while (i < n && nonNegative(x[i])) ++i;
    if (i >= n) return 1;
    while (i < n && !nonNegative(x[i])) ++i;
    if (i >= n) return 1;
    const int c = i;
    // The confirming sample must exist and be >= 0; otherwise the crossing
    // is noise around zero and the search goes on from it.
    if (c + HoldOff >= n || !nonNegative(x[c + HoldOff])) {
      i = c;
      continue;
    }
    if (first < 0) {
      first = c;
      i = c + HoldOff;
      continue;
    }
    if (c <= first) return 1;
    period = c - first;
    start = first;
    return 0;
  }
}

}  // namespace kt
