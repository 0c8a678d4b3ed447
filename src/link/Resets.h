#pragma once

namespace kt {

struct Form;
struct MeasureSet;
struct OutputResult;

// The empty states of the results. The non-zero values left behind (peaks of
// 1.0, 0.01, 0.1 and 10.0, bin 1 = 1.0) are the divisors and scales the pages
// use, so an empty result draws flat curves instead of dividing by zero.

// Mains current absent: the current side of the input result.
void ResetCurrentSide(MeasureSet& ms);
// Mains voltage absent: the whole input result.
void ResetInputResult(MeasureSet& ms);
// One lamp-side channel absent: 0 lamp voltage, 1 lamp current, 2 filament
// current, 3 cathode-lead current.
void ResetOutputChannel(OutputResult& out, int channel);
// The start values of the Back/Next copies.
void InitSnapshots(MeasureSet& ms);
// Empties the working results of every kind so a new test shows nothing stale.
// The Back/Next copies are left alone.
void ClearResults(MeasureSet& ms);

// Writes today's UTC date as "year-month-day" without leading zeros.
void StampTestDate(Form& form);

}  // namespace kt
