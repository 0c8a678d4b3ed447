#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/NumberText.h"

namespace kt {
namespace {

TEST(NumberText, FourSignificantDigitsOrTheDecimalsWhicheverIsFewer) {
  EXPECT_EQ(NumberText(230.456, 1), "230.5");
  EXPECT_EQ(NumberText(0.17234, 3), "0.172");
  EXPECT_EQ(NumberText(1.23456, 3), "1.235");
  EXPECT_EQ(NumberText(12.3456, 3), "12.350") << "4 significant digits, then zeros to 3 decimals";
  EXPECT_EQ(NumberText(1234.56, 1), "1235.0");
  EXPECT_EQ(NumberText(0.0123456, 3), "0.012");
  EXPECT_EQ(NumberText(0.35, 3), "0.350");
  EXPECT_EQ(NumberText(50.0, 2), "50.00");
  EXPECT_EQ(NumberText(0.0, 3), "0.000");
  EXPECT_EQ(NumberText(0.0, 1), "0.0");
  EXPECT_EQ(NumberText(-1.42, 2), "-1.42");
  EXPECT_EQ(NumberText(1.0e-30, 3), "0.000");
  EXPECT_EQ(NumberText(37.4, 0), "37");
  EXPECT_EQ(NumberText(359.6, 0), "360");
  EXPECT_EQ(NumberText(0.0996, 2), "0.10");
}

TEST(NumberText, MoreThanFourIntegerDigitsSwitchToExponentForm) {
  EXPECT_EQ(NumberText(12345.6, 1), "1.235E+4");
  EXPECT_EQ(NumberText(9999.7, 1), "1.000E+4") << "rounding carries into a fifth digit";
  EXPECT_EQ(NumberText(-123456.0, 3), "-1.235E+5");
  EXPECT_EQ(NumberText(3.0e38, 1), "3.000E+38");
  EXPECT_EQ(NumberText(9999.4, 1), "9999.0");
}

TEST(NumberText, NegativeValuesThatRoundToZeroReadAsZero) {
  EXPECT_EQ(NumberText(-0.0001, 3), "0.000");
  EXPECT_EQ(NumberText(-0.0, 2), "0.00");
  EXPECT_EQ(NumberText(-0.0006, 3), "-0.001");
}

TEST(NumberText, OtherPrecisionsAndNonFiniteValues) {
  EXPECT_EQ(NumberText(123.456, 1, 5), "123.5");
  EXPECT_EQ(NumberText(12345.64, 1, 5), "12346.0");
  EXPECT_EQ(NumberText(123456.0, 1, 5), "1.2346E+5");
  EXPECT_EQ(NumberText(std::numeric_limits<double>::quiet_NaN(), 2), "NAN");
  EXPECT_EQ(NumberText(std::numeric_limits<double>::infinity(), 2), "INF");
  EXPECT_EQ(NumberText(-std::numeric_limits<double>::infinity(), 2), "-INF");
}

}  // namespace
}  // namespace kt
