#pragma once
#include <cstddef>
#include <string>

namespace kt {

struct Form;

// The input record with the per-watt currents after the current percentages.
inline constexpr std::size_t PhaseRecordSize = 2703;

// The *.dat file of a phase-angle measurement: container header and body.
// Loading leaves Back/Next's copy of the last phase measurement alone.
int SavePhaseRecord(Form& form, const std::string& path);
int LoadPhaseRecord(Form& form, const std::string& path);

}  // namespace kt
