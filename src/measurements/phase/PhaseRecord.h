#pragma once
#include <cstddef>

#include "measurements/RecordFile.h"

namespace kt {

// The input record with the per-watt currents after the current percentages.
inline constexpr std::size_t PhaseRecordSize = 2703;

// The *.dat record of a phase-angle measurement. Loading leaves Back/Next's
// copy of the last phase measurement alone.
extern const RecordLayout PhaseRecord;

}  // namespace kt
