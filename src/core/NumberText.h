#pragma once
#include <string>

namespace kt {

// The one way every page and report writes a measured number: rounded to
// `significant` significant digits or to `decimals` decimals, whichever keeps
// fewer digits, and written with exactly `decimals` decimals (missing digits as
// zeros). A value with more integer digits than `significant` is written in
// exponent form with the same number of significant digits ("1.235E+4").
// Values that are not finite are written as "NAN", "INF" or "-INF" so that a
// damaged file still draws.
std::string NumberText(double value, int decimals, int significant = 4);

}  // namespace kt
