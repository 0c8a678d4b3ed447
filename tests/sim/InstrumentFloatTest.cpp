#include "sim/InstrumentFloat.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "WireReading.h"

namespace kt::sim {
namespace {

using test::DecodeFloat;

float RoundTrip(float x) { return DecodeFloat(EncodeInstrumentFloat(x).data()); }

std::uint32_t Bits(float x) { return std::bit_cast<std::uint32_t>(x); }

TEST(InstrumentFloat, KnownPatterns) {
  using Bytes = std::array<std::uint8_t, 4>;
  EXPECT_EQ(EncodeInstrumentFloat(1.0f), (Bytes{0x80, 0x00, 0x00, 0x00}));
  EXPECT_EQ(EncodeInstrumentFloat(-2.0f), (Bytes{0x81, 0x00, 0x00, 0x80}));
  EXPECT_EQ(EncodeInstrumentFloat(0.5f), (Bytes{0x7F, 0x00, 0x00, 0x00}));
  EXPECT_EQ(EncodeInstrumentFloat(10.0f), (Bytes{0x83, 0x00, 0x00, 0x20}));
  // Mantissa bytes in order low, middle, high: 1 + 2^-23 and 1 + 2^-15.
  EXPECT_EQ(EncodeInstrumentFloat(std::nextafter(1.0f, 2.0f)), (Bytes{0x80, 0x01, 0x00, 0x00}));
  EXPECT_EQ(EncodeInstrumentFloat(1.0f + 0x1.0p-15f), (Bytes{0x80, 0x00, 0x01, 0x00}));
  // The smallest subnormal uses exponent byte 1.
  EXPECT_EQ(EncodeInstrumentFloat(0x1.0p-149f), (Bytes{0x01, 0x01, 0x00, 0x00}));
}

TEST(InstrumentFloat, ZerosKeepTheirSign) {
  EXPECT_EQ(EncodeInstrumentFloat(0.0f)[0], 0);
  EXPECT_EQ(Bits(RoundTrip(0.0f)), Bits(0.0f));
  EXPECT_EQ(Bits(RoundTrip(-0.0f)), Bits(-0.0f));
}

TEST(InstrumentFloat, EveryExponentAndSignRoundTrips) {
  const std::uint32_t mantissas[] = {0, 1, 0x2AAAAA, 0x400000, 0x555555, 0x7FFFFE, 0x7FFFFF};
  for (std::uint32_t sign = 0; sign < 2; ++sign) {
    for (std::uint32_t biased = 0; biased < 255; ++biased) {
      for (std::uint32_t m : mantissas) {
        const float x = std::bit_cast<float>(sign << 31 | biased << 23 | m);
        const auto bytes = EncodeInstrumentFloat(x);
        ASSERT_EQ(Bits(DecodeFloat(bytes.data())), Bits(x))
            << "sign " << sign << " exponent " << biased << " mantissa " << m;
        if (x != 0.0f) {
          EXPECT_EQ(bytes[0], biased + 1);
        }
        EXPECT_EQ((bytes[3] >> 7) & 1u, sign);
      }
    }
  }
}

TEST(InstrumentFloat, RandomFiniteBitPatternsRoundTrip) {
  std::mt19937 gen(12345);
  for (int i = 0; i < 200000; ++i) {
    const std::uint32_t bits = gen();
    if (((bits >> 23) & 0xFF) == 0xFF) continue;  // not finite
    const float x = std::bit_cast<float>(bits);
    ASSERT_EQ(Bits(RoundTrip(x)), bits);
  }
}

TEST(InstrumentFloat, NonFiniteValuesClampToTheLargestOfTheirSign) {
  const float big = std::numeric_limits<float>::max();
  EXPECT_EQ(RoundTrip(std::numeric_limits<float>::infinity()), big);
  EXPECT_EQ(RoundTrip(-std::numeric_limits<float>::infinity()), -big);
  EXPECT_EQ(RoundTrip(std::numeric_limits<float>::quiet_NaN()), big);
  EXPECT_EQ(RoundTrip(-std::numeric_limits<float>::quiet_NaN()), -big);
  EXPECT_EQ(EncodeInstrumentFloat(std::numeric_limits<float>::infinity())[0], 0xFF);
}

}  // namespace
}  // namespace kt::sim
