#pragma once
#include <cstddef>

#include "measurements/RecordFile.h"

namespace kt {

inline constexpr std::size_t StartRecordSize = 5103;

// The *.dat record of a start measurement: peaks, scales, warm-up time,
// times to peak, the cursor, the four curves, then the modes and the test
// information. The cursor time is not stored: loading derives it from the
// cursor's sample. Loading locks continuous testing and does not touch the
// Back/Next copy.
extern const RecordLayout StartRecord;

}  // namespace kt
