#pragma once
#include <cstdint>

namespace kt {

// The kind of a test run, as stored in data files and used to dispatch steps,
// pages, reports and records. The numbers are part of the *.dat format.
using TestKind = std::int32_t;

inline constexpr TestKind NoTest = 0;
inline constexpr TestKind InputTest = 1;   // input characteristic
inline constexpr TestKind OutputTest = 2;  // output characteristic
inline constexpr TestKind CompTest = 3;    // comprehensive characteristic
inline constexpr TestKind StartTest = 4;   // start characteristic
inline constexpr TestKind PhaseTest = 5;   // phase angle
inline constexpr TestKind GaoTest = 6;     // high-frequency wave analysis
inline constexpr TestKind BaoTest = 7;     // envelope wave test
inline constexpr int KindCount = 8;        // 0..7

}  // namespace kt
