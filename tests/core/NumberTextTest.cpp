// The one number format of every page and report, against hand-rounded values.
#include <gtest/gtest.h>

#include <limits>

#include "core/NumberText.h"

namespace kt {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

TEST(NumberText, HandRoundedCases) {
  struct Case {
    double value;
    int decimals, significant;
    const char* text;
    // clang-format off
  } cases[] = {
      // Whichever of the significant digits and the decimals keeps fewer
      // digits rounds; the decimals are then padded with zeros.
      {230.456, 1, 4, "230.5"}, {0.17234, 3, 4, "0.172"}, {1.23456, 3, 4, "1.235"}, {12.3456, 3, 4, "12.350"},
      {1234.56, 1, 4, "1235.0"}, {0.0123456, 3, 4, "0.012"}, {0.00999, 2, 4, "0.01"}, {50.0, 2, 4, "50.00"},
      {0.0, 3, 4, "0.000"}, {0.0, 0, 4, "0"}, {-1.42, 2, 4, "-1.42"}, {1.0e-30, 3, 4, "0.000"}, {37.4, 0, 4, "37"},
      {359.6, 0, 4, "360"}, {12.345, 2, 3, "12.30"}, {123.456, 1, 5, "123.5"}, {12345.64, 1, 5, "12346.0"},
      {2.7, -1, 4, "3"}, {1.5, 20, 4, "1.500000000000000000"},  // at most 18 decimals
      {1.0 / 3, 17, 20, "0.33333333333333300"},                  // and 15 significant digits
      // An exact half rounds away from zero; a value stored just below a half
      // (2.675 is 2.67499999… in binary) rounds down, as its true value does.
      {230.25, 1, 4, "230.3"}, {22.5, 0, 4, "23"}, {0.0625, 3, 4, "0.063"}, {-0.125, 2, 4, "-0.13"},
      {2.675, 2, 4, "2.67"}, {1.005, 2, 4, "1.00"},
      // Rounding that carries into a new digit.
      {0.0996, 2, 4, "0.10"}, {9.9996, 3, 4, "10.000"}, {99.996, 2, 4, "100.00"}, {999.96, 1, 4, "1000.0"},
      {9999.4, 1, 4, "9999.0"}, {9999.7, 1, 4, "1.000E+4"}, {-9999.7, 1, 4, "-1.000E+4"},
      // More integer digits than significant ones: exponent form.
      {12345.6, 1, 4, "1.235E+4"}, {-123456.0, 3, 4, "-1.235E+5"}, {99999.6, 1, 4, "1.000E+5"},
      {3.0e38, 1, 4, "3.000E+38"}, {123456.0, 1, 5, "1.2346E+5"}, {100000.0, 0, 5, "1.0000E+5"},
      // Negative values that round to zero read as zero.
      {-0.0, 2, 4, "0.00"}, {-0.0001, 3, 4, "0.000"}, {-0.04, 1, 4, "0.0"}, {-0.4, 0, 4, "0"},
      {-0.00004, 4, 4, "0.0000"}, {-0.0006, 3, 4, "-0.001"}, {-0.6, 0, 4, "-1"},
      // A damaged file still draws.
      {NaN, 2, 4, "NAN"}, {Inf, 2, 4, "INF"}, {-Inf, 1, 4, "-INF"},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(NumberText(c.value, c.decimals, c.significant), c.text)
        << c.value << " with " << c.decimals << " decimals, " << c.significant << " significant";
}

}  // namespace
}  // namespace kt
