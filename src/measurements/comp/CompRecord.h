#pragma once
#include <cstddef>

#include "measurements/RecordFile.h"

namespace kt {

inline constexpr std::size_t CompRecordSize = 3873;

// The *.dat record of a comprehensive measurement: the mains values, peaks,
// waveforms and harmonic percentages, the lamp values the page shows with
// the lamp-voltage and lamp-current curves, the mode flags, the whole test
// information (luminous flux and colour temperature included) and the date.
// Loading keeps the fields the record does not hold and leaves the Back/Next
// copy alone.
extern const RecordLayout CompRecord;

}  // namespace kt
