#pragma once
#include <cstdint>

namespace kt {

struct MeasureSet;

// Largest absolute value among values[0..count-1]. peakIndex is moved to the
// first sample of that magnitude; it keeps its previous value when every
// sample is 0 (or count <= 0), and 0.0 is returned then.
float MaxAbs(std::int32_t& peakIndex, int count, const float* values);

// In-place forward FFT of 2^m complex numbers (real, imaginary pairs),
// X[k] = sum x[n] e^(-2 pi i k n / N), unscaled, natural order, for m up to
// 12 (a larger m leaves the data as it is). The twiddle table is kept
// between calls and rebuilt only when m changes; nothing is allocated.
void ForwardFft(float* data, int m);

// Where the current period (starting at the voltage's rising zero crossing)
// begins, peaks and ends, in degrees, from the current samples `current`
// (one period of ms.Input.SampleCount samples). May negate `current`.
void PhaseAngles(MeasureSet& ms, float* current);

// Two rising zero crossings of x[0..n-1], each confirmed by the sample 20
// places later being >= 0. Returns 0 with the period and the first crossing
// when found, 1 otherwise. A crossing within the last 20 samples cannot be
// confirmed and is not taken. NaN samples count as negative.
int FindPeriod(const float* x, int n, int& period, int& start);

}  // namespace kt
