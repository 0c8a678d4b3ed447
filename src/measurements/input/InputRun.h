#pragma once
#include <cstdint>

#include "link/TestRun.h"

namespace kt {

struct Form;

// The mains-side blocks, shared by the input, phase-angle and comprehensive
// exchanges: 256 voltage samples, 256 current samples, ten values.
inline constexpr unsigned MainsSamples = 256;
inline constexpr unsigned MainsFrameBytes = 2 * MainsSamples;
inline constexpr unsigned InputValueBytes = 40;

void StoreMainsVoltage(Form& form, const std::uint8_t* data, unsigned n);
void StoreMainsCurrent(Form& form, const std::uint8_t* data, unsigned n);
void StoreInputValues(Form& form, const std::uint8_t* data, unsigned n);

// The three mains-side blocks with their progress, as the input and the
// phase-angle tests fetch them.
extern const BlockSpec MainsBlocks[3];

extern const RunSpec InputRun;

}  // namespace kt
