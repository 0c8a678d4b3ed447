#pragma once
#include <cstddef>

#include "measurements/RecordFile.h"

namespace kt {

inline constexpr std::size_t OutputRecordSize = 3511;

// The *.dat record of an output measurement: the sixteen values, the four
// curve peaks and curves, the mode flags, the test information (without the
// light values) and the date. Loading leaves the Back/Next copy alone.
extern const RecordLayout OutputRecord;

}  // namespace kt
