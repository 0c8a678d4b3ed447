#pragma once
#include <cstdint>
#include <string>

#include "sim/OperatingPoint.h"

namespace kt::sim {

// Command line of kt6100-sim; SimUsage() describes every field.
struct SimOptions {
  std::string Link;
  std::uint64_t Seed = 0;
  bool SeedGiven = false;
  bool LineRate = false;
  bool Echo = false;
  bool Silent = false;
  bool NoBlocks = false;
  int DelayBlock = 0;  // 1-based; 0 = none
  int DelayMs = 0;
  int Split = 0;  // bytes per piece; 0 = whole blocks
  int SplitGapMs = 5;
  int StartWaitMs = 0;
  int HandshakeDelayMs = 0;
  int Garbage = 0;
  int VanishAtBlock = 0;  // 1-based; 0 = never
  bool OrderFlag = false;
  bool ExitWithParent = false;
  bool Log = false;
  MainsSetting Mains;  // --mains-power, --mains-current, --reverse-current
};

enum class ParseResult { Run, Help, Version, Error };

// Fills `options` from the arguments; on Error, `error` says what was wrong.
ParseResult ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);
const char* SimUsage();

}  // namespace kt::sim
