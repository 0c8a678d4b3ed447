#pragma once
#include <cstddef>
#include <string>

namespace kt {

struct Form;

inline constexpr std::size_t StartRecordSize = 5103;

// The *.dat file of a start measurement: container header, peaks, scales,
// warm-up time, times to peak, the cursor, the four curves, then the modes
// and the test information. The cursor time is not stored: loading derives
// it from the cursor's sample. Loading locks continuous testing and does not
// touch the Back/Next copy.
int SaveStartRecord(Form& form, const std::string& path);
int LoadStartRecord(Form& form, const std::string& path);

}  // namespace kt
