#pragma once
#include "link/TestRun.h"

namespace kt {

struct Form;

// The comprehensive exchange: the mains blocks, one block with both value
// frames (40 + 64 bytes), then the four envelopes.
extern const RunSpec CompRun;

// The last step of a comprehensive run: the mains side through the input
// decoding's steps, the lamp side through the output decoding's steps (the
// half-wave difference excepted), each side's absent channels independent of
// the other's; then the test date, the Back/Next copy and a repaint. The
// input and output tests' own Back/Next copies are left alone.
void DecodeCompMeasurement(Form& form);

// Back/Next copy of the comprehensive result. The lamp current's negative
// half-wave crest factor and the half-wave difference are neither measured
// nor shown by this test, so a restore leaves them as they are.
void SaveCompSnapshot(Form& form);
void RestoreCompSnapshot(Form& form);

}  // namespace kt
