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

// The kinds of the main window's pages, reports and *.dat records (the
// analysis window's two have their own *.bdt file).
constexpr bool IsMainKind(TestKind kind) { return kind >= InputTest && kind <= PhaseTest; }

// What every layer calls a kind: the command line's word, the log's English
// and Chinese names.
struct KindNames {
  const char* Cli;
  const char* English;
  const char* Chinese;
};
inline constexpr KindNames KindTable[KindCount] = {
    {"", "none", "无"},
    {"input", "input", "输入特性"},
    {"output", "output", "输出特性"},
    {"comp", "comprehensive", "综合特性"},
    {"start", "start", "启动特性"},
    {"phase", "phase", "相位角"},
    {"hf", "high-frequency", "高频波分析"},
    {"envelope", "envelope", "包络波测试"},
};

}  // namespace kt
