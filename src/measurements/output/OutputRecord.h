#pragma once
#include <cstddef>
#include <string>

namespace kt {

struct Form;

inline constexpr std::size_t OutputRecordSize = 3511;

// The *.dat file of an output measurement: container header, the sixteen
// values, the four curve peaks and curves, the mode flags, the test
// information (without the light values) and the date. Loading leaves the
// Back/Next copy alone.
int SaveOutputRecord(Form& form, const std::string& path);
int LoadOutputRecord(Form& form, const std::string& path);

}  // namespace kt
