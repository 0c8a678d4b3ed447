#pragma once

namespace kt {

struct Form;
struct MeasureSet;

// The last step of a phase-angle run: the mains decoding of the input test
// on the first eight values, the periods aligned on the voltage's rising
// zero crossing, where the current begins, peaks and ends, and the current
// harmonics in amperes and in mA per watt.
void DecodePhaseMeasurement(Form& form);

void RestorePhaseSnapshot(Form& form);

}  // namespace kt
