#pragma once

namespace kt {

struct Form;
struct MeasureSet;

// The last step of a phase-angle run: the mains decoding of the input test
// on the first eight values, the periods aligned on the voltage's rising
// zero crossing, where the current begins, peaks and ends, and the current
// harmonics in amperes and in mA per watt.
void DecodePhaseMeasurement(Form& form);

// Lines the three copies of the period up on the voltage's first confirmed
// rising zero crossing and measures the phase angles of the current from
// there; without such a crossing the angles are 0 and the copies stay as
// they are.
void AlignAndMeasurePhase(MeasureSet& ms);

// Each current harmonic (A) in mA per watt of the input power. Without a
// usable power (0, not finite, or so small that the quotient overflows)
// there is nothing to relate them to, and the values are 0 rather than
// infinities or NaN.
void FillCurrentPerWatt(MeasureSet& ms);

void SavePhaseSnapshot(MeasureSet& ms);
void RestorePhaseSnapshot(Form& form);

}  // namespace kt
